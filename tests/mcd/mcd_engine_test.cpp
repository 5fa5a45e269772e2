// The MCD engine driven through a run descriptor carved as the MCD front end does (with
// mcd_sizes): published results (hbk outliers, stack loss optimum), brute force over all
// h-subsets of small problems, invariants of the returned subset, affine equivariance, exact
// fits, the schemes and their boundaries, reproducibility, work-space checks and the
// printed output.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <numeric>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "kernels/draws.h"
#include "kernels/fast_search.h"
#include "kernels/moments.h"
#include "kernels/select.h"
#include "mcd/mcd.h"
#include "robmat/services.h"
#include "support/datasets.h"
#include "support/matrices.h"
#include "support/recording_host.h"

namespace robmat {
namespace {

using testing::bits;
using testing::pk;

// X1-X3 of the Hawkins-Bradu-Kass data (cases 1-14 are planted outliers) and the three
// regressors of Brownlee's stack loss data.
const std::vector<double> kHbkX = testing::load_dataset("hbk").columns(0, 3);
const std::vector<double> kStackX = testing::load_dataset("stackloss").columns(0, 3);
const double* const kHbk = kHbkX.data();
const double* const kStack = kStackX.data();

// ---- a run carved like the front end -------------------------------------------------------
// The options of a run: the front end's defaults; lneed > 0 replaces its count of integers.
LMTSTR options(int ipri = 0) {
  LMTSTR o{};
  o.ipri = ipri;
  o.nsds = 5;
  o.lsds = 300;
  return o;
}

// A work block followed by canaries the engine must leave alone.
constexpr double kCanary = -1.2345e-301;
struct Block {
  std::vector<double> v;
  long n;
  explicit Block(long size) : v(static_cast<size_t>(size + 8), kCanary), n(size) {}
  bool intact() const {
    return std::all_of(v.begin() + n, v.end(), [](double d) { return d == kCanary; });
  }
};

struct McdRun {
  LMTSTR str{};
  int rc = 0;
  std::vector<double> loc, scatter, eigen, cor, maha, robust, weights;
  std::vector<long> best;  // 1-based, ascending
};
testing::Recording* rec = nullptr;

// The worker lanes of a run: `threads` of them in work space of mcd_lane_doubles, less
// `short_by` doubles; `refused`: the host's pool extension creates no pool.
struct Lanes {
  int threads = 1;
  long short_by = 0;
  bool refused = false;
};

// Installs the recording host, runs the engine and checks its return code and that it wrote
// nothing beyond its blocks.
McdRun run_mcd(const double* x, long n, int p, LMTSTR s = options(), int want_rc = 0, Lanes lanes = {}) {
  rec = &testing::install_recording_host();
  rec->pool_refused = lanes.refused;
  const long nn = p * (p + 1L) / 2;
  const McdSizes sz = mcd_sizes(n, p, s.nsds, s.lsds, s.ocor);
  s.dneed = sz.work;
  s.lneed = s.lneed > 0 ? s.lneed : sz.ints;
  Block a(n * p), b(n * p), c(sz.c), work(s.dneed), xmve(sz.est_rows * p), maha(3 * n);
  std::vector<long> ints(static_cast<size_t>(s.lneed + 8), -777);
  std::vector<U_SNAME> names(static_cast<size_t>(p + 1));
  for (int j = 0; j <= p; ++j)
    names[j].len =
        static_cast<int16_t>(std::snprintf(names[j].name, 32, j < p ? "VAR%d" : "Addition", j + 1));
  std::copy(x, x + n * p, a.v.data());
  std::fill(xmve.v.begin(), xmve.v.begin() + 2 * p, missing_value());
  std::fill(maha.v.begin(), maha.v.begin() + 3 * n, missing_value());
  int rpx = 0;
  s.nvar = p;
  s.ncas = n;
  s.nnva = nn;
  s.inca = p;
  s.sing = 1e-10;
  s.pnam = names.data();
  s.rpx = &rpx;
  s.a = a.v.data();
  s.b = b.v.data();
  s.c = c.v.data();
  s.work = work.v.data();
  s.xmve = xmve.v.data();
  s.maha = maha.v.data();
  s.jbst = ints.data() + n;
  s.iw = ints.data() + 2 * n;
  FastLaneSpace space{lanes.threads, 0, nullptr};
  Block lane_block(lanes.threads > 1 ? mcd_lane_doubles(n, p, s.nsds, s.lsds, lanes.threads) - lanes.short_by
                                     : 0);
  if (lanes.threads > 1) {
    space.doubles = lane_block.n;
    space.block = lane_block.v.data();
    s.secstr = &space;
  }
  McdRun r;
  r.rc = zmcd(&s);
  s.secstr = nullptr;
  r.str = s;
  EXPECT_EQ(r.rc, want_rc);
  EXPECT_TRUE(lane_block.intact());
  EXPECT_TRUE(a.intact() && b.intact() && c.intact() && work.intact() && xmve.intact() && maha.intact() &&
              std::all_of(ints.end() - 8, ints.end(), [](long v) { return v == -777; }));
  r.loc.assign(xmve.v.begin(), xmve.v.begin() + p);
  r.eigen.assign(xmve.v.begin() + p, xmve.v.begin() + 2 * p);
  if (s.ocor) r.cor.assign(xmve.v.begin() + 2 * p + nn, xmve.v.begin() + 2 * p + 2 * nn);
  r.scatter.assign(c.v.begin(), c.v.begin() + nn);
  r.maha.assign(maha.v.begin(), maha.v.begin() + n);
  r.robust.assign(maha.v.begin() + n, maha.v.begin() + 2 * n);
  r.weights.assign(maha.v.begin() + 2 * n, maha.v.begin() + 3 * n);
  r.best.assign(ints.begin() + n, ints.begin() + n + std::clamp(s.jqu, 0L, n));
  return r;
}

// ---- reference computations ----------------------------------------------------------------
// Mean and covariance (divisor k - 1, packed) of the rows in idx (0-based).
void moments(
    const double* x, int p, const std::vector<long>& idx, std::vector<double>* mu, std::vector<double>* cov) {
  const double k = static_cast<double>(idx.size());
  mu->assign(static_cast<size_t>(p), 0.0);
  cov->assign(static_cast<size_t>(p * (p + 1) / 2), 0.0);
  for (long i : idx)
    for (int j = 0; j < p; ++j) (*mu)[j] += x[i * p + j] / k;
  for (long i : idx)
    for (int a = 0; a < p; ++a)
      for (int b = 0; b <= a; ++b)
        (*cov)[pk(a, b)] += (x[i * p + a] - (*mu)[a]) * (x[i * p + b] - (*mu)[b]) / (k - 1);
}

// Cholesky factor (p x p, row-major) of a packed matrix; false when not positive definite.
bool cholesky(const std::vector<double>& packed, int p, std::vector<double>* l) {
  l->assign(static_cast<size_t>(p * p), 0.0);
  for (int i = 0; i < p; ++i)
    for (int j = 0; j <= i; ++j) {
      double s = packed[pk(i, j)];
      for (int k = 0; k < j; ++k) s -= (*l)[i * p + k] * (*l)[j * p + k];
      if (i == j && s <= 0.0) return false;
      (*l)[i * p + j] = i == j ? std::sqrt(s) : s / (*l)[j * p + j];
    }
  return true;
}

double logdet(const std::vector<double>& packed, int p) {
  std::vector<double> l;
  if (!cholesky(packed, p, &l)) return -INFINITY;
  double ld = 0.0;
  for (int i = 0; i < p; ++i) ld += 2.0 * std::log(l[i * p + i]);
  return ld;
}

std::vector<long> zero_based(const std::vector<long>& best1) {
  std::vector<long> idx;
  for (long b : best1) idx.push_back(b - 1);
  return idx;
}

double subset_logdet(const double* x, int p, const std::vector<long>& best1) {
  std::vector<double> mu, cov;
  moments(x, p, zero_based(best1), &mu, &cov);
  return logdet(cov, p);
}

// Minimum log det over all h-subsets of n cases.
double brute_force(const double* x, long n, int p, long h) {
  std::vector<long> comb(static_cast<size_t>(h));
  std::iota(comb.begin(), comb.end(), 0);
  double best = INFINITY;
  for (;;) {
    std::vector<double> mu, cov;
    moments(x, p, comb, &mu, &cov);
    best = std::min(best, logdet(cov, p));
    long i = h - 1;
    while (i >= 0 && comb[i] == n - h + i) --i;
    if (i < 0) return best;
    ++comb[i];
    for (long j = i + 1; j < h; ++j) comb[j] = comb[j - 1] + 1;
  }
}

// Standard normal data; the first `outliers` cases shifted by outlier_shift in every variable.
std::vector<double> random_data(long n, int p, unsigned seed, double outlier_shift = 0.0, long outliers = 0) {
  return testing::normal_data(n, p, seed, outliers, outlier_shift);
}

// mcduni on sorted values: the start of the best window of h, with its location and scale.
long best_window(const double* sorted, long n, long h, double fact, double* loc, double* scale) {
  std::vector<double> ties(static_cast<size_t>(2 * (n - h + 1)));
  long ws = -1;
  mcduni(fact, n, h, sorted, loc, scale, ties.data(), &ws);
  return ws;
}

// ---- the univariate window ----------------------------------------------------------------
TEST(Mcd, UnivariateMcdIsTheBestWindow) {
  std::mt19937 gen(5);
  std::normal_distribution<double> z(0, 1);
  for (int t = 0; t < 50; ++t) {
    const long n = 5 + t;
    std::vector<double> x(static_cast<size_t>(n));
    for (double& e : x) e = z(gen);
    std::sort(x.begin(), x.end());
    const long h = n / 2 + 1 + t % 3;
    double loc = 0, scale = 0, best = INFINITY;
    long bw = -1;
    const long ws = best_window(x.data(), n, h, 1.0, &loc, &scale);
    for (long j = 0; j + h <= n; ++j) {
      const double m = std::accumulate(x.begin() + j, x.begin() + j + h, 0.0) / static_cast<double>(h);
      double q = 0;
      for (long i = j; i < j + h; ++i) q += (x[i] - m) * (x[i] - m);
      if (q < best) std::tie(best, bw) = std::make_pair(q, j);
    }
    EXPECT_EQ(ws, bw);
    EXPECT_NEAR(scale, std::sqrt(best / static_cast<double>(h)), 1e-12);
  }
  // Tied windows: the middle one. 0,0,1,1,2,2 with h = 2 ties three windows of spread 0.
  const double x[6] = {0, 0, 1, 1, 2, 2};
  double loc = 0, scale = 0;
  EXPECT_EQ(best_window(x, 6, 2, 1.0, &loc, &scale), 2);
  EXPECT_EQ(loc, 1.0);
  EXPECT_EQ(scale, 0.0);
}

// Small samples: the tied windows of an odd n with the default h need n + 1 doubles, and for
// n = 2 only h = 2 holds a majority. Brute force: every window of h sorted values ties here,
// and the middle one (index t/2 of t) is taken.
TEST(Mcd, UnivariateSmallSamplesTakeTheMiddleWindow) {
  struct Case {
    const char* name;
    std::vector<double> x;
    long jqu;  // 0: the default h
    long h;
    std::vector<long> best;
  } cases[] = {
      {"n = 3, default h", {2, 0, 1}, 0, 2, {1, 3}},
      {"n = 5, default h", {4, 3, 2, 1, 0}, 0, 3, {2, 3, 4}},
      {"n = 2, h = 2 given", {5, 1}, 2, 2, {1, 2}},
      {"n = 2, h = 1 given", {5, 1}, 1, 2, {1, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LMTSTR o = options();
    o.jqu = c.jqu;
    const McdRun r = run_mcd(c.x.data(), static_cast<long>(c.x.size()), 1, o);
    EXPECT_EQ(r.str.jqu, c.h);
    EXPECT_EQ(r.best, c.best);
  }
  EXPECT_TRUE(rec->logged("549/951: The value of h must lie between 2 and 2"));
}

// ---- published results ---------------------------------------------------------------------
TEST(Mcd, HbkFlagsExactlyTheFourteenPlantedOutliers) {
  LMTSTR o = options();
  o.pcov = o.pcor = 1;  // without a print level nothing is printed and both are reset
  const McdRun r = run_mcd(kHbk, 75, 3, o);
  EXPECT_EQ(r.str.jqu, 39);
  for (long i = 0; i < 75; ++i) EXPECT_EQ(r.weights[i], i < 14 ? 0.0 : 1.0) << "case " << i + 1;
  EXPECT_EQ(r.str.nzwe, 61);
  for (long b : r.best) EXPECT_GT(b, 14);
  // Best known value -1.047858489 (divisor h - 1); this run reaches it.
  const double ld = subset_logdet(kHbk, 3, r.best);
  EXPECT_NEAR(ld, -1.047858489, 1e-8);
  EXPECT_NEAR(std::log(r.str.volm), ld, 1e-10);
  EXPECT_NEAR(r.str.cutof, std::sqrt(9.348403604), 1e-6);  // chi-square(3) 0.975 quantile
  EXPECT_TRUE(rec->outputs.empty());
  EXPECT_TRUE(rec->lines.empty());
  EXPECT_EQ(r.str.pcov, 0);
  EXPECT_EQ(r.str.pcor, 0);
}

TEST(Mcd, StackLossReachesTheGlobalOptimumForHalvesOfTwelve) {
  LMTSTR o = options();
  o.jqu = 12;
  const McdRun r = run_mcd(kStack, 21, 3, o);
  EXPECT_EQ(r.str.jqu, 12);
  EXPECT_NEAR(subset_logdet(kStack, 3, r.best), 5.472581043, 1e-8);
  EXPECT_EQ(r.best, (std::vector<long>{4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 20}));
}

// ---- brute force on small problems and invariants ------------------------------------------
TEST(Mcd, EnumerationMatchesBruteForceOnSmallProblems) {
  for (int p = 1; p <= 2; ++p)
    for (long n = p + 4; n <= 14; ++n)
      for (unsigned seed = 1; seed <= 4; ++seed) {
        SCOPED_TRACE("p " + std::to_string(p) + " n " + std::to_string(n) + " data " + std::to_string(seed));
        const std::vector<double> x = random_data(n, p, seed * 100 + static_cast<unsigned>(n), 4.0, n / 4);
        const McdRun r = run_mcd(x.data(), n, p, options());
        EXPECT_TRUE(p == 1 || r.str.algo == 0);  // n <= 22: all elemental subsets
        const double got = subset_logdet(x.data(), p, r.best), bf = brute_force(x.data(), n, p, r.str.jqu);
        EXPECT_GE(got, bf - 1e-12);
        EXPECT_LE(got, bf + 1e-10);
      }
}

// Subdatasets of small samples: the lists of the groups and the merged set (criteria, trials
// and counts, 30 doubles each) outgrow the 2n doubles of slack that larger samples leave in
// the work block. Each run ends at the brute-force optimum, serially and on two lanes.
TEST(Mcd, SmallSubdatasetsHaveRoomForTheirLists) {
  struct Case {
    long n, nsds, lsds;
  };
  for (const Case& c : {Case{10, 2, 5}, Case{12, 1, 6}, Case{12, 2, 6}, Case{20, 2, 10}}) {
    for (int threads : {1, 2}) {
      SCOPED_TRACE("n " + std::to_string(c.n) + " nsds " + std::to_string(c.nsds) + " lsds " +
                   std::to_string(c.lsds) + " threads " + std::to_string(threads));
      const std::vector<double> x = random_data(c.n, 2, 7, 4.0, 0);
      LMTSTR o = options();
      o.nsds = c.nsds;
      o.lsds = c.lsds;
      const McdRun r = run_mcd(x.data(), c.n, 2, o, 0, Lanes{threads});
      ASSERT_EQ(r.best.size(), static_cast<size_t>(r.str.jqu));
      const double got = subset_logdet(x.data(), 2, r.best), bf = brute_force(x.data(), c.n, 2, r.str.jqu);
      EXPECT_GE(got, bf - 1e-12);
      EXPECT_LE(got, bf + 1e-10);
    }
  }
}

// One C-step: the h cases (0-based, ascending) nearest to the mean and covariance of the
// cases idx.
std::vector<long> c_step(const double* x, long n, int p, const std::vector<long>& idx, long h) {
  std::vector<double> mu, cov, l, d(static_cast<size_t>(n), 0.0), y(static_cast<size_t>(p));
  moments(x, p, idx, &mu, &cov);
  if (!cholesky(cov, p, &l)) return {};
  for (long i = 0; i < n; ++i)
    for (int a = 0; a < p; ++a) {
      double s = x[i * p + a] - mu[a];
      for (int k = 0; k < a; ++k) s -= l[a * p + k] * y[k];
      y[a] = s / l[a * p + a];
      d[i] += y[a] * y[a];
    }
  std::vector<long> order(static_cast<size_t>(n));
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](long a, long b) { return d[a] < d[b]; });
  order.resize(static_cast<size_t>(h));
  std::sort(order.begin(), order.end());
  return order;
}

TEST(Mcd, BestHalfIsAFixedPointAndDeterminantMatchesIt) {
  for (auto [n, p] : {std::pair{40L, 2}, {200L, 4}, {700L, 3}}) {  // 700: subdatasets
    SCOPED_TRACE("n " + std::to_string(n));
    const std::vector<double> x = random_data(n, p, static_cast<unsigned>(n), 6.0, n / 5);
    const McdRun r = run_mcd(x.data(), n, p);
    ASSERT_TRUE(std::is_sorted(r.best.begin(), r.best.end()));
    // The reported determinant is that of the covariance of the returned subset.
    EXPECT_NEAR(std::log(r.str.volm), subset_logdet(x.data(), p, r.best), 1e-9);
    // One more C-step from the subset's mean and covariance returns the same subset.
    const std::vector<long> idx = zero_based(r.best);
    EXPECT_EQ(c_step(x.data(), n, p, idx, r.str.jqu), idx);
  }
}

// Opt 23: the final stage's C-steps run to a fixed point. Against the default run on the same
// data and seed: never a larger determinant (the converged stage repeats the default's starts
// and goes on from each), and one more C-step does not lower it. At n p > 10^6 the default
// takes one C-step and stops short of the fixed point.
TEST(Mcd, ConvergedFinalStageEndsAtAFixedPointNoWorseThanTheDefault) {
  struct Case {
    const char* name;
    long n;  // 0: the stack loss regressors, h = 12
    int p;
    const char* heading;  // of the final stage at print level 5, or null
  };
  const Case cases[] = {
      {"stack loss", 0, 3, "from 10 kept solutions with at most 1000 "},
      {"subdatasets", 700, 3, nullptr},
      {"n = 6000: eight starts", 6000, 4, "from 8 kept solutions with at most 1000 "},
      {"n p > 10^6: one start", 53000, 20, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const long n = c.n > 0 ? c.n : 21;
    const std::vector<double> x = c.n > 0 ? random_data(n, c.p, 5, 6.0, n / 5) : kStackX;
    LMTSTR o = options();
    o.jqu = c.n > 0 ? 0 : 12;
    const McdRun plain = run_mcd(x.data(), n, c.p, o);
    o.imve = 1;
    o.ipri = c.heading != nullptr ? 5 : 0;
    const McdRun refined = run_mcd(x.data(), n, c.p, o);
    if (c.heading != nullptr) {
      const std::string want =
          "549/492: The final stage searches all " + std::to_string(n) + " observations " + c.heading;
      EXPECT_TRUE(rec->logged(want)) << want;
    }
    EXPECT_LE(refined.str.volm, plain.str.volm);
    const double ld = subset_logdet(x.data(), c.p, refined.best);
    // The global optimum of the stack loss regressors by enumeration (data/README.md).
    if (c.n == 0) {
      EXPECT_NEAR(ld, 5.472581043, 1e-8);
    }
    const std::vector<long> next = c_step(x.data(), n, c.p, zero_based(refined.best), refined.str.jqu);
    std::vector<long> next1(next);
    for (long& i : next1) ++i;
    EXPECT_GE(subset_logdet(x.data(), c.p, next1), ld - 1e-10);
  }
}

TEST(Mcd, AffineEquivarianceWithTheSameDraws) {
  const long n = 60;
  const int p = 3;
  const std::vector<double> x = random_data(n, p, 9, 5.0, 12);
  const double A[9] = {2.0, 0.5, -1.0, 0.0, 3.0, 0.25, 1.0, -0.5, 0.75};
  const double shift[3] = {10.0, -4.0, 100.0};
  std::vector<double> y(x.size());
  for (long i = 0; i < n; ++i)
    for (int j = 0; j < p; ++j) {
      y[i * p + j] = shift[j];
      for (int k = 0; k < p; ++k) y[i * p + j] += x[i * p + k] * A[k * p + j];
    }
  LMTSTR o = options();
  o.seed = 12345;
  const McdRun rx = run_mcd(x.data(), n, p, o);
  const McdRun ry = run_mcd(y.data(), n, p, o);
  EXPECT_EQ(rx.best, ry.best);
  EXPECT_EQ(rx.weights, ry.weights);
  for (int i = 0; i < p; ++i) {
    double s = shift[i];
    for (int k = 0; k < p; ++k) s += rx.loc[k] * A[k * p + i];
    EXPECT_NEAR(ry.loc[i], s, 1e-9 * (1 + std::fabs(s)));
    for (int j = 0; j <= i; ++j) {  // A' S A
      s = 0;
      for (int a = 0; a < p; ++a)
        for (int b = 0; b < p; ++b) s += A[a * p + i] * rx.scatter[pk(a, b)] * A[b * p + j];
      EXPECT_NEAR(ry.scatter[pk(i, j)], s, 1e-9 * (1 + std::fabs(s)));
    }
  }
  for (long i = 0; i < n; ++i) EXPECT_NEAR(rx.robust[i], ry.robust[i], 1e-8 * (1 + rx.robust[i]));
}

// ---- exact fits ----------------------------------------------------------------------------
TEST(Mcd, ExactFitsEndWithTheHyperplane) {
  std::mt19937 gen(4);
  std::normal_distribution<double> z(0, 1);
  std::vector<double> line;  // 20 of 30 cases on x2 = 2 x1 + 1
  for (long i = 0; i < 30; ++i) {
    const double t = z(gen);
    line.push_back(i < 20 ? t : 3 * t);
    line.push_back(i < 20 ? 2 * t + 1 : 3 * z(gen) + 5);
  }
  std::vector<double> constant = random_data(25, 3, 8);  // x2 = 7.5 throughout
  for (long i = 0; i < 25; ++i) constant[i * 3 + 1] = 7.5;
  std::vector<double> mad = random_data(40, 2, 21);  // 25 of 40 share x1 = 3: zero MAD
  for (long i = 0; i < 25; ++i) mad[i * 2] = 3.0;
  struct Case {
    const char* name;
    const std::vector<double>& x;
    int p;
    long on;  // cases on the fit, first
    const char* message;
    const char* fit;
    const char* lie;
  };
  const char* kLine = "The MCD ellipse becomes the line of exact fit.";
  const char* kPlane = "The MCD ellipsoid becomes the plane of exact fit.";
  const Case cases[] = {
      {"20 of 30 on a line", line, 2, 20, nullptr, kLine, "20 of the 30 observations lie on a line."},
      {"constant variable", constant, 3, 25, "549/972", kPlane, "25 of the 25 observations lie on a plane."},
      {"zero MAD", mad, 2, 25, "549/974", kLine, nullptr},
  };
  std::vector<McdRun> runs;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LMTSTR o = options();
    o.ipri = o.pcov = 1;
    runs.push_back(run_mcd(c.x.data(), static_cast<long>(c.x.size()) / c.p, c.p, o));
    const McdRun& r = runs.back();
    EXPECT_TRUE(rec->unknown.empty());
    EXPECT_TRUE(!c.message || rec->logged(c.message));
    ASSERT_FALSE(rec->lines.empty());
    EXPECT_EQ(rec->lines.back(), c.fit);
    EXPECT_TRUE(!c.lie || std::find(rec->lines.begin(), rec->lines.end(), c.lie) != rec->lines.end());
    for (long i = 0; i < c.on; ++i) EXPECT_EQ(r.weights[i], 1.0);
  }
  // The line's estimate is the mean and covariance of its 20 cases, without robust distances.
  std::vector<long> on_line(20);
  std::iota(on_line.begin(), on_line.end(), 0);
  std::vector<double> mu, cov;
  moments(line.data(), 2, on_line, &mu, &cov);
  for (int j = 0; j < 2; ++j) EXPECT_NEAR(runs[0].loc[j], mu[j], 1e-12);
  for (int e = 0; e < 3; ++e) EXPECT_NEAR(runs[0].scatter[e], cov[e], 1e-12);
  EXPECT_EQ(runs[0].str.volm, 0.0);
  for (double d : runs[0].robust) EXPECT_TRUE(wzmis(d));
  EXPECT_EQ(runs[1].loc[1], 7.5);
  EXPECT_EQ(runs[1].str.nzwe, 25);
  for (double d : runs[1].maha) EXPECT_TRUE(wzmis(d));
  EXPECT_EQ(runs[2].loc[0], 3.0);
}

TEST(Mcd, HEqualToNIsTheClassicalEstimate) {
  // n = p + 1: the default h is n, and the only h-subset is the whole data set.
  const double x[6] = {1, 2, 4, 3, 0, 7};
  LMTSTR o = options(1);
  const McdRun r = run_mcd(x, 3, 2, o);
  EXPECT_EQ(r.str.jqu, 3);
  EXPECT_TRUE(rec->logged("549/971"));
  EXPECT_EQ(r.best, (std::vector<long>{1, 2, 3}));
  EXPECT_NEAR(std::log(r.str.volm), subset_logdet(x, 2, r.best), 1e-12);
  EXPECT_EQ(r.str.fact, 1.0);
}

TEST(Mcd, UnivariateRunMatchesMcduni) {
  const long n = 31;
  const std::vector<double> x = random_data(n, 1, 17, 8.0, 6);
  const McdRun r = run_mcd(x.data(), n, 1, options());
  const long h = r.str.jqu;
  EXPECT_EQ(h, 16);
  std::vector<double> s = x;
  std::sort(s.begin(), s.end());
  double loc = 0, scale = 0;
  const long ws = best_window(s.data(), n, h, r.str.fact, &loc, &scale);
  // The reweighted estimate keeps the cases within sqrt(chi2_1(0.975)) scales of the window's
  // mean; the best half is the best window.
  long kept = 0;
  double mean = 0;
  std::vector<long> window;
  for (long i = 0; i < n; ++i) {
    if ((x[i] - loc) * (x[i] - loc) / (scale * scale) <= 5.023886187) {
      ++kept;
      mean += x[i];
    }
    if (x[i] >= s[ws] && x[i] <= s[ws + h - 1]) window.push_back(i + 1);
  }
  EXPECT_EQ(r.str.nzwe, kept);
  EXPECT_NEAR(r.loc[0], mean / static_cast<double>(kept), 1e-12);
  for (long i = 0; i < 6; ++i) EXPECT_EQ(r.weights[i], 0.0);
  EXPECT_EQ(r.best, window);
}

TEST(Mcd, DiscreteDataGrowSingularStartsAndKeepDegenerateSolutions) {
  // Values on a coarse grid make many elemental subsets and some halves singular without an
  // exact fit: starts grow by prdraw, degenerate halves are listed with their counts.
  for (auto [n, p] : {std::pair{200L, 3}, {900L, 3}, {400L, 4}}) {  // one set, subdatasets, p = 4
    SCOPED_TRACE("n " + std::to_string(n));
    std::mt19937 gen(91);
    std::uniform_int_distribution<int> lv(0, p - 1);
    std::vector<double> x(static_cast<size_t>(n * p));
    for (double& v : x) v = lv(gen);
    LMTSTR o = options(5);
    const McdRun r = run_mcd(x.data(), n, p, o);
    EXPECT_GT(r.str.jerd, 0);
    EXPECT_TRUE(rec->unknown.empty());
    EXPECT_EQ(std::count(r.weights.begin(), r.weights.end(), 1.0), r.str.nzwe);
  }
}

TEST(Mcd, DegenerateHalvesOfASubdatasetAreListedWithTheirCounts) {
  // 1490 of 3000 cases on a line: fewer than h = 1501, so no exact fit, but a random
  // subdataset of 300 often holds more than its h1 = 150 of them, and its halves collapse
  // onto the line: such a solution is listed with the number of its stage's cases on it.
  const long n = 3000;
  std::vector<double> x = random_data(n, 2, 101);
  for (long i = 0; i < 1490; ++i) x[2 * i + 1] = 0.5 * x[2 * i] - 1.0;
  LMTSTR o = options(5);
  const McdRun r = run_mcd(x.data(), n, 2, o);
  EXPECT_EQ(r.str.jqu, 1501);
  ASSERT_FALSE(rec->on_plane.empty());
  const double most = *std::max_element(rec->on_plane.begin(), rec->on_plane.end());
  EXPECT_GE(most, 150.0);
  EXPECT_LE(most, 300.0);
  EXPECT_GT(r.str.volm, 0.0);  // the raw MCD itself is regular
}

// ---- schemes and arguments -----------------------------------------------------------------
TEST(Mcd, SchemeBoundaries) {
  // n, lsds, nrep and the start of the scheme note: around 2 lsds, nsds lsds, C(n, 3) and 22.
  const std::tuple<long, int, long, const char*> cases[] = {
      {59, 30, 0, "The program has drawn 500 random trial subsamples of 3 cases out of 59"},
      {60, 30, 0, "The program has started by randomly dividing the 60 cases into 2"},
      {170, 30, 0, "The program has started by drawing 5 random and nonoverlapping"},
      {22, 300, 0, "All 1540 trial subsamples of 3 out of 22"},
      {23, 300, 0, "The program has drawn 500 random trial subsamples of 3 cases out of 23"},
      {12, 300, 1000, "All 220 trial subsamples of 3 out of 12"},
      {12, 300, 100, "The program has drawn 100 random trial subsamples"},
  };
  for (auto [n, lsds, nrep, note] : cases) {
    SCOPED_TRACE(note);
    const std::vector<double> x = random_data(n, 2, 31, 5.0, n / 6);
    LMTSTR o = options();
    o.lsds = lsds;
    o.nrep = nrep;
    o.ipri = 5;
    const McdRun r = run_mcd(x.data(), n, 2, o);
    EXPECT_TRUE(rec->logged(note));
    EXPECT_TRUE(rec->unknown.empty());
  }
}

TEST(Mcd, FinalStageStartsOnceBeyondFiveThousandCases) {
  for (long n : {5000L, 5001L}) {
    SCOPED_TRACE(n);
    const std::vector<double> x = random_data(n, 2, 41, 6.0, n / 10);
    LMTSTR o = options(5);
    const McdRun r = run_mcd(x.data(), n, 2, o);
    const std::string want = "549/492: The final stage searches all " + std::to_string(n) +
                             " observations from " + (n > 5000 ? "1" : "10") + " kept solutions";
    EXPECT_TRUE(rec->logged(want)) << want;
    for (long i = 0; i < n / 10; ++i) ASSERT_EQ(r.weights[i], 0.0);
  }
}

TEST(Mcd, SameSeedSameResultForBothGenerators) {
  const std::vector<double> x = random_data(900, 3, 51, 4.0, 150);
  for (int copr = 0; copr <= 1; ++copr) {
    SCOPED_TRACE(copr);
    LMTSTR o = options();
    o.copr = copr;
    o.seed = 777;
    const McdRun a = run_mcd(x.data(), 900, 3, o);
    const McdRun b = run_mcd(x.data(), 900, 3, o);
    EXPECT_EQ(a.best, b.best);
    EXPECT_EQ(a.loc, b.loc);
    EXPECT_EQ(a.scatter, b.scatter);
    EXPECT_EQ(a.str.jlp, b.str.jlp);
    EXPECT_EQ(a.str.volm, b.str.volm);
    for (long i = 0; i < 150; ++i) EXPECT_EQ(a.weights[i], 0.0);
  }
}

// ---- worker threads --------------------------------------------------------------------------
TEST(Mcd, WorkerThreadsGiveTheSerialResultsBitForBit) {
  // Data on which starts take every path: plain ones; singular elemental subsets grown from
  // the generator (a coarse grid); halves of a subdataset collapsing onto a line, whose
  // C-steps the lanes leave to the serial path (1490 of 3000 on a line, no exact fit); an
  // exact fit found by a start of the first stage, which ends the search (1400 of 2000).
  std::vector<double> grid(900 * 3);
  std::mt19937 gen(91);
  std::uniform_int_distribution<int> level(0, 2);
  for (double& v : grid) v = level(gen);
  std::vector<double> halves = random_data(3000, 2, 101);
  for (long i = 0; i < 1499; ++i) halves[2 * i + 1] = 0.5 * halves[2 * i] - 1.0;
  std::vector<double> exact = random_data(2000, 3, 7);
  for (long i = 0; i < 1100; ++i) exact[3 * i + 2] = exact[3 * i] - 2.0 * exact[3 * i + 1];
  const std::vector<double> bench = random_data(2000, 5, 61, 5.0, 400);
  struct Case {
    const char* name;
    const std::vector<double>& x;
    int p;
    int imve;
    int copr;
  };
  const Case cases[] = {
      {"n = 2000, p = 5", bench, 5, 0, 0},
      {"n = 2000, p = 5, converged final stage", bench, 5, kImveConverge, 0},
      {"n = 2000, p = 5, host-wide generator", bench, 5, 0, 1},
      {"coarse grid", grid, 3, 0, 0},
      {"halves on a line", halves, 2, 0, 0},
      {"exact fit", exact, 3, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const long n = static_cast<long>(c.x.size()) / c.p;
    LMTSTR o = options(5);
    o.pcov = 1;
    o.imve = c.imve;
    o.copr = c.copr;
    o.seed = 33;
    const McdRun serial = run_mcd(c.x.data(), n, c.p, o);
    const std::vector<std::string> lines = rec->lines;
    const std::vector<std::string> log = rec->host->log;
    for (Lanes lanes : {Lanes{2}, Lanes{4}, Lanes{2, 0, true}}) {
      SCOPED_TRACE(std::to_string(lanes.threads) + (lanes.refused ? " lanes, no pool" : " lanes"));
      const McdRun r = run_mcd(c.x.data(), n, c.p, o, 0, lanes);
      EXPECT_GT(rec->extloads, 0);
      EXPECT_EQ(rec->foreign_calls(), 0);
      EXPECT_EQ(bits(r.loc), bits(serial.loc));
      EXPECT_EQ(bits(r.scatter), bits(serial.scatter));
      EXPECT_EQ(bits(r.eigen), bits(serial.eigen));
      EXPECT_EQ(bits(r.maha), bits(serial.maha));
      EXPECT_EQ(bits(r.robust), bits(serial.robust));
      EXPECT_EQ(bits(r.weights), bits(serial.weights));
      EXPECT_EQ(r.best, serial.best);
      EXPECT_EQ(bits({r.str.volm, r.str.dism}), bits({serial.str.volm, serial.str.dism}));
      EXPECT_EQ(r.str.jlp, serial.str.jlp);
      EXPECT_EQ(r.str.jerd, serial.str.jerd);
      // The lists of every group, the merged set's, the counts of starts and C-steps.
      EXPECT_EQ(rec->lines, lines);
      EXPECT_EQ(rec->host->log, log);
    }
  }
}

TEST(Mcd, LaneWorkSpaceIsExactlyWhatTheLanesTake) {
  // One double short, the search runs on the calling thread alone, with the same results.
  const std::vector<double> x = random_data(1000, 4, 63, 5.0, 200);
  const McdRun serial = run_mcd(x.data(), 1000, 4, options());
  for (long short_by : {0L, 1L}) {
    SCOPED_TRACE(short_by);
    const McdRun r = run_mcd(x.data(), 1000, 4, options(), 0, Lanes{3, short_by});
    EXPECT_EQ(rec->extloads > 0, short_by == 0);
    EXPECT_EQ(r.best, serial.best);
    EXPECT_EQ(r.scatter, serial.scatter);
  }
}

TEST(Mcd, HIsClampedAndArgumentsChecked) {
  const std::vector<double> x = random_data(8, 2, 61);
  LMTSTR o = options();
  o.jqu = 7;  // upper bound 3n/4 + (p+1)/4 = 6: clamped, with message 951
  EXPECT_EQ(run_mcd(x.data(), 8, 2, o).str.jqu, 6);
  EXPECT_TRUE(rec->logged("549/951: The value of h must lie between 5 and 6"));
  o.jqu = 2;
  EXPECT_EQ(run_mcd(x.data(), 8, 2, o).str.jqu, 5);
  run_mcd(x.data(), 2, 2, options(), -1);  // n <= p
  EXPECT_TRUE(rec->logged("549/953"));
  o = options();
  o.lneed = 2 * 75 + 40;  // jbst and 40 integers: not even the selection permutation fits
  EXPECT_THROW(run_mcd(kHbk, 75, 3, o), testing::FakeExit);
  EXPECT_EQ(rec->host->exit_code, 9999);
}

// ---- printed output ------------------------------------------------------------------------
TEST(Mcd, PrintLevelFiveWritesEveryTableWithCataloguedTexts) {
  const std::vector<double> x = random_data(700, 3, 71, 5.0, 100);
  LMTSTR o = options(5);
  o.pcor = o.ocor = 1;
  const McdRun r = run_mcd(x.data(), 700, 3, o);
  EXPECT_TRUE(rec->unknown.empty());
  std::istringstream names(
      "FastMCD ClassicalMean ClassicalCov MedianMAD ClassicalCorr SizeSubData MeanSubData CovSubData "
      "ObsLieSubData BestHalf MCDLocEst MCDScatterEst MCDCorr ConsScatter RewgtLocEst RewgtScatter MCDEigen "
      "RewgtCorr Distances");
  for (std::string name; names >> name;)
    EXPECT_NE(std::find(rec->outputs.begin(), rec->outputs.end(), name), rec->outputs.end()) << name;
  EXPECT_TRUE(rec->logged("549/970"));
  EXPECT_TRUE(rec->logged("Considered 'halves' containing 50.2857 percent of the cases."));
  // The returned correlations are those of the returned scatter; its eigenvalues descend and
  // sum to its trace.
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j <= i; ++j)
      EXPECT_NEAR(
          r.cor[pk(i, j)], r.scatter[pk(i, j)] / std::sqrt(r.scatter[pk(i, i)] * r.scatter[pk(j, j)]), 1e-14);
  EXPECT_GE(r.eigen[0], r.eigen[1]);
  EXPECT_GE(r.eigen[1], r.eigen[2]);
  EXPECT_NEAR(r.eigen[0] + r.eigen[1] + r.eigen[2], r.scatter[0] + r.scatter[2] + r.scatter[5], 1e-10);
}

}  // namespace
}  // namespace robmat
