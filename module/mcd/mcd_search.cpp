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
#include "robmat/services.h"

namespace robmat {
namespace mcd {

namespace {

enum StageKind : int {
  kStageFirst = 1,   // elemental starts; results into a list
  kStageMerged = 2,  // starts from the group lists; results into the merged list
  kStageFinal = 3,   // starts from the last list; the best step is the raw MCD
};

struct Stage {
  const double* x;  // m rows of p standardized values
  long m;
  long hs;      // subset size
  int limit;    // C-steps per start
  bool global;  // the rows are all n cases in their order
  StageKind kind;
  int list;
};

constexpr double kOnPlane = 1e-8;  // distance below which a case lies on a hyperplane

long slot_len(const McdWork* w) { return w->p + w->nn; }
double* slot_loc(McdWork* w, int l, int s) { return w->slots + (10L * l + s) * slot_len(w); }
bool slot_empty(McdWork* w, int l, int s) { return wzmis(slot_loc(w, l, s)[0]); }

void list_init(McdWork* w) {
  const double miss = missing_value();
  for (int l = 0; l < w->nlist; ++l)
    for (int s = 0; s < 10; ++s) {
      double* loc = slot_loc(w, l, s);
      for (int j = 0; j < w->p; ++j) loc[j] = miss;
      w->ldet[10 * l + s] = kDblMax;
      if (w->ltrial != nullptr) {
        w->ltrial[10 * l + s] = 0.0;
        w->lcount[10 * l + s] = 0.0;
      }
    }
}

// Enters a solution into list l, kept in ascending order of determinant; an equal
// determinant with an identical scatter is the same solution found again.
void list_insert(McdWork* w, int l, const double* mu, const double* cov, double det, long trial, long count) {
  const int p = w->p;
  const long nn = w->nn;
  double* ld = w->ldet + 10 * l;
  int pos = 0;
  while (pos < 10 && ld[pos] < det) ++pos;
  if (pos == 10) return;
  if (ld[pos] == det && !slot_empty(w, l, pos)) {
    const double* sc = slot_loc(w, l, pos) + p;
    long e = 0;
    while (e < nn && sc[e] == cov[e]) ++e;
    if (e == nn) return;
  }
  for (int s = 9; s > pos; --s) {
    std::memcpy(slot_loc(w, l, s), slot_loc(w, l, s - 1), static_cast<size_t>(slot_len(w)) * sizeof(double));
    ld[s] = ld[s - 1];
    if (w->ltrial != nullptr) {
      w->ltrial[10 * l + s] = w->ltrial[10 * l + s - 1];
      w->lcount[10 * l + s] = w->lcount[10 * l + s - 1];
    }
  }
  double* loc = slot_loc(w, l, pos);
  std::memcpy(loc, mu, static_cast<size_t>(p) * sizeof(double));
  std::memcpy(loc + p, cov, static_cast<size_t>(nn) * sizeof(double));
  ld[pos] = det;
  if (w->ltrial != nullptr) {
    w->ltrial[10 * l + pos] = static_cast<double>(trial);
    w->lcount[10 * l + pos] = static_cast<double>(count);
  }
}

// Hyperplane test of the singular scatter w->S at w->mu (standardized). The hyperplane is
// found on the data's scale, where the 1e-8 tolerance is meant. Returns 1 when at least h of
// all n cases lie on it (then the data-scale location and scatter are in xmve and c and their
// eigenvectors in w->z); 0 otherwise, with *kount the cases of the stage on it (the ks cases
// of the sorted subset sub and every other one within the tolerance); -3 when the eigen
// decomposition fails.
int hyperplane(McdWork* w, const Stage& st, const long* sub, long ks, long* kount) {
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
      for (long i = 0; i < st.m; ++i) {
        const double* x = st.x + i * p;
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
int elemental(McdWork* w, const Stage& st, bool enumerate) {
  LMTSTR* str = w->str;
  const int p = w->p;
  const long k = p + 1;
  long* js = w->indx;
  ++str->jlp;
  ++w->wcount;
  if (enumerate)
    std::memcpy(js, w->comb, static_cast<size_t>(k) * sizeof(long));
  else if (str->copr == 0)
    ranpro(k, st.m, &w->useed, js);
  else
    ranpn(k, st.m, &w->rseed, js);
  subset_moments(p, st.x, js, k, w->mu, w->S, w->wv);
  int rc;
  invert_current(w, &rc, &w->det);
  if (rc >= 0) return kMcdGoOn;
  ++str->jerd;
  long kj = k;
  bool sorted = false;
  for (;;) {
    long unused;
    const int hp = hyperplane(w, st, nullptr, 0, &unused);
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
    subset_moments(p, st.x, js, kj, w->mu, w->S, w->wv);
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
// between had it too.
int csteps(McdWork* w, const Stage& st, long trial, bool* first_take) {
  LMTSTR* str = w->str;
  const int p = w->p;
  const long m = st.m;
  const long hs = st.hs;
  double prev1 = 0.0;
  double prev2 = 0.0;
  for (int s = 0; s < st.limit; ++s) {
    poll_host();
    for (long i = 0; i < m; ++i) w->dd[i] = mahad(p, st.x + i * p, w->mu, w->Sinv, w->wv);
    findq(hs - 1, m, w->dd, w->indx);
    const double dh = w->dd[hs - 1];
    order_subset(w, hs, m);
    subset_moments(p, st.x, w->indx, hs, w->mu, w->S, w->wv);
    int rc;
    double det;
    invert_current(w, &rc, &det);
    ++w->wcount;
    if (rc < 0) {
      long kount = hs;
      const int hp = hyperplane(w, st, w->indx, hs, &kount);
      if (hp < 0) return kMcdEigenFail;
      if (hp == 1) return finish_exact(w, 1, true);
      // A degenerate local solution: kept with its count so that the lists show it, but a
      // later stage cannot start from a singular scatter and skips it.
      if (st.kind != kStageFinal) list_insert(w, st.list, w->mu, w->S, 0.0, trial, kount);
      return kMcdDropped;
    }
    w->det = det;
    if (st.kind == kStageFinal && (*first_take || det < str->volm)) {
      *first_take = false;
      record_best(w, det, dh);
    }
    if (s >= 1 && det == prev2) break;
    prev2 = prev1;
    prev1 = det;
  }
  if (st.kind != kStageFinal) list_insert(w, st.list, w->mu, w->S, w->det, trial, 0);
  return kMcdGoOn;
}

// The stage's starts from list l (or its first slot only), skipping the rest of a list at its
// first empty slot.
int run_from_list(McdWork* w, const Stage& st, int l, int nstart, long* trial, bool* first_take) {
  for (int s = 0; s < nstart; ++s) {
    if (slot_empty(w, l, s)) break;
    ++*trial;
    if (slot_start(w, l, s) != kMcdGoOn) continue;
    const int rc = csteps(w, st, *trial, first_take);
    if (rc == kMcdExact || rc == kMcdEigenFail) return rc;
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

void copy_rows(McdWork* w, long group, double* b) {
  const int p = w->p;
  const long nm = w->nmerged;
  const double* a = w->str->a;
  long r = 0;
  for (long e = 0; e < nm; ++e)
    if (group < 0 || w->subdat[nm + e] == group) {
      std::memcpy(b + r * p, a + w->subdat[e] * p, static_cast<size_t>(p) * sizeof(double));
      ++r;
    }
}

void stage_heading(McdWork* w, int number, long cases, long starts, int steps) {
  if (w->str->ipri >= 5) xpmlog(kSetModule, number, cases, starts, steps);
}

int final_limit(long p, long n) {
  const long pn = p * n;
  if (pn <= 100000) return 100;
  if (pn > 1000000) return 1;
  return static_cast<int>(11 - pn / 100000);
}

// The scheme of a search: subdatasets with a merged set, or one set with random or
// enumerated elemental starts.
struct Scheme {
  bool subds = false;
  bool enumerate = false;
  long ntrial = 0;  // starts of the single set
  int ngrp = 0;
  long nmerged = 0;
};

// Chooses the scheme (a user count of trials, one set, or subdatasets when n is large), and
// sets nrep and algo; the group sizes stay in w->mini.
Scheme choose_scheme(McdWork* w) {
  LMTSTR* str = w->str;
  const int p = w->p;
  const long n = w->n;
  const long k = p + 1;
  const long nsds = str->nsds;
  const long lsds = str->lsds;
  Scheme sc;
  if (str->nrep < 1 && nsds >= 1 && lsds >= 1 && n >= 2 * lsds) {
    const long gmax = nsds < n / lsds ? nsds : n / lsds;  // the groups there can be
    w->mini = take_longs(w, gmax);
    if (w->mini == nullptr) abort_run();
    sc.ngrp = fast_group_sizes(n, nsds, lsds, w->mini);
    long smallest = w->mini[0];
    for (int g = 1; g < sc.ngrp; ++g)
      if (w->mini[g] < smallest) smallest = w->mini[g];
    // Groups whose subsets cannot have a regular covariance cannot run the scheme; the
    // single set with random starts serves them.
    const long h1 = static_cast<long>(static_cast<double>(w->mini[0]) * w->alpha);
    sc.subds = h1 > p && smallest > p;
    if (!sc.subds) {
      w->ints.give_back(gmax);
      w->mini = nullptr;
      sc.ngrp = 0;
    }
  }
  if (sc.subds) {
    for (int g = 0; g < sc.ngrp; ++g) sc.nmerged += w->mini[g];
    str->nrep = (kFastStarts / sc.ngrp) * sc.ngrp;
  } else if (str->nrep >= 1) {
    const long all = ncomb(k, n);
    if (all <= str->nrep) {
      str->nrep = all;
      sc.enumerate = true;
    }
    sc.ntrial = str->nrep;
  } else {
    if (fast_enumeration_limit(k) < n) {
      sc.ntrial = kFastStarts;
    } else {
      sc.ntrial = ncomb(k, n);
      sc.enumerate = true;
    }
    str->nrep = sc.ntrial;
  }
  str->algo = sc.enumerate ? 0 : 1;
  return sc;
}

// The scheme's work space: the merged set (and its room in b), the lists of ten best
// solutions in c, their determinants, trials and counts, and the marks of order_subset.
void carve_lists(McdWork* w, const Scheme& sc) {
  LMTSTR* str = w->str;
  if (sc.subds) {
    w->subdat = take_longs(w, 2 * sc.nmerged);
    if (w->subdat == nullptr) abort_run();
    w->ngrp = sc.ngrp;
    w->nmerged = sc.nmerged;
    w->b.used = sc.nmerged * w->p;
  }
  w->nlist = sc.subds ? sc.ngrp + 1 : 1;
  w->slots = str->c + 2 * w->nn;
  w->c.used = 2 * w->nn + 10L * w->nlist * slot_len(w);
  if (w->c.used > w->c.cap) abort_run();
  w->ldet = take_doubles(w, 10L * w->nlist);
  if (w->ldet == nullptr) abort_run();
  if (sc.subds) {
    w->ltrial = take_doubles(w, 10L * w->nlist);
    w->lcount = take_doubles(w, 10L * w->nlist);
    if (w->ltrial == nullptr || w->lcount == nullptr) abort_run();
  }
  w->mark = take_longs(w, w->n);
  if (w->mark != nullptr)
    for (long i = 0; i < w->n; ++i) w->mark[i] = 0;
}

// The notes of the scheme in the log (print level 5), and the group sizes.
void log_scheme(McdWork* w, const Scheme& sc) {
  const LMTSTR* str = w->str;
  const int p = w->p;
  const long n = w->n;
  xpslog("%3z%s %g %s", "Considered 'halves' containing", w->alpha * 100.0, "percent of the cases.");
  if (!sc.subds && sc.enumerate)
    xpslog("%3z%s %li %s %i %s %li %s",
           "All",
           sc.ntrial,
           "trial subsamples of",
           p + 1,
           "out of",
           n,
           "cases are constructed.");
  else if (!sc.subds)
    xpslog("%3z%s %li %s %i %s %li %s",
           "The program has drawn",
           sc.ntrial,
           "random trial subsamples of",
           p + 1,
           "cases out of",
           n,
           "cases.");
  else if (static_cast<long>(str->nsds) * str->lsds < n)
    xpslog("%3z%s %li %s %s %li %s",
           "The program has started by drawing",
           static_cast<long>(sc.ngrp),
           "random and nonoverlapping subdatasets of the",
           "following sizes which together form a merged set of",
           sc.nmerged,
           "observations.");
  else
    xpslog("%3z%s %li %s %i %s",
           "The program has started by randomly dividing the",
           n,
           "cases into",
           sc.ngrp,
           "nonoverlapping subdatasets.");
  xpslog("%3zThe program now carries out the actual %s", "computations. This may take some time...");
  if (sc.subds) mcd_print_sizes(w);
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

// One elemental start and its C-steps, in a first stage.
int trial_from_elemental(McdWork* w, const Stage& st, bool enumerate, long trial) {
  bool unused = false;
  const int rc = elemental(w, st, enumerate);
  if (rc != kMcdGoOn) return rc;
  return csteps(w, st, trial, &unused);
}

// Stages 1 and 2 of the subdataset scheme: random starts in each group, then the groups'
// kept solutions on the merged set.
int group_stages(McdWork* w, const Scheme& sc) {
  LMTSTR* str = w->str;
  rdraw(w->n, sc.ngrp, w->mini, &w->useed, w->subdat, sc.nmerged);
  const long ntr = kFastStarts / sc.ngrp;
  const long h1 = static_cast<long>(static_cast<double>(w->mini[0]) * w->alpha);
  stage_heading(w, kMsgStageGroups, sc.ngrp, ntr, 2);
  str->volm = kDblMax;
  for (int g = 0; g < sc.ngrp; ++g) {
    copy_rows(w, g, str->b);
    const Stage st{str->b, w->mini[g], h1, 2, false, kStageFirst, g};
    for (long t = 1; t <= ntr; ++t) {
      poll_host();
      const int rc = trial_from_elemental(w, st, false, t);
      if (ends_search(rc)) return rc;
    }
  }
  if (str->ipri >= 5) mcd_print_subdata(w);
  copy_rows(w, -1, str->b);
  const long hm = static_cast<long>(static_cast<double>(sc.nmerged) * w->alpha);
  const Stage sm{str->b, sc.nmerged, hm, 2, sc.nmerged == w->n, kStageMerged, sc.ngrp};
  long kept = 0;
  for (int g = 0; g < sc.ngrp; ++g)
    for (int s = 0; s < 10 && !slot_empty(w, g, s); ++s) ++kept;
  stage_heading(w, kMsgStageMerged, sc.nmerged, kept, 2);
  str->volm = kDblMax;
  long trial = 0;
  bool unused = false;
  for (int g = 0; g < sc.ngrp; ++g) {
    const int rc = run_from_list(w, sm, g, 10, &trial, &unused);
    if (rc != kMcdGoOn) return rc;
  }
  return kMcdGoOn;
}

// From this many trials on, the time a search takes is worth a warning: a negative option 5
// asks for every subset, which at n = 100, p = 5 is 1.2e9 of them.
constexpr long kManyTrials = 1000000;
constexpr long kTimedTrials = 1000;

// The warning for a long search, with its duration extrapolated from the first trials.
void warn_long_search(McdWork* w, const Scheme& sc, double seconds) {
  double t = seconds * static_cast<double>(sc.ntrial) / static_cast<double>(kTimedTrials);
  const char* unit = "seconds";
  if (t >= 2 * 86400.0) {
    t /= 86400.0;
    unit = "days";
  } else if (t >= 2 * 3600.0) {
    t /= 3600.0;
    unit = "hours";
  } else if (t >= 120.0) {
    t /= 60.0;
    unit = "minutes";
  }
  xpslog(
      "%2zMCD %s %li subsets of %i of the %li observations (option 5); at the speed of the first %li "
      "this takes about %.2g %s. An interrupt (Ctrl-C) cancels the call.",
      sc.enumerate ? "tries all" : "draws",
      sc.ntrial,
      w->p + 1,
      w->n,
      kTimedTrials,
      t,
      unit);
}

// Stage 1 of the single set: random or enumerated elemental starts on all cases.
int single_set_stage(McdWork* w, const Scheme& sc) {
  const long k = w->p + 1;
  const Stage st{w->str->a, w->n, w->h, 2, true, kStageFirst, 0};
  stage_heading(w, kMsgStageSingle, w->n, sc.ntrial, 2);
  w->str->volm = kDblMax;
  for (long i = 0; i < k; ++i) w->comb[i] = i;
  const bool timed = sc.ntrial >= kManyTrials;
  const double start = timed ? zdattim() : 0.0;
  for (long t = 1; t <= sc.ntrial; ++t) {
    if (timed && t == kTimedTrials + 1) warn_long_search(w, sc, zdattim() - start);
    poll_host();
    if (sc.enumerate && t > 1) {
      long enter;
      long leave;
      if (genpn(k, w->n, w->comb, &enter, &leave) != 0) break;
    }
    const int rc = trial_from_elemental(w, st, sc.enumerate, t);
    if (ends_search(rc)) return rc;
  }
  return kMcdGoOn;
}

// The final stage on all cases from the kept solutions; its best C-step is the raw MCD.
// Beyond 5000 cases one start from the best kept solution has to do: each C-step costs a
// pass over all the data.
int final_stage(McdWork* w, const Scheme& sc) {
  LMTSTR* str = w->str;
  const Stage sf{str->a, w->n, w->h, final_limit(w->p, w->n), true, kStageFinal, 0};
  const int nstart = w->n > 5000 ? 1 : 10;
  const int src = sc.subds ? sc.ngrp : 0;
  long kept = 0;
  for (int s = 0; s < nstart && !slot_empty(w, src, s); ++s) ++kept;
  stage_heading(w, kMsgStageFinal, w->n, kept, sf.limit);
  str->volm = kDblMax;
  bool first_take = !sc.subds;
  long trial = 0;
  const int rc = run_from_list(w, sf, src, nstart, &trial, &first_take);
  if (rc != kMcdGoOn) return rc;
  if (!w->have_best) {
    xpmlog(kSetModule, kMsgNoRegularStart);
    abort_run();
  }
  if (str->ipri >= 5) xpmlog(kSetModule, kMsgBestDeterminant, str->volm);
  return kMcdGoOn;
}

}  // namespace

int mcd_search(McdWork* w) {
  const Scheme sc = choose_scheme(w);
  carve_lists(w, sc);
  if (w->str->ipri >= 5) log_scheme(w, sc);
  if (const int rc = standardize(w); rc != kMcdGoOn) return rc;
  list_init(w);
  const int rc = sc.subds ? group_stages(w, sc) : single_set_stage(w, sc);
  if (rc != kMcdGoOn) return rc;
  return final_stage(w, sc);
}

}  // namespace mcd
}  // namespace robmat
