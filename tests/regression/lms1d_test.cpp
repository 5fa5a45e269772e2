// The exact univariate LMS through the origin against a brute-force scan: the objective's
// minimum lies at a vertex of one parabola (a point slope y/x), of the mean of two (averaged
// order statistics), or where two squared residuals cross, so evaluating every such slope
// finds it.
#include "regression/lms1d.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <random>

#include "regression/lmts_fixture.h"

namespace robmat {
namespace {

using testing::LmtsRun;

double objective(const std::vector<double>& x, const std::vector<double>& y, double m, long lo, long hi) {
  std::vector<double> d(x.size());
  for (size_t i = 0; i < x.size(); ++i) d[i] = (y[i] - x[i] * m) * (y[i] - x[i] * m);
  std::sort(d.begin(), d.end());
  return hi ? (d[lo] + d[hi]) / 2 : d[lo];
}

double brute_force(const std::vector<double>& x, const std::vector<double>& y, long lo, long hi) {
  std::vector<double> cand;
  for (size_t i = 0; i < x.size(); ++i)
    for (size_t j = i; j < x.size(); ++j) {
      if (x[i] != x[j]) cand.push_back((y[i] - y[j]) / (x[i] - x[j]));
      if (x[i] + x[j] != 0) cand.push_back((y[i] + y[j]) / (x[i] + x[j]));  // j = i: y/x
      if (x[i] != 0 || x[j] != 0) cand.push_back((x[i] * y[i] + x[j] * y[j]) / (x[i] * x[i] + x[j] * x[j]));
    }
  double best = INFINITY;
  for (double m : cand) best = std::min(best, objective(x, y, m, lo, hi));
  return best;
}

TEST(Sublms1dnoint, WalkAgainstAllCandidateSlopes) {
  struct Case {
    const char* name;
    long n;
    int noint;
    long h;     // 0: (n + 2)/2
    bool grid;  // values on a coarse grid: tied squared residuals and crossings
    int zeros;  // observations with x = 0
  } cases[] = {
      {"odd n", 21, 1, 0, false, 0},
      {"even n, h-th", 20, 1, 0, false, 0},
      {"even n, averaged", 20, 999, 0, false, 0},
      {"odd n with 999", 15, 999, 0, false, 0},
      {"grid, averaged", 16, 999, 0, true, 2},
      {"grid, larger h", 25, 1, 18, true, 3},
      {"x = 0 values", 12, 1, 0, false, 3},
  };
  std::mt19937 gen(29);
  std::normal_distribution<double> z;
  for (const Case& c : cases)
    for (int rep = 0; rep < 4; ++rep) {
      SCOPED_TRACE(::testing::Message() << c.name << " " << rep);
      std::vector<double> x(c.n), y(c.n);
      for (long i = 0; i < c.n; ++i) {
        x[i] = i < c.zeros ? 0.0 : (c.grid ? std::round(2 * z(gen)) : z(gen));
        y[i] = 1.5 * x[i] + (c.grid ? std::round(z(gen)) : z(gen)) + (i % 5 == 4 ? 8.0 : 0.0);
      }
      LmtsRun run(x, y, 1, false);
      run.s.noint = c.noint;
      run.set_h(c.h);
      ASSERT_EQ(sublms1dnoint(&run.s), 0);
      const bool avg = c.noint == 999 && c.n % 2 == 0;
      const double want = brute_force(x, y, avg ? c.n / 2 - 1 : run.s.jqu - 1, avg ? c.n / 2 : 0);
      // 1e-12: the walk and the scan evaluate the same slopes by different formulas.
      EXPECT_NEAR(run.s.fckw * run.s.fckw, want, 1e-12 * (1 + want));
      EXPECT_NEAR(objective(x, y, run.coef[0], avg ? c.n / 2 - 1 : run.s.jqu - 1, avg ? c.n / 2 : 0),
                  want,
                  1e-12 * (1 + want));
      EXPECT_TRUE(run.intact());
    }
}

TEST(Sublms1dnoint, PointsOnALineThroughTheOrigin) {
  std::vector<double> x = {-3, -1, 0.5, 2, 4, 7, 0}, y(7);
  for (int i = 0; i < 7; ++i) y[i] = -0.75 * x[i];
  LmtsRun run(x, y, 1, false);
  ASSERT_EQ(sublms1dnoint(&run.s), 0);
  EXPECT_EQ(run.coef[0], -0.75);
  EXPECT_EQ(run.s.fckw, 0.0);
  EXPECT_EQ(run.s.nzwe, 7);
}

TEST(LmsQSort, SortsWithIndex) {
  std::mt19937 gen(31);
  for (long n : {0L, 1L, 2L, 7L, 64L, 100L}) {
    SCOPED_TRACE(n);
    std::vector<double> v(n);
    for (double& e : v) e = std::round(std::uniform_real_distribution<double>(0, 20)(gen));
    std::vector<double> s = v;
    std::vector<long> idx(n);
    std::iota(idx.begin(), idx.end(), 0);
    lmsQSort(s.data(), n, idx.data());
    EXPECT_TRUE(std::is_sorted(s.begin(), s.end()));
    for (long i = 0; i < n; ++i) EXPECT_EQ(s[i], v[idx[i]]);
  }
}

}  // namespace
}  // namespace robmat
