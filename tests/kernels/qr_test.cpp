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

#include "support/matrices.h"

namespace robmat {
namespace {

using Vec = std::vector<double>;

long col(long j) { return j * (j + 1) / 2; }

using testing::random_vector;

// Expects |Q_k'Q_k - I| and |v_j - sum_i R(i,j) q_i| / |v_j| below 30 n eps.
void expect_factorisation(long n, const Vec& qm, const Vec& rm, const std::vector<Vec>& vecs) {
  const long k = static_cast<long>(vecs.size());
  const double ne = static_cast<double>(n) * DBL_EPSILON;
  double orth = 0.0, recon = 0.0;
  for (long a = 0; a < k; ++a) {
    for (long b = 0; b < k; ++b) {
      long double s = a == b ? -1.0L : 0.0L;
      for (long i = 0; i < n; ++i) s += static_cast<long double>(qm[i * n + a]) * qm[i * n + b];
      orth = std::fmax(orth, static_cast<double>(std::fabs(s)) / ne);
    }
    double vn = 0.0;
    for (double x : vecs[a]) vn = std::fmax(vn, std::fabs(x));
    for (long i = 0; i < n; ++i) {
      long double s = vecs[a][i];
      for (long t = 0; t <= a; ++t) s -= static_cast<long double>(rm[col(a) + t]) * qm[i * n + t];
      recon = std::fmax(recon, static_cast<double>(std::fabs(s)) / (ne * vn));
    }
  }
  EXPECT_LT(orth, 30.0);
  EXPECT_LT(recon, 30.0);
}

// Q and R of the given number of random vectors of length n.
struct Factored {
  Vec qm, rm, w;
  std::vector<Vec> vecs;
  Factored(std::mt19937_64& gen, long n, long k) : qm(n * n), rm(n * (n + 1) / 2), w(n) {
    for (long j = 0; j < k; ++j) {
      vecs.push_back(random_vector(gen, n));
      Vec rv = vecs.back();
      EXPECT_EQ(qrupd(n, j, rv.data(), qm.data(), rm.data(), w.data()), 0);
    }
  }
};

TEST(Qr, RandomUpdateSequencesKeepQOrthonormalAndQRExact) {
  std::mt19937_64 gen(31);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  for (long n : {1L, 2L, 3L, 8L, 30L}) {
    Factored f(gen, n, 0);
    for (int step = 0; step < 80; ++step) {
      SCOPED_TRACE("n = " + std::to_string(n) + ", step " + std::to_string(step));
      const long k = static_cast<long>(f.vecs.size());
      // Vectors of magnitudes 1e-3 .. 1e3: the factorisation must not care.
      Vec v = random_vector(gen, n, std::pow(10.0, 6.0 * u(gen) - 3.0)), rv = v;
      if (k == 0 || (k < n && u(gen) < 0.5)) {
        ASSERT_EQ(qrupd(n, k, rv.data(), f.qm.data(), f.rm.data(), f.w.data()), 0);
        f.vecs.push_back(v);
      } else {
        const long ic = static_cast<long>(u(gen) * static_cast<double>(k));
        const Vec q0 = f.qm, r0 = f.rm;
        ASSERT_EQ(qrdod(n, k, ic, f.qm.data(), f.rm.data(), f.w.data()), 0);
        EXPECT_TRUE(ic < k - 1 || (f.qm == q0 && f.rm == r0));  // moving the last changes nothing
        f.vecs.push_back(f.vecs[ic]);
        f.vecs.erase(f.vecs.begin() + ic);
        expect_factorisation(n, f.qm, f.rm, f.vecs);
        if (u(gen) < 0.7) {  // the subset search's exchange: replace the moved vector
          ASSERT_EQ(qrupd(n, k - 1, rv.data(), f.qm.data(), f.rm.data(), f.w.data()), 0);
          f.vecs.back() = v;
        }
      }
      expect_factorisation(n, f.qm, f.rm, f.vecs);
    }
  }
}

TEST(Qr, DependentVectorIsReportedAndFactorisationKept) {
  std::mt19937_64 gen(37);
  const long n = 6, k = 3;
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
    Factored f(gen, n, k);
    // A unit direction orthogonal to the factored vectors, projected out against Q.
    Vec d = random_vector(gen, n), v(n, 0.0);
    for (long t = 0; t < k; ++t) {
      long double s = 0.0L;
      for (long i = 0; i < n; ++i) s += static_cast<long double>(f.qm[i * n + t]) * d[i];
      for (long i = 0; i < n; ++i) d[i] -= static_cast<double>(s) * f.qm[i * n + t];
    }
    double dn = 0.0;
    for (double x : d) dn += x * x;
    for (long i = 0; i < n; ++i) {
      for (long t = 0; t < k; ++t) v[i] += c.coef[t] * f.vecs[t][i];
      v[i] += c.fresh * d[i] / std::sqrt(dn);
    }
    const Vec q0 = f.qm, r0 = f.rm;
    Vec rv = v;
    ASSERT_EQ(qrupd(n, k, rv.data(), f.qm.data(), f.rm.data(), f.w.data()), c.result);
    if (c.result == 1) {
      // Only the coefficient column k of R may change, and the factorisation goes on as if
      // the call had not happened.
      EXPECT_EQ(f.qm, q0);
      for (long i = 0; i < col(k); ++i) EXPECT_EQ(f.rm[i], r0[i]);
      EXPECT_EQ(f.rm[col(k) + k], r0[col(k) + k]);
      f.vecs.push_back(random_vector(gen, n));
      rv = f.vecs.back();
      ASSERT_EQ(qrupd(n, k, rv.data(), f.qm.data(), f.rm.data(), f.w.data()), 0);
    } else {
      f.vecs.push_back(v);
      // The combination carries about 1e-15 of rounding, 1e-6 of the smallest fresh part.
      EXPECT_NEAR(f.rm[col(k) + k], c.fresh, 1e-5 * c.fresh);
    }
    expect_factorisation(n, f.qm, f.rm, f.vecs);
  }
}

TEST(Qr, ElementalSystemsSolveThroughRtzAndQz) {
  // The subset search factors the p subset rows x_j as vectors, solves R'z = y and takes
  // the coefficients b = Q*z, so that x_j'b = y_j for every subset row.
  std::mt19937_64 gen(43);
  for (long p : {1L, 2L, 3L, 12L}) {
    SCOPED_TRACE("p = " + std::to_string(p));
    Factored f(gen, p, p);
    if (p > 1) {  // exchange: move a member out and put a new observation in its place
      ASSERT_EQ(qrdod(p, p, 0, f.qm.data(), f.rm.data(), f.w.data()), 0);
      f.vecs.erase(f.vecs.begin());
      f.vecs.push_back(random_vector(gen, p));
      Vec rv = f.vecs.back();
      ASSERT_EQ(qrupd(p, p - 1, rv.data(), f.qm.data(), f.rm.data(), f.w.data()), 0);
    }
    const Vec y = random_vector(gen, p);
    Vec z = y, b(p, 0.0);
    ASSERT_EQ(fosubd(p, f.rm.data(), z.data()), 0);
    double bn = 0.0;
    for (long i = 0; i < p; ++i) {
      for (long t = 0; t < p; ++t) b[i] += f.qm[i * p + t] * z[t];
      bn = std::fmax(bn, std::fabs(b[i]));
    }
    for (long j = 0; j < p; ++j) {
      long double s = y[j];
      double xn = 0.0;
      for (long i = 0; i < p; ++i) {
        s -= static_cast<long double>(f.vecs[j][i]) * b[i];
        xn += std::fabs(f.vecs[j][i]);
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
    Vec r = c.r, b = c.b;
    EXPECT_EQ(fosubd(3, r.data(), b.data()), c.result);
    for (int i = 0; i < 3; ++i) EXPECT_DOUBLE_EQ(b[i], c.z[i]) << i;
  }
}

TEST(Qr, OrthogonalisationStatusesAndSpanCase) {
  std::mt19937_64 gen(47);
  const long m = 6, n = 3;
  Factored f(gen, m, n);  // three orthonormal columns of a 6 x 6 matrix with row stride 6
  double coef[2 * n], rho = -1.0;
  Vec v = random_vector(gen, m), zero(m, 0.0);
  EXPECT_EQ(zortvec(2, n, m, 1, 1, f.qm.data(), v.data(), coef, &rho, f.w.data()), -1);  // m < n
  EXPECT_EQ(rho, 0.0);
  EXPECT_EQ(zortvec(m, n, m, 1, 1, f.qm.data(), zero.data(), coef, &rho, f.w.data()), -2);
  for (Vec c : {Vec{1, 0, 0}, Vec{0.3, -2, 1.5}}) {  // exactly a column, a combination
    SCOPED_TRACE(::testing::PrintToString(c));
    Vec vs(2 * m, 9.0);  // v and r with stride 2: the strides must be honoured
    for (long i = 0; i < m; ++i) {
      vs[2 * i] = 0.0;
      for (long t = 0; t < n; ++t) vs[2 * i] += c[t] * f.qm[i * m + t];
    }
    ASSERT_EQ(zortvec(m, n, m, 2, 2, f.qm.data(), vs.data(), coef, &rho, f.w.data()), 0);
    for (long t = 0; t < n; ++t) EXPECT_NEAR(coef[2 * t], c[t], 1e-14);
    // A residual of rounding size at most, and a unit direction orthogonal to the columns.
    EXPECT_LE(rho, 1e-15);
    double vv = 0.0;
    for (long i = 0; i < m; ++i) vv += vs[2 * i] * vs[2 * i];
    EXPECT_NEAR(vv, 1.0, 1e-14);
    for (long t = 0; t < n; ++t) {
      double d = 0.0;
      for (long i = 0; i < m; ++i) d += f.qm[i * m + t] * vs[2 * i];
      EXPECT_NEAR(d, 0.0, 1e-14);
    }
    for (long i = 0; i < m; ++i) EXPECT_EQ(vs[2 * i + 1], 9.0);
  }
}

}  // namespace
}  // namespace robmat
