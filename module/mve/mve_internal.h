// Pieces of the MVE engine shared by its source files and local to it (namespace
// robmat::mve): the message numbers, the scratch vectors carved from the descriptor's work
// block, and the evaluation of one subset that the search and the exchange share. Not used
// outside module/mve.
#pragma once

#include "mve/mve.h"
#include "robmat/lmtstr.h"

namespace robmat {
namespace mve {

// Messages of the MVE engine (set 549).
enum MveMessage : int {
  // Log.
  kMsgAllSingular = 430,  // every subset of the search was singular
  kMsgTooFewCases = 953,  // n <= p
  kMsgHRange = 954,       // h clamped: lower, upper bound, value used (long)
  kMsgClassicalSingular = 955,
  kMsgStartSingular = 956,
  kMsgScatterSingular = 957,  // the tolerance (double)
  kMsgReweightedSingular = 959,
  kMsgNoVariables = 965,  // p (int)
  // Notes.
  kNoteHeading = 390,
  kNoteCoverage = 391,      // h (long)
  kNoteGivenSubset = 392,   // objective (double)
  kNoteSubsetsTried = 393,  // subsets tried, singular (long)
  kNoteMveEstimate = 394,
  kNoteReweighted = 395,     // observations kept (long)
  kNoteCutoff = 396,         // (double)
  kNoteCutoffDefault = 397,  // p (int)
  kNoteCutoffGiven = 398,
  kNoteWeightZero = 399,  // (long)
  kNoteRandom = 400,
  kNoteEnumeration = 401,
  kNotePercent = 402,   // (int)
  kNoteBest = 403,      // (double)
  kNoteExchange = 461,  // variant (int), "MVE"
};

// Scratch vectors of the search and the driver, at fixed places of str->work and of the
// integer block after iw (mve_carve lays them out; N = p(p+1)/2).
struct Scratch {
  double* cov;    // N: covariance of the current subset
  double* fac;    // N: its UDU' factors, then its inverse when it cannot be whitened
  double* w;      // p*p: whitening factor of the current subset
  double* dv;     // p: deviations
  double* cr;     // p: rotation cosines
  double* sr;     // p: rotation sines, solve vector
  double* wv;     // p: inverse and inversion work
  double* rhs;    // p: dependency analysis work
  double* e;      // p: eigen work
  double* tri;    // 3p: tridiagonal form
  double* dtin;   // 5: determinant record
  double* block;  // 64p: deviations of a block of observations, by variable
  long* order;    // p + 1: member positions ordered by distance
  long* tags;     // p: eigen block tags (as int) or dependency marks (as char)
  long* pending;  // n: observations whose distance is not yet decided
};

// The scratch of str; ends the run (xexit 9999) when the blocks are smaller than mve_sizes.
Scratch scratch(const LMTSTR* str);

// Tolerance of the subset factorizations: sing, or 1e-8 when not positive.
double tolerance(const LMTSTR* str);

// One subset evaluated: the log determinant and, when it can be below the bound it was
// evaluated against, the objective and its distance.
struct Trial {
  double ldet = 0.0;
  double obj = 0.0;   // the objective, or +infinity when it is known to be at least the bound
  double dist = 0.0;  // square root of the h-th smallest squared distance (when obj is known)
};

// How a subset is factored: from scratch (getlog1's way) or by updating (getlog2's).
struct Factoring {
  bool update = false;
  int doup = 0;  // getlog2's state
};

// evaluate: the subset jsub by getlog1 or getlog2 (obin, obout as for getlog2), its
// distances cut short once they cannot matter: only an objective below `bound` (or equal
// to it) is computed exactly; every other one comes back as +infinity. bound = +infinity
// computes everything, and then dmve holds every squared distance.
// Returns the getlog status (0, or negative when singular).
int evaluate(LMTSTR* str, const Scratch& s, Factoring* f, long obin, long obout, double bound, Trial* t);

// The objective d^p sqrt(exp(ldet)) of the h-th smallest squared distance d2.
double objective(const LMTSTR* str, double ldet, double d2, double* dist);

}  // namespace mve
}  // namespace robmat
