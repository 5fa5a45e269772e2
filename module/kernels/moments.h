// Moments and distances of multivariate data that every location/scatter search needs:
// mean and covariance of a subset given by index, squared Mahalanobis distances with a
// packed inverse, distances to a hyperplane, and covariance to correlation. Packed matrices
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

// dist2p: distances |sum_j (x_ij - mu_j) v_j| of m rows to the hyperplane through mu whose
// normal v is the last eigenvector (of the smallest eigenvalue) in z.
//   z     in   p eigenvectors of p values each, in order of decreasing eigenvalue
//   ndst  out  m distances
void dist2p(long m, int p, const double* dat, const double* z, const double* mu, double* ndst);

// cov2cor: correlations r_ij = c_ij / (sd_i sd_j), sd_j = sqrt(c_jj); a non-positive variance
// contributes the factor 1.
//   sd  out  p standard deviations (0 for a non-positive variance)
void cov2cor(int p, const double* cov, double* cor, double* sd);

// whitening_factor: W = L^-1 for the Cholesky factor L of a positive definite C = L L', so
// that (x-mu)' C^-1 (x-mu) = |W (x-mu)|^2.
//   cov  in   packed C
//   w    out  packed W, lower triangular by rows (element (i, j), j <= i, at i(i+1)/2 + j)
// Returns 0, or -1 (w undefined) when a pivot of the factorization is not positive.
int whitening_factor(int p, const double* cov, double* w);

// invert_lower: L^-1 of a lower triangular L with nonzero diagonal, in place.
//   l  in,out  packed lower triangle by rows
void invert_lower(int p, double* l);

// whitened_distance: |W (x-mu)|^2, summed over the rows of W in order and cut short once the
// partial sum exceeds `limit` (the sum only grows, so the distance is known to exceed it).
//   w      in   packed lower triangular W from whitening_factor; row k costs k + 1 products,
//              so the cheap rows decide most cut-short distances
//   limit  in   largest distance of interest; +infinity computes every distance in full
//   dv     work p doubles
// Returns the squared distance, or a partial sum above limit.
double whitened_distance(int p, const double* x, const double* mu, const double* w, double limit, double* dv);

// whitened_distances: whitened_distance of m consecutive rows, component by component over
// the rows still at or below the limit, so that the rows' sums advance side by side (the
// work of one row does not wait for the previous row's sum). The same doubles as
// whitened_distance row by row.
//   x      in   m rows of p values, row-major
//   limit  in   as for whitened_distance
//   d2     out  m squared distances, or partial sums above limit
//   dev    work m*p doubles (the rows' deviations from mu)
//   act    work m longs
// Returns the number of rows whose squared distance is at most limit (those are complete).
long whitened_distances(int p,
                        long m,
                        const double* x,
                        const double* mu,
                        const double* w,
                        double limit,
                        double* d2,
                        double* dev,
                        long* act);

}  // namespace robmat
