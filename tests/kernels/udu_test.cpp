// UDU' kernels on symmetric matrices of known spectrum (definite, indefinite, singular, badly
// scaled) and on zero-diagonal matrices that force 2x2 pivots; the covariance inverse on
// random covariances. Ground truth: the chosen eigenvalues, or a long-double Jacobi solver.
#include "kernels/udu.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "support/matrices.h"

namespace robmat {
namespace {

using testing::Mat;
using testing::pack;
using testing::pk;
using testing::unpack;

// Eigenvalues by cyclic Jacobi rotations in long double: slow, simple, independent.
std::vector<long double> jacobi_eigenvalues(const Mat& a0, long n) {
  std::vector<long double> a(a0.begin(), a0.end());
  for (int sweep = 0; sweep < 100; ++sweep) {
    long double off = 0.0L, tot = 0.0L;
    for (long i = 0; i < n * n; ++i) {
      tot += a[i] * a[i];
      if (i / n != i % n) off += a[i] * a[i];
    }
    if (off <= 1e-36L * tot) break;
    for (long p = 0; p < n; ++p)
      for (long r = p + 1; r < n; ++r) {
        if (a[p * n + r] == 0.0L) continue;
        const long double theta = (a[r * n + r] - a[p * n + p]) / (2.0L * a[p * n + r]);
        const long double t =
            (theta >= 0 ? 1.0L : -1.0L) / (std::fabs(theta) + std::sqrt(theta * theta + 1.0L));
        const long double c = 1.0L / std::sqrt(t * t + 1.0L), s = t * c;
        for (long k = 0; k < n; ++k) {  // columns p and r, then rows p and r
          const long double kp = a[k * n + p], kr = a[k * n + r];
          a[k * n + p] = c * kp - s * kr;
          a[k * n + r] = s * kp + c * kr;
        }
        for (long k = 0; k < n; ++k) {
          const long double pk_ = a[p * n + k], rk = a[r * n + k];
          a[p * n + k] = c * pk_ - s * rk;
          a[r * n + k] = s * pk_ + c * rk;
        }
      }
  }
  std::vector<long double> ev(static_cast<size_t>(n));
  for (long i = 0; i < n; ++i) ev[i] = a[i * n + i];
  return ev;
}

struct Truth {
  double log10_abs_det = 0.0;
  int sign = 1, pos = 0, neg = 0;
  double kappa = 1.0;  // largest over smallest |eigenvalue|
};

Truth truth_from(const std::vector<long double>& ev) {
  Truth t;
  long double l = 0.0L, emin = INFINITY, emax = 0.0L;
  for (long double e : ev) {
    emax = std::fmax(emax, std::fabs(e));
    emin = std::fmin(emin, std::fabs(e));
    e > 0 ? ++t.pos : ++t.neg;
    t.sign *= e < 0 ? -1 : 1;
    l += std::log10(std::fabs(e));
  }
  t.log10_abs_det = static_cast<double>(l);
  if (!ev.empty()) t.kappa = static_cast<double>(emax / emin);
  return t;
}

double log10_det(const double* det) { return std::log10(std::fabs(det[0])) + det[1]; }

// Factors A and checks the determinant record and inertia against the truth, the solve of
// three right-hand sides with gaps between them, and the inverse; returns the pivot record.
std::vector<long> check_factorisation(std::mt19937_64& gen, const Mat& a, long n, const Truth& t) {
  Mat f = pack(a, n), g = f;
  std::vector<long> h(static_cast<size_t>(n)), h2(h);
  double det[5];
  EXPECT_EQ(zududec(n, 0.0, det, f.data(), h.data()), 0);
  EXPECT_EQ(zududec(n, 0.0, nullptr, g.data(), h2.data()), 0);  // no determinant wanted
  EXPECT_EQ(g, f);
  EXPECT_GE(std::fabs(det[0]), 1.0);
  EXPECT_LT(std::fabs(det[0]), 10.0);
  EXPECT_EQ(det[0] > 0 ? 1 : -1, t.sign);
  // A backward-stable factorisation perturbs the determinant by about n eps kappa relative;
  // the record's exponent costs a few ulps of log10|det| on top.
  const double tol = 30.0 * static_cast<double>(n) * DBL_EPSILON * t.kappa / std::log(10.0) +
                     4.0 * DBL_EPSILON * std::fabs(t.log10_abs_det);
  EXPECT_NEAR(log10_det(det), t.log10_abs_det, tol);
  EXPECT_EQ(det[2], t.pos);
  EXPECT_EQ(det[3], t.neg);
  EXPECT_EQ(det[4], 0.0);
  std::normal_distribution<double> nd;
  const long p = 3, incb = n + 2;
  Mat b(static_cast<size_t>(p * incb), 0.0);
  for (long r = 0; r < p; ++r)
    for (long i = 0; i < n; ++i) b[r * incb + i] = nd(gen);
  Mat x = b;
  zudusol(n, p, incb, f.data(), x.data(), h.data());
  for (long r = 0; r < p; ++r)
    EXPECT_LT(testing::solve_residual(a, n, &x[r * incb], 1, &b[r * incb], 1), 30.0);
  std::vector<double> w(static_cast<size_t>(n));
  zuduinv(n, f.data(), h.data(), w.data());
  EXPECT_LT(testing::inverse_residual(a, unpack(f, n), n), 30.0);
  return h;
}

TEST(Udu, FactorSolvesInvertsAndGivesDeterminantAndInertia) {
  // Eigenvalues of chosen signs in 0.5..2, then a uniform scale or a two-sided diagonal one.
  enum Kind { kDefinite, kIndefinite, kNegative, kScaledUp, kScaledDown, kDiagScaled, kIllConditioned };
  const char* names[] = {"definite",
                         "indefinite",
                         "negative definite",
                         "scaled by 1e150",
                         "scaled by 1e-150",
                         "D*A*D, D over 1e-75..1e75",
                         "condition 1e12"};
  std::mt19937_64 gen(101);
  std::uniform_real_distribution<double> u(0.5, 2.0), e(-75.0, 75.0);
  for (int kind = kDefinite; kind <= kIllConditioned; ++kind)
    for (long n : {1L, 2L, 3L, 5L, 13L, 60L}) {
      SCOPED_TRACE(std::string(names[kind]) + ", n = " + std::to_string(n));
      std::vector<double> lambda(static_cast<size_t>(n)), d(static_cast<size_t>(n));
      for (long i = 0; i < n; ++i) {
        lambda[i] = u(gen) * (kind == kNegative || (kind == kIndefinite && i % 2 == 1) ? -1 : 1);
        if (kind == kIllConditioned && i == n - 1 && n > 1) lambda[i] = 1e-12;
        d[i] = kind == kDiagScaled   ? std::pow(10.0, e(gen))
               : kind == kScaledUp   ? 1e75
               : kind == kScaledDown ? 1e-75
                                     : 1.0;
      }
      Mat a = testing::with_eigenvalues(gen, lambda);
      Truth t = truth_from(std::vector<long double>(lambda.begin(), lambda.end()));
      for (long i = 0; i < n; ++i) {
        t.log10_abs_det += 2.0 * std::log10(d[i]);
        for (long j = 0; j < n; ++j) a[i * n + j] *= d[i] * d[j];
      }
      check_factorisation(gen, a, n, t);
    }
}

TEST(Udu, ZeroDiagonalsForceTwoByTwoPivots) {
  std::mt19937_64 gen(505);
  std::normal_distribution<double> nd;
  // Saddle points [[0, B], [B', 0]], or random symmetric matrices with a zero diagonal.
  for (auto [n, saddle] :
       {std::pair{2L, true}, {6L, true}, {40L, true}, {3L, false}, {7L, false}, {60L, false}}) {
    SCOPED_TRACE((saddle ? "saddle " : "hollow ") + std::to_string(n));
    Mat a(static_cast<size_t>(n * n), 0.0);
    for (long i = 0; i < n; ++i)
      for (long j = 0; j < i; ++j)
        if (!saddle || (i >= n / 2 && j < n / 2)) a[i * n + j] = a[j * n + i] = nd(gen);
    const std::vector<long> h = check_factorisation(gen, a, n, truth_from(jacobi_eigenvalues(a, n)));
    EXPECT_TRUE(
        std::any_of(h.begin(), h.end(), [](long v) { return v < 0; }));  // 2x2 blocks are marked negative
  }
}

TEST(Udu, NullityEqualsConstructedRankDeficiency) {
  std::mt19937_64 gen(404);
  std::uniform_real_distribution<double> u(0.5, 2.0);
  // Order, zero eigenvalues, some negative eigenvalues.
  const std::tuple<long, long, bool> cases[] = {
      {1, 1, false}, {2, 1, false}, {3, 2, true}, {20, 10, true}, {60, 1, true}, {60, 60, false}};
  for (auto [n, r, mixed] : cases) {
    SCOPED_TRACE("n " + std::to_string(n) + " rank " + std::to_string(n - r));
    std::vector<double> lambda(static_cast<size_t>(n), 0.0);
    int pos = 0, neg = 0;
    for (long i = 0; i < n - r; ++i) {
      lambda[i] = mixed && i % 3 == 0 ? -u(gen) : u(gen);
      lambda[i] < 0 ? ++neg : ++pos;
    }
    const Mat a = pack(testing::with_eigenvalues(gen, lambda), n);
    for (double scale : {1.0, 1e-120, 1e120}) {
      SCOPED_TRACE("scale " + std::to_string(std::log10(scale)));
      Mat f = a;
      for (double& x : f) x *= scale;
      std::vector<long> h(static_cast<size_t>(n));
      double det[5];
      // 1e-8 relative: rounding leaves entries of about 1e-15 in the null directions, while
      // the pivots of the regular part stay above 0.1.
      EXPECT_EQ(zududec(n, 1e-8 * scale, det, f.data(), h.data()), r);
      const double want[5] = {
          0, 0, static_cast<double>(pos), static_cast<double>(neg), static_cast<double>(r)};
      for (int i = 0; i < 5; ++i) EXPECT_EQ(det[i], want[i]) << "det[" << i << "]";
    }
  }
}

TEST(Udu, SmallMatricesWithKnownResults) {
  struct Small {
    const char* name;
    long n;
    Mat packed;
    double sing;
    long nullity;
    double det[5];
  };
  const Small cases[] = {
      {"(4 2; 2 3)", 2, {4, 2, 3}, 1e-12, 0, {8, 0, 2, 0, 0}},
      {"(0 1; 1 0) needs a 2x2 pivot", 2, {0, 1, 0}, 1e-12, 0, {-1, 0, 1, 1, 0}},
      {"(1 1; 1 1)", 2, {1, 1, 1}, 1e-12, 1, {0, 0, 1, 0, 1}},
      {"(-0.002)", 1, {-0.002}, 1e-12, 0, {-2, -3, 0, 1, 0}},
      {"(0)", 1, {0}, 0.0, 1, {0, 0, 0, 0, 1}},
      {"order 0", 0, {}, 0.0, 0, {1, 0, 0, 0, 0}},
      {"diag(1e-200, 1e-200)", 2, {1e-200, 0, 1e-200}, 0.0, 0, {1, -400, 2, 0, 0}},
      // A pivot below the smallest normal double takes the determinant record to (0, 1).
      {"diag(1e-310, 1)", 2, {1e-310, 0, 1}, 0.0, 0, {0, 1, 2, 0, 0}},
  };
  for (const Small& c : cases) {
    SCOPED_TRACE(c.name);
    Mat f = c.packed;
    std::vector<long> h(static_cast<size_t>(c.n) + 1);
    double det[5];
    EXPECT_EQ(zududec(c.n, c.sing, det, f.data(), h.data()), c.nullity);
    EXPECT_NEAR(det[0], c.det[0], 1e-12);
    for (int i = 1; i < 5; ++i) EXPECT_EQ(det[i], c.det[i]) << "det[" << i << "]";
  }
  // zudude2 decides each column by its own tolerance: diag(1, 1e-10).
  for (auto [t0, t1, nullity] :
       {std::tuple{1e-12, 1e-12, 0L}, {1e-12, 1e-9, 1L}, {1e-9, 1e-12, 0L}, {2.0, 2.0, 2L}}) {
    SCOPED_TRACE(::testing::PrintToString(std::pair{t0, t1}));
    Mat f = {1.0, 0.0, 1e-10};
    std::vector<long> h(2);
    double vsin[2] = {t0, t1};
    EXPECT_EQ(zudude2(2, vsin, nullptr, f.data(), h.data()), nullity);
  }
}

TEST(Covinv, PackedCovarianceInverseDeterminantAndScaling) {
  std::mt19937_64 gen(606);
  std::normal_distribution<double> nd;
  struct Cov {
    const char* name;
    std::vector<double> sd;
    long copy;  // >= 0: this variable repeats variable 0
    double vsin;
    int job;
    int result;
  };
  const Cov cases[] = {
      {"scales 1e-5..1e6", {1e-5, 1, 1e3, 1e6}, -1, 1e-10, 0, 1},
      {"scales 1e-5..1e150", {1e-5, 1e150, 1e-2}, -1, 1e-10, 0, 1},
      {"sd 1e-150: unscaled and singular at vsin 1e-10", {1e-150, 1, 1}, -1, 1e-10, 0, -1},
      {"one sd below 1e-6: unscaled", {1e-7, 1, 1}, -1, 1e-20, 0, 0},
      {"determinant only", {1, 1e4, 1e-2}, -1, 1e-10, 1, 1},
      {"collinear", {2, 1, 1, 1}, 3, 1e-10, 0, -1},
  };
  for (const Cov& c : cases) {
    SCOPED_TRACE(c.name);
    const long n = static_cast<long>(c.sd.size()), m = 50;
    Mat x(static_cast<size_t>(m * n)), cov(static_cast<size_t>(n * (n + 1) / 2), 0.0);
    for (long i = 0; i < m; ++i)
      for (long j = 0; j < n; ++j) x[i * n + j] = (j == c.copy ? x[i * n] / c.sd[0] : nd(gen)) * c.sd[j];
    for (long j = 0; j < n; ++j)
      for (long i = 0; i <= j; ++i)
        for (long r = 0; r < m; ++r) cov[pk(i, j)] += x[r * n + i] * x[r * n + j] / static_cast<double>(m);
    Mat f = cov;
    double det[5];
    std::vector<double> cdia(static_cast<size_t>(n)), work(cdia);
    std::vector<long> iwk(static_cast<size_t>(n));
    ASSERT_EQ(covinv(c.job, 0, n, 1e-12, 1e-8, c.vsin, f.data(), det, cdia.data(), work.data(), iwk.data()),
              c.result);
    for (long j = 0; j < n; ++j) EXPECT_DOUBLE_EQ(cdia[j], std::sqrt(cov[pk(j, j)]));
    if (c.result < 0) {
      EXPECT_EQ(det[0], 0.0);
      EXPECT_EQ(det[1], 0.0);
      EXPECT_GE(det[4], 1.0);
      continue;
    }
    // The determinant against the Jacobi eigenvalues of the unit-diagonal matrix times the
    // variances: both sides stay in range at any scale.
    Mat corr = unpack(cov, n);
    long double ldet = 0.0L;
    for (long i = 0; i < n; ++i) {
      ldet += std::log10(static_cast<long double>(cdia[i])) * 2.0L;
      for (long j = 0; j < n; ++j) corr[i * n + j] /= cdia[i] * cdia[j];
    }
    for (long double e : jacobi_eigenvalues(corr, n)) ldet += std::log10(e);
    EXPECT_NEAR(log10_det(det), static_cast<double>(ldet), 1e-10);
    EXPECT_EQ(det[2], n);
    if (c.job != 0) continue;
    // Scale-free check of the inverse: diag(cdia) * (C * C^-1 - I) * diag(1/cdia).
    const Mat a = unpack(cov, n), inv = unpack(f, n);
    for (long i = 0; i < n; ++i)
      for (long j = 0; j < n; ++j) {
        long double s = i == j ? -1.0L : 0.0L;
        for (long k = 0; k < n; ++k) s += static_cast<long double>(a[i * n + k]) * inv[k * n + j];
        EXPECT_NEAR(static_cast<double>(s * cdia[j] / cdia[i]), 0.0, 1e-12) << i << "," << j;
      }
  }
}

TEST(Covinv, DiagonalFormAndDodiag) {
  struct Diag {
    const char* name;
    std::vector<double> d;
    double asin, msin;
    int job;
    int result;
    double det[5];
    std::vector<double> out;
  };
  const Diag cases[] = {
      {"regular, inverted", {4, -0.5, 2e3}, 1e-12, 1e-8, 0, 0, {-4, 3, 2, 1, 0}, {0.25, -2, 5e-4}},
      {"regular, determinant only", {4, -0.5, 2e3}, 1e-12, 1e-8, 1, 0, {-4, 3, 2, 1, 0}, {4, -0.5, 2e3}},
      {"diag(100, 1e-20)", {100, 1e-20}, 1e-12, 0.0, 0, -1, {0, 0, 1, 0, 1}, {100, 1e-20}},
      {"relative tolerance", {1e6, 1e-3, 5}, 0.0, 1e-8, 0, -1, {0, 0, 2, 0, 1}, {1e6, 1e-3, 5}},
      {"absolute tolerance wins", {1e-10, 2e-10}, 1e-9, 1e-8, 0, -1, {0, 0, 0, 0, 2}, {1e-10, 2e-10}},
      {"order 0", {}, 1e-12, 1e-8, 0, 0, {1, 0, 0, 0, 0}, {}},
  };
  for (const Diag& c : cases)
    for (int via_covinv = 0; via_covinv < 2; ++via_covinv) {
      SCOPED_TRACE(std::string(c.name) + (via_covinv ? " (covinv)" : " (dodiag)"));
      const long n = static_cast<long>(c.d.size());
      Mat d = c.d;
      double det[5], cdia[4], work[4];
      long iwk[4];
      const int r = via_covinv ? covinv(c.job, 2, n, c.asin, c.msin, 1e-10, d.data(), det, cdia, work, iwk)
                               : dodiag(c.job, n, c.asin, c.msin, d.data(), det);
      EXPECT_EQ(r, c.result);
      EXPECT_NEAR(det[0], c.det[0], 1e-13);
      for (int i = 1; i < 5; ++i) EXPECT_EQ(det[i], c.det[i]) << "det[" << i << "]";
      for (long j = 0; j < n; ++j) EXPECT_DOUBLE_EQ(d[j], c.out[j]);
    }
  // Packed diag(100, 1e-20): sqrt(1e-20) is not above 1e-6, so no scaling, and the pivot
  // 1e-20 is null for any tolerance at or above it.
  for (double vsin : {1e-20, 1e-12, 1e-3, 1e-21}) {
    SCOPED_TRACE("vsin " + std::to_string(vsin));
    Mat f = {100, 0, 1e-20};
    double det[5], cdia[2], work[2];
    long iwk[2];
    const bool null = vsin > 1e-21;
    EXPECT_EQ(covinv(0, 0, 2, 1e-12, 0.0, vsin, f.data(), det, cdia, work, iwk), null ? -1 : 0);
    EXPECT_EQ(det[4], null ? 1.0 : 0.0);
    EXPECT_NEAR(null ? -18.0 : log10_det(det), -18.0, 1e-12);
  }
}

}  // namespace
}  // namespace robmat
