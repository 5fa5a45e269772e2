// The stages of the FAST searches and their lists of ten. The order of the draws (groups
// first, then the elemental starts group by group) and of the starts from the lists is fixed
// here, so a seed reproduces a search whatever the engine computes per start.
#include "kernels/fast_search.h"

#include <cstring>

#include "kernels/draws.h"
#include "kernels/machine.h"
#include "kernels/pool.h"
#include "robmat/services.h"

namespace robmat {

bool fast_wants_groups(long n, long nrep, long nsds, long lsds) {
  return nrep < 1 && nsds >= 1 && lsds >= 1 && n >= 2 * lsds;
}

FastScheme fast_scheme(long n, long k, long nrep, long nsds, long lsds, double alpha, long* mini) {
  FastScheme sc;
  if (fast_wants_groups(n, nrep, nsds, lsds)) {
    sc.ngrp = fast_group_sizes(n, nsds, lsds, mini);
    long smallest = mini[0];
    for (int g = 1; g < sc.ngrp; ++g)
      if (mini[g] < smallest) smallest = mini[g];
    // Groups whose subsets cannot hold an elemental subset cannot run the scheme; the single
    // set with random starts serves them.
    const long h1 = static_cast<long>(static_cast<double>(mini[0]) * alpha);
    sc.subds = h1 >= k && smallest >= k;
    if (!sc.subds) sc.ngrp = 0;
  }
  if (sc.subds) {
    for (int g = 0; g < sc.ngrp; ++g) sc.nmerged += mini[g];
    sc.nrep = (kFastStarts / sc.ngrp) * sc.ngrp;
  } else if (nrep >= 1) {
    const long all = ncomb(k, n);
    sc.ntrial = nrep;
    if (all <= nrep) {
      sc.ntrial = all;
      sc.enumerate = true;
    }
    sc.nrep = sc.ntrial;
  } else {
    if (fast_enumeration_limit(k) < n) {
      sc.ntrial = kFastStarts;
    } else {
      sc.ntrial = ncomb(k, n);
      sc.enumerate = true;
    }
    sc.nrep = sc.ntrial;
  }
  return sc;
}

int fast_final_steps(long p, long n, int base) {
  const long pn = p * n;
  if (pn <= 100000) return 100;
  if (pn > 1000000) return base - 10;
  return static_cast<int>(base - pn / 100000);
}

int fast_converge_starts(long n, int base) {
  const long budget = kConvergeCases / n;
  const int starts = budget >= 10 ? 10 : budget < 1 ? 1 : static_cast<int>(budget);
  return starts > base ? starts : base;
}

int fast_threads(long n, long nrep, long nsds, long lsds) {
  if (!fast_wants_groups(n, nrep, nsds, lsds)) return 1;
  int64_t cpus = 1;
  if (xcfgint("host.cpucount", &cpus) != 0 || cpus < 2) return 1;
  const long groups = nsds < n / lsds ? nsds : n / lsds;
  return static_cast<int>(cpus < groups ? cpus : groups);
}

long fast_round_slots(long m, long k, int steps, int lanes) {
  // About 1e8 multiply-adds per round: a tenth of a second on one of today's cores, which
  // bounds how long an interrupt waits. A C-step costs about m (k + 1)^2 of them.
  constexpr double kRoundWork = 1e8;
  const double kk = static_cast<double>(k + 1);
  const double per_start = static_cast<double>(steps) * static_cast<double>(m) * kk * kk;
  const double fit = kRoundWork / per_start;
  long slots = fit >= static_cast<double>(kFastStarts) ? kFastStarts : static_cast<long>(fit);
  if (slots < 4L * lanes) slots = 4L * lanes;
  return slots;
}

long fast_round_capacity(long n, long nsds, long lsds, long k, int lanes) {
  const long groups = nsds < n / lsds ? nsds : n / lsds;
  // The groups share the merged set's cases as equally as they can, the first the fewest.
  return fast_round_slots(fast_merged_cases(n, nsds, lsds) / groups, k, 2, lanes);
}

namespace {

long parallel_doubles(int lanes, long slots, long veclen) {
  return record_doubles<FastLane>(lanes) + record_doubles<FastStart>(slots) + slots * veclen;
}

// The records of a FastParallel from the block a (lanes FastLane, slots FastStart, and slots
// vectors of veclen doubles). False when a is too short.
bool parallel_carve(FastParallel* par, Arena<double>* a, int lanes, long slots, long veclen) {
  par->lanes = lanes;
  par->slots = slots;
  par->pool = PuddleControl{};
  par->pool_tried = false;
  par->lane = take_records<FastLane>(a, lanes);
  par->start = take_records<FastStart>(a, slots);
  if (par->lane == nullptr || par->start == nullptr) return false;
  for (long i = 0; i < slots; ++i) {
    par->start[i].v = a->take(veclen);
    if (par->start[i].v == nullptr) return false;
  }
  for (int l = 0; l < lanes; ++l) {
    par->lane[l].index = l;
    par->lane[l].count = 0;
  }
  return true;
}

}  // namespace

long fast_lanes_doubles(long n, long nsds, long lsds, long k, int threads, long veclen, long lane) {
  const long slots = fast_round_capacity(n, nsds, lsds, k, threads);
  return parallel_doubles(threads, slots, veclen) + threads * lane;
}

void fast_prepare_lanes(
    FastSearch* fs, FastParallel* par, const FastLanes* hook, const LMTSTR* str, long veclen) {
  const auto* space = static_cast<const FastLaneSpace*>(str->secstr);
  const FastScheme& sc = fs->scheme;
  if (space == nullptr || !sc.subds) return;
  const int lanes = space->threads < sc.ngrp ? space->threads : sc.ngrp;
  if (lanes < 2) return;
  const long slots = fast_round_capacity(fs->n, str->nsds, str->lsds, fs->k, lanes);
  Arena<double> a{space->block, space->doubles};
  if (!parallel_carve(par, &a, lanes, slots, veclen)) return;
  double* records = a.take(lanes * hook->record);
  if (records == nullptr) return;
  for (int l = 0; l < lanes; ++l) {
    void* lane = records + l * hook->record;
    if (!hook->carve(lane, fs->ctx, &a, sc.nmerged)) return;
    par->lane[l].ctx = lane;
  }
  par->hook = hook;
  fs->par = par;
}

void fast_search_init(FastSearch* fs,
                      const FastEngine* e,
                      void* ctx,
                      const LMTSTR* str,
                      const FastScheme& sc,
                      long n,
                      long p,
                      long k,
                      long h,
                      long* useed,
                      FastLists* lists) {
  fs->n = n;
  fs->k = k;
  fs->h = h;
  fs->alpha = static_cast<double>(h) / static_cast<double>(n);
  fs->merged_limit = e->merged_limit;
  fs->converge = (str->imve & kImveConverge) != 0;
  fs->final_limit = fs->converge ? kFastConvergeLimit : fast_final_steps(p, n, e->final_base);
  fs->final_starts = n > 5000 ? e->final_starts_large : 10;
  if (fs->converge) fs->final_starts = fast_converge_starts(n, fs->final_starts);
  fs->log_stages = str->ipri >= 5;
  fs->routine = e->routine;
  fs->scheme = sc;
  fs->useed = useed;
  fs->lists = lists;
  fs->ctx = ctx;
  fs->begin = e->begin;
  fs->elemental = e->elemental;
  fs->from_slot = e->from_slot;
  fs->groups_done = e->groups_done;
  fs->kept_done = e->kept_done;
  fs->par = nullptr;
}

// ---- lists -------------------------------------------------------------------------------------

namespace {
long slot_len(const FastLists* lists) { return lists->lead + lists->body; }
}  // namespace

double* fast_slot(const FastLists* lists, int l, int s) {
  return lists->slots + (10L * l + s) * slot_len(lists);
}

bool fast_slot_empty(const FastLists* lists, int l, int s) { return wzmis(fast_slot(lists, l, s)[0]); }

void fast_lists_clear(FastLists* lists) {
  const double miss = missing_value();
  for (int l = 0; l < lists->nlist; ++l)
    for (int s = 0; s < 10; ++s) {
      double* slot = fast_slot(lists, l, s);
      // The lead part, or the body when there is none, starts with the missing value.
      const long marked = lists->lead > 0 ? lists->lead : 1;
      for (long j = 0; j < marked; ++j) slot[j] = miss;
      lists->crit[10 * l + s] = kDblMax;
      if (lists->trial != nullptr) lists->trial[10 * l + s] = 0.0;
      if (lists->count != nullptr) lists->count[10 * l + s] = 0.0;
    }
}

void fast_list_insert(
    FastLists* lists, int l, const double* lead, const double* body, double crit, long trial, long count) {
  const long nl = lists->lead;
  const long nb = lists->body;
  double* lc = lists->crit + 10 * l;
  int pos = 0;
  while (pos < 10 && lc[pos] < crit) ++pos;
  if (pos == 10) return;
  if (lc[pos] == crit && !fast_slot_empty(lists, l, pos)) {
    const double* stored = fast_slot(lists, l, pos) + nl;
    long e = 0;
    while (e < nb && stored[e] == body[e]) ++e;
    if (e == nb) return;
  }
  for (int s = 9; s > pos; --s) {
    std::memcpy(fast_slot(lists, l, s),
                fast_slot(lists, l, s - 1),
                static_cast<size_t>(slot_len(lists)) * sizeof(double));
    lc[s] = lc[s - 1];
    if (lists->trial != nullptr) lists->trial[10 * l + s] = lists->trial[10 * l + s - 1];
    if (lists->count != nullptr) lists->count[10 * l + s] = lists->count[10 * l + s - 1];
  }
  double* slot = fast_slot(lists, l, pos);
  if (nl > 0) std::memcpy(slot, lead, static_cast<size_t>(nl) * sizeof(double));
  std::memcpy(slot + nl, body, static_cast<size_t>(nb) * sizeof(double));
  lc[pos] = crit;
  if (lists->trial != nullptr) lists->trial[10 * l + pos] = static_cast<double>(trial);
  if (lists->count != nullptr) lists->count[10 * l + pos] = static_cast<double>(count);
}

long fast_list_kept(const FastLists* lists, int l, int upto) {
  long kept = 0;
  for (int s = 0; s < upto && !fast_slot_empty(lists, l, s); ++s) ++kept;
  return kept;
}

// ---- stages ------------------------------------------------------------------------------------

namespace {

void heading(const FastSearch* fs, int number, long cases, long starts, int steps) {
  if (fs->log_stages) xpmlog(kSetModule, number, cases, starts, steps);
}

// The stage's starts from list l (or its first nstart slots), up to the list's first empty
// slot.
int starts_from_list(FastSearch* fs, const FastStage& st, int l, int nstart, long* trial, bool* first_take) {
  for (int s = 0; s < nstart; ++s) {
    if (fast_slot_empty(fs->lists, l, s)) break;
    ++*trial;
    poll_host();
    if (const int rc = fs->from_slot(fs->ctx, st, l, s, *trial, first_take); rc != 0) return rc;
  }
  return 0;
}

// The first stage in group g: kFastStarts / ngrp starts, the subset floor(mini[0] alpha), 2
// C-steps, results into list g.
FastStage group_stage(const FastSearch* fs, int g) {
  const long ntr = kFastStarts / fs->scheme.ngrp;
  const long h1 = static_cast<long>(static_cast<double>(fs->mini[0]) * fs->alpha);
  return FastStage{kFastFirst, g, fs->mini[g], h1, 2, ntr, false, false, g, false};
}

int serial_groups(FastSearch* fs) {
  for (int g = 0; g < fs->scheme.ngrp; ++g) {
    const FastStage st = group_stage(fs, g);
    fs->begin(fs->ctx, st);
    for (long t = 1; t <= st.starts; ++t) {
      poll_host();
      if (const int rc = fs->elemental(fs->ctx, st, t); rc != 0) return rc;
    }
  }
  return 0;
}

// A lane's share of the round: the C-steps of every start lane, lane + lanes, ... that has
// them due. Runs on a worker thread or the calling thread and calls no host service.
void run_lane(FastLane* ln) {
  const FastParallel* par = ln->fs->par;
  for (long i = ln->index; i < ln->count; i += par->lanes) {
    FastStart* s = &par->start[i];
    if (s->state != kStartSteps) continue;
    par->hook->steps(ln->ctx, par->merged ? par->stage : group_stage(ln->fs, s->group), s);
  }
}

void lane_request(RZMemPtr, RZGenerich request, RZThreadh, TPDLCallBacksp) {
  run_lane(static_cast<FastLane*>(request));
}

// The C-steps of the round's first `count` starts on the lanes: lane 0 on the calling thread,
// the others on the pool's workers; all on the calling thread, lane after lane, when the host
// has no pool to give (or refuses a request). The numbers are the same either way. The round
// ends when every lane has, so between rounds the workers wait with nothing of the call in
// hand, and nothing the calling thread does during a round can unwind the call (it calls no
// host service but the pool's own).
void run_lanes(FastSearch* fs, long count) {
  FastParallel* par = fs->par;
  for (int l = 0; l < par->lanes; ++l) {
    par->lane[l].fs = fs;
    par->lane[l].count = count;
  }
  if (count >= 2 && !par->pool_tried) {
    par->pool_tried = true;
    if (zpudi(&par->pool, par->lanes - 1, 0, lane_request) != 0) par->pool = PuddleControl{};
  }
  if (count < 2 || par->pool.puddle == nullptr) {
    for (int l = 0; l < par->lanes; ++l) run_lane(&par->lane[l]);
    return;
  }
  for (int l = 1; l < par->lanes; ++l)
    if (zpudtry(&par->pool, &par->lane[l]) != 0) run_lane(&par->lane[l]);
  run_lane(&par->lane[0]);
  zpudidle(&par->pool);
}

// Ends the pool of a parallel search when its stages end, and also when the host unwinds the
// call from a service (an interrupt, an exit): the workers are idle then, and are gone before
// the host frees the work space they know.
struct PoolEnd {
  FastParallel* par;
  explicit PoolEnd(FastParallel* p) : par(p) {}
  PoolEnd(const PoolEnd&) = delete;
  PoolEnd& operator=(const PoolEnd&) = delete;
  ~PoolEnd() {
    if (par != nullptr && par->pool.puddle != nullptr) zpudt(&par->pool);
  }
};

// The next start of the serial order after (g, t).
void advance(const FastSearch* fs, int* g, long* t) {
  if (++*t > kFastStarts / fs->scheme.ngrp) {
    ++*g;
    *t = 1;
  }
}

// The groups' starts in rounds (see FastParallel): draws on the calling thread up to a
// round's slots, or up to a start that must run serially; the lanes' C-steps; the entries in
// the serial order, where a start the lanes left to the serial path runs serially and the
// starts after it are drawn again. After such a start the next round is shorter (twice the
// starts that were of use), after a whole one longer again, so that data on which many
// starts need the serial path waste little.
int parallel_groups(FastSearch* fs) {
  FastParallel* par = fs->par;
  par->merged = false;
  const int ngrp = fs->scheme.ngrp;
  const long most = fast_round_slots(fs->mini[0], fs->k, 2, par->lanes);
  const long cap = most < par->slots ? most : par->slots;
  const long fewest = 2L * par->lanes;
  long want = cap;
  int g = 0;  // the next start in the serial order
  long t = 1;
  while (g < ngrp) {
    int dg = g;
    long dt = t;
    long count = 0;
    bool serial_next = false;
    while (count < want && dg < ngrp) {
      const FastStage st = group_stage(fs, dg);
      if (dt == 1) fs->begin(fs->ctx, st);
      poll_host();
      FastStart* s = &par->start[count];
      s->group = dg;
      s->trial = dt;
      if (par->hook->draw(fs->ctx, st, dt, s) == kStartSerial) {
        serial_next = true;
        break;
      }
      ++count;
      advance(fs, &dg, &dt);
    }
    run_lanes(fs, count);
    bool redraw = false;
    for (long i = 0; i < count && !redraw; ++i) {
      const FastStart* s = &par->start[i];
      const FastStage st = group_stage(fs, s->group);
      if (s->state != kStartSerial) {
        par->hook->enter(fs->ctx, st, s);
        continue;
      }
      par->hook->rewind(fs->ctx, st, s);
      poll_host();
      if (const int rc = fs->elemental(fs->ctx, st, s->trial); rc != 0) return rc;
      g = s->group;
      t = s->trial;
      advance(fs, &g, &t);
      want = 2 * (i + 1) > fewest ? 2 * (i + 1) : fewest;
      redraw = true;
    }
    if (redraw) continue;
    g = dg;
    t = dt;
    if (serial_next) {
      poll_host();
      if (const int rc = fs->elemental(fs->ctx, group_stage(fs, g), t); rc != 0) return rc;
      advance(fs, &g, &t);
    } else if (count == want) {
      want = 2 * want < cap ? 2 * want : cap;
    }
  }
  return 0;
}

// The merged stage's starts from the groups' lists in rounds. They draw nothing, so a start
// left to the serial path runs serially in its place and the round goes on.
int parallel_merged(FastSearch* fs, const FastStage& sm) {
  FastParallel* par = fs->par;
  par->merged = true;
  par->stage = sm;
  const long most = fast_round_slots(sm.m, fs->k, sm.limit, par->lanes);
  const long want = most < par->slots ? most : par->slots;
  int g = 0;  // the next start: slot sl of list g
  int sl = 0;
  long trial = 0;
  for (;;) {
    long count = 0;
    while (count < want && g < fs->scheme.ngrp) {
      if (sl == 10 || fast_slot_empty(fs->lists, g, sl)) {
        ++g;
        sl = 0;
        continue;
      }
      poll_host();
      FastStart* s = &par->start[count++];
      s->group = g;
      s->slot = sl++;
      s->trial = ++trial;
      par->hook->take(fs->ctx, sm, s);
    }
    if (count == 0) return 0;
    run_lanes(fs, count);
    for (long i = 0; i < count; ++i) {
      const FastStart* s = &par->start[i];
      if (s->state != kStartSerial) {
        par->hook->enter(fs->ctx, sm, s);
        continue;
      }
      poll_host();
      bool unused = false;
      if (const int rc = fs->from_slot(fs->ctx, sm, s->group, s->slot, s->trial, &unused); rc != 0) return rc;
    }
  }
}

// Stages 1 and 2 of the subdataset scheme: random starts in each group, then the groups'
// kept solutions on the merged set.
int group_stages(FastSearch* fs) {
  const FastScheme& sc = fs->scheme;
  rdraw(fs->n, sc.ngrp, fs->mini, fs->useed, fs->subdat, sc.nmerged);
  heading(fs, kMsgStageGroups, sc.ngrp, kFastStarts / sc.ngrp, 2);
  if (const int rc = fs->par != nullptr ? parallel_groups(fs) : serial_groups(fs); rc != 0) return rc;
  if (fs->groups_done != nullptr) fs->groups_done(fs->ctx);
  const long hm = static_cast<long>(static_cast<double>(sc.nmerged) * fs->alpha);
  long kept = 0;
  for (int g = 0; g < sc.ngrp; ++g) kept += fast_list_kept(fs->lists, g, 10);
  const FastStage sm{
      kFastMerged, -1, sc.nmerged, hm, fs->merged_limit, kept, sc.nmerged == fs->n, false, sc.ngrp, false};
  fs->begin(fs->ctx, sm);
  heading(fs, kMsgStageMerged, sc.nmerged, kept, fs->merged_limit);
  if (fs->par != nullptr) {
    if (const int rc = parallel_merged(fs, sm); rc != 0) return rc;
  } else {
    long trial = 0;
    bool unused = false;
    for (int g = 0; g < sc.ngrp; ++g)
      if (const int rc = starts_from_list(fs, sm, g, 10, &trial, &unused); rc != 0) return rc;
  }
  if (fs->kept_done != nullptr) fs->kept_done(fs->ctx, sm);
  return 0;
}

// From this many starts on, the time a search takes is worth a warning: a negative option 5
// asks for every subset, which at n = 100, p = 5 is 1.2e9 of them.
constexpr long kManyTrials = 1000000;
constexpr long kTimedTrials = 1000;

// The warning for a long search, its duration extrapolated from the first starts.
void warn_long_search(const FastSearch* fs, double seconds) {
  const FastScheme& sc = fs->scheme;
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
      "%2z%s %s %li subsets of %li of the %li observations (option 5); at the speed of the first %li "
      "this takes about %.2g %s. An interrupt (Ctrl-C) cancels the call.",
      fs->routine != nullptr ? fs->routine : "The search",
      sc.enumerate ? "tries all" : "draws",
      sc.ntrial,
      fs->k,
      fs->n,
      kTimedTrials,
      t,
      unit);
}

// Stage 1 of the single set: random or enumerated elemental starts on all cases.
int single_set_stage(FastSearch* fs) {
  const FastScheme& sc = fs->scheme;
  const FastStage st{kFastFirst, -2, fs->n, fs->h, 2, sc.ntrial, true, sc.enumerate, 0, false};
  heading(fs, kMsgStageSingle, fs->n, sc.ntrial, 2);
  fs->begin(fs->ctx, st);
  for (long i = 0; i < fs->k; ++i) fs->comb[i] = i;
  const bool timed = sc.ntrial >= kManyTrials;
  const double start = timed ? zdattim() : 0.0;
  for (long t = 1; t <= sc.ntrial; ++t) {
    if (timed && t == kTimedTrials + 1) warn_long_search(fs, zdattim() - start);
    poll_host();
    if (sc.enumerate && t > 1) {
      long enter;
      long leave;
      if (genpn(fs->k, fs->n, fs->comb, &enter, &leave) != 0) break;
    }
    if (const int rc = fs->elemental(fs->ctx, st, t); rc != 0) return rc;
  }
  if (fs->kept_done != nullptr) fs->kept_done(fs->ctx, st);
  return 0;
}

}  // namespace

int fast_stages(FastSearch* fs) {
  const FastScheme& sc = fs->scheme;
  int rc = 0;
  {
    const PoolEnd end{fs->par};
    rc = sc.subds ? group_stages(fs) : single_set_stage(fs);
  }
  if (rc != 0) return rc;
  const int src = sc.subds ? sc.ngrp : 0;
  const long kept = fast_list_kept(fs->lists, src, fs->final_starts);
  const FastStage sf{kFastFinal, -2, fs->n, fs->h, fs->final_limit, kept, true, false, src, fs->converge};
  heading(fs, kMsgStageFinal, fs->n, kept, fs->final_limit);
  fs->begin(fs->ctx, sf);
  // In the single set the stage's first step is recorded whatever its criterion, so there is
  // a best one even when every criterion overflowed to the largest double.
  bool first_take = !sc.subds;
  long trial = 0;
  return starts_from_list(fs, sf, src, fs->final_starts, &trial, &first_take);
}

}  // namespace robmat
