// The pairwise exchange refinement of the LMS/LTS box: a no-op on an empty box, branches that
// meet, the trials of variant 3, variant 2 without early stops, the same subsets with and
// without QR updating, an exact fit found by an exchange, and on stack loss a criterion at
// least as good as the random search alone.
#include "regression/exchange.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <random>
#include <vector>

#include "regression/lmts_fixture.h"

namespace robmat {
namespace {

using testing::LmtsRun;

// A run with the exchange's blocks carved beside the search's.
struct ExchangeRun : LmtsRun {
  std::vector<double> exd;
  std::vector<long> exl;
  ExchangeRun(const std::vector<double>& x, const std::vector<double>& y, int k, bool intercept, int ilts = 0)
      : LmtsRun(x, y, k, intercept, ilts) {
    const LmtsExchangeSizes z = lmts_exchange_sizes(s.ncas, s.nvar);
    exd.assign(static_cast<size_t>(z.doubles), 0.0);
    exl.assign(static_cast<size_t>(z.longs), 0);
    lmts_carve_exchange(&s, exd.data(), exl.data());
    s.trex = 0.05;
  }
  std::vector<long> entry(int e) const { return {s.lwim + e * s.nvar, s.lwim + (e + 1) * s.nvar}; }
  // Puts the subsets into the box with their criteria (getlis1), best first.
  void fill(const std::vector<std::vector<long>>& subsets) {
    s.nbox = 0;
    s.of10 = DBL_MAX;
    for (const std::vector<long>& sub : subsets) {
      std::copy(sub.begin(), sub.end(), s.jsub);
      double crit;
      ASSERT_EQ(getlis1(&s, &crit), 0);
      inbox(&s, ilts_job(), crit);
    }
    s.fctw = s.dwim[0];
  }
  int ilts_job() const { return s.ilts != 0 ? 1 : 0; }
  // A random search that keeps its ten best subsets.
  void search(int variant, long nrep, long seed = 5) {
    s.doim = variant;
    s.nrep = nrep;
    s.seed = seed;
    s.fctw = DBL_MAX;
    int run = 0;
    ASSERT_EQ(dolmts(&s, &run), 0);
    ASSERT_EQ(run, variant);
  }
};

std::vector<double> normal(long n, unsigned seed) {
  std::mt19937 gen(seed);
  std::normal_distribution<double> z;
  std::vector<double> v(static_cast<size_t>(n));
  for (double& d : v) d = z(gen);
  return v;
}

TEST(Exchange, EmptyBoxIsANoOp) {
  for (int v = 1; v <= 3; ++v) {
    SCOPED_TRACE(v);
    ExchangeRun run(testing::stack_x(), testing::stack_y(), 3, true);
    run.s.ipri = 3;
    run.s.nbox = 0;
    run.s.fctw = 4.0;
    run.s.jlp = 9;
    lmts_exchange(&run.s, v);
    EXPECT_EQ(run.s.fctw, 4.0);
    EXPECT_EQ(run.s.jlp, 9);
    EXPECT_TRUE(run.rec->outputs.empty() && run.rec->lines.empty());
  }
}

// One regressor through the origin: every single observation is a neighbour of every other,
// so both branches move to the best one at once; the later becomes inactive, the earlier
// stops there in the next pass.
TEST(Exchange, BranchesThatMeetLeaveOneActive) {
  const std::vector<double> x = normal(10, 3);
  std::vector<double> y(10);
  for (long i = 0; i < 10; ++i) y[i] = 1.5 * x[i] + 0.1 * std::sin(static_cast<double>(i));
  for (int v = 1; v <= 3; ++v) {
    SCOPED_TRACE(v);
    ExchangeRun run(x, y, 1, false);
    // The best single observation by brute force, and two others.
    double best = INFINITY;
    long c = -1;
    for (long i = 0; i < 10; ++i) {
      run.s.jsub[0] = i;
      double crit;
      ASSERT_EQ(getlis1(&run.s, &crit), 0);
      if (crit < best) best = crit, c = i;
    }
    const long u = (c + 3) % 10, w = (c + 6) % 10;
    run.fill({{u}, {w}});
    lmts_exchange(&run.s, v);
    EXPECT_EQ(run.entry(0), std::vector<long>{c});
    EXPECT_EQ(run.entry(1), std::vector<long>{c});
    EXPECT_EQ(wzmis(run.s.dwim[0]) + wzmis(run.s.dwim[1]), 1);
    EXPECT_EQ(run.s.fctw, best);
    EXPECT_EQ(run.best(), std::vector<long>{c});
  }
}

// Variant 3 from a branch no exchange improves: one pass over the members of largest
// absolute residual (all at p = 3, a quarter, 3, at p = 12) and the outside observations of
// smallest (all of 9; at least 10 of more). An elemental fit passes through its members, so
// only the 10 minimum applies here.
TEST(Exchange, VariantThreeTriesTheLargestResiduals) {
  struct Case {
    const char* name;
    long n;
    int p;
    long members, outside;
  };
  const Case cases[] = {{"p = 3", 12, 3, 3, 9}, {"p = 12", 40, 12, 3, 10}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<double> x = normal(c.n * c.p, 11), e = normal(c.n, 12);
    std::vector<double> y(c.n);
    for (long i = 0; i < c.n; ++i) {
      y[i] = e[i];
      for (int j = 0; j < c.p; ++j) y[i] += x[i * c.p + j];
    }
    ExchangeRun run(x, y, c.p, false);
    std::vector<long> start(static_cast<size_t>(c.p));
    for (int j = 0; j < c.p; ++j) start[j] = j;
    run.fill({start});
    xchlmts3(&run.s);  // to a branch variant 3 cannot improve
    const std::vector<long> fixed = run.entry(0);
    run.fill({fixed});
    run.s.jlp = 0;
    xchlmts3(&run.s);
    EXPECT_EQ(run.s.jlp, c.members * c.outside);
    EXPECT_EQ(run.best(), fixed);
  }
}

// Random data (ties among criteria would let rounding choose): from the box of 60 random
// subsets every variant ends in the same subsets with the QR factor updated and with every
// trial solved by LU; variant 2 with trex >= 1 ends where variant 1 does; none is worse than
// the search alone.
TEST(Exchange, VariantsAndFactorings) {
  const long n = 40;
  const std::vector<double> x = normal(3 * n, 21), e = normal(n, 22);
  std::vector<double> y(n);
  for (long i = 0; i < n; ++i) y[i] = x[3 * i] - 2 * x[3 * i + 1] + e[i] + (i % 5 == 0 ? 8.0 : 0.0);
  struct Result {
    std::vector<long> best;
    double fctw;
    std::vector<double> dwim;
  };
  auto run_with = [&](int variant, int noup, double trex, int ilts) {
    ExchangeRun run(x, y, 3, true, ilts);
    run.s.noup = noup;
    run.s.trex = trex;
    run.search(variant, 60);
    const double searched = run.s.fctw;
    lmts_exchange(&run.s, variant);
    EXPECT_LE(run.s.fctw, searched);
    EXPECT_TRUE(run.intact());
    std::vector<long> best = run.best();
    std::sort(best.begin(), best.end());
    return Result{best, run.s.fctw, std::vector<double>(run.s.dwim, run.s.dwim + 10)};
  };
  for (int ilts = 0; ilts <= 1; ++ilts)
    for (int v = 1; v <= 3; ++v) {
      SCOPED_TRACE(::testing::Message() << (ilts ? "LTS" : "LMS") << " variant " << v);
      const Result qr = run_with(v, 0, 0.05, ilts);
      const Result lu = run_with(v, 1, 0.05, ilts);
      EXPECT_EQ(qr.best, lu.best);
      // 1e-12: one criterion by two factorizations.
      EXPECT_NEAR(qr.fctw, lu.fctw, 1e-12 * lu.fctw);
      for (int k = 0; k < 10; ++k) EXPECT_EQ(wzmis(qr.dwim[k]), wzmis(lu.dwim[k])) << k;
    }
  const Result one = run_with(1, 0, 0.05, 0);
  const Result two = run_with(2, 0, 1.0, 0);
  EXPECT_EQ(one.best, two.best);
  EXPECT_EQ(one.fctw, two.fctw);
}

// Stack loss LMS through sublms: a small random search refined by each variant reaches a
// criterion at least as good as the same search without refinement.
TEST(Exchange, RefinedSearchIsAtLeastAsGood) {
  for (long nrep : {10L, 30L}) {
    double plain = 0.0;
    for (int v = 0; v <= 3; ++v) {
      SCOPED_TRACE(::testing::Message() << "nrep " << nrep << " variant " << v);
      ExchangeRun run(testing::stack_x(), testing::stack_y(), 3, true);
      run.s.nrep = nrep;
      run.s.seed = 3;
      run.s.doim = v;
      ASSERT_EQ(sublms(&run.s), 0);
      if (v == 0)
        plain = run.s.fckw;
      else
        EXPECT_LE(run.s.fckw, plain);
      EXPECT_GE(run.s.fckw, 0.75 - 1e-13);
    }
  }
}

// Points on y = 2x + 1 (x powers of two, so LU fits and residuals are exact) and outliers;
// the box holds only subsets with an outlier, and an exchange finds the exact fit.
TEST(Exchange, ExactFitEndsTheRefinement) {
  const long n = 20;
  std::vector<double> x(n), y(n);
  for (long i = 0; i < n; ++i) {
    x[i] = std::ldexp(1.0, static_cast<int>(i % 8));
    y[i] = 2 * x[i] + 1 + (i < 5 ? 40.0 + static_cast<double>(i) : 0.0);
  }
  ExchangeRun run(x, y, 1, true);
  run.s.noup = 1;
  run.s.jhyb = 1;
  run.fill({{0, 6}, {1, 10}});
  lmts_exchange(&run.s, 1);
  EXPECT_LT(run.s.fctw, run.s.prec);
  EXPECT_EQ(run.s.nzwe, n - 5);
  EXPECT_EQ(run.s.jhyb, 0);
  EXPECT_EQ(run.coef[0], 2.0);
  EXPECT_EQ(run.coef[1], 1.0);
}

TEST(Exchange, PrintedNotesAndHistory) {
  ExchangeRun run(testing::stack_x(), testing::stack_y(), 3, true);
  run.s.ipri = 3;
  run.search(1, 40);
  const size_t before = run.rec->outputs.size();
  lmts_exchange(&run.s, 1);
  EXPECT_EQ(
      std::vector<std::string>(run.rec->outputs.begin() + static_cast<long>(before), run.rec->outputs.end()),
      std::vector<std::string>{"IterHist1"});
  const std::vector<std::string>& lines = run.rec->lines;
  EXPECT_NE(std::find(lines.begin(),
                      lines.end(),
                      "Pairwise exchange, variant 1, refines the best subsets of the LMS search."),
            lines.end());
  EXPECT_EQ(lines.back().rfind("The best criterion after the exchange is ", 0), 0u);
  EXPECT_TRUE(run.rec->unknown.empty());
}

}  // namespace
}  // namespace robmat
