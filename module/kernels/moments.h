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
//   idx  in   k row indices, or null for the rows 0..k-1
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

// mahad_rows: the squared distances of m consecutive rows of x, each the same double as mahad
// gives for that row (the rows go through in blocks, each row's sums in mahad's order).
//   x   in   m rows of p values, row-major
//   d   out  m distances
//   dv  work p doubles
void mahad_rows(int p, long m, const double* x, const double* mu, const double* cinv, double* d, double* dv);

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

// whitening_factor: W with W C W' = I for a positive definite C: row k is u_k'/sqrt(l_k)
// for the eigenpairs (l_k, u_k) of C in ascending order of l_k, so that (x-mu)' C^-1 (x-mu) =
// |W (x-mu)|^2 and the first components measure a deviation along the thinnest directions
// of C, where a distance grows fastest.
//   cov   in    packed C
//   w     out   p x p, row-major
//   work  work  2p doubles
// Returns 0, or -1 (w undefined) when the eigenvalues are not found or the smallest is not
// positive.
int whitening_factor(int p, const double* cov, double* w, double* work);

// invert_lower: L^-1 of a lower triangular L with nonzero diagonal, in place.
//   l  in,out  packed lower triangle by rows
void invert_lower(int p, double* l);

// whitened_components: components from..to-1 of |W d|^2 added to q, the sum cut short once
// it exceeds `limit` (it only grows, so the whole is then known to exceed it too).
//   dev    in  p deviations d = x - mu
//   w      in  p x p row-major, W C W' = I for the scatter C of the distance
//   limit  in  largest sum of interest; +infinity adds every component asked for
// Returns the sum, or a partial sum above limit.
double whitened_components(
    int p, const double* dev, const double* w, int from, int to, double q, double limit);

// whitened_screen: the first ncomp components of |W (x_i - mu)|^2 for m rows at once, the
// rows side by side so that the products of one component go down the rows together. Each
// row's sum is the same double as whitened_components(p, x_i - mu, w, 0, ncomp, 0, inf).
//   m     in   number of rows, at most kScreenRows
//   x     in   m rows of p values, row-major
//   q     out  m partial sums
//   devt  work p * kScreenRows doubles (the deviations by variable)
inline constexpr long kScreenRows = 64;
void whitened_screen(
    int p, long m, const double* x, const double* mu, const double* w, int ncomp, double* q, double* devt);

}  // namespace robmat
