// Independent least squares for the regression tests: a Householder QR in long double of the
// rows of weight 1 (estimates, fitted values, residual sum of squares, standard errors,
// R-square and F), and the two-sided t probability by numerical integration of the density,
// so that no reference goes through the module's own kernels.
#pragma once

#include <cmath>
#include <vector>

namespace robmat::testing {

struct LsRef {
  std::vector<double> beta, se, fitted;
  double rss = 0.0;
  double r2 = 0.0;  // with an intercept (a column of ones): about the mean; else about 0
  double f = 0.0;   // ((tss - rss) / df1) / (rss / (k - p))
};

// ls_reference: least squares of the rows i with w[i] == 1.
//   x          n rows of p design columns, row-major
//   y          n responses
//   intercept  column p - 1 is the intercept (R-square and F about the mean)
// Standard errors sqrt(s^2 diag((R'R)^-1)) with s^2 = rss / (k - p), k the rows used.
inline LsRef ls_reference(const std::vector<double>& x,
                          const std::vector<double>& yv,
                          int p,
                          const std::vector<double>& w,
                          bool intercept = true) {
  const long n = static_cast<long>(yv.size());
  std::vector<std::vector<long double>> rows;
  std::vector<long double> y;
  long double ysum = 0;
  for (long i = 0; i < n; ++i)
    if (w[i] == 1.0) {
      rows.emplace_back(x.begin() + i * p, x.begin() + i * p + p);
      y.push_back(yv[i]);
      ysum += yv[i];
    }
  const long k = static_cast<long>(rows.size());
  const long double ymean = intercept ? ysum / k : 0;
  long double tss = 0;
  for (long double v : y) tss += (v - ymean) * (v - ymean);
  for (int j = 0; j < p; ++j) {  // reflect column j below the diagonal onto its first entry
    long double norm = 0;
    for (long i = j; i < k; ++i) norm += rows[i][j] * rows[i][j];
    norm = std::sqrt(norm);
    const long double alpha = rows[j][j] > 0 ? -norm : norm;
    std::vector<long double> v(k, 0);
    for (long i = j; i < k; ++i) v[i] = rows[i][j];
    v[j] -= alpha;
    long double vv = 0;
    for (long i = j; i < k; ++i) vv += v[i] * v[i];
    for (int c = j; c <= p; ++c) {
      long double d = 0;
      for (long i = j; i < k; ++i) d += v[i] * (c < p ? rows[i][c] : y[i]);
      for (long i = j; i < k; ++i) (c < p ? rows[i][c] : y[i]) -= 2 * d / vv * v[i];
    }
  }
  LsRef r;
  std::vector<long double> beta(p);
  for (int j = p - 1; j >= 0; --j) {
    long double t = y[j];
    for (int c = j + 1; c < p; ++c) t -= rows[j][c] * beta[c];
    beta[j] = t / rows[j][j];
  }
  long double rss = 0;
  for (long i = p; i < k; ++i) rss += y[i] * y[i];
  r.rss = static_cast<double>(rss);
  const long df1 = intercept ? p - 1 : p;
  r.r2 = static_cast<double>(1 - rss / tss);
  r.f = static_cast<double>(((tss - rss) / df1) / (rss / (k - p)));
  std::vector<long double> rinv(p * p, 0);  // R^-1, upper triangular
  for (int j = 0; j < p; ++j) {
    rinv[j * p + j] = 1 / rows[j][j];
    for (int i = j - 1; i >= 0; --i) {
      long double t = 0;
      for (int c = i + 1; c <= j; ++c) t -= rows[i][c] * rinv[c * p + j];
      rinv[i * p + j] = t / rows[i][i];
    }
  }
  for (int j = 0; j < p; ++j) {
    long double d = 0;
    for (int c = j; c < p; ++c) d += rinv[j * p + c] * rinv[j * p + c];
    r.beta.push_back(static_cast<double>(beta[j]));
    r.se.push_back(static_cast<double>(std::sqrt(d * rss / (k - p))));
  }
  for (long i = 0; i < n; ++i) {
    long double f = 0;
    for (int j = 0; j < p; ++j) f += x[i * p + j] * beta[j];
    r.fitted.push_back(static_cast<double>(f));
  }
  return r;
}

// P(|T| >= |t|) for Student's t with df degrees of freedom: 1 - 2 * integral of the density
// over [0, |t|] by Simpson's rule on 20000 panels in long double (absolute error below 1e-12
// for |t| <= 50 and df >= 1).
inline double t_two_sided(double t, long df) {
  const long double nu = static_cast<long double>(df);
  const long double c = std::exp(std::lgamma((nu + 1) / 2) - std::lgamma(nu / 2)) / std::sqrt(nu * M_PIl);
  auto density = [&](long double v) { return c * std::pow(1 + v * v / nu, -(nu + 1) / 2); };
  const long m = 20000;
  const long double b = std::fabs(static_cast<long double>(t));
  const long double step = b / m;
  long double s = density(0) + density(b);
  for (long i = 1; i < m; ++i) s += (i % 2 ? 4 : 2) * density(i * step);
  return static_cast<double>(1 - 2 * s * step / 3);
}

}  // namespace robmat::testing
