// The nested search that FAST-MCD and FAST-LTS share: the choice of scheme (one set with
// enumerated or random elemental starts, or random subdatasets with a merged set), the lists
// of the ten best solutions, and the stages with their starts and headings. What a start and
// a concentration step compute belongs to the engine, which hands them over as hooks; the
// order of draws and starts lives here once, so a seed means the same search in both.
#pragma once

#include "kernels/pool.h"
#include "robmat/arena.h"
#include "robmat/lmtstr.h"

namespace robmat {

// Stage headings in the log (print level 5): cases or groups, starts (long), C-steps (int).
enum FastMessage : int {
  kMsgStageGroups = 489,
  kMsgStageMerged = 490,
  kMsgStageSingle = 491,
  kMsgStageFinal = 492,
};

// The scheme of one search.
struct FastScheme {
  bool subds = false;      // random subdatasets and their merged set
  bool enumerate = false;  // one set: every elemental subset
  long ntrial = 0;         // one set: the number of starts
  long nrep = 0;           // the number of elemental starts the scheme makes
  int ngrp = 0;            // subdatasets: how many
  long nmerged = 0;        // subdatasets: the merged set's size, the sum of theirs
};

// fast_wants_groups: whether the subdataset scheme is considered: no requested count of
// trials (nrep < 1), positive nsds and lsds, and n >= 2 lsds. Its caller then has nsds longs
// ready for the group sizes.
bool fast_wants_groups(long n, long nrep, long nsds, long lsds);

// fast_scheme: chooses the scheme of a search.
//   n      in   number of cases
//   k      in   size of an elemental subset
//   nrep   in   requested number of trials; < 1 chooses automatically
//   nsds   in   largest number of subdatasets
//   lsds   in   size of a subdataset
//   alpha  in   h / n
//   mini   out  the group sizes (fast_group_sizes) when fast_wants_groups holds, else unused
// Subdatasets when fast_wants_groups holds and every group, and the subset floor(mini[0] *
// alpha) taken in it, has at least k cases; their starts are kFastStarts / ngrp per group.
// Otherwise one set: the requested trials (all subsets when C(n, k) <= nrep), or
// automatically all C(n, k) subsets when n <= fast_enumeration_limit(k), else kFastStarts
// random ones.
FastScheme fast_scheme(long n, long k, long nrep, long nsds, long lsds, double alpha, long* mini);

// fast_final_steps: the C-step limit of the final stage, which shrinks as a pass over all
// cases grows dear: 100 when p*n <= 100000, base - 10 when p*n > 1000000, else
// base - floor(p*n / 100000). FAST-MCD uses base 11, FAST-LTS 15.
int fast_final_steps(long p, long n, int base);

// The C-step limit of a converged final stage (robmat's own option 23). The criterion falls
// at every step until it settles, and among finitely many subsets it cannot fall forever;
// the limit only bounds a pathological descent. The bench data settle within 20 steps.
constexpr int kFastConvergeLimit = 1000;

// fast_converge_starts: the kept solutions that start a converged final stage: 10 while
// 10 n <= kConvergeCases, then kConvergeCases / n, at least 1, and never fewer than `base`,
// the count of the stage with its fixed budget (so that the converged stage repeats every
// start of the other and its criterion can only be lower). Measured on the bench data
// (bench/README.md): at n = 1e4 one start leaves MCD at p = 5 on a worse fixed point than
// robustbase's while two and more get below it; at n = 1e5 ten starts end within 4e-7
// (MCD) and 2e-6 (LTS) relative of the first's fixed point, at up to ten times its cost.
constexpr long kConvergeCases = 50000;
int fast_converge_starts(long n, int base);

// ---- lists of the ten best solutions ---------------------------------------------------------

// FastLists: nlist lists of 10 slots in ascending order of their criterion. A slot holds a
// lead part (not compared) and a body; an equal criterion with an identical body is the same
// solution found again. An empty slot has the criterion kDblMax and the missing value as its
// first double.
struct FastLists {
  int nlist = 0;
  long lead = 0;            // doubles of the lead part of a slot
  long body = 0;            // doubles of the compared part
  double* slots = nullptr;  // 10 nlist (lead + body) doubles
  double* crit = nullptr;   // 10 nlist criteria
  double* trial = nullptr;  // 10 nlist trial numbers, or null
  double* count = nullptr;  // 10 nlist counts, or null
};

// The slot s (0..9) of list l, and whether it is empty.
double* fast_slot(const FastLists* lists, int l, int s);
bool fast_slot_empty(const FastLists* lists, int l, int s);
// Empties every list.
void fast_lists_clear(FastLists* lists);
// fast_list_insert: enters a solution into list l at the first slot whose criterion is >= crit
// (nothing when there is none, or when that slot holds the same solution), moving the slots
// from there down by one (the tenth drops out).
//   lead  in  lists->lead doubles (may be null when that is 0)
//   body  in  lists->body doubles
//   trial, count  in  stored when the lists keep them
void fast_list_insert(
    FastLists* lists, int l, const double* lead, const double* body, double crit, long trial, long count);
// The number of filled slots among the first `upto` of list l.
long fast_list_kept(const FastLists* lists, int l, int upto);

// ---- the stages ------------------------------------------------------------------------------

enum FastStageKind : int {
  kFastFirst = 1,   // elemental starts; results into a list
  kFastMerged = 2,  // starts from the groups' lists; results into the merged list
  kFastFinal = 3,   // starts from the last list; the best step is the estimate
};

// One stage as the hooks see it.
struct FastStage {
  FastStageKind kind;
  long group;      // first stage of the subdataset scheme: the group (0-based); -1 the merged
                   // set; -2 all n cases
  long m;          // cases of the stage data
  long hs;         // subset size
  int limit;       // C-steps per start
  long starts;     // starts of the stage (of each group in the first stage with subdatasets)
  bool global;     // the stage data are all n cases in their order
  bool enumerate;  // first stage of one set: starts from the enumeration in FastSearch::comb
  int list;        // the list filled (first and merged stage) or read (final stage)
  bool converge;   // final stage: stop only when a C-step no longer lowers the criterion
};

// ---- the stages of the subdatasets on worker threads ---------------------------------------
//
// The starts of the groups are independent but for two things: the generator that draws
// their subsets runs through them in order, and each start's solution enters its group's list
// in order. So the calling thread draws a round of starts in the serial order (the elemental
// fits too: a singular subset is grown or drawn again from the same generator), worker lanes
// run the C-steps of the round, which draw nothing, and the calling thread enters the
// solutions in the serial order again. The starts of the merged set, from the groups' lists,
// run the same way. The operations on every double are those of the serial run; only where
// they run differs. A start whose C-steps would do more than give a solution (a singular
// step: the hyperplane test, an exact fit that ends the search, or a new draw in its place)
// is left to the serial path: the calling thread rewinds the generator to that start, runs it
// serially and draws the starts after it again. The serial run therefore defines the answer
// whatever the count of threads.

// What became of one start of a parallel round.
enum FastStartState : int {
  kStartSteps = 0,    // drawn (or taken from a list) and fitted; its C-steps are due
  kStartCounted = 1,  // complete without C-steps (no regular fit): only its counts enter
  kStartKept = 2,     // concentrated: its solution enters the stage's list
  kStartSerial = 3,   // to be run again on the serial path
};

// One start of a parallel round.
struct FastStart {
  int group;     // first stage: the group; merged stage: the list it starts from
  int slot;      // merged stage: the slot of that list
  int state;     // FastStartState
  long trial;    // of the group or the stage, from 1
  long undo[3];  // the engine's draw state before the start (its generators, draws so far)
  long adds[3];  // the start's counts: subsets drawn, singular ones, starts plus C-steps
  double crit;   // the concentrated solution's criterion
  long count;    // its cases on a hyperplane or on the fit
  double* v;     // the engine's vector: the start's solution in, the concentrated one out
};

struct FastSearch;

// The engine's side of its parallel stages: the hooks of a round and its lanes' records.
struct FastLanes {
  // Calling thread, first stage: draws the start (trial of the group of st) and makes its
  // elemental fit, filling s (undo, adds, state kStartSteps with s->v, or kStartCounted)
  // without changing the engine's counts; or returns kStartSerial, with the engine's draw
  // state as before the start, when the start has to run on the serial path. Returns
  // s->state.
  int (*draw)(void* ctx, const FastStage& st, long trial, FastStart* s);
  // Calling thread, merged stage: the start from slot s->slot of list s->group, as draw.
  int (*take)(void* ctx, const FastStage& st, FastStart* s);
  // A lane: the C-steps from s->v; state kStartKept (crit, count and s->v set) or
  // kStartSerial. Calls no host service.
  void (*steps)(void* lane, const FastStage& st, FastStart* s);
  // Calling thread: adds the start's counts and enters a kept solution into the stage's list.
  void (*enter)(void* ctx, const FastStage& st, const FastStart* s);
  // Calling thread: puts the engine's draw state back to where it was before the start, with
  // its group as the current stage.
  void (*rewind)(void* ctx, const FastStage& st, const FastStart* s);
  // Makes `lane` (record doubles) a copy of the calling thread's record with scratch of its
  // own from a for the C-steps on at most m cases; false when a is too short.
  bool (*carve)(void* lane, const void* ctx, Arena<double>* a, long m);
  long record;  // doubles of the engine's record
};

// One worker lane: its engine record (with scratch of its own) and its share of a round, the
// starts lane, lane + lanes, lane + 2 lanes, ...
struct FastLane {
  FastSearch* fs;
  void* ctx;
  int index;
  long count;  // starts of the round
};

// The parallel stages of one search, carved by the engine from a FastLaneSpace. The calling
// thread runs lane 0, a pool of lanes - 1 host worker threads the others; the pool is made at
// the first round and ended with the stages (also when the host unwinds the call).
struct FastParallel {
  int lanes;           // at least 2
  long slots;          // starts per round at most
  FastLane* lane;      // lanes
  FastStart* start;    // slots
  PuddleControl pool;  // no puddle: none yet, or none to be had (the lanes then take turns)
  bool pool_tried;
  bool merged;            // the rounds are the merged stage's
  FastStage stage;        // the merged stage
  const FastLanes* hook;  // the engine's side
};

// The work space of the parallel stages: the front end obtains it when the host allows more
// than one thread and hands it to the engine in LMTSTR::secstr.
struct FastLaneSpace {
  int threads;   // worker lanes the host allows, at least 2
  long doubles;  // of the block
  double* block;
};

// fast_threads: the worker lanes of a search with subdatasets: the host's "host.cpucount", at
// most the number of groups, min(nsds, n / lsds). 1 (serial) when the subdataset scheme is
// not considered (fast_wants_groups) or the host has one CPU.
int fast_threads(long n, long nrep, long nsds, long lsds);

// fast_round_slots: the starts of a round: all kFastStarts while their C-steps are cheap,
// fewer when `steps` C-steps on m cases in k dimensions make them dear (a round runs without
// a look at the host, so an interrupt waits for it), never fewer than 4 per lane.
long fast_round_slots(long m, long k, int steps, int lanes);

// fast_round_capacity: the starts a round can hold in a search of n cases with groups from
// nsds and lsds: fast_round_slots of the first stage on the smallest group, which no round of
// the merged stage (more cases, at least as many C-steps) exceeds.
long fast_round_capacity(long n, long nsds, long lsds, long k, int lanes);

// fast_lanes_doubles: the doubles of the FastLaneSpace of a search of n cases with groups from
// nsds and lsds, elemental subsets of k, on `threads` lanes: the rounds' records with start
// vectors of veclen doubles, and each lane's `lane` doubles (the engine's record and its
// scratch for the merged set's fast_merged_cases(n, nsds, lsds) cases).
long fast_lanes_doubles(long n, long nsds, long lsds, long k, int threads, long veclen, long lane);

// fast_prepare_lanes: puts the starts of the groups and of the merged set on worker lanes when
// the scheme has subdatasets and str->secstr, the FastLaneSpace the front end obtained, holds
// min(threads, ngrp) >= 2 lanes; otherwise (no space, one lane, a block too short) fs->par
// stays null and the stages run serially, to the same results.
//   fs      in,out  the search, its scheme, n, k and ctx set; fs->par set
//   par     out     the rounds' records, carved from the space
//   hook    in      the engine's side; hook->carve makes each lane's record
//   str     in      nsds, lsds and secstr are read
//   veclen  in      doubles of a start's vector
void fast_prepare_lanes(
    FastSearch* fs, FastParallel* par, const FastLanes* hook, const LMTSTR* str, long veclen);

// One search: the problem, the scheme with its vectors, and the engine's hooks. A hook returns
// 0 to go on (a start that gave nothing included) or a nonzero status that ends the search.
struct FastSearch {
  long n;
  long k;  // elemental subset size
  long h;
  double alpha;         // h / n
  int merged_limit;     // C-steps per start on the merged set
  int final_limit;      // C-steps per start in the final stage
  int final_starts;     // kept solutions that start the final stage
  bool converge;        // the final stage's C-steps run to a fixed point (final_limit bounds them)
  bool log_stages;      // stage headings in the log
  const char* routine;  // named in the warning of a search of a million starts or more
  FastScheme scheme;
  long* mini;        // scheme.ngrp group sizes
  long* subdat;      // 2 nmerged: the merged cases ascending, their group numbers after them
  long* comb;        // k: the current subset of the enumeration
  long* useed;       // uniran state (the groups are drawn from it)
  FastLists* lists;  // ngrp + 1 lists with subdatasets, else 1
  void* ctx;
  // Makes the stage's data ready (copies a group or the merged set).
  void (*begin)(void* ctx, const FastStage& st);
  // One elemental start of the stage and its C-steps; trial counts the starts of a group or
  // of the set from 1.
  int (*elemental)(void* ctx, const FastStage& st, long trial);
  // A start from slot s of list l and its C-steps; trial counts the stage's starts from 1;
  // *first_take: the final stage's first step is taken whatever its criterion.
  int (*from_slot)(void* ctx, const FastStage& st, int l, int s, long trial, bool* first_take);
  // After the first stage of the subdataset scheme (the groups' lists are complete), or null.
  void (*groups_done)(void* ctx);
  // After the first stage of one set or the merged stage (the list that starts the final
  // stage is complete), or null.
  void (*kept_done)(void* ctx, const FastStage& st);
  // The starts of the groups and of the merged set on worker lanes, or null: serially.
  FastParallel* par = nullptr;
};

// What distinguishes one engine's searches: its constants and its hooks (FastSearch's).
struct FastEngine {
  const char* routine;
  int merged_limit;        // C-steps per start on the merged set
  int final_base;          // the base of fast_final_steps
  int final_starts_large;  // kept solutions that start the final stage beyond 5000 cases
  void (*begin)(void* ctx, const FastStage& st);
  int (*elemental)(void* ctx, const FastStage& st, long trial);
  int (*from_slot)(void* ctx, const FastStage& st, int l, int s, long trial, bool* first_take);
  void (*groups_done)(void* ctx);
  void (*kept_done)(void* ctx, const FastStage& st);
};

// fast_search_init: the search of engine e for h of n cases in p variables with elemental
// subsets of k under the scheme sc. The final stage starts from 10 kept solutions up to 5000
// cases and from e->final_starts_large beyond (each of its C-steps is a pass over all cases);
// with kImveConverge in str->imve its C-steps run to a fixed point (fast_converge_starts,
// kFastConvergeLimit), otherwise fast_final_steps bounds them. Stage headings from print
// level 5 (str->ipri).
//   useed  in  the engine's uniran state, which draws the groups
//   lists  in  the engine's lists of ten, ngrp + 1 with subdatasets, else 1
// fs->mini, subdat and comb are the engine's to set; fs->par is null.
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
                      FastLists* lists);

// fast_stages: runs the stages of the chosen scheme: the groups (drawn by rdraw), each with
// kFastStarts / ngrp elemental starts, subset size floor(mini[0] alpha) and 2 C-steps, then
// the merged set from the ten best of every group (subset floor(nmerged alpha),
// merged_limit C-steps); or the single set with its starts (h, 2 C-steps); then the final
// stage on all cases from the first final_starts solutions of the last list. The starts of a
// list end at its first empty slot. Every start calls a host service first, so that an
// interrupt reaches a search that prints nothing; a single set of a million starts or more
// logs how long it will take, from the speed of its first thousand. With fs->par the starts of
// the groups and of the merged set run in rounds on worker lanes, to the same results.
// Returns 0, or the status of the hook that ended the search.
int fast_stages(FastSearch* fs);

}  // namespace robmat
