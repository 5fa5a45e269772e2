// Moments and distances of multivariate data that every location/scatter search needs:
// mean and covariance of a subset given by index, squared Mahalanobis distances with a
// packed inverse, distances to a hyperplane, covariance to correlation, and the window of
// least variance in sorted values (the univariate MCD and LTS). Packed matrices
// are lower triangles by rows, element (i, j), j <= i, at i(i+1)/2 + j.
#pragma once

namespace robmat {

// subset_moments: mean and covariance (divisor k - 1; 0 when k < 2) of k >= 1 rows of x.
//   p    in   number of variables
//   x    in   rows of p values, row-major
//   idx  in   k row indices
//   mu   out  p means
//   cov  out  packed covariance, p(p+1)/2 values
//   dv   work p doubles
// The cross products are centred (two passes), which keeps the covariance accurate when the
// location is far from zero relative to the spread.
void subset_moments(int p, const double* x, const long* idx, long k, double* mu, double* cov, double* dv);

// mahad: squared Mahalanobis distance (x-mu)' C^-1 (x-mu).
//   cinv  in   packed inverse C^-1
//   dv    work p doubles
double mahad(int p, const double* x, const double* mu, const double* cinv, double* dv);

// dist2p: distances |sum_j (x_ij - mu_j) v_j| of m rows to the hyperplane through mu whose
// normal v is the last eigenvector (of the smallest eigenvalue) in z.
//   z     in   p eigenvectors of p values each, in order of decreasing eigenvalue
//   ndst  out  m distances
void dist2p(long m, int p, const double* dat, const double* z, const double* mu, double* ndst);

// cov2cor: correlations r_ij = c_ij / (sd_i sd_j), sd_j = sqrt(c_jj); a non-positive variance
// contributes the factor 1.
//   sd  out  p standard deviations (0 for a non-positive variance)
void cov2cor(int p, const double* cov, double* cor, double* sd);

// mcduni: the exact univariate MCD (and LTS location): the window of h consecutive sorted
// values with the smallest sum of squared deviations from its mean.
//   fact    in   scale factor
//   m       in   number of values
//   h       in   window length, 1 <= h <= m
//   x       in   m values in ascending order
//   slutn   out  slutn[0]: mean of the chosen window, the middle one (index t/2 of t) of
//                windows tied at the minimum
//   bstd    out  fact * sqrt(minimum / h), 0 when the minimum is negative
//   ties    work 2(m - h + 1) doubles (sums and starts of the tied minimal windows)
//   wstart  out  0-based start of the chosen window
// The sums run along the windows (one addition and one subtraction per step), so the
// minimum is that of the running sums, not of sums formed afresh.
void mcduni(
    double fact, long m, long h, const double* x, double* slutn, double* bstd, double* ties, long* wstart);

}  // namespace robmat
