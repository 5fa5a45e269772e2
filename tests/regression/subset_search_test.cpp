// The elemental-subset search: the stack loss optimum over all subsets, simple regression
// against every pair by brute force, exact fits, the subset counts, the fixed first random
// subsets and the draw limit, the box of best subsets, ties, the printed progress, and sublms
// with given starts.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <numeric>
#include <random>

#include "regression/lmts_fixture.h"

namespace robmat {
namespace {

using testing::LmtsRun;

constexpr double kLmsStack = 0.75;  // all-subsets LMS optimum: |r| of rank 13, 0.75^2 = 0.5625

int search(LmtsRun& run) {
  run.s.fctw = DBL_MAX;
  int doim = 0;
  const int rc = dolmts(&run.s, &doim);
  EXPECT_TRUE(run.intact());
  return rc;
}

// n = 21 > 17 asks for random subsets by default; nrep = C(21, 4) enumerates them all.
TEST(Dolmts, StackLossLmsOverAllSubsets) {
  LmtsRun run(testing::stack_x(), testing::stack_y(), 3, true);
  run.s.nrep = 5985;
  ASSERT_EQ(sublms(&run.s), 0);
  EXPECT_EQ(run.s.algo, 0);
  EXPECT_EQ(run.s.jlp, 5985);
  EXPECT_NEAR(run.s.fckw, kLmsStack, 1e-13);
  const double want[4] = {0.75, 0.5, 0.0, -39.25};
  for (int j = 0; j < 4; ++j) EXPECT_NEAR(run.coef[j], want[j], 1e-12) << j;
  // One of the five subsets that reach the optimum (numpy enumeration, 0-based); which one
  // depends on the rounding of their criteria.
  const std::vector<std::vector<long>> optimal = {
      {7, 9, 10, 14}, {7, 9, 10, 18}, {7, 9, 14, 18}, {7, 10, 14, 18}, {9, 10, 14, 18}};
  std::vector<long> best = run.best();
  std::sort(best.begin(), best.end());
  EXPECT_NE(std::find(optimal.begin(), optimal.end(), best), optimal.end());
  // Observations 1, 3, 4 and 21 are the outliers of the LMS fit (Rousseeuw and Leroy 1987).
  for (long i = 0; i < 21; ++i)
    EXPECT_EQ(run.wgts[i], (i == 0 || i == 2 || i == 3 || i == 20) ? 0.0 : 1.0) << i;
}

// Elemental fits with the best intercept do not reach the LTS optimum 2.932391246 (subset
// {5-12, 15-19}): the h-subset of the optimum is no elemental fit's h smallest residuals. The
// best elemental start has the sum 3.039529914529914 over subset {4, 11, 16, 17} (0-based),
// found by a numpy enumeration of all 5985 subsets with the LTS intercept of their residuals.
TEST(Dolmts, StackLossLtsElementalStarts) {
  LmtsRun run(testing::stack_x(), testing::stack_y(), 3, true, 1);
  run.s.nrep = 5985;
  ASSERT_EQ(search(run), 0);
  const double sum = run.s.fctw * run.s.fctw * 13;
  EXPECT_GE(sum, 2.932391246);
  EXPECT_NEAR(sum, 3.039529914529914, 1e-12);
  EXPECT_EQ(run.best(), (std::vector<long>{4, 11, 16, 17}));
}

TEST(Dolmts, RandomSubsetsAreReproducible) {
  for (int copr = 0; copr <= 1; ++copr) {
    SCOPED_TRACE(copr);
    double crit[2];
    for (double& c : crit) {
      LmtsRun run(testing::stack_x(), testing::stack_y(), 3, true);
      run.s.copr = copr;
      run.s.seed = 7;
      run.s.nrep = 500;
      run.s.doim = 1;  // an exchange follows: the ten best subsets are kept
      ASSERT_EQ(search(run), 0);
      EXPECT_EQ(run.s.algo, 1);
      EXPECT_EQ(run.s.nbox, 10);
      EXPECT_EQ(run.dwim[0], run.s.fctw);
      EXPECT_TRUE(std::is_sorted(run.dwim.begin(), run.dwim.end()));
      EXPECT_GE(run.s.jlp, 500);  // singular subsets after the first two are drawn again
      EXPECT_LE(run.s.jlp, 500 + run.s.jerd);
      EXPECT_EQ(run.s.seed, 7);
      EXPECT_GE(run.s.fctw, kLmsStack - 1e-13);
      c = run.s.fctw;
    }
    EXPECT_EQ(crit[0], crit[1]);
  }
}

// Brute force for p = 2: every pair's line, its best intercept (half the shortest window of h
// sorted residuals) and the scaled residuals |r_i - t| / criterion for the diagnostics.
TEST(Dolmts, SimpleRegressionAgainstAllPairs) {
  std::mt19937 gen(17);
  std::normal_distribution<double> z;
  for (int trial = 0; trial < 8; ++trial) {
    SCOPED_TRACE(trial);
    const long n = 12 + 5 * trial;  // up to 47: every pair is enumerated
    std::vector<double> x(n), y(n);
    for (long i = 0; i < n; ++i) {
      // Even trials on a coarse grid: tied x (singular pairs) and tied residuals.
      x[i] = trial % 2 ? z(gen) : std::round(z(gen) * 2);
      y[i] = 1 + 2 * x[i] + (trial % 2 ? z(gen) : std::round(z(gen) * 2)) + (i < n / 4 ? 20 : 0);
    }
    LmtsRun run(x, y, 1, true);
    run.s.jhyb = 1;
    ASSERT_EQ(search(run), 0);
    const long h = run.s.jqu;
    double best = INFINITY;
    std::vector<double> u(n, 0.0);
    long singular = 0;
    for (long i = 0; i < n; ++i)
      for (long j = i + 1; j < n; ++j) {
        if (x[i] == x[j]) {
          ++singular;
          continue;
        }
        const double b = (y[j] - y[i]) / (x[j] - x[i]);
        std::vector<double> r(n);
        for (long k = 0; k < n; ++k) r[k] = y[k] - b * x[k];
        std::vector<double> w = r;
        std::sort(w.begin(), w.end());
        double len = INFINITY, t = 0;
        for (long k = 0; k + h <= n; ++k)
          if (w[k + h - 1] - w[k] < len) len = w[k + h - 1] - w[k], t = (w[k] + w[k + h - 1]) / 2;
        best = std::min(best, len / 2);
        for (long k = 0; k < n; ++k) u[k] = std::max(u[k], std::fabs(r[k] - t) / (len / 2));
      }
    EXPECT_EQ(run.s.jerd, singular);
    EXPECT_NEAR(run.s.fctw, best, 1e-12 * best);
    // Tied windows place the intercept differently on the grid, so diagnostics only for
    // continuous data; 1e-9: the pair's line by LU against the slope formula.
    if (trial % 2) {
      for (long k = 0; k < n; ++k) EXPECT_NEAR(run.uhyb[k], u[k], 1e-9 * u[k]) << k;
    }
  }
}

// Points on y = 2x + 1 with x powers of two, so that LU fits through two of them and their
// residuals are exact (the QR of the enumeration takes square roots: noup asks for LU); the
// others are outliers.
struct ExactCase {
  const char* name;
  long n, first_outlier, outliers;
  long jlp;
  std::vector<long> jbst;
};

TEST(Dolmts, ExactFitStopsTheSearch) {
  const ExactCase cases[] = {
      // 99 pairs come before (6, 7) in lexicographic order.
      {"enumeration", 20, 0, 6, 100, {6, 7}},
      {"random: subset 0 is the first p", 60, 50, 10, 1, {0, 1}},
      {"random: subset 1 is the last p", 60, 0, 10, 2, {59, 58}},
  };
  for (const ExactCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<double> x(c.n), y(c.n);
    for (long i = 0; i < c.n; ++i) {
      x[i] = std::ldexp(1.0, static_cast<int>(i % 8));
      const bool out = i >= c.first_outlier && i < c.first_outlier + c.outliers;
      y[i] = 2 * x[i] + 1 + (out ? 50.0 + i : 0.0);
    }
    LmtsRun run(x, y, 1, true);
    run.s.jhyb = 1;
    run.s.noup = 1;
    EXPECT_EQ(search(run), 1);
    EXPECT_EQ(run.s.jlp, c.jlp);
    EXPECT_EQ(run.best(), c.jbst);
    EXPECT_EQ(run.s.nzwe, c.n - c.outliers);
    EXPECT_EQ(run.s.jhyb, 0);
    EXPECT_EQ(run.s.fckw, 0.0);
    EXPECT_EQ(run.coef[0], 2.0);
    EXPECT_EQ(run.coef[1], 1.0);
  }
}

TEST(Chrep, NumberOfSubsets) {
  struct Case {
    int p;
    long n, nrep;
    int algo;
    long want;
    const char* log;
  } cases[] = {
      {3, 22, 0, 0, 1540, nullptr},
      {3, 23, 0, 1, 1500, nullptr},
      {1, 500, 0, 0, 500, nullptr},
      {1, 501, 0, 1, 500, nullptr},
      {2, 60, 5000, 0, 1770, nullptr},
      {7, 10, 0, 0, 120, nullptr},
      {3, 100, 200000, 0, 161700, "549/964"},
      {4, 100, 2000000, 1, 2000000, "549/963"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "p=" << c.p << " n=" << c.n);
    testing::Recording& rec = testing::install_recording_host();
    LMTSTR s{};
    s.nvar = c.p;
    s.ncas = c.n;
    s.nrep = c.nrep;
    chrep(&s, c.p);
    EXPECT_EQ(s.algo, c.algo);
    EXPECT_EQ(s.nrep, c.want);
    EXPECT_EQ(rec.host->log.size(), c.log ? 1u : 0u);
    if (c.log) {
      EXPECT_TRUE(rec.logged(c.log));
    }
  }
}

// x = 1 except at three observations: most pairs are singular and the draws run out.
TEST(Dolmts, DrawLimitWithSingularSubsets) {
  std::vector<double> x(60, 1.0), y(60);
  x[10] = 2, x[30] = 3, x[45] = 4;
  for (long i = 0; i < 60; ++i) y[i] = std::sin(i);
  LmtsRun run(x, y, 1, true);
  run.s.nrep = 20;
  ASSERT_EQ(search(run), 0);
  EXPECT_EQ(run.s.jlp, 60);
  EXPECT_GT(run.s.jerd, 40);
  EXPECT_LT(run.s.jerd, 60);
  std::fill(run.s.a, run.s.a + 120, 1.0);
  EXPECT_THROW(search(run), testing::FakeExit);
  EXPECT_TRUE(run.rec->logged("549/430"));
}

TEST(Inbox, TenBestWithoutRepeats) {
  LmtsRun run(std::vector<double>(40, 0.0), std::vector<double>(20, 0.0), 2, false);  // p = 2
  auto offer = [&](long a, long b, double f) {
    run.s.jsub[0] = a;
    run.s.jsub[1] = b;
    inbox(&run.s, 0, f);
  };
  offer(3, 1, 5);
  offer(1, 3, 5);  // the same subset at the place of its criterion
  EXPECT_EQ(run.s.nbox, 1);
  EXPECT_EQ(run.lwim[0], 1);
  EXPECT_EQ(run.lwim[1], 3);
  offer(2, 4, 5);  // an equal criterion goes first
  EXPECT_EQ(run.s.nbox, 2);
  EXPECT_EQ(run.lwim[0], 2);
  for (int k = 0; k < 12; ++k) offer(k, k + 10, 10 - k);
  EXPECT_EQ(run.s.nbox, 10);
  EXPECT_EQ(run.dwim, (std::vector<double>{-1, 0, 1, 2, 3, 4, 5, 5, 5, 6}));
  EXPECT_EQ(run.s.of10, 6.0);
  offer(0, 19, 7);  // worse than the last entry of a full box
  EXPECT_EQ(run.dwim[9], 6.0);
  EXPECT_EQ(run.lwim[18], 4);  // (4, 14), offered with 6
  EXPECT_EQ(run.lwim[0], 11);  // the best, offered last as (11, 21)
}

// Two equal observations next to each other give bitwise equal fits with any third one; the
// later of them must never displace the earlier from the best subset.
TEST(Dolmts, TiesKeepTheEarlierSubset) {
  std::mt19937 gen(23);
  std::normal_distribution<double> z;
  for (int trial = 0; trial < 6; ++trial) {
    SCOPED_TRACE(trial);
    std::vector<double> x(20), y(20);
    for (long i = 0; i < 20; ++i) x[i] = z(gen), y[i] = x[i] + z(gen);
    LmtsRun first(x, y, 1, true);
    search(first);
    const long v = first.s.jbst[trial % 2];
    x.insert(x.begin() + v + 1, x[v]);
    y.insert(y.begin() + v + 1, y[v]);
    LmtsRun again(x, y, 1, true);
    search(again);
    const std::vector<long> best = again.best();
    EXPECT_NE(std::find(best.begin(), best.end(), v), best.end());  // the tie did arise
    EXPECT_EQ(std::find(best.begin(), best.end(), v + 1), best.end());
  }
}

TEST(Dolmts, ProgressNotesAndHistory) {
  struct Case {
    int ipri;
    std::vector<std::string> subsets;  // first column of the rows; the last is Pct
  } cases[] = {{1, {}}, {2, {"1497", "2993", "4489", "5985"}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ipri);
    LmtsRun run(testing::stack_x(), testing::stack_y(), 3, true);
    run.s.ipri = c.ipri;
    run.s.nrep = 5985;
    search(run);
    ASSERT_EQ(run.rec->rows.size(), c.subsets.size());
    for (size_t k = 0; k < c.subsets.size(); ++k) {
      EXPECT_EQ(run.rec->rows[k][0], c.subsets[k]);
      EXPECT_EQ(run.rec->rows[k][3], std::to_string(25 * (k + 1)));
    }
    if (c.ipri == 2) {
      EXPECT_EQ(run.rec->rows[3][1], std::to_string(run.s.jerd));
    }
    auto has = [&](const std::string& s) {
      return std::find(run.rec->lines.begin(), run.rec->lines.end(), s) != run.rec->lines.end();
    };
    EXPECT_EQ(has("25 percent of the subsets are done."), c.ipri == 1);
    EXPECT_EQ(has("75 percent of the subsets are done."), c.ipri == 1);
    EXPECT_FALSE(has("50 percent of the subsets are done."));
    EXPECT_TRUE(has("All 5985 subsets are evaluated."));
    EXPECT_TRUE(run.rec->unknown.empty());
  }
  LmtsRun run({1, 2, 3, 4, 5, 6, 7}, {1, 3, 2, 5, 4, 6, 9}, 1, true);
  run.s.ipri = 5;
  search(run);
  EXPECT_EQ(run.rec->rows.size(), 21u);
  EXPECT_EQ(run.rec->rows[0].size(), 5u);
}

TEST(Sublms, GivenStarts) {
  LmtsRun run(testing::stack_x(), testing::stack_y(), 3, true);
  run.s.cofo = 1;
  const long singular[4] = {6, 7, 8, 9};  // observations 7 and 8 are equal
  std::copy(singular, singular + 4, run.s.jbst);
  EXPECT_EQ(sublms(&run.s), -1);
  EXPECT_TRUE(run.rec->logged("549/956"));
  EXPECT_TRUE(wzmis(run.coef[0]) && wzmis(run.sres[20]) && wzmis(run.s.fctw));
  const long best[4] = {7, 9, 10, 14};
  std::copy(best, best + 4, run.s.jbst);
  EXPECT_EQ(sublms(&run.s), 0);
  EXPECT_NEAR(run.s.fckw, kLmsStack, 1e-13);
  EXPECT_EQ(run.s.jlp, 1);
  run.s.cofo = 2;
  const double coef[4] = {0.75, 0.5, 0.0, -39.25};
  std::copy(coef, coef + 4, run.coef.begin());
  EXPECT_EQ(sublms(&run.s), 0);
  EXPECT_NEAR(run.s.fckw, kLmsStack, 1e-13);
  EXPECT_EQ(run.coef[3], -39.25);  // no intercept adjustment for given coefficients
}

}  // namespace
}  // namespace robmat
