// UDU' kernels on symmetric matrices built with known eigenvalues (definite, indefinite,
// singular, badly scaled) and on zero-diagonal matrices that force 2x2 pivots. Ground truth:
// the chosen eigenvalues, or a long-double Jacobi eigen solver written here.
#include "kernels/udu.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace robmat {
namespace {

using Mat = std::vector<double>;  // full n x n, row-major

long np(long n) { return n * (n + 1) / 2; }
long pk(long i, long j) { return i <= j ? i + j * (j + 1) / 2 : j + i * (i + 1) / 2; }

Mat pack(const Mat& a, long n) {
  Mat p(static_cast<size_t>(np(n)));
  for (long j = 0; j < n; ++j)
    for (long i = 0; i <= j; ++i) p[pk(i, j)] = a[i * n + j];
  return p;
}

Mat unpack(const Mat& p, long n) {
  Mat a(static_cast<size_t>(n * n));
  for (long i = 0; i < n; ++i)
    for (long j = 0; j < n; ++j) a[i * n + j] = p[pk(i, j)];
  return a;
}

double norm_inf(const Mat& a, long n) {
  double m = 0.0;
  for (long i = 0; i < n; ++i) {
    double s = 0.0;
    for (long j = 0; j < n; ++j) s += std::fabs(a[i * n + j]);
    m = std::fmax(m, s);
  }
  return m;
}

// Q diag(lambda) Q' with Q a product of n random Householder reflections.
Mat with_eigenvalues(std::mt19937_64& gen, const std::vector<double>& lambda) {
  const long n = static_cast<long>(lambda.size());
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
  Mat a(static_cast<size_t>(n * n));
  for (long i = 0; i < n; ++i)
    for (long j = 0; j <= i; ++j) {
      long double s = 0.0L;
      for (long k = 0; k < n; ++k) s += static_cast<long double>(q[i * n + k]) * lambda[k] * q[j * n + k];
      a[i * n + j] = a[j * n + i] = static_cast<double>(s);
    }
  return a;
}

// Eigenvalues by cyclic Jacobi rotations in long double: slow, simple, independent.
std::vector<long double> jacobi_eigenvalues(const Mat& a0, long n) {
  std::vector<long double> a(a0.begin(), a0.end());
  for (int sweep = 0; sweep < 100; ++sweep) {
    long double off = 0.0L;
    long double tot = 0.0L;
    for (long i = 0; i < n; ++i)
      for (long j = 0; j < n; ++j) {
        tot += a[i * n + j] * a[i * n + j];
        if (i != j) off += a[i * n + j] * a[i * n + j];
      }
    if (off <= 1e-36L * tot) break;
    for (long p = 0; p < n; ++p)
      for (long r = p + 1; r < n; ++r) {
        const long double apr = a[p * n + r];
        if (apr == 0.0L) continue;
        const long double theta = (a[r * n + r] - a[p * n + p]) / (2.0L * apr);
        const long double t =
            (theta >= 0 ? 1.0L : -1.0L) / (std::fabs(theta) + std::sqrt(theta * theta + 1.0L));
        const long double c = 1.0L / std::sqrt(t * t + 1.0L);
        const long double s = t * c;
        for (long k = 0; k < n; ++k) {
          const long double akp = a[k * n + p];
          const long double akr = a[k * n + r];
          a[k * n + p] = c * akp - s * akr;
          a[k * n + r] = s * akp + c * akr;
        }
        for (long k = 0; k < n; ++k) {
          const long double apk = a[p * n + k];
          const long double ark = a[r * n + k];
          a[p * n + k] = c * apk - s * ark;
          a[r * n + k] = s * apk + c * ark;
        }
      }
  }
  std::vector<long double> ev(static_cast<size_t>(n));
  for (long i = 0; i < n; ++i) ev[i] = a[i * n + i];
  return ev;
}

struct Truth {
  double log10_abs_det;
  int sign;
  int pos, neg, null;
  double kappa;  // ratio of the largest to the smallest nonzero |eigenvalue|
};

Truth truth_from(const std::vector<long double>& ev, long double null_tol) {
  Truth t{0.0, 1, 0, 0, 0, 1.0};
  long double l = 0.0L;
  long double emin = 0.0L;
  long double emax = 0.0L;
  for (long double e : ev) {
    if (std::fabs(e) <= null_tol) {
      ++t.null;
      continue;
    }
    emax = std::fmax(emax, std::fabs(e));
    emin = emin == 0.0L ? std::fabs(e) : std::fmin(emin, std::fabs(e));
    e > 0 ? ++t.pos : ++t.neg;
    if (e < 0) t.sign = -t.sign;
    l += std::log10(std::fabs(e));
  }
  t.log10_abs_det = static_cast<double>(l);
  if (emin > 0.0L) t.kappa = static_cast<double>(emax / emin);
  return t;
}

// A backward-stable factorisation perturbs the determinant by about n*eps*kappa relative;
// the record's exponent costs a few ulps of log10|det| on top.
double log10_det_tolerance(const Truth& t, long n) {
  return 30.0 * static_cast<double>(n) * DBL_EPSILON * t.kappa / std::log(10.0) +
         4.0 * DBL_EPSILON * std::fabs(t.log10_abs_det);
}

// Symmetric test matrices: eigenvalues of chosen signs and magnitudes, then optionally a
// uniform scale or a two-sided diagonal scaling.
enum class Kind { kDefinite, kIndefinite, kNegative, kScaledUp, kScaledDown, kDiagScaled, kIllConditioned };
struct Case {
  const char* name;
  Kind kind;
};
const Case kCases[] = {
    {"definite", Kind::kDefinite},
    {"indefinite", Kind::kIndefinite},
    {"negative definite", Kind::kNegative},
    {"scaled by 1e150", Kind::kScaledUp},
    {"scaled by 1e-150", Kind::kScaledDown},
    {"D*A*D, D over 1e-75..1e75", Kind::kDiagScaled},
    {"condition 1e12", Kind::kIllConditioned},
};
const long kOrders[] = {1, 2, 3, 4, 5, 8, 13, 21, 34, 60};

struct Built {
  Mat a;
  Truth truth;
};

Built build(std::mt19937_64& gen, Kind kind, long n) {
  std::uniform_real_distribution<double> u(0.5, 2.0);
  std::uniform_real_distribution<double> e(-75.0, 75.0);
  std::vector<double> lambda(static_cast<size_t>(n));
  std::vector<long double> ev(static_cast<size_t>(n));
  for (long i = 0; i < n; ++i) {
    double l = u(gen);
    if (kind == Kind::kIndefinite && i % 2 == 1) l = -l;
    if (kind == Kind::kNegative) l = -l;
    if (kind == Kind::kIllConditioned && i == n - 1 && n > 1) l = 1e-12;
    lambda[i] = l;
    ev[i] = l;
  }
  Built b{with_eigenvalues(gen, lambda), truth_from(ev, 0.0L)};
  double scale = 1.0;
  if (kind == Kind::kScaledUp) scale = 1e150;
  if (kind == Kind::kScaledDown) scale = 1e-150;
  if (scale != 1.0) {
    for (double& x : b.a) x *= scale;
    b.truth.log10_abs_det += static_cast<double>(n) * std::log10(scale);
  }
  if (kind == Kind::kDiagScaled) {
    std::vector<double> d(static_cast<size_t>(n));
    for (double& x : d) {
      x = std::pow(10.0, e(gen));
      b.truth.log10_abs_det += 2.0 * std::log10(x);
    }
    for (long i = 0; i < n; ++i)
      for (long j = 0; j < n; ++j) b.a[i * n + j] *= d[i] * d[j];
  }
  return b;
}

double log10_det(const double* det) { return std::log10(std::fabs(det[0])) + det[1]; }

TEST(Udu, SolveResidualIsBackwardStable) {
  std::mt19937_64 gen(101);
  std::normal_distribution<double> nd;
  for (const Case& c : kCases)
    for (long n : kOrders) {
      SCOPED_TRACE(std::string(c.name) + ", n = " + std::to_string(n));
      const Built m = build(gen, c.kind, n);
      Mat f = pack(m.a, n);
      std::vector<long> h(static_cast<size_t>(n));
      ASSERT_EQ(zududec(n, 0.0, nullptr, f.data(), h.data()), 0);
      // Three right-hand sides with a gap between them, to exercise incb.
      const long p = 3;
      const long incb = n + 2;
      Mat b(static_cast<size_t>(p * incb), 0.0);
      for (long r = 0; r < p; ++r)
        for (long i = 0; i < n; ++i) b[r * incb + i] = nd(gen);
      Mat x = b;
      zudusol(n, p, incb, f.data(), x.data(), h.data());
      const double an = norm_inf(m.a, n);
      for (long r = 0; r < p; ++r) {
        double res = 0.0;
        double xn = 0.0;
        for (long i = 0; i < n; ++i) {
          long double s = b[r * incb + i];
          for (long j = 0; j < n; ++j) s -= static_cast<long double>(m.a[i * n + j]) * x[r * incb + j];
          res = std::fmax(res, static_cast<double>(std::fabs(s)));
          xn = std::fmax(xn, std::fabs(x[r * incb + i]));
        }
        EXPECT_LT(res / (static_cast<double>(n) * an * xn * DBL_EPSILON), 30.0);
      }
    }
}

TEST(Udu, InverseTimesMatrixIsIdentity) {
  std::mt19937_64 gen(202);
  for (const Case& c : kCases)
    for (long n : kOrders) {
      SCOPED_TRACE(std::string(c.name) + ", n = " + std::to_string(n));
      const Built m = build(gen, c.kind, n);
      Mat f = pack(m.a, n);
      std::vector<long> h(static_cast<size_t>(n));
      std::vector<double> w(static_cast<size_t>(n));
      ASSERT_EQ(zududec(n, 0.0, nullptr, f.data(), h.data()), 0);
      zuduinv(n, f.data(), h.data(), w.data());
      const Mat x = unpack(f, n);
      double res = 0.0;
      for (long i = 0; i < n; ++i)
        for (long j = 0; j < n; ++j) {
          long double s = i == j ? -1.0L : 0.0L;
          for (long k = 0; k < n; ++k) s += static_cast<long double>(m.a[i * n + k]) * x[k * n + j];
          res = std::fmax(res, static_cast<double>(std::fabs(s)));
        }
      EXPECT_LT(res / (static_cast<double>(n) * norm_inf(m.a, n) * norm_inf(x, n) * DBL_EPSILON), 30.0);
    }
}

TEST(Udu, DeterminantAndInertiaMatchConstruction) {
  std::mt19937_64 gen(303);
  for (const Case& c : kCases)
    for (long n : kOrders) {
      SCOPED_TRACE(std::string(c.name) + ", n = " + std::to_string(n));
      const Built m = build(gen, c.kind, n);
      Mat f = pack(m.a, n);
      std::vector<long> h(static_cast<size_t>(n));
      double det[5];
      ASSERT_EQ(zududec(n, 0.0, det, f.data(), h.data()), 0);
      EXPECT_GE(std::fabs(det[0]), 1.0);
      EXPECT_LT(std::fabs(det[0]), 10.0);
      EXPECT_EQ(det[0] > 0 ? 1 : -1, m.truth.sign);
      EXPECT_NEAR(log10_det(det), m.truth.log10_abs_det, log10_det_tolerance(m.truth, n));
      EXPECT_EQ(det[2], m.truth.pos);
      EXPECT_EQ(det[3], m.truth.neg);
      EXPECT_EQ(det[4], 0.0);
    }
}

TEST(Udu, NullityEqualsConstructedRankDeficiency) {
  std::mt19937_64 gen(404);
  std::uniform_real_distribution<double> u(0.5, 2.0);
  struct Deficiency {
    const char* name;
    long n, r;  // order and number of zero eigenvalues
    bool mixed_signs;
  };
  const Deficiency cases[] = {
      {"n=1 zero", 1, 1, false},
      {"n=2 rank 1", 2, 1, false},
      {"n=3 rank 1", 3, 2, true},
      {"n=5 rank 4", 5, 1, true},
      {"n=8 rank 5", 8, 3, false},
      {"n=20 rank 10", 20, 10, true},
      {"n=60 rank 59", 60, 1, true},
      {"n=60 rank 40", 60, 20, true},
      {"n=60 zero", 60, 60, false},
  };
  for (const Deficiency& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<double> lambda(static_cast<size_t>(c.n), 0.0);
    int pos = 0;
    int neg = 0;
    for (long i = 0; i < c.n - c.r; ++i) {
      lambda[i] = c.mixed_signs && i % 3 == 0 ? -u(gen) : u(gen);
      lambda[i] < 0 ? ++neg : ++pos;
    }
    const Mat a = with_eigenvalues(gen, lambda);
    for (double scale : {1.0, 1e-120, 1e120}) {
      SCOPED_TRACE("scale " + std::to_string(std::log10(scale)));
      Mat f = pack(a, c.n);
      for (double& x : f) x *= scale;
      std::vector<long> h(static_cast<size_t>(c.n));
      double det[5];
      // 1e-8 relative: rounding leaves entries of about 1e-15 in the null directions, while
      // the pivots of the regular part stay above 0.1.
      EXPECT_EQ(zududec(c.n, 1e-8 * scale, det, f.data(), h.data()), c.r);
      EXPECT_EQ(det[0], 0.0);
      EXPECT_EQ(det[1], 0.0);
      EXPECT_EQ(det[2], pos);
      EXPECT_EQ(det[3], neg);
      EXPECT_EQ(det[4], c.r);
    }
  }
}

TEST(Udu, ZeroDiagonalsForceTwoByTwoPivots) {
  std::mt19937_64 gen(505);
  std::normal_distribution<double> nd;
  struct Shape {
    const char* name;
    long n;
    bool saddle;  // [[0, B], [B', 0]]; otherwise a random symmetric matrix with zero diagonal
  };
  const Shape shapes[] = {{"saddle 2", 2, true},
                          {"saddle 6", 6, true},
                          {"saddle 40", 40, true},
                          {"hollow 3", 3, false},
                          {"hollow 7", 7, false},
                          {"hollow 30", 30, false},
                          {"hollow 60", 60, false}};
  for (const Shape& s : shapes) {
    SCOPED_TRACE(s.name);
    const long n = s.n;
    Mat a(static_cast<size_t>(n * n), 0.0);
    for (long i = 0; i < n; ++i)
      for (long j = 0; j < i; ++j)
        if (!s.saddle || (i >= n / 2 && j < n / 2)) a[i * n + j] = a[j * n + i] = nd(gen);
    const Truth t = truth_from(jacobi_eigenvalues(a, n), 0.0L);
    Mat f = pack(a, n);
    std::vector<long> h(static_cast<size_t>(n));
    double det[5];
    ASSERT_EQ(zududec(n, 0.0, det, f.data(), h.data()), 0);
    bool block = false;
    for (long k = 0; k < n; ++k) block = block || h[k] < 0;  // 2x2 blocks are marked negative
    EXPECT_TRUE(block);
    EXPECT_EQ(det[0] > 0 ? 1 : -1, t.sign);
    EXPECT_NEAR(log10_det(det), t.log10_abs_det, log10_det_tolerance(t, n));
    EXPECT_EQ(det[2], t.pos);
    EXPECT_EQ(det[3], t.neg);

    Mat x(static_cast<size_t>(n));
    for (long i = 0; i < n; ++i) x[i] = nd(gen);
    Mat b(static_cast<size_t>(n), 0.0);
    for (long i = 0; i < n; ++i)
      for (long j = 0; j < n; ++j) b[i] += a[i * n + j] * x[j];
    Mat y = b;
    zudusol(n, 1, n, f.data(), y.data(), h.data());
    double res = 0.0;
    double yn = 0.0;
    for (long i = 0; i < n; ++i) {
      long double r = b[i];
      for (long j = 0; j < n; ++j) r -= static_cast<long double>(a[i * n + j]) * y[j];
      res = std::fmax(res, static_cast<double>(std::fabs(r)));
      yn = std::fmax(yn, std::fabs(y[i]));
    }
    EXPECT_LT(res / (n * norm_inf(a, n) * yn * DBL_EPSILON), 30.0);

    std::vector<double> w(static_cast<size_t>(n));
    zuduinv(n, f.data(), h.data(), w.data());
    const Mat inv = unpack(f, n);
    double ires = 0.0;
    for (long i = 0; i < n; ++i)
      for (long j = 0; j < n; ++j) {
        long double r = i == j ? -1.0L : 0.0L;
        for (long k = 0; k < n; ++k) r += static_cast<long double>(a[i * n + k]) * inv[k * n + j];
        ires = std::fmax(ires, static_cast<double>(std::fabs(r)));
      }
    EXPECT_LT(ires / (n * norm_inf(a, n) * norm_inf(inv, n) * DBL_EPSILON), 30.0);
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
}

TEST(Udu, PerColumnTolerancesDecideEachColumn) {
  struct Tol {
    const char* name;
    double vsin[2];
    long nullity;
  };
  const Tol cases[] = {
      {"both below", {1e-12, 1e-12}, 0},
      {"second column strict", {1e-12, 1e-9}, 1},
      {"first column strict only", {1e-9, 1e-12}, 0},
      {"both strict", {2.0, 2.0}, 2},
  };
  for (const Tol& c : cases) {
    SCOPED_TRACE(c.name);
    Mat f = {1.0, 0.0, 1e-10};  // diag(1, 1e-10)
    std::vector<long> h(2);
    double vsin[2] = {c.vsin[0], c.vsin[1]};
    EXPECT_EQ(zudude2(2, vsin, nullptr, f.data(), h.data()), c.nullity);
  }
}

// Covariance of m random observations of n variables with the given standard deviations;
// variable `copy` (if >= 0) repeats variable 0, which makes the matrix singular.
Mat covariance(std::mt19937_64& gen, long n, long m, const std::vector<double>& sd, long copy) {
  std::normal_distribution<double> nd;
  Mat x(static_cast<size_t>(m * n));
  for (long i = 0; i < m; ++i)
    for (long j = 0; j < n; ++j) x[i * n + j] = (j == copy ? x[i * n] / sd[0] : nd(gen)) * sd[j];
  Mat c(static_cast<size_t>(np(n)), 0.0);
  for (long j = 0; j < n; ++j)
    for (long i = 0; i <= j; ++i) {
      double s = 0.0;
      for (long r = 0; r < m; ++r) s += x[r * n + i] * x[r * n + j];
      c[pk(i, j)] = s / static_cast<double>(m);
    }
  return c;
}

TEST(Covinv, PackedCovarianceInverseDeterminantAndScaling) {
  std::mt19937_64 gen(606);
  struct Cov {
    const char* name;
    std::vector<double> sd;
    long copy;
    double vsin;
    int job;
    int result;
  };
  const Cov cases[] = {
      {"unit scales", {1, 1, 1, 1}, -1, 1e-10, 0, 1},
      {"scales 1e-5..1e6", {1e-5, 1, 1e3, 1e6}, -1, 1e-10, 0, 1},
      {"scales 1e-5..1e150", {1e-5, 1e150, 1e-2}, -1, 1e-10, 0, 1},
      {"sd 1e-150: unscaled and singular at vsin 1e-10", {1e-150, 1, 1}, -1, 1e-10, 0, -1},
      {"one sd below 1e-6: unscaled", {1e-7, 1, 1}, -1, 1e-20, 0, 0},
      {"determinant only", {1, 1e4, 1e-2}, -1, 1e-10, 1, 1},
      {"collinear", {2, 1, 1, 1}, 3, 1e-10, 0, -1},
  };
  for (const Cov& c : cases) {
    SCOPED_TRACE(c.name);
    const long n = static_cast<long>(c.sd.size());
    const Mat cov = covariance(gen, n, 50, c.sd, c.copy);
    Mat f = cov;
    double det[5];
    std::vector<double> cdia(static_cast<size_t>(n));
    std::vector<double> work(static_cast<size_t>(n));
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
    // The determinant against the product of the Jacobi eigenvalues of the unit-diagonal
    // matrix times the variances: both sides stay in range at any scale.
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
    const Mat a = unpack(cov, n);
    const Mat x = unpack(f, n);
    for (long i = 0; i < n; ++i)
      for (long j = 0; j < n; ++j) {
        long double s = i == j ? -1.0L : 0.0L;
        for (long k = 0; k < n; ++k) s += static_cast<long double>(a[i * n + k]) * x[k * n + j];
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
  for (const Diag& c : cases) {
    for (int via_covinv = 0; via_covinv < 2; ++via_covinv) {
      SCOPED_TRACE(std::string(c.name) + (via_covinv ? " (covinv)" : " (dodiag)"));
      const long n = static_cast<long>(c.d.size());
      Mat d = c.d;
      double det[5];
      double cdia[4], work[4];
      long iwk[4];
      const int r = via_covinv ? covinv(c.job, 2, n, c.asin, c.msin, 1e-10, d.data(), det, cdia, work, iwk)
                               : dodiag(c.job, n, c.asin, c.msin, d.data(), det);
      EXPECT_EQ(r, c.result);
      EXPECT_NEAR(det[0], c.det[0], 1e-13);
      for (int i = 1; i < 5; ++i) EXPECT_EQ(det[i], c.det[i]) << "det[" << i << "]";
      for (long j = 0; j < n; ++j) EXPECT_DOUBLE_EQ(d[j], c.out[j]);
    }
  }
}

TEST(Covinv, TinyVarianceLeftUnscaledIsSingular) {
  // diag(100, 1e-20) packed: sqrt(1e-20) = 1e-10 is not above 1e-6, so no scaling, and a
  // pivot of 1e-20 is null for any tolerance at or above it.
  for (double vsin : {1e-20, 1e-12, 1e-3}) {
    SCOPED_TRACE("vsin " + std::to_string(vsin));
    Mat f = {100, 0, 1e-20};
    double det[5], cdia[2], work[2];
    long iwk[2];
    EXPECT_EQ(covinv(0, 0, 2, 1e-12, 0.0, vsin, f.data(), det, cdia, work, iwk), -1);
    EXPECT_EQ(det[4], 1.0);
  }
  Mat f = {100, 0, 1e-20};
  double det[5], cdia[2], work[2];
  long iwk[2];
  EXPECT_EQ(covinv(0, 0, 2, 1e-12, 0.0, 1e-21, f.data(), det, cdia, work, iwk), 0);
  EXPECT_NEAR(log10_det(det), -18.0, 1e-12);
}

}  // namespace
}  // namespace robmat
