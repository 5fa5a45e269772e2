// The MVE engine: minimum volume ellipsoid location and scatter from elemental subsets of
// p + 1 observations (all of them, or random ones), optionally refined by pairwise exchange,
// then consistency correction, reweighting, eigenvalues and robust distances. The subset
// count and the box of best subsets are the regression search's (chrep, inbox).
#pragma once

#include <cstdint>

#include "robmat/lmtstr.h"

namespace robmat {

// The work space of one MVE call, counted in elements; the front end obtains it, mve_carve
// points the descriptor into it, tests size their blocks with it.
struct MveSizes {
  long doubles;      // a (n x p), c ((p+2)(p+1)), work (dneed), aw (n)
  long longs;        // jsub, jbst, iw, order (p+1 each), lsub (n), lwim (10(p+1)), tags (p), pending (n)
  long names;        // name records: p + 1
  long dneed;        // doubles of work: the search's and the driver's scratch
  long lneed;        // = longs
  int32_t est_rows;  // rows of result 2: p + 2, or 2p + 2 with ocor
};
MveSizes mve_sizes(long n, long p, int ocor);

// mve_carve: points a, c, work, aw, dwim (in work), jsub, jbst, iw, lsub and lwim of str
// into the two blocks, and sets dneed and lneed. Reads ncas, nvar and ocor.
//   dbl  in  mve_sizes().doubles doubles
//   lng  in  mve_sizes().longs longs
void mve_carve(LMTSTR* str, double* dbl, long* lng);

// zminvol: the MVE estimate of the data in the run descriptor.
//   str  in,out  reads nvar (p), ncas (n), a (n x p, row stride inca, p when inca < 1), jqu,
//                nrep, cutof, cnp, sing, seed, copr, ipri, pcov, pcor, cofo and jbst (a
//                given start subset of p + 1 indices), doim, noup, trex, pnam, rpx and the
//                vectors of mve_carve; xmve, eval (p each), maha, dmve, wgts (n each) are the
//                front end's result rows. Writes jqu (h used), cutof (its root when
//                defaulted), cnp, algo, nrep, jlp, jerd, nbox, volm, dism, fact, nzwe;
//                xmve the reweighted location, eval its eigenvalues, c the packed
//                reweighted scatter, h (= c + (p+2)(p+1)/2) the packed robust correlations
//                when pcor != 0, maha and dmve squared classical and robust distances, wgts
//                the 0/1 weights.
//   job  in      nonzero: the first two random subsets are the first and the last p + 1
//                observations
// Returns 0; -1 when n <= p (549/953); -2 when p < 1 (549/965), when the classical
// covariance is singular (549/955) or a given subset is singular (549/956: volm, xmve and
// dmve missing); -3 when the eigenvalues of the robust scatter are not found; -4 when the
// reweighted covariance is singular (549/959). A singular MVE scatter (549/957) or a search
// whose every subset is singular (549/430) ends the run through xexit(9999, 0), as does work
// space smaller than mve_sizes. Allocates nothing.
int zminvol(LMTSTR* str, int job);

// mve_check_problem: whether n observations of p variables admit an MVE estimate. Returns 0;
// -1 when n <= p (logs 549/953); -2 when p < 1 (logs 549/965). The front end asks before it
// sizes anything, zminvol again on entry.
int mve_check_problem(long n, long p);

// stat2: classical mean, standard deviations, covariance (divisor n - 1) and, when pcor is
// not 0, correlations of all n rows of a; prints ClassicalMean (ipri != 0), ClassicalCov
// (pcov != 0) and ClassicalCorr (pcor 1 or 3).
//   mu    out  p means
//   sd    out  p standard deviations
//   sscp  work p doubles
//   covm  out  packed covariance
//   corr  out  packed correlations (written when pcor != 0)
void stat2(LMTSTR* str, double* mu, double* sd, double* sscp, double* covm, double* corr);

// mahadi: squared Mahalanobis distances of all n rows of a.
//   mu, covm  in   location and packed covariance (not changed)
//   maha      out  n squared distances
// Inverts a copy by covinv (asin 1e-12, msin max(1e-8, sing 1e-4), vsin sing). Returns
// covinv's result: negative when the matrix is singular, after the linear dependency
// analysis has run without printing (maha then untouched).
int mahadi(LMTSTR* str, const double* mu, const double* covm, double* maha);

// domve: the subset search. chrep fixes algo and nrep for subsets of p + 1; then complete
// lexicographic enumeration (updating the factor by getlog2 unless noup or p = 1) or random
// subsets (copr = 0: whole subsets from the 16-bit generator; otherwise one member replaced
// from the uniform stream; at most 3 nrep draws, singular ones after the first two drawn
// again). Keeps the first smallest objective in volm, dism and jbst, feeds the box when an
// exchange follows, counts jlp and jerd, prints progress and IterHist0 by ipri.
//   job   in   as for zminvol
//   doim  out  the exchange variant to run: str->doim after random subsets, else 0
// Returns 0. When every subset is singular: note and message 430, xexit(9999, 0).
int domve(LMTSTR* str, int job, int* doim);

// getlog1: log determinant and squared distances of the subset jsub (p + 1 indices) from
// scratch: xmve its mean, its covariance (divisor p) factored by zududec (tolerance sing,
// 1e-8 when not positive).
//   ldet  out  log of the determinant of the covariance
// dmve receives the n squared distances. Returns 0; -1 when the covariance is singular; -2
// (at once) when some squared distance is <= 2.225073858507202e-308.
int getlog1(LMTSTR* str, double* ldet);

// getlog2: getlog1 by updating an upper triangular factor R of the raw cross products of
// the subset's rows (packed in c, with the sum of the rows after it).
//   doup   in,out  0: rebuild R from jsub (set to 1 afterwards); 1: R belongs to the subset
//                  before obout left and obin entered. Reset to 0 after a failed update, so
//                  the next call rebuilds.
//   obin, obout  in  the observations that entered and left jsub (read when doup is 1)
//   ldet   out     log determinant
// Returns 0; -1 when removing obout fails; -2 when centring the factor fails; -3 when a
// diagonal element of the rebuilt or of the covariance factor is too small.
int getlog2(LMTSTR* str, int* doup, long obin, long obout, double* ldet);

// ofmve: the objective of a subset whose squared distances are in dmve: with d the square
// root of the h-th smallest of them, d^p sqrt(det) (det = exp(ldet), the largest double from
// ldet >= 709.78). aw receives a reordered copy of dmve.
//   dist  out  d (0 when the h-th squared distance is negative)
double ofmve(LMTSTR* str, double ldet, double* dist);

// xchmve1, xchmve2, xchmve3: pairwise exchange refinement of the box of best subsets
// (nbox entries: objectives dwim, subsets lwim of p + 1 sorted indices; a missing objective
// is an inactive entry). Each pass moves every active entry to its best neighbour (one
// member exchanged for one outside observation) that lowers its objective by more than a
// relative 1.1e-12; variant 1 tries every member and every outside observation, variant 2
// stops an entry's scan at an improvement below (1 - trex) times its objective, variant 3
// tries only the members farthest from the subset's centre and the outside observations
// nearest to it. An entry that cannot improve stops; one that reaches another entry's
// subset becomes inactive. Finally jbst, volm and dism are those of the best entry,
// recomputed by getlog1 and ofmve. Trials are counted in jlp and singular ones in jerd.
// Notes 461 and the table IterHist1 by ipri. Nothing happens when nbox = 0.
void xchmve1(LMTSTR* str);
void xchmve2(LMTSTR* str);
void xchmve3(LMTSTR* str);

}  // namespace robmat
