// FAST-LTS: least trimmed squares regression for large problems by elemental starts and
// concentration steps in the nested scheme of FAST-MCD (kernels/fast_search.h): random
// subdatasets and their merged set when n is large, then a final stage on all cases. It works
// on the regression driver's standardized data and leaves the best coefficients, their
// criterion and the best h-subset in the run descriptor.
#pragma once

#include "robmat/lmtstr.h"

namespace robmat {

// doflts: the FAST-LTS search.
//   str   in,out  reads nvar (p), ncas (n), jqu (h; 0 gives (n + p + 1) / 2), ipri, nsds,
//                 lsds, seed, copr, noint (0: the last column of a is the intercept), sing, a,
//                 inca, b, incb and the blocks of lmts_carve_fast; writes jqu, algo, jlp
//                 (elemental subsets), jerd (singular ones), step (C-steps of the last final
//                 start), coef (the best coefficients), fctw = sqrt(criterion / h), iw[0..h-1]
//                 (the best h-subset, 1-based ascending), cutof (sqrt of the 0.975
//                 chi-square quantile with p degrees of freedom when not positive), jhyb (0:
//                 no diagnostics over subsets), and the print flags pcov and pcor; secstr
//                 null, or the FastLaneSpace of flts_lane_doubles: the subdatasets' starts
//                 then run on that many worker threads, with the same results.
//                 With kImveConverge in imve the final C-steps run to a fixed point, up to
//                 20000 cases also from the subdatasets' kept solutions, and up to 50000 a
//                 descent by single exchanges of the best subset follows (its work is part
//                 of the blocks)
//   doim  out     0: no pairwise exchange follows
// Returns 0. When every elemental subset is singular (or no start gives a regular fit) it
// prints and logs 430 and ends the run through xexit(9999, 0). Allocates nothing.
int doflts(LMTSTR* str, int* doim);

// flts_lane_doubles: the doubles of the work space of the parallel stages on `threads` worker
// lanes (a FastLaneSpace), for the subdatasets that n, nsds and lsds give.
long flts_lane_doubles(long n, int p, long nsds, long lsds, int threads);

// equat: least squares coefficients of n regressors fitted to m rows, by the normal equations
// X'X b = X'y solved with the UDU' kernels.
//   sing  in   pivot tolerance of zududec on X'X
//   z     in   rows of n regressor values followed by the response (row stride n + 1)
//   idx   in   m row indices
//   m     in   number of rows, m >= 1 (m = n solves an elemental subset exactly)
//   n     in   number of coefficients
//   xtx   work (n + 1)(n + 2)/2 doubles: the packed cross products of (X, y)
//   piv   work n longs
//   beta  out  n coefficients, unchanged when singular
// Returns 0, or the nullity of X'X when it is singular.
long equat(
    double sing, const double* z, const long* idx, long m, int n, double* xtx, long* piv, double* beta);

}  // namespace robmat
