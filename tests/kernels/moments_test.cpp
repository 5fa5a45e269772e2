// The distance kernels of the location/scatter searches: the whitening factor against the
// identity W C W' = I on matrices of chosen condition, whitened distances against the
// packed-inverse quadratic form, a distance cut short only once it is certain to exceed the
// limit, the screen of a block of rows against the row-by-row sums, and the blocked moments and
// distances against the row-by-row ones, bit for bit.
#include "kernels/moments.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "kernels/udu.h"
#include "support/matrices.h"

namespace robmat {
namespace {

using testing::Mat;
using testing::pk;

// max |W C W' - I| / (n eps cond): near 1 for a backward-stable factor (W is n x n).
double whitening_residual(const Mat& c, const Mat& w, long n, double cond) {
  double worst = 0.0;
  for (long i = 0; i < n; ++i)
    for (long j = 0; j < n; ++j) {
      long double s = 0.0L;
      for (long a = 0; a < n; ++a)
        for (long b = 0; b < n; ++b) s += static_cast<long double>(w[i * n + a]) * c[pk(a, b)] * w[j * n + b];
      worst = std::fmax(worst, std::fabs(static_cast<double>(s) - (i == j ? 1.0 : 0.0)));
    }
  return worst / (static_cast<double>(n) * DBL_EPSILON * cond);
}

TEST(Whitening, InverseFactorOfChosenCondition) {
  std::mt19937_64 gen(5);
  struct Case {
    const char* name;
    long n;
    double cond;
    double scale;
  };
  const Case cases[] = {
      {"order 1", 1, 1.0, 3.0},
      {"well conditioned", 5, 10.0, 1.0},
      {"condition 1e8", 10, 1e8, 1.0},
      {"tiny scale", 6, 1e3, 1e-150},
      {"huge scale", 6, 1e3, 1e150},
  };
  for (const Case& t : cases) {
    SCOPED_TRACE(t.name);
    std::vector<double> lambda(static_cast<size_t>(t.n));
    for (long k = 0; k < t.n; ++k)
      lambda[k] =
          t.scale * std::pow(t.cond, -static_cast<double>(k) / static_cast<double>(std::max(t.n - 1, 1L)));
    const Mat c = testing::pack(testing::with_eigenvalues(gen, lambda), t.n);
    Mat w(static_cast<size_t>(t.n * t.n)), work(static_cast<size_t>(2 * t.n));
    ASSERT_EQ(whitening_factor(static_cast<int>(t.n), c.data(), w.data(), work.data()), 0);
    // The rows go from the thinnest direction of C to the widest.
    for (long k = 0; k + 1 < t.n; ++k) {
      double a = 0.0, b = 0.0;
      for (long j = 0; j < t.n; ++j)
        a += w[k * t.n + j] * w[k * t.n + j], b += w[(k + 1) * t.n + j] * w[(k + 1) * t.n + j];
      EXPECT_GE(a, b * (1.0 - 1e-12));
    }
    // 30: the factor and the triangular inverse each add a few units of rounding per entry.
    EXPECT_LT(whitening_residual(c, w, t.n, t.cond), 30.0);
  }
  // A matrix that is not positive definite is refused.
  const Mat indefinite = {1.0, 2.0, 1.0};  // [[1, 2], [2, 1]]
  Mat w(4), work(4);
  EXPECT_EQ(whitening_factor(2, indefinite.data(), w.data(), work.data()), -1);
}

TEST(Whitening, DistancesMatchTheInverseAndStopOnlyAboveTheLimit) {
  std::mt19937_64 gen(11);
  std::normal_distribution<double> z;
  const long p = 7;
  std::vector<double> lambda = {9, 5, 3, 2, 1, 0.5, 0.01};
  const Mat c = testing::pack(testing::with_eigenvalues(gen, lambda), p);
  Mat w(p * p), inv = c, det(5), cdia(p), work(2 * p);
  std::vector<long> iwk(p);
  ASSERT_EQ(whitening_factor(p, c.data(), w.data(), work.data()), 0);
  ASSERT_GE(covinv(0, 0, p, 0.0, 0.0, 1e-12, inv.data(), det.data(), cdia.data(), work.data(), iwk.data()),
            0);
  std::vector<double> mu(p), rows, dev(p), dv(p);
  for (double& m : mu) m = z(gen);
  const long m = kScreenRows - 3;  // a short block
  for (long i = 0; i < m * p; ++i) rows.push_back(3.0 * z(gen));
  std::vector<double> q(m), devt(p * kScreenRows);
  for (int ncomp : {1, 2, static_cast<int>(p)}) {
    SCOPED_TRACE(ncomp);
    whitened_screen(p, m, rows.data(), mu.data(), w.data(), ncomp, q.data(), devt.data());
    for (long i = 0; i < m; ++i) {
      const double* x = rows.data() + i * p;
      for (long j = 0; j < p; ++j) dev[j] = x[j] - mu[j];
      // The block gives the doubles of the row-by-row sum.
      EXPECT_EQ(q[i], whitened_components(p, dev.data(), w.data(), 0, ncomp, 0.0, INFINITY));
      if (ncomp != p) continue;
      const double quad = mahad(p, x, mu.data(), inv.data(), dv.data());
      // 1e-12: both forms carry the condition 900 of C times a few units of rounding.
      EXPECT_NEAR(q[i], quad, 1e-12 * quad);
      // Cut short only above the limit, and then at a partial sum no larger than the whole.
      const double limit = q[i] * (i % 2 == 0 ? 0.5 : 2.0);
      const double cut = whitened_components(p, dev.data(), w.data(), 0, p, 0.0, limit);
      if (q[i] <= limit)
        EXPECT_EQ(cut, q[i]);
      else
        EXPECT_TRUE(cut > limit && cut <= q[i]);
      // Components in two steps add up to the same double.
      const double half = whitened_components(p, dev.data(), w.data(), 0, 3, 0.0, INFINITY);
      EXPECT_EQ(whitened_components(p, dev.data(), w.data(), 3, p, half, INFINITY), q[i]);
    }
  }
}

// Rows taken four at a time must give the very doubles of one row at a time, whatever the
// remainder, with and without an index and beyond the block's room for variables.
TEST(Moments, BlocksOfRowsGiveTheRowByRowDoubles) {
  std::mt19937_64 gen(5);
  std::normal_distribution<double> z;
  for (int p : {1, 4, 33})
    for (long k : {1L, 3L, 4L, 9L}) {
      SCOPED_TRACE("p " + std::to_string(p) + " k " + std::to_string(k));
      const long nn = p * (p + 1L) / 2;
      std::vector<double> x(static_cast<size_t>(12 * p)), cinv(static_cast<size_t>(nn), 0.0);
      for (double& v : x) v = 100.0 + z(gen);
      for (int i = 0; i < p; ++i) cinv[pk(i, i)] = 1.0 + i;
      for (long e = 0; e < nn; ++e) cinv[e] += 0.1 * z(gen);
      const std::vector<long> idx = {11, 0, 7, 3, 3, 8, 1, 10, 5};
      for (const long* ix : {static_cast<const long*>(nullptr), idx.data()}) {
        // The sums row by row, in index order.
        std::vector<double> mu(p, 0.0), cov(nn, 0.0), dv(p), got_mu(p), got_cov(nn);
        for (long r = 0; r < k; ++r)
          for (int j = 0; j < p; ++j) mu[j] += x[(ix ? ix[r] : r) * p + j];
        for (double& m : mu) m /= static_cast<double>(k);
        for (long r = 0; r < k; ++r) {
          const double* xr = x.data() + (ix ? ix[r] : r) * p;
          for (int i = 0; i < p; ++i)
            for (int j = 0; j <= i; ++j) cov[pk(i, j)] += (xr[i] - mu[i]) * (xr[j] - mu[j]);
        }
        for (double& c : cov) c *= k > 1 ? 1.0 / static_cast<double>(k - 1) : 0.0;
        subset_moments(p, x.data(), ix, k, got_mu.data(), got_cov.data(), dv.data());
        EXPECT_EQ(got_mu, mu);
        EXPECT_EQ(got_cov, cov);
      }
      std::vector<double> d(static_cast<size_t>(k)), dv(p);
      mahad_rows(p, k, x.data(), x.data() + 11 * p, cinv.data(), d.data(), dv.data());
      for (long r = 0; r < k; ++r)
        EXPECT_EQ(d[r], mahad(p, x.data() + r * p, x.data() + 11 * p, cinv.data(), dv.data()));
    }
}

}  // namespace
}  // namespace robmat
