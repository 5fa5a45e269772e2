// Pieces of the MCD engine shared by its source files and local to it (namespace robmat::mcd):
// the record that holds every vector the engine carves from the front end's blocks, the
// inversion, distance and exact-fit routines around the search, and the printing of the
// engine's tables. Not used outside module/mcd.
#pragma once

#include "kernels/draws.h"
#include "kernels/fast_search.h"
#include "kernels/moments.h"
#include "kernels/select.h"
#include "mcd/mcd.h"
#include "robmat/arena.h"
#include "robmat/lmtstr.h"

namespace robmat {
namespace mcd {

// Messages of the MCD engine (set 549): the log and the notes of its reports.
enum McdMessage : int {
  // Log.
  kMsgHRange = 951,       // h clamped into its bounds (lower, upper: long)
  kMsgTooFewCases = 953,  // n <= p
  kMsgNoVariables = 965,  // p < 1 (p: int)
  kMsgWorkCount = 970,    // trial starts and C-steps (long)
  kMsgHIsN = 971,         // the raw MCD is the classical estimate
  kMsgClassicalSingular = 972,
  kMsgStartIgnored = 973,
  kMsgZeroMad = 974,  // percent (double), variable (int)
  kMsgReweightedSingular = 975,
  // After the stage headings of kernels/fast_search.h (489-492).
  kMsgBestDeterminant = 493,  // (double)
  kMsgNoRegularStart = 494,
  kMsgExactFitFound = 495,
  // Notes of the reports.
  kMsgRawDeterminant = 480,    // (double)
  kMsgRawH = 481,              // (long)
  kMsgConsistency = 482,       // factor, determinant (double)
  kMsgRewgtDeterminant = 483,  // (double)
  kMsgSubdataBest = 484,       // group (int)
  kMsgLineEquation = 500,      // p = 2: coefficient, sign, coefficient
  kMsgPlaneEquation = 502,     // p = 3
  kMsgOnLine = 525,            // on the fit: count, n (long)
  kMsgLineMean = 526,          // (text)
  kMsgOnPlane = 527,
  kMsgPlaneMean = 528,  // p >= 3: on the hyperplane (text)
  kMsgOnHyperplane = 529,
  kMsgExactCov = 530,  // (text)
  kMsgExactSingular = 531,
  kMsgExactInfinite = 532,
  kMsgExactClosing = 533,  // (text)
};

// Everything one call of zmcd works with. Vectors point into the front end's blocks; the
// comments give lengths (N = p(p+1)/2) and the phases that use them.
struct McdWork {
  LMTSTR* str;
  long n;
  int p;
  long nn;       // N
  long h;        // size of the "halves"
  long hdef;     // its default (n+p+1)/2
  double bper;   // breakdown value in percent
  double alpha;  // h / n
  double eps;    // a MAD at or below this is zero
  double cq;     // cutoff compared with squared distances
  long useed;    // state of uniran
  long rseed;    // state of zranuni (copr != 0)
  long wcount;   // starts plus C-steps

  // Persistent vectors.
  double* med;   // p medians
  double* mad;   // p MADs
  double* wv;    // 3p scratch: distance deviations, inversion work, eigen2's aw (first 2p)
  double* dtin;  // 5: determinant record of the factorisation
  double* z;     // p*p eigenvectors; the unfactorised copy of a matrix being inverted
  char* lind;    // p: linear dependency marks
  long* piv;     // p: pivots of the factorisation
  long* indx;    // n: selection permutation, elemental subsets, sort keys
  long* mark;    // n zeros or null: linear-time ordering of a selected subset
  long* comb;    // p+1: current subset of the enumeration
  double* dd;    // n: squared or hyperplane distances (maha + n)
  double* d2;    // n: second distance vector (maha + 2n)

  // Search state (standardized scale).
  double* mu;     // p current location (xmve row 1)
  double* bmu;    // p best location (xmve row 2)
  double* S;      // N current scatter (c)
  double* Sinv;   // N its inverse, or a factorised copy (c + N)
  double* bestS;  // N best scatter (xmve + 2p)
  double det;     // determinant of S

  // The search: its scheme and vectors (group sizes, merged set) and the lists of the ten
  // best solutions, whose slots hold the location (lead) and the packed scatter (body) by
  // determinant, with the trial number and the cases on a hyperplane after subdatasets.
  FastSearch fs;
  FastLists lists;

  // The starts of the groups and the merged set on worker lanes (kernels/fast_search.h). In a
  // lane's copy of this record `start` is the start whose C-steps it runs; on the calling
  // thread it is null, and `probe` is set while a start is drawn for the lanes: an exact fit
  // then only says that the start must run serially.
  FastParallel par;
  FastStart* start;
  bool probe;

  // Final stage.
  bool have_best;
  double med_d2;  // floor(n/2)-th smallest squared distance of the best step

  // Carving: integers after the fixed vectors of iw; doubles from what work leaves, then c
  // after the current and inverse scatter (and the lists), then b after the stage data.
  Arena<long> ints;
  Arena<double> work;
  Arena<double> c;
  Arena<double> b;
};

// Further integers or doubles from what the fixed vectors leave; null when they do not fit.
long* take_longs(McdWork* w, long k);
double* take_doubles(McdWork* w, long k);

// Why the search or a part of it ended.
enum McdEnd : int {
  kMcdGoOn = 0,
  kMcdExact = 1,       // an exact fit ended the run (results and report done)
  kMcdDropped = 2,     // the start gave no regular solution
  kMcdEigenFail = -3,  // an eigen decomposition that an exact fit needs failed
  kMcdSerial = 3,      // a start drawn for the worker lanes has to run serially
};

// The whole computation of zmcd.
int run(LMTSTR* str);

// Carving and the phases of zmcd.
int mcd_search(McdWork* w);  // kMcdGoOn with the best raw solution in bmu/bestS, or an end

// The deterministic starts (det_starts.cpp), used instead of the random ones when imve has
// kImveDeterministic.
inline constexpr int kDetStarts = 6;
struct DetStarts {
  double* z;    // n x p: the standardized data a, standardized again by median and Qn (in b)
  double* t;    // n x p: a start's transformed data or projections
  double* col;  // n: one column, for Qn and medians
  double* qw;   // 2n: Qn's work
  long* qiw;    // 6n: Qn's integer work
  double* est;  // N: a start's scatter estimate
  double* vec;  // p x p: its eigenvectors
  double* lam;  // p: the squared Qn of the data projected on them
  double* loc;  // p
  double* tmp;  // p
};
// Carves the vectors of ds (aborting the run when the work space is short) and computes z
// from the standardized data.
void det_prepare(McdWork* w, DetStarts* ds);
// det_subset: the initial subset of start k (0-5: hyperbolic tangent, Spearman and normal
// scores correlations, spatial sign covariance, the half nearest the median, raw OGK): the
// `size` cases nearest the start's location and scatter, in w->indx ascending (w->dd is
// overwritten). Distinct cases tied exactly at the boundary distance go in their row order;
// identical rows tie harmlessly. Returns size, or 0 when an eigen decomposition fails.
long det_subset(McdWork* w, DetStarts* ds, int k, long size);

// ccinv: inverse and determinant of a packed covariance matrix, scaled to unit diagonal when
// its smallest standard deviation allows.
//   covm  in,out  packed p x p; the inverse on exit when regular (factorised when singular)
//   cdet  out     the determinant, kDblMax when its decimal exponent exceeds 308; 0 when
//                 singular
// Returns 1 (regular, scaled), 0 (regular, unscaled), -1 (singular; the linear dependency
// analysis has run, printing nothing, except in a worker lane's record). Keeps an
// unfactorised copy in w->z.
int ccinv(McdWork* w, double* covm, double* cdet);

// exact: the estimate on a hyperplane: weights (1 when ndst <= cutof), the mean and the
// covariance (divisor kount - 1) of the kount cases with |ndst| < 1e-7 into mu and cov, the
// standard deviations into sd, and the exact-fit report (job 1: of the MCD, 2: of the
// reweighted estimate, with the normal from w->z) when printing. Uses w->indx and w->wv.
// Returns kount.
long exact(double cutof,
           McdWork* w,
           int job,
           const double* ndst,
           const double* dat,
           double* mu,
           double* cov,
           double* sd,
           double* wgts);

// transf: takes a location, a packed scatter and (when dat is not null) the n x p data from
// the standardized scale back to the data's scale.
void transf(int p, long n, const double* med, const double* mad, double* mu, double* cov, double* dat);

// Orders the first k entries of w->indx ascending, in linear time when w->mark exists.
void order_subset(McdWork* w, long k, long m);

// Writes the row table Distances from maha (classical, robust squared distances, weights).
void print_distances_mcd(McdWork* w);

// Completes an exact fit found by the search or at the start: with the location mu and the
// scatter cov (data scale, in xmve and c) and their eigenvectors in w->z, restores the data
// when restore is set, computes the hyperplane distances, the exact-fit estimate and its
// report, and fills the results; job 1 (exact fit of the MCD) also sets the best h-subset
// (the h cases nearest the hyperplane), volm = 0 and dism missing. Returns kMcdExact.
int finish_exact(McdWork* w, int job, bool restore);

// Reports (print level checks are the callers').
void mcd_print_header(McdWork* w, const double* uni);  // uni: location and squared scale, p = 1
void mcd_print_median_mad(McdWork* w, double* work);   // work: 2p doubles
void mcd_print_subdata(McdWork* w);
void mcd_print_best_half(McdWork* w, double* work);  // work: h doubles
void mcd_print_matrix(McdWork* w, int which, const double* v);
void mcd_note_value(McdWork* w, int number, double v);
void mcd_note_count(McdWork* w, int number, long v);
void mcd_note_cons(McdWork* w, double factor, double det);
void mcd_print_exact(McdWork* w, int job, long kount, const double* mu, const double* cov);

// Matrices printed by mcd_print_matrix.
enum McdMatrix : int {
  kMcdClassicalMean,
  kMcdClassicalCov,
  kMcdClassicalCorr,
  kMcdLocEst,
  kMcdScatterEst,
  kMcdCorr,
  kMcdConsScatter,
  kMcdRewgtLoc,
  kMcdRewgtScatter,
  kMcdEigen,
  kMcdRewgtCorr,
};

}  // namespace mcd
}  // namespace robmat
