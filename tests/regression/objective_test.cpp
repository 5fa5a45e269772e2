// The LMS/LTS objective and its one-dimensional solutions on hand-checkable samples, the
// breakdown value, the consistency factors (tables against the normal formulas), and the
// model with only an intercept against brute force over all windows.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "regression/lmts_fixture.h"

namespace robmat {
namespace {

using testing::LmtsRun;

// Residuals are y - x0 in the intercept-only model, so y holds them with x0 = 0.
TEST(Oflmts, CriterionOfGivenResiduals) {
  struct Case {
    const char* name;
    int ilts;
    double want;
  } cases[] = {{"LMS: third smallest |r|", 0, 3.0},
               {"LTS: root mean of three smallest r^2", 1, std::sqrt(14.0 / 3.0)}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LmtsRun run({}, {3, -1, 2, -5}, 0, true, c.ilts);
    run.s.jqu = 3;
    double x0 = 0.0;
    EXPECT_DOUBLE_EQ(oflmts(&run.s, 0, &x0), c.want);
    EXPECT_EQ(run.sres, (std::vector<double>{3, -1, 2, -5}));
  }
}

TEST(Oflmts, InterceptMovesToTheLocationOfTheResiduals) {
  LmtsRun run({}, {1, 2, 3, 10}, 0, true);
  run.s.jqu = 3;
  double x0 = 0.5;
  EXPECT_DOUBLE_EQ(oflmts(&run.s, 1, &x0), 1.0);  // residuals 0.5, 1.5, 2.5, 9.5: window 0.5..2.5
  EXPECT_DOUBLE_EQ(x0, 2.0);
}

// With an exact intercept column the LMS criterion merges outward from the new intercept over
// the sorted residuals; it must be the h-th smallest adjusted |residual| that sres holds, on
// data with ties and without.
TEST(Oflmts, AdjustedCriterionIsTheOrderStatistic) {
  std::mt19937 gen(23);
  std::normal_distribution<double> z;
  for (int trial = 0; trial < 40; ++trial) {
    SCOPED_TRACE(trial);
    const long n = 5 + trial * 7;
    std::vector<double> x(n), y(n);
    for (long i = 0; i < n; ++i) {
      x[i] = trial % 2 ? z(gen) : std::round(2 * z(gen));
      y[i] = trial % 2 ? z(gen) : std::round(2 * z(gen)) / 4;
    }
    LmtsRun run(x, y, 1, true);
    run.set_h(n / 2 + 1 + trial % 3);
    double coef[2] = {0.3 * (trial % 5), 7.0};
    const double crit = oflmts(&run.s, 1, coef);
    std::vector<double> r;
    for (double v : run.sres) r.push_back(std::fabs(v));
    std::sort(r.begin(), r.end());
    EXPECT_EQ(crit, r[run.s.jqu - 1]);
  }
}

TEST(Location, WindowsOfSortedSamples) {
  struct Case {
    const char* name;
    int ilts;
    std::vector<double> w;
    long h;
    double loc, scale;  // scale before the factor 2 used below
  } cases[] = {
      {"LMS shortest window", 0, {1, 2, 3, 10}, 3, 2.0, 1.0},
      {"LMS three tied windows: the middle one", 0, {0, 1, 2, 3}, 2, 1.5, 0.5},
      {"LMS two tied windows: the first", 0, {0, 1, 5, 6}, 2, 0.5, 0.5},
      {"LTS least spread", 1, {1, 2, 3, 10}, 3, 2.0, std::sqrt(2.0 / 3.0)},
      {"LTS equal windows: the leftmost", 1, {0, 1, 5, 6}, 2, 0.5, 0.5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LmtsRun run({}, c.w, 0, true, c.ilts);
    run.s.jqu = c.h;
    run.s.fact = 2.0;
    double loc, scale;
    (c.ilts == 0 ? lmsloc : ltsloc)(&run.s, &loc, &scale, run.s.b);
    EXPECT_DOUBLE_EQ(loc, c.loc);
    EXPECT_DOUBLE_EQ(scale, 2.0 * c.scale);
  }
}

TEST(Nbreak, BreakdownValues) {
  struct Case {
    long h, m;
    int n;
    double pct;
    int top;
  } cases[] = {{13, 21, 4, 900.0 / 21, 1},
               {12, 21, 4, 900.0 / 21, 1},
               {11, 21, 4, 800.0 / 21, 0},
               {16, 21, 4, 600.0 / 21, 0},
               {51, 100, 1, 50.0, 1},
               {75, 100, 1, 26.0, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.h);
    double tb;
    EXPECT_EQ(nbreak(c.h, c.m, c.n, &tb), c.top);
    EXPECT_DOUBLE_EQ(tb, c.pct);
  }
}

// The tables are the normal-theory formulas of the other regime rounded to 4 decimals: on the
// tables' grid of h/n they agree within 1e-4 (worst seen 5.0e-5, LTS at h/n = 0.5125).
TEST(Consistency, TablesAgreeWithFormulas) {
  for (int ilts = 0; ilts <= 1; ++ilts)
    for (long h = 200; h <= 300; h += 10) {  // h/n on the tables' grid
      SCOPED_TRACE(h);
      LMTSTR s{};
      s.ilts = ilts;
      s.ncas = 400;
      s.jqu = h;
      s.prec = kPrecDefault;
      lmts_consistency(&s);
      const double formula = s.fact;
      s.copr = 1;
      lmts_consistency(&s);
      EXPECT_NEAR(s.fact, formula, 1e-4) << ilts;
      EXPECT_DOUBLE_EQ(s.madc, 1.482602218505602);
    }
}

// Brute force: LMS location = midpoint of the shortest window of h sorted values, LTS location
// = mean of the h-subset of least spread (contiguous in sorted order, searched over all).
TEST(Lcat, InterceptOnlyModelAgainstWindows) {
  std::mt19937 gen(5);
  std::normal_distribution<double> z;
  for (int ilts = 0; ilts <= 1; ++ilts)
    for (int trial = 0; trial < 6; ++trial) {
      SCOPED_TRACE(trial);
      const long n = 7 + 3 * trial;
      std::vector<double> y(n);
      // LMS on a grid of 1/8, so that windows tie exactly; LTS on continuous values.
      for (double& v : y)
        v = (ilts ? z(gen) * 5.0 : std::round(z(gen) * 40.0) / 8.0) + (trial % 2 ? 0.0 : 1e3);
      for (long i = 0; i < n / 5; ++i) y[i] += 50.0;  // a few outliers
      LmtsRun run({}, y, 0, true, ilts, 3);
      const long h = run.s.jqu;
      std::vector<double> w = y;
      std::sort(w.begin(), w.end());
      double best = INFINITY, loc = 0.0, scale = 0.0;
      std::vector<double> mids;  // of the tied shortest windows (LMS takes the middle one)
      for (long j = 0; j + h <= n; ++j) {
        double m = 0.0, ss = 0.0;
        for (long i = j; i < j + h; ++i) m += w[i] / h;
        for (long i = j; i < j + h; ++i) ss += (w[i] - m) * (w[i] - m);
        const double crit = ilts ? ss : w[j + h - 1] - w[j];
        if (crit == best) mids.push_back((w[j] + w[j + h - 1]) / 2);
        if (crit < best) {
          best = crit;
          mids = {(w[j] + w[j + h - 1]) / 2};
          loc = m;
          scale = ilts ? std::sqrt(ss / h) : crit / 2 * (1 + 10.0 / (n - 1) * (1 - double(h) / n));
        }
      }
      if (!ilts) loc = mids[(mids.size() - 1) / 2];
      ASSERT_EQ(lcat(&run.s), 0);
      EXPECT_NEAR(run.coef[0], loc, 1e-12 * std::fabs(loc));
      // The window criterion is updated along the windows, cancelling terms of the size of
      // h * mean^2; with the mean some 200 spreads from zero that keeps about eight digits.
      EXPECT_NEAR(run.s.psca, scale * run.s.fact, 1e-8 * scale);
      long ones = 0;
      for (long i = 0; i < n; ++i) {
        EXPECT_EQ(run.wgts[i], std::fabs(y[i] - loc) <= 2.5 * run.s.psca * (1 + 1e-12) ? 1.0 : 0.0);
        ones += run.wgts[i] == 1.0;
      }
      EXPECT_EQ(run.s.nzwe, ones);
    }
}

TEST(Lcat, RefusedSamples) {
  struct Case {
    const char* name;
    std::vector<double> y;
    int ilsq;
    int rc;
    const char* msg;
  } cases[] = {{"two observations", {1, 2}, 0, -1, "549/960"},
               {"MAD of y is 0", {1, 1, 1, 1, 2, 3}, 2, 1, "549/961"},
               {"robust scale 0", {1, 1, 1, 1, 2, 3}, 0, -1, "549/966"},
               {"two weights of 1", {0, 0.1, 5, 50, 60, 70, 80, 90}, 0, 2, "549/962"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LmtsRun run({}, c.y, 0, true, 0, c.ilsq);
    run.set_h(c.y.size() > 7 ? 2 : 0);
    EXPECT_EQ(lcat(&run.s), c.rc);
    EXPECT_TRUE(run.rec->logged(c.msg));
  }
}

}  // namespace
}  // namespace robmat
