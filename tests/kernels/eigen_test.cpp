// Eigen solvers on matrices built from chosen eigenvalues (A = Q diag(lambda) Q' with a random
// orthogonal Q): residuals, orthonormality and ordering, scale-free; the packed solver agrees
// with the full one; the named edge cases (n = 1, diagonal, ties, zero matrix, decoupled blocks).
#include "kernels/eigen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "support/matrices.h"

namespace robmat {
namespace {

using testing::Mat;

TEST(Eigen, ResidualsOrthonormalDescendingAndPackedSolverAgrees) {
  std::vector<double> spread20;
  for (int i = 0; i < 20; ++i) spread20.push_back(std::ldexp(1.0, i - 10) * (i % 3 == 0 ? -1 : 1));
  const std::vector<std::vector<double>> spectra = {
      {3.5},
      {2.0, -1.0},
      {5, 4, 3, 2, 1},
      {1, 1e-4, 1e-8, 1e-12, 1e-15},
      {2, 2, 2, 1, 1},
      {3, 1, -1, -4},
      {1e150, 2e150, 3e149, -1e150},
      // zimtqlv works with squared subdiagonals, which underflow
      // below 1e-154: these draws stay above (seed 10).
      {1e-150, 2e-150, 3e-151},
      {4, 1, 0, 0},
      {0, 0, 0},
      spread20};
  std::mt19937_64 gen(10);
  for (const std::vector<double>& lambda : spectra) {
    SCOPED_TRACE(::testing::PrintToString(lambda));
    const long n = static_cast<long>(lambda.size());
    const Mat a = testing::with_eigenvalues(gen, lambda);
    Mat z = a;
    std::vector<double> d(n), e(n), want = lambda;
    ztred2(n, z.data(), d.data(), e.data());
    ASSERT_EQ(ztql2(n, z.data(), d.data(), e.data(), 1), 0);
    std::sort(want.begin(), want.end(), std::greater<>());
    double anorm = DBL_MIN;
    for (double l : lambda) anorm = std::max(anorm, std::fabs(l));
    const double unit = anorm * static_cast<double>(n) * DBL_EPSILON;
    std::vector<double> p = testing::pack(a, n), tri(3 * n), w(n), work(n);
    std::vector<int> ind(n);
    ztred3(n, p.data(), tri.data());
    ASSERT_EQ(zimtqlv(n, tri.data(), w.data(), ind.data(), work.data()), 0);
    for (long k = 0; k < n; ++k) {
      SCOPED_TRACE("k = " + std::to_string(k));
      EXPECT_LT(std::fabs(d[k] - want[k]) / unit, 30);
      EXPECT_LT(std::fabs(w[k] - d[k]) / unit, 30);
      for (long l = 0; l < n; ++l) {  // A z_k = d_k z_k and z_k'z_l = delta_kl
        double av = 0, dot = 0;
        for (long j = 0; j < n; ++j) {
          av += a[l * n + j] * z[k * n + j];
          dot += z[k * n + j] * z[l * n + j];
        }
        EXPECT_LT(std::fabs(av - d[k] * z[k * n + l]) / unit, 30);
        EXPECT_LT(std::fabs(dot - (k == l ? 1.0 : 0.0)) / (n * DBL_EPSILON), 30);
      }
    }
    EXPECT_TRUE(std::is_sorted(d.begin(), d.end(), std::greater<>()));
    EXPECT_TRUE(std::is_sorted(w.begin(), w.end(), std::greater<>()));
  }
}

TEST(Eigen, Eigen2ExpandsPackedInput) {
  const std::vector<double> lambda{9, 4, 1e-3};
  const long n = 3;
  std::mt19937_64 gen(3);
  const Mat a = testing::with_eigenvalues(gen, lambda);
  std::vector<double> p = testing::pack(a, n), aw(2 * n), z(n * n);
  LMTSTR str{};
  str.nvar = static_cast<int>(n);
  str.aw = aw.data();
  ASSERT_EQ(eigen2(&str, p.data(), z.data()), 0);
  for (long k = 0; k < n; ++k) {
    EXPECT_NEAR(aw[k], lambda[k], 30 * 9 * n * DBL_EPSILON);
    for (long i = 0; i < n; ++i) {
      double av = 0;
      for (long j = 0; j < n; ++j) av += a[i * n + j] * z[k * n + j];
      EXPECT_NEAR(av, aw[k] * z[k * n + i], 30 * 9 * n * DBL_EPSILON);
    }
  }
}

TEST(Eigen, EdgeCases) {
  // Diagonal: sorted descending, unit vectors permuted, ties keep their order.
  Mat z{2, 0, 0, 0, 0, 5, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1};
  std::vector<double> d(4), e(4);
  ztred2(4, z.data(), d.data(), e.data());
  ASSERT_EQ(ztql2(4, z.data(), d.data(), e.data(), 1), 0);
  EXPECT_EQ(d, (std::vector<double>{5, 2, 2, 1}));
  const long order[4] = {1, 0, 2, 3};
  for (long k = 0; k < 4; ++k)
    for (long i = 0; i < 4; ++i) EXPECT_EQ(std::fabs(z[k * 4 + i]), i == order[k] ? 1.0 : 0.0);
  // Decoupled tridiagonal blocks {0,1} (eigenvalues 1 +- 1) and {2,3} (10 +- 2) get different tags.
  std::vector<double> tri{1, 1, 10, 10, 0, 1, 0, 2, 0, 1, 0, 4}, w(4), work(4);
  std::vector<int> ind(4);
  ASSERT_EQ(zimtqlv(4, tri.data(), w.data(), ind.data(), work.data()), 0);
  const std::vector<double> want{12, 8, 2, 0};
  for (int k = 0; k < 4; ++k) EXPECT_NEAR(w[k], want[k], 1e-14 * 12);
  EXPECT_EQ(ind[0], ind[1]);
  EXPECT_EQ(ind[2], ind[3]);
  EXPECT_NE(ind[0], ind[2]);
}

}  // namespace
}  // namespace robmat
