// Plane rotations and the triangular row update/downdate: R'R must track A'A as rows come
// and go, an update followed by the downdate of the same row restores the factor, and each
// refusal of the downdate leaves R as it was.
#include "kernels/triangular.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace robmat {
namespace {

using Vec = std::vector<double>;

long pk(long i, long j) { return i + j * (j + 1) / 2; }

TEST(Givens, ConstructionAnnihilatesAndReconstructs) {
  struct Rot {
    const char* name;
    double a, b;
    double r, c, s, z;
  };
  const double big = 1e300, tiny = 1e-300, h = std::sqrt(0.5);
  const Rot cases[] = {
      {"b = 0 leaves a", 3.0, 0.0, 3.0, 1.0, 0.0, 0.0},
      {"a = 0 moves b", 0.0, -2.0, -2.0, 0.0, 1.0, 1.0},
      {"|b| > |a| takes the sign of b", 3.0, 4.0, 5.0, 0.6, 0.8, 1.0 / 0.6},
      {"|a| > |b| takes the sign of a", -4.0, 3.0, -5.0, 0.8, -0.6, -0.6},
      {"equal magnitudes", -1.0, 1.0, std::sqrt(2.0), -h, h, -std::sqrt(2.0)},
      {"near overflow", 3 * big, 4 * big, 5 * big, 0.6, 0.8, 1.0 / 0.6},
      {"near underflow", -4 * tiny, 3 * tiny, -5 * tiny, 0.8, -0.6, -0.6},
  };
  for (const Rot& t : cases) {
    SCOPED_TRACE(t.name);
    double a = t.a, b = t.b, c = 0.0, s = 0.0;
    const double z = zgivcon(&a, &b, &c, &s);
    EXPECT_NEAR(a, t.r, 4 * DBL_EPSILON * std::fabs(t.r));
    EXPECT_EQ(b, 0.0);
    EXPECT_NEAR(c, t.c, 4 * DBL_EPSILON);
    EXPECT_NEAR(s, t.s, 4 * DBL_EPSILON);
    EXPECT_NEAR(z, t.z, 4 * DBL_EPSILON * std::fabs(t.z));
    // z alone determines the rotation: z = 1 means c = 0; |z| < 1 is s; |z| > 1 is 1/c.
    const double cz = std::fabs(z) < 1.0 ? std::sqrt(1.0 - z * z) : z == 1.0 ? 0.0 : 1.0 / z;
    const double sz = std::fabs(z) < 1.0 ? z : z == 1.0 ? 1.0 : std::sqrt(1.0 - cz * cz);
    EXPECT_TRUE(t.b == 0.0 || (std::fabs(cz - c) <= 8 * DBL_EPSILON && std::fabs(sz - s) <= 8 * DBL_EPSILON));
  }
}

TEST(Givens, ApplicationWithAnyStrides) {
  const double c = 0.6, s = -0.8;
  double x1[3] = {1, 2, 3}, y1[3] = {-1, 0.5, 4};
  double x3[9] = {1, 0, 0, 2, 0, 0, 3, 0, 0}, y2[6] = {-1, 0, 0.5, 0, 4, 0};
  zgivapl(3, 1, 1, c, s, x1, y1);
  zgivapl(3, 3, 2, c, s, x3, y2);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(x1[i], x3[3 * i]);
    EXPECT_EQ(y1[i], y2[2 * i]);
  }
  EXPECT_DOUBLE_EQ(x1[0], c * 1 + s * -1);
  EXPECT_DOUBLE_EQ(y1[0], c * -1 - s * 1);
  double x[2] = {1, 2}, y[2] = {3, 4};  // s = 0 is the identity whatever c says
  zgivapl(2, 1, 1, 2.0, 0.0, x, y);
  EXPECT_EQ(x[1], 2.0);
  EXPECT_EQ(y[0], 3.0);
}

// R from zero by adding the m rows of x (row stride ldx, element stride incx), which stay.
Vec factor_rows(long n, long m, const Vec& x, long ldx, long incx) {
  Vec r(static_cast<size_t>(n * (n + 1) / 2), 0.0), c(static_cast<size_t>(n)), s(c);
  for (long i = 0; i < m; ++i) {
    const Vec row(x.begin() + i * ldx, x.begin() + i * ldx + (n - 1) * incx + 1);
    Vec work = row;
    ztriup2(n, incx, r.data(), work.data(), c.data(), s.data());
    EXPECT_EQ(work, row);
  }
  return r;
}

// max |(R'R)_ij - G_ij| / (n eps max|G|), G given full.
double gram_error(long n, const Vec& r, const Vec& g) {
  double gmax = 0.0, err = 0.0;
  for (double v : g) gmax = std::fmax(gmax, std::fabs(v));
  for (long i = 0; i < n; ++i)
    for (long j = 0; j < n; ++j) {
      long double s = -static_cast<long double>(g[i * n + j]);
      for (long k = 0; k <= std::min(i, j); ++k) s += static_cast<long double>(r[pk(k, i)]) * r[pk(k, j)];
      err = std::fmax(err, static_cast<double>(std::fabs(s)));
    }
  return gmax == 0.0 ? err : err / (static_cast<double>(n) * DBL_EPSILON * gmax);
}

TEST(TriangularUpdate, FactorOfTheCrossProducts) {
  std::mt19937_64 gen(53);
  std::normal_distribution<double> nd;
  struct Shape {
    const char* name;
    long n, m, incx;
    double scale;
  };
  const Shape shapes[] = {
      {"1 x 1", 1, 1, 1, 1.0},
      {"fewer rows than columns", 6, 3, 1, 1.0},
      {"strided rows", 5, 12, 3, 1.0},
      {"20 x 60", 20, 60, 1, 1.0},
      {"entries near 1e150", 8, 20, 1, 1e150},
      {"entries near 1e-150", 8, 20, 2, 1e-150},
  };
  for (const Shape& sh : shapes) {
    SCOPED_TRACE(sh.name);
    const long n = sh.n, ldx = (n - 1) * sh.incx + 1;
    Vec x(static_cast<size_t>(sh.m * ldx), 1e300);
    for (long i = 0; i < sh.m; ++i)
      for (long j = 0; j < n; ++j) x[i * ldx + j * sh.incx] = sh.scale * nd(gen);
    Vec r = factor_rows(n, sh.m, x, ldx, sh.incx);
    for (long i = 0; i < n; ++i) EXPECT_GE(r[pk(i, i)], 0.0);
    // Compare with X'X scaled to unit magnitude so the reference never overflows.
    Vec g(static_cast<size_t>(n * n), 0.0);
    for (double& v : r) v /= sh.scale;
    for (long i = 0; i < n; ++i)
      for (long j = 0; j < n; ++j)
        for (long k = 0; k < sh.m; ++k)
          g[i * n + j] += (x[k * ldx + i * sh.incx] / sh.scale) * (x[k * ldx + j * sh.incx] / sh.scale);
    EXPECT_LT(gram_error(n, r, g), 30.0);
  }
  // The row (3, 4) into a zero factor: R = (3 4; 0 0) by a swap, then the identity.
  Vec r(3, 0.0), x{3, 4}, c(2), s(2);
  ztriup2(2, 1, r.data(), x.data(), c.data(), s.data());
  EXPECT_EQ(r, (Vec{3, 4, 0}));
  EXPECT_EQ(c, (Vec{0, 1}));
  EXPECT_EQ(s, (Vec{1, 0}));
}

TEST(TriangularDowndate, UpdateThenDowndateRestoresAndRemovesADataRow) {
  std::mt19937_64 gen(59);
  std::normal_distribution<double> nd;
  for (long n : {1L, 2L, 5L, 20L})
    for (long incx : {1L, 2L}) {
      SCOPED_TRACE("n = " + std::to_string(n) + ", incx " + std::to_string(incx));
      const long m = 3 * n;
      Vec x(static_cast<size_t>(m * n)), row(static_cast<size_t>(n * incx), 0.0), c(n), s(n);
      for (double& v : x) v = nd(gen);
      const Vec r0 = factor_rows(n, m, x, n, 1);
      Vec r = r0;
      for (long j = 0; j < n; ++j) row[j * incx] = 2.0 * nd(gen);
      ztriup2(n, incx, r.data(), row.data(), c.data(), s.data());
      ASSERT_EQ(ztrido2(n, incx, 1e-12, r.data(), row.data(), c.data(), s.data()), 0);
      // The factor with a positive diagonal is unique, so R itself comes back; these
      // well-conditioned factors lose at most a few units of n*eps in the round trip.
      double rmax = 0.0;
      for (double v : r0) rmax = std::fmax(rmax, std::fabs(v));
      for (size_t i = 0; i < r.size(); ++i)
        EXPECT_LT(std::fabs(r[i] - r0[i]) / (n * DBL_EPSILON * rmax), 30.0) << i;
      // Downdating the last data row gives the factor of the others.
      const Vec without = factor_rows(n, m - 1, x, n, 1);
      Vec last(x.end() - n, x.end());
      ASSERT_EQ(ztrido2(n, 1, 1e-12, r.data(), last.data(), c.data(), s.data()), 0);
      for (size_t i = 0; i < r.size(); ++i) EXPECT_NEAR(r[i], without[i], 1e-13 * m) << i;
    }
}

TEST(TriangularDowndate, RefusalCodes) {
  struct Refusal {
    const char* name;
    Vec r;  // order 2, packed by columns: R(0,0), R(0,1), R(1,1)
    Vec x;
    double sing;
    int result;
    bool unchanged;
  };
  const Refusal cases[] = {
      {"R(0,0) equal to sing", {1e-3, 0.5, 1}, {0.1, 0.1}, 1e-3, -1, true},
      {"R(0,0) negative", {-1, 0, 1}, {0.1, 0.1}, 1e-12, -1, true},
      {"later diagonal zero", {1, 0.5, 0}, {0.1, 0.1}, 1e-12, -2, true},
      {"row larger than the data", {1, 0, 1}, {2, 0}, 1e-12, -3, true},
      {"removing the only support of a direction", {1, 0, 1}, {1, 0}, 1e-12, -4, true},
      // A'A = diag(1, 1 + 1e-8) less the row (0, 1) leaves R(1,1) = 1e-4 < 1e-3 * R(0,0).
      {"result nearly singular", {1, 0, std::sqrt(1 + 1e-8)}, {0, 1}, 1e-3, -4, false},
      {"regular", {2, 1, 3}, {1, 1}, 1e-12, 0, false},
  };
  for (const Refusal& t : cases) {
    SCOPED_TRACE(t.name);
    Vec r = t.r, x = t.x;
    double c[2], s[2];
    EXPECT_EQ(ztrido2(2, 1, t.sing, r.data(), x.data(), c, s), t.result);
    if (t.unchanged) {
      EXPECT_EQ(r, t.r);
      continue;
    }
    // Otherwise R holds the downdated factor: R'R = R0'R0 - xx'.
    Vec g(4);
    for (long i = 0; i < 2; ++i)
      for (long j = 0; j < 2; ++j) {
        g[i * 2 + j] = -t.x[i] * t.x[j];
        for (long k = 0; k <= std::min(i, j); ++k) g[i * 2 + j] += t.r[pk(k, i)] * t.r[pk(k, j)];
      }
    // 1e8: R(1,1)^2 = 1e-8 comes from cancelling 1 + 1e-8 against 1, so it carries an
    // absolute error of eps, about 1e8 eps relative to the tiny element.
    EXPECT_LT(gram_error(2, r, g), 1e8);
    EXPECT_GT(r[0], 0.0);
    EXPECT_GT(r[2], 0.0);
  }
  double none = 0.0;
  EXPECT_EQ(ztrido2(0, 1, 1e-12, &none, &none, &none, &none), 0);
}

}  // namespace
}  // namespace robmat
