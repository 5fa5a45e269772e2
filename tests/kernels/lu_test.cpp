// LU kernels on matrices U1*diag(sigma)*U2 built from Householder reflections, whose
// determinant is known exactly in sign and magnitude, at scales up to 1e+-150 per entry.
#include "kernels/lu.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace robmat {
namespace {

struct Built {
  std::vector<double> a;  // n x n with row stride inca
  double log10_abs_det;
  int sign;
  double kappa;
};

// Applies n random reflections to the rows (left) or columns (right) of the n x n block.
void reflect(std::mt19937_64& gen, std::vector<double>& a, long n, long inca, bool left) {
  std::normal_distribution<double> nd;
  std::vector<double> v(static_cast<size_t>(n));
  for (long r = 0; r < n; ++r) {
    double vv = 0.0;
    for (double& x : v) {
      x = nd(gen);
      vv += x * x;
    }
    for (long i = 0; i < n; ++i) {
      double s = 0.0;
      for (long k = 0; k < n; ++k) s += (left ? a[k * inca + i] : a[i * inca + k]) * v[k];
      for (long k = 0; k < n; ++k) (left ? a[k * inca + i] : a[i * inca + k]) -= 2.0 * s / vv * v[k];
    }
  }
}

// Each reflection has determinant -1 and there are 2n of them, so det = prod(sigma).
Built build(std::mt19937_64& gen, long n, long inca, double scale, double spread) {
  std::uniform_real_distribution<double> u(0.0, 1.0);
  Built b{std::vector<double>(static_cast<size_t>(n * inca), 7e77), 0.0, 1, 1.0};
  double smin = 0.0;
  double smax = 0.0;
  for (long i = 0; i < n; ++i) {
    for (long j = 0; j < n; ++j) b.a[i * inca + j] = 0.0;
    double s = std::pow(spread, u(gen)) * (u(gen) < 0.3 ? -1.0 : 1.0);
    b.a[i * inca + i] = s * scale;
    if (s < 0) b.sign = -b.sign;
    b.log10_abs_det += std::log10(std::fabs(s)) + std::log10(scale);
    smin = i == 0 ? std::fabs(s) : std::fmin(smin, std::fabs(s));
    smax = std::fmax(smax, std::fabs(s));
  }
  reflect(gen, b.a, n, inca, true);
  reflect(gen, b.a, n, inca, false);
  b.kappa = smax / smin;
  return b;
}

struct Case {
  const char* name;
  double scale;
  double spread;  // singular values between 1 and spread
};
const Case kCases[] = {
    {"well conditioned", 1.0, 4.0},
    {"entries near 1e150", 1e150, 4.0},
    {"entries near 1e-150", 1e-150, 4.0},
    {"condition 1e10", 1.0, 1e10},
};
const long kOrders[] = {1, 2, 3, 4, 7, 12, 25, 40};

TEST(Lu, SolveAndTransposedSolveResiduals) {
  std::mt19937_64 gen(17);
  std::normal_distribution<double> nd;
  for (const Case& c : kCases)
    for (long n : kOrders)
      for (int job : {0, 1}) {
        SCOPED_TRACE(std::string(c.name) + ", n = " + std::to_string(n) + ", job " + std::to_string(job));
        const long inca = n + 3;  // padding in a and b catches stride mistakes
        const long p = 2;
        const long incb = p + 1;
        const Built m = build(gen, n, inca, c.scale, c.spread);
        std::vector<double> f = m.a;
        std::vector<long> h(static_cast<size_t>(n));
        ASSERT_EQ(zludec(n, inca, 0.0, nullptr, f.data(), h.data()), 0);
        std::vector<double> b(static_cast<size_t>(n * incb), -5e55);
        for (long i = 0; i < n; ++i)
          for (long r = 0; r < p; ++r) b[i * incb + r] = nd(gen);
        std::vector<double> x = b;
        zlusol(job, n, p, inca, incb, f.data(), x.data(), h.data());
        double an = 0.0;
        for (long i = 0; i < n; ++i) {
          double s = 0.0;
          for (long j = 0; j < n; ++j) s += std::fabs(job == 0 ? m.a[i * inca + j] : m.a[j * inca + i]);
          an = std::fmax(an, s);
        }
        for (long r = 0; r < p; ++r) {
          double res = 0.0;
          double xn = 0.0;
          for (long i = 0; i < n; ++i) {
            long double s = b[i * incb + r];
            for (long j = 0; j < n; ++j) {
              const double aij = job == 0 ? m.a[i * inca + j] : m.a[j * inca + i];
              s -= static_cast<long double>(aij) * x[j * incb + r];
            }
            res = std::fmax(res, static_cast<double>(std::fabs(s)));
            xn = std::fmax(xn, std::fabs(x[i * incb + r]));
          }
          EXPECT_LT(res / (static_cast<double>(n) * an * xn * DBL_EPSILON), 30.0);
        }
        for (long i = 0; i < n; ++i) EXPECT_EQ(x[i * incb + p], -5e55);
      }
}

TEST(Lu, DeterminantMatchesConstruction) {
  std::mt19937_64 gen(23);
  for (const Case& c : kCases)
    for (long n : kOrders) {
      SCOPED_TRACE(std::string(c.name) + ", n = " + std::to_string(n));
      const Built m = build(gen, n, n, c.scale, c.spread);
      std::vector<double> f = m.a;
      std::vector<long> h(static_cast<size_t>(n));
      double det[2];
      ASSERT_EQ(zludec(n, n, 0.0, det, f.data(), h.data()), 0);
      EXPECT_GE(std::fabs(det[0]), 1.0);
      EXPECT_LT(std::fabs(det[0]), 10.0);
      EXPECT_EQ(det[1], std::floor(det[1]));
      EXPECT_EQ(det[0] > 0 ? 1 : -1, m.sign);
      const double tol = 30.0 * static_cast<double>(n) * DBL_EPSILON * m.kappa / std::log(10.0) +
                         4.0 * DBL_EPSILON * std::fabs(m.log10_abs_det);
      EXPECT_NEAR(std::log10(std::fabs(det[0])) + det[1], m.log10_abs_det, tol);
    }
}

TEST(Lu, SingularPivotsCountRankDeficiency) {
  std::mt19937_64 gen(29);
  std::normal_distribution<double> nd;
  struct Rank {
    const char* name;
    long n, r;
  };
  const Rank cases[] = {{"n=1 zero", 1, 0},
                        {"n=2 rank 1", 2, 1},
                        {"n=5 rank 3", 5, 3},
                        {"n=12 rank 11", 12, 11},
                        {"n=30 rank 10", 30, 10},
                        {"n=8 zero", 8, 0}};
  for (const Rank& c : cases) {
    SCOPED_TRACE(c.name);
    const long n = c.n;
    std::vector<double> x(static_cast<size_t>(n * c.r));
    std::vector<double> y(static_cast<size_t>(c.r * n));
    for (double& v : x) v = nd(gen);
    for (double& v : y) v = nd(gen);
    std::vector<double> a(static_cast<size_t>(n * n), 0.0);
    for (long i = 0; i < n; ++i)
      for (long j = 0; j < n; ++j)
        for (long t = 0; t < c.r; ++t) a[i * n + j] += x[i * c.r + t] * y[t * n + j];
    std::vector<long> h(static_cast<size_t>(n));
    double det[2];
    // 1e-8: the steps after the rank is exhausted see only rounding, about 1e-15 here.
    EXPECT_EQ(zludec(n, n, 1e-8, det, a.data(), h.data()), n - c.r);
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
}

TEST(Lu, FactorsHoldNegatedMultipliers) {
  // (2 1; 4 5): the pivot row is 1, the multiplier of row 0 is 2/4, stored negated.
  double a[4] = {2, 1, 4, 5};
  long h[2];
  ASSERT_EQ(zludec(2, 2, 0.0, nullptr, a, h), 0);
  EXPECT_EQ(h[0], 1);
  EXPECT_EQ(a[0], 4.0);
  EXPECT_EQ(a[1], 5.0);
  EXPECT_EQ(a[2], -0.5);
  EXPECT_EQ(a[3], 1.0 - 0.5 * 5.0);
}

}  // namespace
}  // namespace robmat
