// Eigen solvers on matrices built from chosen eigenvalues (A = Q diag(lambda) Q' with a random
// orthogonal Q): residuals, orthonormality and ordering, scale-free; the two solver pairs
// agree; the named edge cases (n = 1, diagonal, ties, zero matrix, decoupled blocks).
#include "kernels/eigen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace robmat {
namespace {

using Matrix = std::vector<double>;  // row-major n x n

// Random orthogonal matrix: modified Gram-Schmidt, applied twice, on Gaussian columns.
Matrix random_orthogonal(long n, unsigned seed) {
  std::mt19937_64 rng(seed);
  std::normal_distribution<double> g;
  Matrix q(static_cast<size_t>(n * n));
  for (double& v : q) v = g(rng);
  for (int pass = 0; pass < 2; ++pass) {
    for (long j = 0; j < n; ++j) {
      for (long k = 0; k < j; ++k) {
        double dot = 0;
        for (long i = 0; i < n; ++i) dot += q[i * n + j] * q[i * n + k];
        for (long i = 0; i < n; ++i) q[i * n + j] -= dot * q[i * n + k];
      }
      double norm = 0;
      for (long i = 0; i < n; ++i) norm += q[i * n + j] * q[i * n + j];
      norm = std::sqrt(norm);
      for (long i = 0; i < n; ++i) q[i * n + j] /= norm;
    }
  }
  return q;
}

Matrix from_eigenvalues(const std::vector<double>& lambda, unsigned seed) {
  const long n = static_cast<long>(lambda.size());
  Matrix q = random_orthogonal(n, seed);
  Matrix a(static_cast<size_t>(n * n), 0.0);
  for (long i = 0; i < n; ++i)
    for (long j = 0; j <= i; ++j) {
      double s = 0;
      for (long k = 0; k < n; ++k) s += q[i * n + k] * lambda[k] * q[j * n + k];
      a[i * n + j] = a[j * n + i] = s;
    }
  return a;
}

std::vector<double> packed(const Matrix& a, long n) {
  std::vector<double> p;
  for (long i = 0; i < n; ++i)
    for (long j = 0; j <= i; ++j) p.push_back(a[i * n + j]);
  return p;
}

double norm_max(const std::vector<double>& lambda) {
  double m = 0;
  for (double v : lambda) m = std::max(m, std::fabs(v));
  return m;
}

struct Case {
  std::string name;
  std::vector<double> lambda;
};

std::vector<Case> cases() {
  std::vector<double> spread20;
  for (int i = 0; i < 20; ++i) spread20.push_back(std::ldexp(1.0, i - 10) * (i % 3 == 0 ? -1 : 1));
  return {
      {"n=1", {3.5}},
      {"n=2", {2.0, -1.0}},
      {"distinct", {5, 4, 3, 2, 1}},
      {"ill-conditioned", {1, 1e-4, 1e-8, 1e-12, 1e-15}},
      {"repeated", {2, 2, 2, 1, 1}},
      {"indefinite", {3, 1, -1, -4}},
      {"near overflow", {1e150, 2e150, 3e149, -1e150}},
      {"near underflow", {1e-150, 2e-150, 3e-151}},
      {"rank deficient", {4, 1, 0, 0}},
      {"zero", {0, 0, 0}},
      {"n=20 mixed signs", spread20},
  };
}

TEST(Eigen, Tred2Tql2ResidualsOrthonormalDescending) {
  for (const Case& c : cases()) {
    SCOPED_TRACE(c.name);
    const long n = static_cast<long>(c.lambda.size());
    const Matrix a = from_eigenvalues(c.lambda, 7u + static_cast<unsigned>(n));
    Matrix z = a;
    std::vector<double> d(n), e(n);
    ztred2(n, z.data(), d.data(), e.data());
    ASSERT_EQ(ztql2(n, z.data(), d.data(), e.data(), 1), 0);

    const double anorm = std::max(norm_max(c.lambda), DBL_MIN);
    const double unit = static_cast<double>(n) * DBL_EPSILON;
    for (long k = 0; k + 1 < n; ++k) EXPECT_GE(d[k], d[k + 1]);
    std::vector<double> want = c.lambda;
    std::sort(want.begin(), want.end(), std::greater<>());
    for (long k = 0; k < n; ++k) EXPECT_LT(std::fabs(d[k] - want[k]) / (anorm * unit), 30) << "k=" << k;
    for (long k = 0; k < n; ++k) {
      double worst = 0;
      for (long i = 0; i < n; ++i) {
        double av = 0;
        for (long j = 0; j < n; ++j) av += a[i * n + j] * z[k * n + j];
        worst = std::max(worst, std::fabs(av - d[k] * z[k * n + i]));
      }
      EXPECT_LT(worst / (anorm * unit), 30) << "residual of vector " << k;
    }
    double ortho = 0;
    for (long k = 0; k < n; ++k)
      for (long l = 0; l < n; ++l) {
        double dot = 0;
        for (long i = 0; i < n; ++i) dot += z[k * n + i] * z[l * n + i];
        ortho = std::max(ortho, std::fabs(dot - (k == l ? 1.0 : 0.0)));
      }
    EXPECT_LT(ortho / unit, 30);
  }
}

TEST(Eigen, PackedSolverAgreesWithFullSolver) {
  for (const Case& c : cases()) {
    SCOPED_TRACE(c.name);
    const long n = static_cast<long>(c.lambda.size());
    const Matrix a = from_eigenvalues(c.lambda, 11u + static_cast<unsigned>(n));
    Matrix z = a;
    std::vector<double> d(n), e(n);
    ztred2(n, z.data(), d.data(), e.data());
    ASSERT_EQ(ztql2(n, z.data(), d.data(), e.data(), 0), 0);

    std::vector<double> p = packed(a, n), tri(3 * n), w(n), work(n);
    std::vector<int> ind(n);
    ztred3(n, p.data(), tri.data());
    ASSERT_EQ(zimtqlv(n, tri.data(), w.data(), ind.data(), work.data()), 0);
    const double anorm = std::max(norm_max(c.lambda), DBL_MIN);
    for (long k = 0; k < n; ++k) {
      EXPECT_LT(std::fabs(w[k] - d[k]) / (anorm * n * DBL_EPSILON), 30) << "k=" << k;
      if (k + 1 < n) {
        EXPECT_GE(w[k], w[k + 1]);
      }
    }
  }
}

TEST(Eigen, Eigen2ExpandsPackedInput) {
  const std::vector<double> lambda{9, 4, 1e-3};
  const long n = 3;
  const Matrix a = from_eigenvalues(lambda, 3);
  std::vector<double> p = packed(a, n), aw(2 * n), z(n * n);
  LMTSTR str{};
  str.nvar = static_cast<int>(n);
  str.aw = aw.data();
  ASSERT_EQ(eigen2(&str, p.data(), z.data()), 0);
  for (long k = 0; k < n; ++k) EXPECT_NEAR(aw[k], lambda[k], 30 * 9 * n * DBL_EPSILON);
  for (long k = 0; k < n; ++k)
    for (long i = 0; i < n; ++i) {
      double av = 0;
      for (long j = 0; j < n; ++j) av += a[i * n + j] * z[k * n + j];
      EXPECT_NEAR(av, aw[k] * z[k * n + i], 30 * 9 * n * DBL_EPSILON);
    }
}

TEST(Eigen, EdgeCases) {
  {
    SCOPED_TRACE("n = 1: d unchanged, e = 0, vector [1]");
    double z = -2.5, d = 0, e = 7;
    ztred2(1, &z, &d, &e);
    EXPECT_EQ(d, -2.5);
    EXPECT_EQ(e, 0.0);
    EXPECT_EQ(ztql2(1, &z, &d, &e, 1), 0);
    EXPECT_EQ(d, -2.5);
    EXPECT_EQ(z, 1.0);
  }
  {
    SCOPED_TRACE("diagonal: sorted descending, unit vectors permuted, ties keep order");
    Matrix z{2, 0, 0, 0, 0, 5, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1};
    std::vector<double> d(4), e(4);
    ztred2(4, z.data(), d.data(), e.data());
    ASSERT_EQ(ztql2(4, z.data(), d.data(), e.data(), 1), 0);
    EXPECT_EQ(d, (std::vector<double>{5, 2, 2, 1}));
    const long order[4] = {1, 0, 2, 3};
    for (long k = 0; k < 4; ++k)
      for (long i = 0; i < 4; ++i) EXPECT_EQ(std::fabs(z[k * 4 + i]), i == order[k] ? 1.0 : 0.0);
  }
  {
    SCOPED_TRACE("zero matrix: all eigenvalues 0 in both solvers");
    Matrix z(9, 0.0);
    std::vector<double> d(3, 1), e(3, 1), p(6, 0.0), tri(9), w(3), work(3);
    std::vector<int> ind(3);
    ztred2(3, z.data(), d.data(), e.data());
    EXPECT_EQ(ztql2(3, z.data(), d.data(), e.data(), 1), 0);
    EXPECT_EQ(d, (std::vector<double>{0, 0, 0}));
    ztred3(3, p.data(), tri.data());
    EXPECT_EQ(zimtqlv(3, tri.data(), w.data(), ind.data(), work.data()), 0);
    EXPECT_EQ(w, (std::vector<double>{0, 0, 0}));
  }
  {
    SCOPED_TRACE("decoupled tridiagonal blocks get different tags");
    // Blocks {0,1} (eigenvalues 1 +- 1) and {2,3} (eigenvalues 10 +- 2).
    std::vector<double> tri{1, 1, 10, 10, 0, 1, 0, 2, 0, 1, 0, 4};
    std::vector<double> w(4), work(4);
    std::vector<int> ind(4);
    ASSERT_EQ(zimtqlv(4, tri.data(), w.data(), ind.data(), work.data()), 0);
    const std::vector<double> want{12, 8, 2, 0};
    for (int k = 0; k < 4; ++k) EXPECT_NEAR(w[k], want[k], 1e-14 * 12);
    EXPECT_EQ(ind[0], ind[1]);
    EXPECT_EQ(ind[2], ind[3]);
    EXPECT_NE(ind[0], ind[2]);
  }
}

}  // namespace
}  // namespace robmat
