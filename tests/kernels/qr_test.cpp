// Updated QR factorisation: random sequences of appends and moves must keep Q orthonormal
// and Q*R equal to the current vectors; dependent vectors are refused without damage; the
// triangular solve and Q*z solve elemental systems as the subset search uses them.
#include "kernels/qr.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace robmat {
namespace {

using Vec = std::vector<double>;

long col(long j) { return j * (j + 1) / 2; }

Vec random_vector(std::mt19937_64& gen, long n, double scale = 1.0) {
  std::normal_distribution<double> nd;
  Vec v(static_cast<size_t>(n));
  for (double& x : v) x = scale * nd(gen);
  return v;
}

// Worst of |Q_k'Q_k - I| / (n eps) and |v_j - sum_i R(i,j) q_i| / (n eps |v_j|).
struct Fit {
  double orth = 0.0;
  double recon = 0.0;
};
Fit fit(long n, const Vec& qm, const Vec& rm, const std::vector<Vec>& vecs) {
  Fit f;
  const long k = static_cast<long>(vecs.size());
  const double ne = static_cast<double>(n) * DBL_EPSILON;
  for (long a = 0; a < k; ++a)
    for (long b = 0; b < k; ++b) {
      long double s = a == b ? -1.0L : 0.0L;
      for (long i = 0; i < n; ++i) s += static_cast<long double>(qm[i * n + a]) * qm[i * n + b];
      f.orth = std::fmax(f.orth, static_cast<double>(std::fabs(s)) / ne);
    }
  for (long j = 0; j < k; ++j) {
    double vn = 0.0;
    for (double x : vecs[j]) vn = std::fmax(vn, std::fabs(x));
    for (long i = 0; i < n; ++i) {
      long double s = vecs[j][i];
      for (long t = 0; t <= j; ++t) s -= static_cast<long double>(rm[col(j) + t]) * qm[i * n + t];
      f.recon = std::fmax(f.recon, static_cast<double>(std::fabs(s)) / (ne * vn));
    }
  }
  return f;
}

TEST(Qr, RandomUpdateSequencesKeepQOrthonormalAndQRExact) {
  std::mt19937_64 gen(31);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  for (long n : {1L, 2L, 3L, 5L, 8L, 15L, 30L}) {
    Vec qm(static_cast<size_t>(n * n));
    Vec rm(static_cast<size_t>(n * (n + 1) / 2));
    Vec w(static_cast<size_t>(n));
    std::vector<Vec> vecs;
    for (int step = 0; step < 80; ++step) {
      SCOPED_TRACE("n = " + std::to_string(n) + ", step " + std::to_string(step));
      const long k = static_cast<long>(vecs.size());
      // Vectors of magnitudes 1e-3 .. 1e3: the factorisation must not care.
      Vec v = random_vector(gen, n, std::pow(10.0, 6.0 * u(gen) - 3.0));
      if (k == 0 || (k < n && u(gen) < 0.5)) {
        Vec rv = v;
        ASSERT_EQ(qrupd(n, k, rv.data(), qm.data(), rm.data(), w.data()), 0);
        vecs.push_back(v);
      } else {
        const long ic = static_cast<long>(u(gen) * static_cast<double>(k));
        ASSERT_EQ(qrdod(n, k, ic, qm.data(), rm.data(), w.data()), 0);
        const Vec moved = vecs[ic];
        vecs.erase(vecs.begin() + ic);
        vecs.push_back(moved);
        const Fit mid = fit(n, qm, rm, vecs);
        EXPECT_LT(mid.orth, 30.0);
        EXPECT_LT(mid.recon, 30.0);
        if (u(gen) < 0.7) {  // the subset search's exchange: replace the moved vector
          Vec rv = v;
          ASSERT_EQ(qrupd(n, k - 1, rv.data(), qm.data(), rm.data(), w.data()), 0);
          vecs.back() = v;
        }
      }
      const Fit f = fit(n, qm, rm, vecs);
      EXPECT_LT(f.orth, 30.0);
      EXPECT_LT(f.recon, 30.0);
    }
  }
}

TEST(Qr, DependentVectorIsReportedAndFactorisationKept) {
  std::mt19937_64 gen(37);
  const long n = 6;
  const long k = 3;
  struct Dep {
    const char* name;
    double coef[3];  // combination of the factored vectors
    double fresh;    // size of an independent part along a random direction
    int result;
  };
  const Dep cases[] = {
      {"zero vector", {0, 0, 0}, 0.0, 1},
      {"copy of the first", {1, 0, 0}, 0.0, 1},
      {"combination", {2, -0.5, 3}, 0.0, 1},
      {"independent part 1e-14 (below the absolute 1e-12)", {1, 1, 1}, 1e-14, 1},
      {"independent part 1e-9", {1, 1, 1}, 1e-9, 0},
      {"independent", {0, 0, 0}, 1.0, 0},
  };
  for (const Dep& c : cases) {
    SCOPED_TRACE(c.name);
    Vec qm(n * n), rm(n * (n + 1) / 2), w(n);
    std::vector<Vec> vecs;
    for (long j = 0; j < k; ++j) {
      vecs.push_back(random_vector(gen, n));
      Vec rv = vecs.back();
      ASSERT_EQ(qrupd(n, j, rv.data(), qm.data(), rm.data(), w.data()), 0);
    }
    // A unit direction orthogonal to the factored vectors, projected out against Q.
    Vec d = random_vector(gen, n);
    for (long t = 0; t < k; ++t) {
      long double s = 0.0L;
      for (long i = 0; i < n; ++i) s += static_cast<long double>(qm[i * n + t]) * d[i];
      for (long i = 0; i < n; ++i) d[i] -= static_cast<double>(s) * qm[i * n + t];
    }
    double dn = 0.0;
    for (double x : d) dn += x * x;
    Vec v(n, 0.0);
    for (long i = 0; i < n; ++i) {
      for (long t = 0; t < k; ++t) v[i] += c.coef[t] * vecs[t][i];
      v[i] += c.fresh * d[i] / std::sqrt(dn);
    }
    const Vec q0 = qm;
    const Vec r0 = rm;
    Vec rv = v;
    ASSERT_EQ(qrupd(n, k, rv.data(), qm.data(), rm.data(), w.data()), c.result);
    if (c.result == 1) {
      // Only the coefficient column k of R may change.
      for (long i = 0; i < n; ++i)
        for (long j = 0; j < n; ++j) EXPECT_EQ(qm[i * n + j], q0[i * n + j]);
      for (long i = 0; i < col(k); ++i) EXPECT_EQ(rm[i], r0[i]);
      EXPECT_EQ(rm[col(k) + k], r0[col(k) + k]);
      // The factorisation goes on as if the call had not happened.
      vecs.push_back(random_vector(gen, n));
      Vec next = vecs.back();
      ASSERT_EQ(qrupd(n, k, next.data(), qm.data(), rm.data(), w.data()), 0);
    } else {
      vecs.push_back(v);
      // The combination carries about 1e-15 of rounding, 1e-6 of the smallest fresh part.
      EXPECT_NEAR(rm[col(k) + k], c.fresh, 1e-5 * c.fresh);
    }
    const Fit f = fit(n, qm, rm, vecs);
    EXPECT_LT(f.orth, 30.0);
    EXPECT_LT(f.recon, 30.0);
  }
}

TEST(Qr, MovingTheLastVectorChangesNothing) {
  std::mt19937_64 gen(41);
  const long n = 5;
  Vec qm(n * n), rm(n * (n + 1) / 2), w(n);
  for (long j = 0; j < 4; ++j) {
    Vec rv = random_vector(gen, n);
    ASSERT_EQ(qrupd(n, j, rv.data(), qm.data(), rm.data(), w.data()), 0);
  }
  const Vec q0 = qm;
  const Vec r0 = rm;
  EXPECT_EQ(qrdod(n, 4, 3, qm.data(), rm.data(), w.data()), 0);
  EXPECT_EQ(qm, q0);
  EXPECT_EQ(rm, r0);
}

TEST(Qr, ElementalSystemsSolveThroughRtzAndQz) {
  // The subset search factors the p subset rows x_j as vectors, solves R'z = y and takes
  // the coefficients b = Q*z, so that x_j'b = y_j for every subset row.
  std::mt19937_64 gen(43);
  for (long p : {1L, 2L, 3L, 6L, 12L}) {
    SCOPED_TRACE("p = " + std::to_string(p));
    Vec qm(p * p), rm(p * (p + 1) / 2), w(p);
    std::vector<Vec> rows;
    for (long j = 0; j < p; ++j) {
      rows.push_back(random_vector(gen, p));
      Vec rv = rows.back();
      ASSERT_EQ(qrupd(p, j, rv.data(), qm.data(), rm.data(), w.data()), 0);
    }
    // Exchange: move a member out and put a new observation in its place.
    if (p > 1) {
      ASSERT_EQ(qrdod(p, p, 0, qm.data(), rm.data(), w.data()), 0);
      rows.erase(rows.begin());
      rows.push_back(random_vector(gen, p));
      Vec rv = rows.back();
      ASSERT_EQ(qrupd(p, p - 1, rv.data(), qm.data(), rm.data(), w.data()), 0);
    }
    const Vec y = random_vector(gen, p);
    Vec z = y;
    ASSERT_EQ(fosubd(p, rm.data(), z.data()), 0);
    Vec b(p, 0.0);
    for (long i = 0; i < p; ++i)
      for (long t = 0; t < p; ++t) b[i] += qm[i * p + t] * z[t];
    double bn = 0.0;
    for (double x : b) bn = std::fmax(bn, std::fabs(x));
    for (long j = 0; j < p; ++j) {
      long double s = y[j];
      double xn = 0.0;
      for (long i = 0; i < p; ++i) {
        s -= static_cast<long double>(rows[j][i]) * b[i];
        xn += std::fabs(rows[j][i]);
      }
      // Elemental systems are square and random: condition below 1e4 for these seeds.
      EXPECT_LT(static_cast<double>(std::fabs(s)) / (p * xn * bn * DBL_EPSILON), 1e4);
    }
  }
}

TEST(Qr, ForwardSubstitutionFlagsNegligibleDiagonals) {
  struct Tri {
    const char* name;
    Vec r;  // packed by columns, order 3
    Vec b;
    int result;
    Vec z;
  };
  const Tri cases[] = {
      {"regular", {2, 1, 4, 0, 2, 5}, {2, 9, 14}, 0, {1, 2, 2}},
      {"zero middle diagonal", {2, 1, 0, 0, 2, 5}, {2, 9, 14}, 1, {1, 0, 2.8}},
      {"diagonal at the threshold", {2, 1, 2.2250738585072017e-300, 0, 2, 5}, {2, 9, 14}, 1, {1, 0, 2.8}},
      {"diagonal just above it", {2, 0, 3e-300, 0, 0, 5}, {2, 6e-300, 10}, 0, {1, 2, 2}},
  };
  for (const Tri& c : cases) {
    SCOPED_TRACE(c.name);
    Vec r = c.r;
    Vec b = c.b;
    EXPECT_EQ(fosubd(3, r.data(), b.data()), c.result);
    for (int i = 0; i < 3; ++i) EXPECT_DOUBLE_EQ(b[i], c.z[i]) << i;
  }
}

TEST(Qr, OrthogonalisationStatusesAndSpanCase) {
  std::mt19937_64 gen(47);
  const long m = 6;
  const long n = 3;
  // Three orthonormal columns of a 6 x 6 matrix with row stride 6, from a factorisation.
  Vec q(m * m), r(m * (m + 1) / 2), w(m);
  for (long j = 0; j < n; ++j) {
    Vec rv = random_vector(gen, m);
    ASSERT_EQ(qrupd(m, j, rv.data(), q.data(), r.data(), w.data()), 0);
  }
  double coef[2 * n];
  double rho = -1.0;
  Vec v = random_vector(gen, m);
  EXPECT_EQ(zortvec(2, n, m, 1, 1, q.data(), v.data(), coef, &rho, w.data()), -1);
  EXPECT_EQ(rho, 0.0);
  Vec zero(m, 0.0);
  EXPECT_EQ(zortvec(m, n, m, 1, 1, q.data(), zero.data(), coef, &rho, w.data()), -2);

  struct Span {
    const char* name;
    double c[n];
  };
  const Span spans[] = {{"exactly a column", {1, 0, 0}}, {"a combination", {0.3, -2, 1.5}}};
  for (const Span& s : spans) {
    SCOPED_TRACE(s.name);
    // v with stride 2 and r with stride 2: the strides must be honoured.
    Vec vs(2 * m, 9.0);
    for (long i = 0; i < m; ++i) {
      vs[2 * i] = 0.0;
      for (long t = 0; t < n; ++t) vs[2 * i] += s.c[t] * q[i * m + t];
    }
    ASSERT_EQ(zortvec(m, n, m, 2, 2, q.data(), vs.data(), coef, &rho, w.data()), 0);
    for (long t = 0; t < n; ++t) EXPECT_NEAR(coef[2 * t], s.c[t], 1e-14);
    // A residual of rounding size at most, and a unit direction orthogonal to the columns.
    EXPECT_LE(rho, 1e-15);
    double vv = 0.0;
    for (long i = 0; i < m; ++i) vv += vs[2 * i] * vs[2 * i];
    EXPECT_NEAR(vv, 1.0, 1e-14);
    for (long t = 0; t < n; ++t) {
      double d = 0.0;
      for (long i = 0; i < m; ++i) d += q[i * m + t] * vs[2 * i];
      EXPECT_NEAR(d, 0.0, 1e-14);
    }
    for (long i = 0; i < m; ++i) EXPECT_EQ(vs[2 * i + 1], 9.0);
  }
}

}  // namespace
}  // namespace robmat
