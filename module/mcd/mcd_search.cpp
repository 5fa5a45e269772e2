// The FAST-MCD search on data standardized by median and MAD: the choice among a user count
// of trials, one set with enumeration or 500 random starts, and subdatasets with a merged
// set; elemental starts grown until regular; concentration steps with the stopping rule; the
// lists of the ten best solutions; the final stage on all cases; exact fits on the way.
#include <cmath>
#include <cstring>

#include "kernels/eigen.h"
#include "kernels/machine.h"
#include "kernels/select.h"
#include "mcd/mcd_internal.h"
#include "reports/fast_report.h"
#include "robmat/services.h"

namespace robmat {
namespace mcd {

namespace {

// Where group g's rows start among the groups' rows in b: each group has its own place, so
// that worker lanes can read every group at once.
long group_start(const McdWork* w, long g) {
  long r = 0;
  for (long e = 0; e < g; ++e) r += w->fs.mini[e];
  return r;
}

// The rows of a stage: all n cases in a, or the group or merged set copied to b.
const double* stage_rows(const McdWork* w, const FastStage& st) {
  if (st.group == -2) return w->str->a;
  return w->str->b + (st.group >= 0 ? group_start(w, st.group) * w->p : 0);
}

constexpr double kOnPlane = 1e-8;  // distance below which a case lies on a hyperplane

double* slot_loc(McdWork* w, int l, int s) { return fast_slot(&w->lists, l, s); }

// Hyperplane test of the singular scatter w->S at w->mu (standardized). The hyperplane is
// found on the data's scale, where the 1e-8 tolerance is meant. Returns 1 when at least h of
// all n cases lie on it (then the data-scale location and scatter are in xmve and c and their
// eigenvectors in w->z); 0 otherwise, with *kount the cases of the stage on it (the ks cases
// of the sorted subset sub and every other one within the tolerance); -3 when the eigen
// decomposition fails.
int hyperplane(McdWork* w, const FastStage& st, const long* sub, long ks, long* kount) {
  LMTSTR* str = w->str;
  const int p = w->p;
  const long n = w->n;
  const double* med = w->med;
  const double* mad = w->mad;
  double* mo = w->wv + 2 * p;
  double* so = w->Sinv;  // a factorised copy by now
  for (int j = 0; j < p; ++j) mo[j] = w->mu[j] * mad[j] + med[j];
  std::memcpy(so, w->S, static_cast<size_t>(w->nn) * sizeof(double));
  transf(p, 0, med, mad, nullptr, so, nullptr);
  str->aw = w->wv;
  if (eigen2(str, so, w->z) != 0) return kMcdEigenFail;
  const double* v = w->z + static_cast<long>(p - 1) * p;
  const double* a = str->a;
  for (long i = 0; i < n; ++i) {
    const double* x = a + i * p;
    double s = 0.0;
    for (int j = 0; j < p; ++j) s += (x[j] * mad[j] + med[j] - mo[j]) * v[j];
    w->dd[i] = std::fabs(s);
  }
  if (sub != nullptr) {
    const double* dist = w->dd;
    if (!st.global) {
      const double* rows = stage_rows(w, st);
      for (long i = 0; i < st.m; ++i) {
        const double* x = rows + i * p;
        double s = 0.0;
        for (int j = 0; j < p; ++j) s += (x[j] * mad[j] + med[j] - mo[j]) * v[j];
        w->d2[i] = std::fabs(s);
      }
      dist = w->d2;
    }
    long k = ks;
    long r = 0;
    for (long i = 0; i < st.m; ++i) {
      if (r < ks && sub[r] == i) {
        ++r;
        continue;
      }
      if (dist[i] < kOnPlane) ++k;
    }
    *kount = k;
  }
  if (pull(w->h - 1, n, w->dd) >= kOnPlane) return 0;
  if (w->probe) return 1;
  std::memcpy(str->xmve, mo, static_cast<size_t>(p) * sizeof(double));
  std::memcpy(str->c, so, static_cast<size_t>(w->nn) * sizeof(double));
  if (str->ipri >= 5) xpmlog(kSetModule, kMsgExactFitFound);
  return 1;
}

void invert_current(McdWork* w, int* rc, double* det) {
  std::memcpy(w->Sinv, w->S, static_cast<size_t>(w->nn) * sizeof(double));
  *rc = ccinv(w, w->Sinv, det);
}

// An elemental start of p+1 cases of the stage (from w->comb when enumerating), grown one
// random case at a time while its covariance is singular and no exact fit explains it.
int elemental(McdWork* w, const FastStage& st) {
  LMTSTR* str = w->str;
  const int p = w->p;
  const long k = p + 1;
  const double* x = stage_rows(w, st);
  long* js = w->indx;
  ++str->jlp;
  ++w->wcount;
  if (st.enumerate)
    std::memcpy(js, w->comb, static_cast<size_t>(k) * sizeof(long));
  else if (str->copr == 0)
    ranpro(k, st.m, &w->useed, js);
  else
    ranpn(k, st.m, &w->rseed, js);
  subset_moments(p, x, js, k, w->mu, w->S, w->wv);
  int rc;
  invert_current(w, &rc, &w->det);
  if (rc >= 0) return kMcdGoOn;
  ++str->jerd;
  long kj = k;
  bool sorted = false;
  for (;;) {
    long unused;
    const int hp = hyperplane(w, st, nullptr, 0, &unused);
    if (w->probe && hp != 0) return kMcdSerial;
    if (hp < 0) return kMcdEigenFail;
    if (hp == 1) return finish_exact(w, 1, true);
    if (kj >= st.m) return kMcdDropped;
    if (!sorted) {
      lsort(1, kj, js);
      sorted = true;
    }
    // More cases come from the engine's own generator whatever copr says, so that growing a
    // subset never shifts the host-wide stream.
    prdraw(st.m, kj, &w->useed, js);
    ++kj;
    subset_moments(p, x, js, kj, w->mu, w->S, w->wv);
    invert_current(w, &rc, &w->det);
    if (rc >= 0) return kMcdGoOn;
  }
}

// Starts from a kept solution: its location and scatter, inverted.
int slot_start(McdWork* w, int l, int s) {
  const double* loc = slot_loc(w, l, s);
  std::memcpy(w->mu, loc, static_cast<size_t>(w->p) * sizeof(double));
  std::memcpy(w->S, loc + w->p, static_cast<size_t>(w->nn) * sizeof(double));
  ++w->wcount;
  int rc;
  invert_current(w, &rc, &w->det);
  return rc >= 0 ? kMcdGoOn : kMcdDropped;
}

void record_best(McdWork* w, double det, double dh) {
  LMTSTR* str = w->str;
  str->volm = det;
  str->dism = std::sqrt(std::fmax(dh, 0.0));
  // The h smallest squared distances sit unordered in dd[0..h-1]; the floor(n/2)-th smallest
  // of all n is among them because h > n/2.
  w->med_d2 = pull(w->n / 2 - 1, w->h, w->dd);
  for (long i = 0; i < w->h; ++i) str->jbst[i] = w->indx[i] + 1;
  std::memcpy(w->bmu, w->mu, static_cast<size_t>(w->p) * sizeof(double));
  std::memcpy(w->bestS, w->S, static_cast<size_t>(w->nn) * sizeof(double));
  w->have_best = true;
}

// Concentration steps from (w->mu, w->Sinv): each takes the hs cases of smallest distance
// and their mean and covariance. Stops after step s >= 1 when the determinant equals the one
// of step s-2 (0 before the first step): the determinants never increase, so the step in
// between had it too. A converging stage stops after step s >= 1 when the determinant did
// not fall below step s-1's, which leaves step s-1's subset, the one recorded, a fixed point.
int csteps(McdWork* w, const FastStage& st, long trial, bool* first_take) {
  LMTSTR* str = w->str;
  const int p = w->p;
  const double* x = stage_rows(w, st);
  const long m = st.m;
  const long hs = st.hs;
  double prev1 = 0.0;
  double prev2 = 0.0;
  for (int s = 0; s < st.limit; ++s) {
    if (w->start == nullptr) poll_host();
    mahad_rows(p, m, x, w->mu, w->Sinv, w->dd, w->wv);
    findq(hs - 1, m, w->dd, w->indx);
    const double dh = w->dd[hs - 1];
    order_subset(w, hs, m);
    subset_moments(p, x, w->indx, hs, w->mu, w->S, w->wv);
    int rc;
    double det;
    invert_current(w, &rc, &det);
    ++w->wcount;
    if (rc < 0) {
      if (w->start != nullptr) {
        w->start->state = kStartSerial;
        return kMcdDropped;
      }
      long kount = hs;
      const int hp = hyperplane(w, st, w->indx, hs, &kount);
      if (hp < 0) return kMcdEigenFail;
      if (hp == 1) return finish_exact(w, 1, true);
      // A degenerate local solution: kept with its count so that the lists show it, but a
      // later stage cannot start from a singular scatter and skips it.
      if (st.kind != kFastFinal) fast_list_insert(&w->lists, st.list, w->mu, w->S, 0.0, trial, kount);
      return kMcdDropped;
    }
    w->det = det;
    if (st.kind == kFastFinal && (*first_take || det < str->volm)) {
      *first_take = false;
      record_best(w, det, dh);
    }
    if (s >= 1 && (st.converge ? det >= prev1 : det == prev2)) break;
    prev2 = prev1;
    prev1 = det;
  }
  if (st.kind == kFastFinal) return kMcdGoOn;
  if (FastStart* out = w->start; out != nullptr) {
    std::memcpy(out->v, w->mu, static_cast<size_t>(p) * sizeof(double));
    std::memcpy(out->v + p, w->S, static_cast<size_t>(w->nn) * sizeof(double));
    out->crit = w->det;
    out->count = 0;
    out->state = kStartKept;
  } else {
    fast_list_insert(&w->lists, st.list, w->mu, w->S, w->det, trial, 0);
  }
  return kMcdGoOn;
}

// Zero MAD of variable j: more than half of the cases share one value of it, so the
// hyperplane x_j = median_j holds at least h of them. Location: the medians; scatter: the
// classical covariance (still in c), whose eigen decomposition supplies the other axes.
int zero_mad_fit(McdWork* w, int j) {
  LMTSTR* str = w->str;
  const int p = w->p;
  std::memcpy(str->xmve, w->med, static_cast<size_t>(p) * sizeof(double));
  str->aw = w->wv;
  if (eigen2(str, str->c, w->z) != 0) return kMcdEigenFail;
  double* last = w->z + static_cast<long>(p - 1) * p;
  for (int k = 0; k < p; ++k) last[k] = k == j ? 1.0 : 0.0;
  return finish_exact(w, 1, false);
}

void copy_rows(McdWork* w, long group) {
  double* b = w->str->b + (group >= 0 ? group_start(w, group) * w->p : 0);
  const int p = w->p;
  const long nm = w->fs.scheme.nmerged;
  const long* subdat = w->fs.subdat;
  const double* a = w->str->a;
  long r = 0;
  for (long e = 0; e < nm; ++e)
    if (group < 0 || subdat[nm + e] == group) {
      std::memcpy(b + r * p, a + subdat[e] * p, static_cast<size_t>(p) * sizeof(double));
      ++r;
    }
}

// Chooses the scheme (a user count of trials, one set, or subdatasets when n is large), and
// sets nrep and algo; the group sizes stay in w->fs.mini.
FastScheme choose_scheme(McdWork* w) {
  LMTSTR* str = w->str;
  const long nsds = str->nsds;
  const long lsds = str->lsds;
  const bool groups = fast_wants_groups(w->n, str->nrep, nsds, lsds);
  if (groups) {
    w->fs.mini = take_longs(w, nsds);
    if (w->fs.mini == nullptr) abort_run();
  }
  const FastScheme sc = fast_scheme(w->n, w->p + 1, str->nrep, nsds, lsds, w->alpha, w->fs.mini);
  if (groups && !sc.subds) {
    w->ints.give_back(nsds);
    w->fs.mini = nullptr;
  }
  str->nrep = sc.nrep;
  str->algo = sc.enumerate ? 0 : 1;
  return sc;
}

// The scheme's work space: the merged set (and its room in b), the lists of ten best
// solutions in c, their determinants, trials and counts, and the marks of order_subset.
void carve_lists(McdWork* w, const FastScheme& sc) {
  LMTSTR* str = w->str;
  FastLists* lists = &w->lists;
  if (sc.subds) {
    w->fs.subdat = take_longs(w, 2 * sc.nmerged);
    if (w->fs.subdat == nullptr) abort_run();
    w->b.used = sc.nmerged * w->p;
  }
  lists->nlist = sc.subds ? sc.ngrp + 1 : 1;
  lists->lead = w->p;
  lists->body = w->nn;
  lists->slots = str->c + 2 * w->nn;
  w->c.used = 2 * w->nn + 10L * lists->nlist * (lists->lead + lists->body);
  if (w->c.used > w->c.cap) abort_run();
  lists->crit = take_doubles(w, 10L * lists->nlist);
  if (lists->crit == nullptr) abort_run();
  if (sc.subds) {
    lists->trial = take_doubles(w, 10L * lists->nlist);
    lists->count = take_doubles(w, 10L * lists->nlist);
    if (lists->trial == nullptr || lists->count == nullptr) abort_run();
  }
  w->mark = take_longs(w, w->n);
  if (w->mark != nullptr)
    for (long i = 0; i < w->n; ++i) w->mark[i] = 0;
}

// Standardizes the data by median and MAD in place; a zero MAD is an exact fit, which ends
// the search (the variables done so far are restored first).
int standardize(McdWork* w) {
  const int p = w->p;
  const long n = w->n;
  double* a = w->str->a;
  for (int j = 0; j < p; ++j) {
    if (w->mad[j] <= w->eps) {
      if (w->str->ipri != 0) xpmlog(kSetModule, kMsgZeroMad, w->alpha * 100.0, j + 1);
      for (long i = 0; i < n; ++i)
        for (int t = 0; t < j; ++t) a[i * p + t] = a[i * p + t] * w->mad[t] + w->med[t];
      return zero_mad_fit(w, j);
    }
    for (long i = 0; i < n; ++i) a[i * p + j] = (a[i * p + j] - w->med[j]) / w->mad[j];
  }
  return kMcdGoOn;
}

bool ends_search(int rc) { return rc == kMcdExact || rc == kMcdEigenFail; }

// ---- the hooks of the shared stages ------------------------------------------------------------

void begin_stage(void* ctx, const FastStage& st) {
  McdWork* w = static_cast<McdWork*>(ctx);
  if (st.group != -2) copy_rows(w, st.group);
  w->str->volm = kDblMax;
}

// One elemental start and its C-steps, in a first stage.
int start_elemental(void* ctx, const FastStage& st, long trial) {
  McdWork* w = static_cast<McdWork*>(ctx);
  bool unused = false;
  int rc = elemental(w, st);
  if (rc == kMcdGoOn) rc = csteps(w, st, trial, &unused);
  return ends_search(rc) ? rc : 0;
}

int start_from_slot(void* ctx, const FastStage& st, int l, int s, long trial, bool* first_take) {
  McdWork* w = static_cast<McdWork*>(ctx);
  if (slot_start(w, l, s) != kMcdGoOn) return 0;
  const int rc = csteps(w, st, trial, first_take);
  return ends_search(rc) ? rc : 0;
}

// ---- the hooks of the stages on worker lanes ---------------------------------------------------

// The start's subset and its elemental solution, grown as the serial start grows it, with the
// counts it makes kept in s rather than added.
int draw_start(void* ctx, const FastStage& st, long, FastStart* s) {
  McdWork* w = static_cast<McdWork*>(ctx);
  LMTSTR* str = w->str;
  s->undo[0] = w->useed;
  s->undo[1] = w->rseed;
  const long jlp = str->jlp, jerd = str->jerd, wcount = w->wcount;
  w->probe = true;
  const int rc = elemental(w, st);
  w->probe = false;
  s->adds[0] = str->jlp - jlp;
  s->adds[1] = str->jerd - jerd;
  s->adds[2] = w->wcount - wcount;
  str->jlp = jlp;
  str->jerd = jerd;
  w->wcount = wcount;
  if (rc == kMcdGoOn) {
    std::memcpy(s->v, w->mu, static_cast<size_t>(w->p) * sizeof(double));
    std::memcpy(s->v + w->p, w->Sinv, static_cast<size_t>(w->nn) * sizeof(double));
    s->state = kStartSteps;
  } else if (rc == kMcdDropped) {
    s->state = kStartCounted;
  } else {
    // An exact fit or a failed eigen decomposition ends the search, after the starts before
    // this one have entered their lists.
    w->useed = s->undo[0];
    w->rseed = s->undo[1];
    s->state = kStartSerial;
  }
  return s->state;
}

// A start of the merged stage: the kept solution, inverted as the serial start inverts it.
int take_start(void* ctx, const FastStage&, FastStart* s) {
  McdWork* w = static_cast<McdWork*>(ctx);
  const long wcount = w->wcount;
  const int rc = slot_start(w, s->group, s->slot);
  s->adds[0] = s->adds[1] = 0;
  s->adds[2] = w->wcount - wcount;
  w->wcount = wcount;
  if (rc == kMcdGoOn) {
    std::memcpy(s->v, w->mu, static_cast<size_t>(w->p) * sizeof(double));
    std::memcpy(s->v + w->p, w->Sinv, static_cast<size_t>(w->nn) * sizeof(double));
  }
  s->state = rc == kMcdGoOn ? kStartSteps : kStartCounted;
  return s->state;
}

// A lane: the start's C-steps from its location and inverse scatter.
void lane_steps(void* lane, const FastStage& st, FastStart* s) {
  McdWork* w = static_cast<McdWork*>(lane);
  std::memcpy(w->mu, s->v, static_cast<size_t>(w->p) * sizeof(double));
  std::memcpy(w->Sinv, s->v + w->p, static_cast<size_t>(w->nn) * sizeof(double));
  const long wcount = w->wcount;
  w->start = s;
  bool unused = false;
  csteps(w, st, s->trial, &unused);
  s->adds[2] += w->wcount - wcount;
}

void enter_start(void* ctx, const FastStage& st, const FastStart* s) {
  McdWork* w = static_cast<McdWork*>(ctx);
  w->str->jlp += s->adds[0];
  w->str->jerd += s->adds[1];
  w->wcount += s->adds[2];
  if (s->state == kStartKept)
    fast_list_insert(&w->lists, st.list, s->v, s->v + w->p, s->crit, s->trial, s->count);
}

void rewind_start(void* ctx, const FastStage&, const FastStart* s) {
  McdWork* w = static_cast<McdWork*>(ctx);
  w->useed = s->undo[0];
  w->rseed = s->undo[1];
}

// The pieces of one lane: a copy of the calling thread's record with scratch of its own for
// the C-steps on at most m cases. False when the block is too short.
bool carve_lane(void* rec, const void* ctx, Arena<double>* a, long m) {
  McdWork* lane = static_cast<McdWork*>(rec);
  const McdWork* w = static_cast<const McdWork*>(ctx);
  const int p = w->p;
  *lane = *w;
  lane->mu = a->take(p);
  lane->S = a->take(w->nn);
  lane->Sinv = a->take(w->nn);
  lane->dd = a->take(m);
  lane->wv = a->take(3L * p);
  lane->z = a->take(static_cast<long>(p) * p);
  lane->dtin = a->take(5);
  lane->indx = take_records<long>(a, m);
  lane->mark = take_records<long>(a, m);
  lane->piv = take_records<long>(a, p);
  long* lind = take_records<long>(a, (p + 7) / 8);
  if (lane->mu == nullptr || lane->S == nullptr || lane->Sinv == nullptr || lane->dd == nullptr ||
      lane->wv == nullptr || lane->z == nullptr || lane->dtin == nullptr || lane->indx == nullptr ||
      lane->mark == nullptr || lane->piv == nullptr || lind == nullptr)
    return false;
  for (long i = 0; i < m; ++i) lane->mark[i] = 0;
  lane->lind = reinterpret_cast<char*>(lind);
  lane->d2 = nullptr;
  lane->wcount = 0;
  lane->probe = false;
  return true;
}

// Doubles of one lane's pieces (carve_lane).
long lane_doubles(long p, long m) {
  const long nn = p * (p + 1) / 2;
  return p + 2 * nn + m + 3 * p + p * p + 5 + record_doubles<long>(m) * 2 + record_doubles<long>(p) +
         record_doubles<long>((p + 7) / 8);
}

const FastLanes kLanes{
    draw_start, take_start, lane_steps, enter_start, rewind_start, carve_lane, record_doubles<McdWork>(1)};

void groups_done(void* ctx) {
  McdWork* w = static_cast<McdWork*>(ctx);
  if (w->str->ipri >= 5) mcd_print_subdata(w);
}

// Beyond 5000 cases one start from the best kept solution has to do: each C-step costs a pass
// over all the data.
const FastEngine kEngine{.routine = "MCD",
                         .merged_limit = 2,
                         .final_base = 11,
                         .final_starts_large = 1,
                         .begin = begin_stage,
                         .elemental = start_elemental,
                         .from_slot = start_from_slot,
                         .groups_done = groups_done,
                         .kept_done = nullptr};

// A start's C-steps normally converge within a few dozen steps; the limit only bounds a run
// whose determinants keep shrinking by rounding amounts.
constexpr int kDetStepLimit = 1000;

// The deterministic scheme: the six starts of det_starts.cpp, each followed by C-steps on all
// cases until the determinant stops decreasing; the best step of all is the estimate. A
// start whose half is singular is grown to h cases by the same distances; when that is
// singular too, the hyperplane it lies on is an exact fit or the start is dropped.
int det_search(McdWork* w) {
  LMTSTR* str = w->str;
  const int p = w->p;
  const long n = w->n;
  str->nrep = kDetStarts;
  str->algo = 2;
  if (const int rc = standardize(w); rc != kMcdGoOn) return rc;
  DetStarts ds;
  det_prepare(w, &ds);
  w->mark = take_longs(w, n);
  if (w->mark != nullptr)
    for (long i = 0; i < n; ++i) w->mark[i] = 0;
  const FastStage st{kFastFinal, -2, n, w->h, kDetStepLimit, kDetStarts, true, false, 0, false};
  str->volm = kDblMax;
  bool first_take = true;
  for (int k = 0; k < kDetStarts; ++k) {
    poll_host();
    ++str->jlp;
    ++w->wcount;
    int rc = -1;
    bool formed = false;
    const long sizes[2] = {(n + 1) / 2, w->h};
    for (int round = 0; round < 2 && rc < 0; ++round) {
      if (det_subset(w, &ds, k, sizes[round]) == 0) break;
      subset_moments(p, str->a, w->indx, sizes[round], w->mu, w->S, w->wv);
      invert_current(w, &rc, &w->det);
      formed = true;
    }
    if (rc < 0) {
      ++str->jerd;
      if (!formed) continue;
      long unused;
      const int hp = hyperplane(w, st, nullptr, 0, &unused);
      if (hp < 0) return kMcdEigenFail;
      if (hp == 1) return finish_exact(w, 1, true);
      continue;
    }
    const int cs = csteps(w, st, k + 1, &first_take);
    if (ends_search(cs)) return cs;
  }
  if (!w->have_best) {
    xpmlog(kSetModule, kMsgNoRegularStart);
    abort_run();
  }
  if (str->ipri >= 5) xpmlog(kSetModule, kMsgBestDeterminant, str->volm);
  return kMcdGoOn;
}

}  // namespace

int mcd_search(McdWork* w) {
  LMTSTR* str = w->str;
  if ((str->imve & kImveDeterministic) != 0) return det_search(w);
  FastSearch* fs = &w->fs;
  const FastScheme sc = choose_scheme(w);
  carve_lists(w, sc);
  if (str->ipri >= 5) {
    fast_log_scheme(sc, w->n, w->p + 1, w->alpha, str->nsds, str->lsds);
    if (sc.subds) print_subdata_sizes(str->rpx, &str->out, sc.ngrp, fs->mini);
  }
  if (const int rc = standardize(w); rc != kMcdGoOn) return rc;
  fast_lists_clear(&w->lists);
  fast_search_init(fs, &kEngine, w, str, sc, w->n, w->p, w->p + 1, w->h, &w->useed, &w->lists);
  fs->comb = w->comb;
  fast_prepare_lanes(fs, &w->par, &kLanes, str, w->p + w->nn);
  if (const int rc = fast_stages(fs); rc != 0) return rc;
  if (!w->have_best) {
    xpmlog(kSetModule, kMsgNoRegularStart);
    abort_run();
  }
  if (str->ipri >= 5) xpmlog(kSetModule, kMsgBestDeterminant, str->volm);
  return kMcdGoOn;
}

}  // namespace mcd

long mcd_lane_doubles(long n, long p, long nsds, long lsds, int threads) {
  const long nn = p * (p + 1) / 2;
  const long lane = record_doubles<mcd::McdWork>(1) + mcd::lane_doubles(p, fast_merged_cases(n, nsds, lsds));
  return fast_lanes_doubles(n, nsds, lsds, p + 1, threads, p + nn, lane);
}

}  // namespace robmat
