// Symmetric indefinite factorisation A = U*D*U' (Bunch-Kaufman diagonal pivoting) on packed
// storage, with solve and inverse, and the covariance inversions built on it. Small pivots
// are counted as null instead of failing, so one pass gives nullity, determinant and inertia.
// Packed storage here: the upper triangle by columns, element (i, j), i <= j, at i + j(j+1)/2.
#pragma once

#include "kernels/machine.h"

namespace robmat {

// zududec: A = U*D*U' with 1x1 and 2x2 pivots, in place.
//   n     in      order of A
//   sing  in      a pivot column whose largest candidate is <= sing is null: skipped, counted
//   dtin  out     5 doubles or null: determinant mantissa (1 <= |m| < 10) and decimal
//                 exponent (both 0 when the nullity is not 0), then the numbers of positive,
//                 negative and null pivot values
//   a     in,out  packed A on entry; D and the negated multipliers of U on exit
//   h     out     n interchange and block marks, read only by zudusol and zuduinv
// Returns the nullity (number of null pivot columns). Allocates nothing.
long zududec(long n, double sing, double* dtin, double* a, long* h);

// zudude2: zududec with the tolerance of column k taken from vsin[k] (n doubles).
long zudude2(long n, double* vsin, double* dtin, double* a, long* h);

// zudusol: solves A*x = b with the factors of zududec or zudude2 (nullity 0 only).
//   n     in      order of A
//   p     in      number of right-hand sides
//   incb  in      distance between consecutive right-hand sides in b
//   a     in      factors
//   b     in,out  p right-hand sides of n contiguous doubles; the solutions on exit
//   h     in      marks from the factorisation
void zudusol(long n, long p, long incb, double* a, double* b, long* h);

// zuduinv: overwrites the factors (nullity 0 only) with the packed inverse of A.
//   n  in      order of A
//   a  in,out  factors on entry, packed inverse on exit
//   h  in      marks from the factorisation
//   w  work    n doubles
void zuduinv(long n, double* a, long* h, double* w);

// covinv: inverse, determinant and inertia of a covariance matrix.
//   job   in      0: also invert; otherwise determinant and inertia only
//   cfrm  in      2: cov holds the n diagonal values of a diagonal matrix (see dodiag);
//                 otherwise cov is packed
//   n     in      order
//   asin  in      absolute tolerance (diagonal form only)
//   msin  in      tolerance relative to the largest diagonal value (diagonal form only)
//   vsin  in      pivot tolerance of the factorisation (packed form; on the unit-diagonal
//                 scale when the matrix is scaled)
//   cov   in,out  the matrix; the inverse on exit when job = 0 and it is regular
//   det   out     5 doubles as dtin of zududec; with scaling the exponent carries the
//                 fractional log10 of the scale factors
//   cdia  out     n square roots of the absolute diagonal values (packed form)
//   work  work    n doubles
//   iwk   work    n longs
// Returns -1 when singular, 0 when regular and unscaled, 1 when regular and scaled to unit
// diagonal before factorising.
int covinv(int job,
           int cfrm,
           long n,
           double asin,
           double msin,
           double vsin,
           double* cov,
           double* det,
           double* cdia,
           double* work,
           long* iwk);

// When covinv_packed scales a covariance matrix to unit diagonal before factorising it. Two
// sets, each the one its engines' results were established with, so neither engine's digits
// move: covinv (least squares, MVE) leaves a matrix with a standard deviation of 1e-6 or less
// unscaled and puts only those above 1e-12 into the determinant; MCD scales whenever the
// scaling itself cannot underflow, since its C-steps see standardized data of any units.
struct CovScaling {
  double scale_above;  // scale when every sqrt|c_jj| exceeds this
  double log_above;    // the determinant's exponent collects 2 log10 sqrt|c_jj| above this
};
inline constexpr CovScaling kCovScalingModest{1e-6, 1e-12};
inline constexpr CovScaling kCovScalingWide{kScalableRoot, kUnderflowLimit};

// covinv_packed: covinv of a packed matrix with the given scaling rule (covinv uses
// kCovScalingModest). The tolerance vsin is on the unit-diagonal scale when the matrix is
// scaled; work holds it for every column and is then the inverse's scratch.
int covinv_packed(int job,
                  long n,
                  const CovScaling& scaling,
                  double vsin,
                  double* cov,
                  double* det,
                  double* cdia,
                  double* work,
                  long* iwk);

// dodiag: covinv for a diagonal matrix given by its n diagonal values.
//   job   in      0: replace every value by its reciprocal when the matrix is regular
//   n     in      order; n < 1 gives determinant 1 and result 0
//   asin  in      absolute tolerance
//   msin  in      tolerance relative to the largest absolute value; a value counts as null
//                 when its absolute value is <= max(asin, msin * largest)
//   cov   in,out  the n diagonal values
//   det   out     5 doubles as dtin of zududec
// Returns -1 when a value is null, else 0.
int dodiag(int job, long n, double asin, double msin, double* cov, double* det);

}  // namespace robmat
