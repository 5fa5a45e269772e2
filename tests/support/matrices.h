// Test data for the kernel and engine tests: matrices of known spectrum, n x n row-major, and
// symmetric ones packed by rows of the lower triangle (which is also the upper triangle by
// columns); normal samples with planted outliers; the bits of doubles, for bit-identity.
#pragma once

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace robmat::testing {

using Mat = std::vector<double>;

// n independent standard normal values, times scale.
inline std::vector<double> random_vector(std::mt19937_64& gen, long n, double scale = 1.0) {
  std::normal_distribution<double> nd;
  std::vector<double> v(static_cast<size_t>(n));
  for (double& x : v) x = scale * nd(gen);
  return v;
}

// The bits of n doubles, so that missing values and NaNs compare too.
inline std::vector<uint64_t> bits(const double* v, long n) {
  std::vector<uint64_t> b(static_cast<size_t>(n));
  if (n > 0) std::memcpy(b.data(), v, static_cast<size_t>(n) * sizeof(double));
  return b;
}
inline std::vector<uint64_t> bits(const std::vector<double>& v) {
  return bits(v.data(), static_cast<long>(v.size()));
}

// n rows of p standard normal values (row-major), the first `outliers` rows shifted.
inline std::vector<double> normal_data(long n, int p, unsigned seed, long outliers = 0, double shift = 0.0) {
  std::mt19937 gen(seed);
  std::normal_distribution<double> z;
  std::vector<double> x(static_cast<size_t>(n * p));
  for (long i = 0; i < n * p; ++i) x[i] = z(gen) + (i < outliers * p ? shift : 0.0);
  return x;
}

inline size_t pk(long i, long j) {
  return static_cast<size_t>(i >= j ? i * (i + 1) / 2 + j : j * (j + 1) / 2 + i);
}

// A product of n random Householder reflections: orthogonal, with determinant (-1)^n.
inline Mat random_orthogonal(std::mt19937_64& gen, long n) {
  std::normal_distribution<double> nd;
  Mat q(static_cast<size_t>(n * n), 0.0);
  for (long i = 0; i < n; ++i) q[i * n + i] = 1.0;
  std::vector<double> v(static_cast<size_t>(n));
  for (long r = 0; r < n; ++r) {
    double vv = 0.0;
    for (double& x : v) {
      x = nd(gen);
      vv += x * x;
    }
    for (long i = 0; i < n; ++i) {
      double s = 0.0;
      for (long k = 0; k < n; ++k) s += q[i * n + k] * v[k];
      for (long k = 0; k < n; ++k) q[i * n + k] -= 2.0 * s / vv * v[k];
    }
  }
  return q;
}

// Q diag(lambda) Q' for a random orthogonal Q, accumulated in long double.
inline Mat with_eigenvalues(std::mt19937_64& gen, const std::vector<double>& lambda) {
  const long n = static_cast<long>(lambda.size());
  const Mat q = random_orthogonal(gen, n);
  Mat a(static_cast<size_t>(n * n));
  for (long i = 0; i < n; ++i)
    for (long j = 0; j <= i; ++j) {
      long double s = 0.0L;
      for (long k = 0; k < n; ++k) s += static_cast<long double>(q[i * n + k]) * lambda[k] * q[j * n + k];
      a[i * n + j] = a[j * n + i] = static_cast<double>(s);
    }
  return a;
}

inline Mat pack(const Mat& a, long n) {
  Mat p(static_cast<size_t>(n * (n + 1) / 2));
  for (long i = 0; i < n; ++i)
    for (long j = 0; j <= i; ++j) p[pk(i, j)] = a[i * n + j];
  return p;
}

inline Mat unpack(const Mat& p, long n) {
  Mat a(static_cast<size_t>(n * n));
  for (long i = 0; i < n; ++i)
    for (long j = 0; j < n; ++j) a[i * n + j] = p[pk(i, j)];
  return a;
}

inline double norm_inf(const Mat& a, long n) {
  double m = 0.0;
  for (long i = 0; i < n; ++i) {
    double s = 0.0;
    for (long j = 0; j < n; ++j) s += std::fabs(a[i * n + j]);
    m = std::fmax(m, s);
  }
  return m;
}

// max |b - A x| / (n eps |A| |x|) for x and b with strides incx and incb: below about 30 when
// x solves A x = b backward-stably.
inline double solve_residual(const Mat& a, long n, const double* x, long incx, const double* b, long incb) {
  double res = 0.0, xn = 0.0;
  for (long i = 0; i < n; ++i) {
    long double s = b[i * incb];
    for (long j = 0; j < n; ++j) s -= static_cast<long double>(a[i * n + j]) * x[j * incx];
    res = std::fmax(res, static_cast<double>(std::fabs(s)));
    xn = std::fmax(xn, std::fabs(x[i * incx]));
  }
  return res / (static_cast<double>(n) * norm_inf(a, n) * xn * DBL_EPSILON);
}

// max |A X - I| / (n eps |A| |X|): below about 30 when X is a backward-stable inverse of A.
inline double inverse_residual(const Mat& a, const Mat& x, long n) {
  double res = 0.0;
  for (long i = 0; i < n; ++i)
    for (long j = 0; j < n; ++j) {
      long double s = i == j ? -1.0L : 0.0L;
      for (long k = 0; k < n; ++k) s += static_cast<long double>(a[i * n + k]) * x[k * n + j];
      res = std::fmax(res, static_cast<double>(std::fabs(s)));
    }
  return res / (static_cast<double>(n) * norm_inf(a, n) * norm_inf(x, n) * DBL_EPSILON);
}

}  // namespace robmat::testing
