// FAST-LTS driven through a run descriptor carved as the front end carves it (lmts_carve_fast), on
// data taken as given: the published stack loss optimum, brute force over all h-subsets of
// small problems, invariants of the returned solution (a fixed point of one more C-step, the
// scale recomputed from the coefficients, bit-identical repeats, no intercept shift without an
// intercept), the boundaries of the scheme, one-regressor fits, an all-singular search and
// the printed output.
#include "regression/fast_lts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "kernels/fast_search.h"
#include "regression/regression.h"
#include "robmat/services.h"
#include "support/datasets.h"
#include "support/least_squares_reference.h"
#include "support/matrices.h"
#include "support/recording_host.h"

namespace robmat {
namespace {

using testing::bits;

constexpr double kCanary = -1.2345e-301;

// A run of doflts on n rows of k regressors (row-major) and an intercept column of ones last
// when intercept is set; noint is then 0, else the given value.
struct FltsRun {
  LMTSTR s{};
  std::vector<double> d1, d3, coef;
  std::vector<long> lng;
  std::vector<U_SNAME> names;
  testing::Recording* rec = nullptr;
  int rpx = 0;
  int k = 0;
  // Worker lanes: `threads` of them in work space of flts_lane_doubles less `short_by`
  // doubles; `refused`: the host's pool extension creates no pool.
  int threads = 1;
  long short_by = 0;
  bool refused = false;

  FltsRun(const std::vector<double>& x, const std::vector<double>& y, int nreg, bool intercept, int noint = 1)
      : k(nreg) {
    const long n = static_cast<long>(y.size());
    const int p = nreg + (intercept ? 1 : 0);
    s.nvar = p;
    s.ncas = n;
    s.nnva = p * (p + 1L) / 2;
    s.noint = intercept ? 0 : noint;
    s.nsds = 5;
    s.lsds = 300;
    s.seed = 19;
    s.sing = 1e-10;
    carve();
    for (long i = 0; i < n; ++i) {
      for (int j = 0; j < nreg; ++j) s.a[i * p + j] = x[i * nreg + j];
      if (intercept) s.a[i * p + nreg] = 1.0;
      s.b[i] = y[i];
    }
    names.resize(p + 1);
    for (int j = 0; j <= p; ++j)
      names[j].len = static_cast<int16_t>(std::snprintf(
          names[j].name,
          32,
          "%s",
          j < nreg ? ("VAR" + std::to_string(j + 1)).c_str() : (j < p ? "Intercep" : "Response")));
    coef.assign(p, 0.0);
    s.coef = coef.data();
    s.pnam = names.data();
    s.rpx = &rpx;
  }
  FltsRun(const FltsRun&) = delete;

  // The blocks of lmts_sizes for the run's n, p, nsds and lsds, carved by lmts_carve_fast.
  void carve() {
    const LmtsSizes z = lmts_sizes(s.ncas, s.nvar, 0, 1, s.nsds, s.lsds, 0);
    std::vector<double> a(s.a == nullptr ? 0 : static_cast<size_t>(s.ncas * s.nvar));
    std::vector<double> b(s.b == nullptr ? 0 : static_cast<size_t>(s.ncas));
    if (s.a != nullptr) {
      std::copy(s.a, s.a + a.size(), a.begin());
      std::copy(s.b, s.b + b.size(), b.begin());
    }
    d1.assign(static_cast<size_t>(z.doubles + 8), kCanary);
    d3.assign(static_cast<size_t>(z.doubles3 + 8), kCanary);
    lng.assign(static_cast<size_t>(z.longs + 8), -777);
    s.lneed = z.longs;
    ASSERT_TRUE(lmts_carve_fast(&s, {d1.data(), z.doubles}, {lng.data(), z.longs}, {d3.data(), z.doubles3}));
    std::copy(a.begin(), a.end(), s.a);
    std::copy(b.begin(), b.end(), s.b);
  }

  // Runs doflts, checks it left the blocks' canaries alone; jqu = h (0: the default).
  void run(long h = 0) {
    rec = &testing::install_recording_host();
    rec->pool_refused = refused;
    s.jqu = h;
    const long lane_doubles =
        threads > 1 ? flts_lane_doubles(s.ncas, s.nvar, s.nsds, s.lsds, threads) - short_by : 0;
    std::vector<double> block(static_cast<size_t>(lane_doubles + 8), kCanary);
    FastLaneSpace space{threads, lane_doubles, block.data()};
    s.secstr = threads > 1 ? &space : nullptr;
    int doim = -1;
    EXPECT_EQ(doflts(&s, &doim), 0);
    s.secstr = nullptr;
    EXPECT_EQ(doim, 0);
    EXPECT_TRUE(intact());
    EXPECT_TRUE(std::all_of(block.end() - 8, block.end(), [](double d) { return d == kCanary; }));
  }

  bool intact() const {
    return std::all_of(d1.end() - 8, d1.end(), [](double d) { return d == kCanary; }) &&
           std::all_of(d3.end() - 8, d3.end(), [](double d) { return d == kCanary; }) &&
           std::all_of(lng.end() - 8, lng.end(), [](long v) { return v == -777; });
  }

  std::vector<long> best() const { return std::vector<long>(s.iw, s.iw + s.jqu); }  // 1-based
  double criterion() const { return s.fctw * s.fctw * static_cast<double>(s.jqu); }
  double x(long i, int j) const { return s.a[i * s.nvar + j]; }
  double y(long i) const { return s.b[i]; }
};

// ---- references ------------------------------------------------------------------------------

// Least squares on the rows of subset (0-based), by the long double QR of the reference.
std::vector<double> least_squares(const FltsRun& r, const std::vector<long>& subset) {
  const long n = r.s.ncas;
  std::vector<double> w(static_cast<size_t>(n), 0.0);
  for (long i : subset) w[i] = 1.0;
  return testing::ls_reference({r.s.a, r.s.a + n * r.s.nvar}, {r.s.b, r.s.b + n}, r.s.nvar, w, false).beta;
}

std::vector<double> residuals(const FltsRun& r, const std::vector<double>& beta) {
  std::vector<double> res(static_cast<size_t>(r.s.ncas));
  for (long i = 0; i < r.s.ncas; ++i) {
    long double f = 0.0L;
    for (int j = 0; j < r.s.nvar; ++j) f += static_cast<long double>(r.x(i, j)) * beta[j];
    res[i] = static_cast<double>(r.y(i) - f);
  }
  return res;
}

// The h cases (1-based, ascending) of smallest absolute residual, and their sum of squares.
std::vector<long> smallest(const std::vector<double>& res, long h, double* crit) {
  std::vector<long> idx(res.size());
  std::iota(idx.begin(), idx.end(), 0L);
  std::stable_sort(
      idx.begin(), idx.end(), [&](long a, long b) { return std::fabs(res[a]) < std::fabs(res[b]); });
  idx.resize(static_cast<size_t>(h));
  long double s = 0.0L;
  for (long i : idx) s += static_cast<long double>(res[i]) * res[i];
  *crit = static_cast<double>(s);
  for (long& i : idx) ++i;
  std::sort(idx.begin(), idx.end());
  return idx;
}

// The mean of the window of h sorted values with the least sum of squares, sums formed afresh.
double best_window_mean(std::vector<double> v, long h) {
  std::sort(v.begin(), v.end());
  long double best = INFINITY, mean = 0.0L;
  for (size_t j = 0; j + h <= v.size(); ++j) {
    long double s = 0.0L, q = 0.0L;
    for (size_t i = j; i < j + h; ++i) s += v[i];
    const long double m = s / h;
    for (size_t i = j; i < j + h; ++i) q += (v[i] - m) * (v[i] - m);
    if (q < best) {
      best = q;
      mean = m;
    }
  }
  return static_cast<double>(mean);
}

// The least trimmed squares optimum by brute force: the h-subset whose own least squares fit
// has the smallest residual sum of squares.
double brute_force_lts(const FltsRun& r, long h, std::vector<long>* argmin) {
  const long n = r.s.ncas;
  std::vector<bool> pick(static_cast<size_t>(n), false);
  std::fill(pick.begin(), pick.begin() + h, true);
  double best = INFINITY;
  do {
    std::vector<long> sub;
    for (long i = 0; i < n; ++i)
      if (pick[i]) sub.push_back(i);
    const std::vector<double> res = residuals(r, least_squares(r, sub));
    double rss = 0.0;
    for (long i : sub) rss += res[i] * res[i];
    if (rss < best) {
      best = rss;
      *argmin = sub;
    }
  } while (std::prev_permutation(pick.begin(), pick.end()));
  for (long& i : *argmin) ++i;
  return best;
}

// Regression data: y = 1 + sum_j (j + 1) x_j + N(0, 1) noise, with the first fifth of the
// cases bad leverage points (x shifted by 10, y by -30).
std::pair<std::vector<double>, std::vector<double>> make_data(long n, int k, unsigned seed) {
  std::mt19937 gen(seed);
  std::normal_distribution<double> z(0.0, 1.0);
  std::vector<double> x(static_cast<size_t>(n * k)), y(static_cast<size_t>(n));
  for (long i = 0; i < n; ++i) {
    const bool bad = i < n / 5;
    double f = 1.0;
    for (int j = 0; j < k; ++j) {
      x[i * k + j] = z(gen) + (bad ? 10.0 : 0.0);
      f += (j + 1.0) * x[i * k + j];
    }
    y[i] = f + z(gen) + (bad ? -30.0 * k : 0.0);
  }
  return {x, y};
}

// ---- published and brute-force optima -----------------------------------------------------

TEST(FastLts, StackLossReachesTheGlobalOptimum) {
  const testing::Dataset d = testing::load_dataset("stackloss");
  FltsRun r(d.columns(0, 3), d.columns(3, 4), 3, true);
  r.run(13);
  // Global optimum by enumeration of all 13-subsets (data/README.md).
  EXPECT_NEAR(r.criterion(), 2.932391246, 1e-9 * 2.932391246);
  EXPECT_EQ(r.best(), (std::vector<long>{5, 6, 7, 8, 9, 10, 11, 12, 15, 16, 17, 18, 19}));
  const double published[4] = {0.74092106, 0.39152672, 0.01113454, -37.32332647};  // intercept last
  for (int j = 0; j < 4; ++j)
    EXPECT_NEAR(r.coef[j], published[j], 5e-8 * std::max(1.0, std::fabs(published[j])));
  EXPECT_EQ(r.s.algo, 1);
  // From the third start on a singular subset is replaced by a new draw.
  EXPECT_GE(r.s.jlp, 500);
  EXPECT_LE(r.s.jlp, 500 + r.s.jerd);
}

TEST(FastLts, SmallProblemsReachTheBruteForceOptimum) {
  struct Case {
    const char* name;
    long n;
    int k;
    bool intercept;
    unsigned seed;
  };
  const Case cases[] = {
      {"one regressor and intercept, n = 12", 12, 1, true, 3},
      {"two regressors and intercept, n = 11", 11, 2, true, 4},
      {"two regressors through the origin, n = 12", 12, 2, false, 5},
      {"one regressor through the origin, n = 13", 13, 1, false, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto [x, y] = make_data(c.n, c.k, c.seed);
    FltsRun r(x, y, c.k, c.intercept);
    r.run();
    EXPECT_EQ(r.s.algo, 0);  // few cases: every elemental subset
    std::vector<long> argmin;
    const double opt = brute_force_lts(r, r.s.jqu, &argmin);
    EXPECT_NEAR(r.criterion(), opt, 1e-10 * opt);
    EXPECT_EQ(r.best(), argmin);
  }
}

// ---- invariants --------------------------------------------------------------------------------

TEST(FastLts, ReturnedSolutionIsConsistentAndReproducible) {
  struct Case {
    const char* name;
    long n;
    int k;
    bool intercept;
    int noint;
    bool host_stream;
  };
  const Case cases[] = {
      {"single set, intercept", 200, 2, true, 0, false},
      {"single set, host stream", 300, 3, true, 0, true},
      {"single set, no intercept", 150, 4, false, 1, false},
      {"noint 999, no intercept", 150, 3, false, 999, false},
      {"two subdatasets", 800, 3, true, 0, false},
      {"five subdatasets of a sample", 2500, 5, true, 0, false},
      {"subdatasets, no intercept", 1200, 2, false, 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto [x, y] = make_data(c.n, c.k, 11);
    if (!c.intercept)  // a last regressor far from 0, which an intercept shift would move
      for (long i = 0; i < c.n; ++i) {
        x[i * c.k + c.k - 1] += 50.0;
        y[i] += 50.0 * c.k;
      }
    FltsRun r(x, y, c.k, c.intercept, c.noint);
    r.s.copr = c.host_stream ? 1 : 0;
    r.run();
    const std::vector<long> best = r.best();
    // fctw is the root of the criterion per case, recomputed from the coefficients.
    const std::vector<double> coef(r.coef.begin(), r.coef.end());
    double crit = 0.0;
    const std::vector<long> own = smallest(residuals(r, coef), r.s.jqu, &crit);
    EXPECT_NEAR(r.s.fctw, std::sqrt(crit / static_cast<double>(r.s.jqu)), 1e-12 * r.s.fctw);
    EXPECT_EQ(own, best);
    // One more C-step from the returned h-subset returns it: least squares on it, the
    // intercept moved to the best window of the sorted residuals, the h smallest again.
    std::vector<long> sub(best);
    for (long& i : sub) --i;
    std::vector<double> beta = least_squares(r, sub);
    std::vector<double> res = residuals(r, beta);
    if (c.intercept) {
      const double shift = best_window_mean(res, r.s.jqu);
      beta.back() += shift;
      for (double& e : res) e -= shift;
    } else {
      // Without an intercept the coefficients are the plain least squares fit of the subset.
      for (int j = 0; j < r.s.nvar; ++j) EXPECT_NEAR(r.coef[j], beta[j], 1e-9 * (1.0 + std::fabs(beta[j])));
    }
    double again = 0.0;
    EXPECT_EQ(smallest(res, r.s.jqu, &again), best);
    // No worse than the true coefficients (1, 2, ..., k and the intercept 1, which without an
    // intercept the last regressor's 50 carries), whatever the bad leverage points pull.
    std::vector<double> truth(coef.size(), 0.0);
    for (int j = 0; j < c.k; ++j) truth[j] = j + 1.0;
    if (c.intercept)
      truth.back() = 1.0;
    else
      truth.back() += 1.0 / 50.0;
    double true_crit = 0.0;
    smallest(residuals(r, truth), r.s.jqu, &true_crit);
    EXPECT_LT(crit, true_crit);
    // The same seed gives the same bits.
    FltsRun twin(x, y, c.k, c.intercept, c.noint);
    twin.s.copr = r.s.copr;
    twin.run();
    EXPECT_EQ(std::memcmp(twin.coef.data(), r.coef.data(), r.coef.size() * sizeof(double)), 0);
    EXPECT_EQ(twin.best(), best);
    EXPECT_EQ(twin.s.jlp, r.s.jlp);
    EXPECT_EQ(twin.s.step, r.s.step);
  }
}

// Opt 23: the final stage's C-steps run to a fixed point. Against the default run on the same
// data and seed: never a larger criterion (the converged stage repeats the default's starts
// and goes on from each), and one more C-step (in long double, as above) does not lower it.
TEST(FastLts, ConvergedFinalStageEndsAtAFixedPointNoWorseThanTheDefault) {
  const testing::Dataset stack = testing::load_dataset("stackloss");
  struct Case {
    const char* name;
    long n;  // 0: stack loss
    int k;
  };
  const Case cases[] = {{"stack loss, h = 13", 0, 3},
                        {"single set", 400, 2},
                        {"subdatasets", 3000, 4},
                        {"n = 12000: five starts", 12000, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<double> x = stack.columns(0, 3), y = stack.columns(3, 4);
    if (c.n > 0) std::tie(x, y) = make_data(c.n, c.k, 23);
    FltsRun plain(x, y, c.k, true), refined(x, y, c.k, true);
    refined.s.imve = 1;
    plain.run(c.n > 0 ? 0 : 13);
    refined.run(c.n > 0 ? 0 : 13);
    EXPECT_LE(refined.s.fctw, plain.s.fctw);
    // The global optimum of the stack loss data by enumeration (data/README.md).
    if (c.n == 0) {
      EXPECT_NEAR(refined.criterion(), 2.932391246, 1e-9 * 2.932391246);
    }
    std::vector<long> sub = refined.best();
    for (long& i : sub) --i;
    std::vector<double> beta = least_squares(refined, sub);
    std::vector<double> res = residuals(refined, beta);
    const double shift = best_window_mean(res, refined.s.jqu);
    for (double& e : res) e -= shift;
    double again = 0.0;
    smallest(res, refined.s.jqu, &again);
    // Rounding of the engine's double sums against the long double ones here.
    EXPECT_GE(again, refined.criterion() * (1.0 - 1e-10));
  }
}

// The least residual sum of squares over the subsets that exchange one case of subset (0-based)
// for one outside it, each by its own least squares fit in long double.
double best_single_exchange(const FltsRun& r, const std::vector<long>& subset) {
  std::vector<bool> in(static_cast<size_t>(r.s.ncas), false);
  for (long i : subset) in[i] = true;
  double best = INFINITY;
  for (size_t a = 0; a < subset.size(); ++a)
    for (long b = 0; b < r.s.ncas; ++b) {
      if (in[b]) continue;
      std::vector<long> sub = subset;
      sub[a] = b;
      const std::vector<double> res = residuals(r, least_squares(r, sub));
      long double rss = 0.0L;
      for (long i : sub) rss += static_cast<long double>(res[i]) * res[i];
      best = std::min(best, static_cast<double>(rss));
    }
  return best;
}

// Opt 23 also exchanges single cases after the C-steps converge: by brute force over every
// exchange, none lowers the criterion of its subset, and the default's result, where some
// exchange does, is never better. On pure noise some of the default's results are C-step
// fixed points that a single exchange improves (counted, so that the descent is exercised).
TEST(FastLts, ConvergedFinalStageIsOptimalUnderSingleExchanges) {
  int improvable = 0;
  for (unsigned seed = 1; seed <= 6; ++seed) {
    for (int k : {1, 2, 3}) {
      SCOPED_TRACE("seed " + std::to_string(seed) + ", k = " + std::to_string(k));
      // Pure noise: many C-step fixed points of nearly equal criteria.
      std::mt19937 gen(seed);
      std::normal_distribution<double> z(0.0, 1.0);
      std::vector<double> x(static_cast<size_t>(150 * k)), y(150);
      for (double& v : x) v = z(gen);
      for (double& v : y) v = z(gen);
      FltsRun plain(x, y, k, true), refined(x, y, k, true);
      refined.s.imve = 1;
      plain.run();
      refined.run();
      EXPECT_LE(refined.criterion(), plain.criterion());
      std::vector<long> sub = refined.best();
      for (long& i : sub) --i;
      // Rounding of the engine's double sums against the long double ones here.
      EXPECT_GE(best_single_exchange(refined, sub), refined.criterion() * (1.0 - 1e-10));
      std::vector<long> psub = plain.best();
      for (long& i : psub) --i;
      if (best_single_exchange(plain, psub) < plain.criterion() * (1.0 - 1e-10)) ++improvable;
    }
  }
  EXPECT_GT(improvable, 0);
}

// With one subdataset of one case (opt 16 = opt 17 = 1) the blocks of small problems are
// tight. On these noise data the converged stage alone ends where a single exchange lowers the
// criterion (by brute force); the descent still runs there and leaves none that does.
TEST(FastLts, SingleExchangeDescentRunsInTheTightestBlocks) {
  struct Case {
    long n;
    int k;
    unsigned seed;
    long h;
  };
  const Case cases[] = {{16, 4, 4, 8}, {19, 4, 1, 10}, {21, 5, 2, 11}};
  for (const Case& c : cases) {
    SCOPED_TRACE("n = " + std::to_string(c.n) + ", k = " + std::to_string(c.k));
    std::mt19937 gen(c.seed);
    std::normal_distribution<double> z(0.0, 1.0);
    std::vector<double> x(static_cast<size_t>(c.n * c.k)), y(static_cast<size_t>(c.n));
    for (double& v : x) v = z(gen);
    for (double& v : y) v = z(gen);
    FltsRun plain(x, y, c.k, true), refined(x, y, c.k, true);
    for (FltsRun* r : {&plain, &refined}) {
      r->s.nsds = 1;
      r->s.lsds = 1;
      r->carve();
    }
    refined.s.imve = 1;
    plain.run(c.h);
    refined.run(c.h);
    EXPECT_LE(refined.criterion(), plain.criterion());
    std::vector<long> sub = refined.best();
    for (long& i : sub) --i;
    // Rounding of the engine's double sums against the long double ones here.
    EXPECT_GE(best_single_exchange(refined, sub), refined.criterion() * (1.0 - 1e-10));
  }
}

// ---- the scheme --------------------------------------------------------------------------------

// The final stage's heading in the log at print level 5: "... from K kept solutions with at
// most S concentration steps each."
std::string final_heading(const testing::Recording& rec) {
  for (const std::string& line : rec.host->log)
    if (line.rfind("549/492:", 0) == 0) return line;
  return "";
}

TEST(FastLts, SchemeBoundaries) {
  struct Case {
    const char* name;
    long n;
    int k;
    const char* heading;
    int refine = 0;  // opt 23
  };
  const Case cases[] = {
      {"n = 5000: the ten kept solutions", 5000, 1, "from 10 kept solutions with at most 100 "},
      {"n = 5001: the best three", 5001, 1, "from 3 kept solutions with at most 100 "},
      {"p n = 200000: 13 final C-steps", 50000, 3, "from 3 kept solutions with at most 13 "},
      {"p n just above 10^6: 5", 50001, 19, "from 3 kept solutions with at most 5 "},
      {"converged, n = 10000: five", 10000, 2, "from 5 kept solutions with at most 1000 ", 1},
      {"converged, n = 50000: the default's three", 50000, 3, "from 3 kept solutions with at most 1000 ", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto [x, y] = make_data(c.n, c.k, 17);
    FltsRun r(x, y, c.k, true);
    r.s.ipri = 5;
    r.s.imve = c.refine;
    r.run();
    EXPECT_NE(final_heading(*r.rec).find(c.heading), std::string::npos) << final_heading(*r.rec);
    EXPECT_LE(r.s.step, std::atoi(std::strstr(c.heading, "most ") + 5));
    EXPECT_EQ(r.s.jlp, 500);  // five groups of 100 starts
    for (int j = 0; j < c.k; ++j) EXPECT_NEAR(r.coef[j], j + 1.0, 0.1);
  }
}

TEST(FastLts, OneRegressorDividesAndSkipsZeroRegressors) {
  // Through the origin, p = 1: each elemental fit is y/x; |x| <= 1e-10 is singular.
  auto [x, y] = make_data(40, 1, 23);
  x[31] = 0.0;
  x[32] = -1e-10;
  x[33] = 2e-10;
  FltsRun r(x, y, 1, false);
  r.run();
  EXPECT_EQ(r.s.algo, 0);  // 40 <= 500: all 40 one-case subsets
  EXPECT_EQ(r.s.jlp, 40);
  EXPECT_EQ(r.s.jerd, 2);
  double crit = 0.0;
  smallest(residuals(r, {r.coef[0]}), r.s.jqu, &crit);
  EXPECT_NEAR(r.criterion(), crit, 1e-12 * crit);
}

TEST(FastLts, EverySubsetSingularEndsTheRun) {
  struct Case {
    const char* name;
    long n;
  };
  const Case cases[] = {{"enumerated", 30}, {"random", 80}, {"subdatasets", 700}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // A constant regressor beside the intercept: every pair of cases is singular.
    std::vector<double> x(static_cast<size_t>(c.n), 3.0), y(static_cast<size_t>(c.n));
    for (long i = 0; i < c.n; ++i) y[i] = static_cast<double>(i % 7);
    FltsRun r(x, y, 1, true);
    r.s.ipri = 1;
    testing::Recording& rec = testing::install_recording_host();
    r.s.jqu = 0;
    int doim = 0;
    try {
      doflts(&r.s, &doim);
      ADD_FAILURE() << "doflts returned";
    } catch (const testing::FakeExit& e) {
      EXPECT_EQ(e.code, 9999);
    }
    EXPECT_EQ(r.s.jerd, r.s.jlp);
    EXPECT_GT(r.s.jlp, 0);
    EXPECT_TRUE(rec.logged("549/430"));
    EXPECT_TRUE(r.intact());
  }
}

// ---- worker threads --------------------------------------------------------------------------

TEST(FastLts, WorkerThreadsGiveTheSerialResultsBitForBit) {
  // Plain data, and a regressor that is 1 for a few cases only: the halves of a group often
  // miss them and their least squares fits are singular, which the lanes leave to the serial
  // path (a new subset is drawn in their place).
  struct Case {
    const char* name;
    long n;
    int k;
    bool intercept;
    int imve;
    bool host_stream;
    long rare;  // cases with the indicator regressor 1 (0: none)
  };
  const Case cases[] = {
      {"n = 2000, k = 4", 2000, 4, true, 0, false, 0},
      {"converged final stage", 2000, 4, true, kImveConverge, false, 0},
      {"host-wide generator", 2000, 4, true, 0, true, 0},
      {"no intercept", 2000, 3, false, 0, false, 0},
      {"rare indicator", 2000, 3, true, 0, false, 12},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto [x, y] = make_data(c.n, c.k, 71);
    if (c.rare > 0)
      for (long i = 0; i < c.n; ++i) x[i * c.k + c.k - 1] = (i % (c.n / c.rare)) == 7 ? 1.0 : 0.0;
    FltsRun serial(x, y, c.k, c.intercept);
    serial.s.imve = c.imve;
    serial.s.copr = c.host_stream ? 1 : 0;
    serial.s.ipri = 5;
    serial.run();
    const long p = serial.s.nvar;
    for (int threads : {2, 4, -2}) {
      SCOPED_TRACE(std::to_string(threads) + " lanes");
      FltsRun r(x, y, c.k, c.intercept);
      r.s.imve = c.imve;
      r.s.copr = serial.s.copr;
      r.s.ipri = 5;
      r.threads = threads < 0 ? -threads : threads;
      r.refused = threads < 0;  // no pool: the lanes run on the calling thread
      r.run();
      EXPECT_GT(r.rec->extloads, 0);
      EXPECT_EQ(r.rec->foreign_calls(), 0);
      EXPECT_EQ(bits(r.s.coef, p), bits(serial.s.coef, p));
      EXPECT_EQ(bits(&r.s.fctw, 1), bits(&serial.s.fctw, 1));
      EXPECT_EQ(r.best(), serial.best());
      EXPECT_EQ(r.s.jlp, serial.s.jlp);
      EXPECT_EQ(r.s.jerd, serial.s.jerd);
      EXPECT_EQ(r.s.step, serial.s.step);
      // The kept solutions of every group and of the merged set, the count of C-steps.
      EXPECT_EQ(r.rec->lines, serial.rec->lines);
      EXPECT_EQ(r.rec->calls.size(), serial.rec->calls.size());
      for (size_t i = 0; i < r.rec->calls.size() && i < serial.rec->calls.size(); ++i)
        EXPECT_EQ(bits(r.rec->calls[i].values), bits(serial.rec->calls[i].values));
      EXPECT_EQ(r.rec->host->log, serial.rec->host->log);
    }
  }
}

TEST(FastLts, LaneWorkSpaceIsExactlyWhatTheLanesTake) {
  // One double short, the search runs on the calling thread alone, with the same results.
  auto [x, y] = make_data(1000, 3, 73);
  FltsRun serial(x, y, 3, true);
  serial.run();
  for (long short_by : {0L, 1L}) {
    SCOPED_TRACE(short_by);
    FltsRun r(x, y, 3, true);
    r.threads = 3;
    r.short_by = short_by;
    r.run();
    EXPECT_EQ(r.rec->extloads > 0, short_by == 0);
    EXPECT_EQ(r.best(), serial.best());
    EXPECT_EQ(bits(r.s.coef, 4), bits(serial.s.coef, 4));
  }
}

TEST(FastLts, PrintsTheSchemeAndTheKeptSolutions) {
  auto [x, y] = make_data(1000, 2, 29);
  FltsRun r(x, y, 2, true);
  r.s.ipri = 5;
  r.run();
  const testing::Recording& rec = *r.rec;
  const auto count = [&](const std::string& name) {
    return std::count(rec.outputs.begin(), rec.outputs.end(), name);
  };
  EXPECT_EQ(count("FastMCD"), 1);
  EXPECT_EQ(count("SizeSubData"), 1);
  EXPECT_EQ(count("CoeffSubData"), 3);  // three groups of 333, 334 and 333 cases
  EXPECT_EQ(count("ObsLieSubData"), 3);
  EXPECT_EQ(count("EstCoeff"), 10);  // the merged set's ten kept solutions
  EXPECT_NE(std::find(rec.lines.begin(), rec.lines.end(), "Entire Set of 1000 Observations"),
            rec.lines.end());
  EXPECT_TRUE(rec.logged("Considered 'halves' containing 50.2 percent of the cases."));
  EXPECT_TRUE(
      rec.logged("The program has started by randomly dividing the 1000 cases into 3 nonoverlapping"));
  EXPECT_TRUE(rec.logged("549/970"));
  EXPECT_TRUE(rec.logged("549/977"));
  EXPECT_TRUE(rec.unknown.empty());
  // Level 3 prints the run header and logs the work count, nothing more.
  FltsRun quiet(x, y, 2, true);
  quiet.s.ipri = 3;
  quiet.run();
  EXPECT_EQ(quiet.rec->outputs, std::vector<std::string>{"FastMCD"});
  EXPECT_TRUE(quiet.rec->logged("549/970"));
  EXPECT_FALSE(quiet.rec->logged("549/977"));
}

}  // namespace
}  // namespace robmat
