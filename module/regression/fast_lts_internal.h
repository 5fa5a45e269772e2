// Pieces of the FAST-LTS engine shared by its search and its reports (namespace
// robmat::flts): the record of one search with every vector carved from the front end's
// blocks, the engine's message numbers and its report routines. Not used outside
// module/regression.
#pragma once

#include "kernels/fast_search.h"
#include "regression/fast_lts.h"
#include "robmat/arena.h"
#include "robmat/lmtstr.h"

namespace robmat {
namespace flts {

// Messages of FAST-LTS (set 549): the log and the notes of its reports.
enum FltsMessage : int {
  kMsgHeaderLabel = 485,  // of the run header FastMCD
  kMsgHeaderTitle = 486,
  kMsgSubdataBest = 484,  // the kept solutions of a subdataset follow (group: int)
  kMsgKeptFirst = 497,    // the best kept solution: position (int), criterion (double)
  kMsgKeptNext = 498,     // a further kept solution: position (int), criterion (double)
  kMsgSetTitle = 505,     // "Merged Set of" or "Entire Set of", cases (long), "Observations"
  kMsgWorkCount = 970,    // trial starts and C-steps (long)
  kMsgDone = 977,         // the search is complete
};

// Everything one search works with. Vectors point into the front end's blocks; lengths in
// the comments (m: the cases of the current stage, at most n).
struct FltsWork {
  LMTSTR* str;
  long n;
  int p;
  long h;
  double alpha;    // h / n
  bool intercept;  // the last coefficient is the intercept, adjusted after every fit
  long useed;      // state of uniran
  long rseed;      // state of zranuni (copr != 0)
  long wcount;     // starts plus C-steps
  long draws;      // elemental subsets drawn in the current stage

  // Data: rows of p regressor values and the response.
  double* zall;     // all n cases
  double* zsub;     // the group or merged set of the current stage
  const double* z;  // the current stage's rows

  // One fit.
  double* beta;  // p current coefficients
  double* r;     // m residuals
  double* absr;  // m absolute residuals; the sort's scratch before them
  double* srt;   // m residuals in ascending order
  double* ties;  // 2(n - h + 3): the tied windows of mcduni
  double* xtx;   // (p+1)(p+2)/2 packed cross products
  long* indx;    // m: the selection's permutation; its first hs entries, ascending, the subset
  long* mark;    // m zeros
  long* js;      // p: a random elemental subset
  long* piv;     // p: marks of the factorisation

  // Final stage.
  double* best;  // p best coefficients
  double bestcrit;
  bool have_best;

  // The single-exchange descent of a converged final stage.
  double* ainv;  // p(p+1)/2: the packed inverse of the subset's X'X
  double* uin;   // kSwapCandidates p: A x of the candidates leaving the subset
  double* cval;  // 2 kSwapCandidates: their scores, those of the cases entering after them
  long* cidx;    // 2 kSwapCandidates: the candidates leaving, those entering after them

  FastSearch fs;
  FastLists lists;  // slots of p coefficients (no lead), by criterion

  // The starts of the groups and the merged set on worker lanes (kernels/fast_search.h). In a
  // lane's copy of this record `start` is the start whose C-steps it runs; on the calling
  // thread it is null.
  FastParallel par;
  FastStart* start;

  // Carving of what remains of the blocks.
  Arena<double> work;
  Arena<double> c;
  Arena<long> ints;  // jbst
  Arena<long> iw;    // iw after the h entries of the best subset
};

// Reports (print level checks are the callers').
void flts_print_subdata(FltsWork* w);                    // CoeffSubData, ObsLieSubData per group
void flts_print_kept(FltsWork* w, const FastStage& st);  // the list that starts the final stage

}  // namespace flts
}  // namespace robmat
