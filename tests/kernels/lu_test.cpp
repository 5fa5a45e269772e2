// LU kernels on matrices Q1 diag(sigma) Q2 with random orthogonal Q1, Q2 of determinant
// (-1)^n each, so the determinant is prod(sigma) exactly in sign and magnitude, at scales up
// to 1e+-150 per entry; rank-deficient products; pivot choice and the named small cases.
#include "kernels/lu.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "support/matrices.h"

namespace robmat {
namespace {

TEST(Lu, SolvesAndDeterminantMatchTheConstruction) {
  std::mt19937_64 gen(17);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  std::normal_distribution<double> nd;
  // Scale of the entries and spread of the singular values (between 1 and spread).
  for (auto [scale, spread] : {std::pair{1.0, 4.0}, {1e150, 4.0}, {1e-150, 4.0}, {1.0, 1e10}})
    for (long n : {1L, 2L, 3L, 7L, 25L, 40L}) {
      SCOPED_TRACE("scale " + std::to_string(std::log10(scale)) + " spread " + std::to_string(spread) +
                   ", n = " + std::to_string(n));
      const long inca = n + 3, p = 2, incb = p + 1;  // padding in a and b catches stride mistakes
      const testing::Mat q1 = testing::random_orthogonal(gen, n), q2 = testing::random_orthogonal(gen, n);
      std::vector<double> sigma(static_cast<size_t>(n)), a(static_cast<size_t>(n * inca), 7e77);
      double log10_det = 0.0, smin = INFINITY, smax = 0.0;
      int sign = 1;
      for (double& s : sigma) {
        s = std::pow(spread, u(gen)) * (u(gen) < 0.3 ? -1.0 : 1.0);
        sign *= s < 0 ? -1 : 1;
        log10_det += std::log10(std::fabs(s) * scale);
        smin = std::fmin(smin, std::fabs(s));
        smax = std::fmax(smax, std::fabs(s));
      }
      testing::Mat full(static_cast<size_t>(n * n), 0.0), transposed(full);
      for (long i = 0; i < n; ++i)
        for (long j = 0; j < n; ++j) {
          for (long k = 0; k < n; ++k) full[i * n + j] += q1[i * n + k] * sigma[k] * scale * q2[k * n + j];
          a[i * inca + j] = transposed[j * n + i] = full[i * n + j];
        }
      std::vector<double> f = a;
      std::vector<long> h(static_cast<size_t>(n));
      double det[2];
      ASSERT_EQ(zludec(n, inca, 0.0, det, f.data(), h.data()), 0);
      EXPECT_GE(std::fabs(det[0]), 1.0);
      EXPECT_LT(std::fabs(det[0]), 10.0);
      EXPECT_EQ(det[1], std::floor(det[1]));
      EXPECT_EQ(det[0] > 0 ? 1 : -1, sign);
      const double tol =
          30.0 * n * DBL_EPSILON * smax / smin / std::log(10.0) + 4.0 * DBL_EPSILON * std::fabs(log10_det);
      EXPECT_NEAR(std::log10(std::fabs(det[0])) + det[1], log10_det, tol);
      for (int job : {0, 1}) {  // A x = b and A' x = b
        SCOPED_TRACE("job " + std::to_string(job));

        std::vector<double> b(static_cast<size_t>(n * incb), -5e55);
        for (long i = 0; i < n; ++i)
          for (long r = 0; r < p; ++r) b[i * incb + r] = nd(gen);
        std::vector<double> x = b;
        zlusol(job, n, p, inca, incb, f.data(), x.data(), h.data());
        for (long r = 0; r < p; ++r)
          EXPECT_LT(testing::solve_residual(job == 0 ? full : transposed, n, &x[r], incb, &b[r], incb), 30.0);
        for (long i = 0; i < n; ++i) EXPECT_EQ(x[i * incb + p], -5e55);
      }
    }
}

TEST(Lu, SingularPivotsCountRankDeficiency) {
  std::mt19937_64 gen(29);
  std::normal_distribution<double> nd;
  for (auto [n, r] : {std::pair{1L, 0L}, {2L, 1L}, {5L, 3L}, {12L, 11L}, {30L, 10L}, {8L, 0L}}) {
    SCOPED_TRACE("n " + std::to_string(n) + " rank " + std::to_string(r));
    std::vector<double> x(static_cast<size_t>(n * r)), y(x), a(static_cast<size_t>(n * n), 0.0);
    for (double& v : x) v = nd(gen);
    for (double& v : y) v = nd(gen);
    for (long i = 0; i < n; ++i)
      for (long j = 0; j < n; ++j)
        for (long t = 0; t < r; ++t) a[i * n + j] += x[i * r + t] * y[t * n + j];
    std::vector<long> h(static_cast<size_t>(n));
    double det[2];
    // 1e-8: the steps after the rank is exhausted see only rounding, about 1e-15 here.
    EXPECT_EQ(zludec(n, n, 1e-8, det, a.data(), h.data()), n - r);
    EXPECT_EQ(det[0], 0.0);
    EXPECT_EQ(det[1], 0.0);
    EXPECT_EQ(h[n - 1], n - 1);
  }
}

TEST(Lu, PivotChoiceAndSmallCases) {
  struct Small {
    const char* name;
    long n;
    std::vector<double> a;
    double sing;
    long nsing;
    std::vector<long> h;
    double det[2];
  };
  const Small cases[] = {
      {"n=1 regular", 1, {-0.04}, 0.0, 0, {0}, {-4, -2}},
      {"n=1 at the tolerance", 1, {1e-9}, 1e-9, 1, {0}, {0, 0}},
      {"tie keeps the upper row", 2, {1, 2, -1, 3}, 0.0, 0, {0, 1}, {5, 0}},
      {"tie below the diagonal", 3, {0, 1, 0, 2, 0, 1, -2, 1, 1}, 0.0, 0, {1, 1, 2}, {-4, 0}},
      {"swap negates", 2, {0, 1, 1, 0}, 0.0, 0, {1, 1}, {-1, 0}},
      {"zero column skipped", 3, {0, 1, 2, 0, 3, 4, 0, 5, 7}, 0.0, 1, {0, 2, 2}, {0, 0}},
      // A pivot below the smallest normal double underflows the record to (0, 1).
      {"underflow", 2, {1, 0, 0, 1e-310}, 0.0, 0, {0, 1}, {0, 1}},
  };
  for (const Small& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<double> a = c.a;
    std::vector<long> h(static_cast<size_t>(c.n));
    double det[2];
    EXPECT_EQ(zludec(c.n, c.n, c.sing, det, a.data(), h.data()), c.nsing);
    EXPECT_EQ(h, c.h);
    EXPECT_NEAR(det[0], c.det[0], 1e-14);
    EXPECT_EQ(det[1], c.det[1]);
  }
  // (2 1; 4 5): the pivot row is 1, and the multiplier of row 0, 2/4, is stored negated.
  std::vector<double> a{2, 1, 4, 5};
  long h[2];
  ASSERT_EQ(zludec(2, 2, 0.0, nullptr, a.data(), h), 0);
  EXPECT_EQ(h[0], 1);
  EXPECT_EQ(a, (std::vector<double>{4, 5, -0.5, 1.0 - 0.5 * 5.0}));
}

}  // namespace
}  // namespace robmat
