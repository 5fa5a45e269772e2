// Sweep operator and worker pool: sweeping twice restores, a full sweep inverts, the rank of
// a cross-product matrix with identical columns, serial and threaded steps agree, and the
// pool's failures. The recording host supplies the host's own sweep, memory pools, worker
// pool extension and events.
#include "kernels/sweep.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cfloat>
#include <cmath>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "robmat/services.h"
#include "services/sweep_step.h"
#include "services/thread_pool.h"
#include "support/matrices.h"
#include "support/recording_host.h"

namespace robmat {
namespace {

using testing::FakeExit;
using testing::Mat;
using testing::pk;

Mat packed_with(const std::vector<double>& lambda, unsigned seed) {
  std::mt19937_64 gen(seed);
  return testing::pack(testing::with_eigenvalues(gen, lambda), static_cast<long>(lambda.size()));
}

// Symmetric and strictly diagonally dominant, so every pivot stays well away from zero; O(n^2).
Mat dominant(long n, unsigned seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> u(-1, 1);
  Mat a(static_cast<size_t>(n * (n + 1) / 2));
  for (long i = 0; i < n; ++i)
    for (long j = 0; j <= i; ++j) a[pk(i, j)] = u(rng) + (i == j ? static_cast<double>(n) : 0.0);
  return a;
}

double max_abs(const Mat& a) {
  double m = 0;
  for (double v : a) m = std::max(m, std::fabs(v));
  return m;
}

// zsweepr on pivots k0..kn of x, of order df.size().
int sweep(Mat& x,
          int k0,
          int kn,
          std::string& df,
          double eps,
          std::string options = "",
          double* logdet = nullptr,
          double* diag = nullptr,
          SweepControl* control = nullptr,
          int threads = 0) {
  std::vector<double> work(df.size());
  const int n = static_cast<int>(df.size());
  return zsweepr(
      x.data(), k0, kn, n, df.data(), diag, work.data(), eps, logdet, options.data(), control, threads);
}

TEST(Sweep, SweepingTwiceRestores) {
  struct Case {
    std::vector<double> lambda;
    int k;
    double cond;
  };
  const Case cases[] = {{{2.5}, 0, 1},
                        {{4, 3, 2, 1}, 0, 4},
                        {{4, 3, 2, 1}, 3, 4},
                        {{5, -2, 1, -1, 3}, 2, 5},
                        {{1, 1e-3, 1e-6, 1e-9}, 1, 1e9}};
  testing::install_recording_host();
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.lambda) + " k " + std::to_string(c.k));
    const long n = static_cast<long>(c.lambda.size());
    const Mat a = packed_with(c.lambda, 17);
    Mat x = a;
    std::string df(static_cast<size_t>(n), '0');
    std::vector<double> work(static_cast<size_t>(n));
    zsweep(x.data(), c.k, static_cast<int32_t>(n), df.data(), work.data(), 0.0);
    EXPECT_EQ(df[c.k], '1');
    zsweep(x.data(), c.k, static_cast<int32_t>(n), df.data(), work.data(), 0.0);
    EXPECT_EQ(df, std::string(static_cast<size_t>(n), '0'));
    double err = 0;
    for (size_t i = 0; i < x.size(); ++i) err = std::max(err, std::fabs(x[i] - a[i]));
    // The pivot's own inverse enters twice, so errors grow with the condition number.
    EXPECT_LT(err / (max_abs(a) * c.cond * n * DBL_EPSILON), 30);
  }
}

TEST(Sweep, FullSweepInvertsAndGivesLogDeterminant) {
  testing::install_recording_host();
  for (const std::vector<double>& lambda :
       std::vector<std::vector<double>>{{2}, {3, 1}, {10, 5, 1, 0.5, 0.1}, {1, 1, 1, 1}}) {
    SCOPED_TRACE(lambda.size());
    const long n = static_cast<long>(lambda.size());
    const Mat a = packed_with(lambda, 23);
    Mat x = a;
    std::string df(static_cast<size_t>(n), '0');
    double logdet = 99, want = 0;
    EXPECT_EQ(sweep(x, 0, static_cast<int>(n) - 1, df, 1e-12, "0", &logdet), n);
    for (double l : lambda) want += std::log(l);
    const double cond = lambda.front() / lambda.back();
    EXPECT_NEAR(logdet, want, 30 * n * DBL_EPSILON * (1 + std::fabs(want)) * cond);
    for (long i = 0; i < n; ++i)
      for (long j = 0; j < n; ++j) {
        double s = 0;
        for (long k = 0; k < n; ++k) s += a[pk(i, k)] * x[pk(k, j)];
        EXPECT_NEAR(s, i == j ? 1.0 : 0.0, 30 * n * DBL_EPSILON * cond) << i << "," << j;
      }
  }
}

TEST(Sweep, RankWithIdenticalColumns) {
  testing::install_recording_host();
  std::mt19937_64 rng(3);
  std::normal_distribution<double> g;
  for (auto [p, from, to] : {std::tuple{3L, 0L, 1L}, {4L, 0L, 3L}, {5L, 2L, 4L}, {2L, 0L, 1L}}) {
    SCOPED_TRACE("p " + std::to_string(p) + ": column " + std::to_string(to) + " repeats " +
                 std::to_string(from));
    const long rows = 20;
    std::vector<double> data(static_cast<size_t>(rows * p));
    for (double& v : data) v = g(rng);
    for (long i = 0; i < rows; ++i) data[i * p + to] = data[i * p + from];
    Mat x(static_cast<size_t>(p * (p + 1) / 2));
    for (long i = 0; i < p; ++i)
      for (long j = 0; j <= i; ++j)
        for (long r = 0; r < rows; ++r) x[pk(i, j)] += data[r * p + i] * data[r * p + j];
    std::string df(static_cast<size_t>(p), '1');
    std::vector<double> diag(static_cast<size_t>(p));
    EXPECT_EQ(sweep(x, 0, static_cast<int>(p) - 1, df, 1e-9, "zd0", nullptr, diag.data()), p - 1);
    for (long j = 0; j < p; ++j) {
      EXPECT_EQ(df[j], j == to ? '0' : '1');
      EXPECT_EQ(x[pk(to, j)], 0.0) << "j=" << j;
    }
  }
}

TEST(Sweep, NothingToSweepAndDiagonalOptions) {
  testing::install_recording_host();
  const Mat a = packed_with({3, 2, 1}, 5);
  // An empty range; thresholds above every pivot, or above every |pivot| when negative.
  for (auto [k0, kn, eps] : {std::tuple{2, 1, 0.0}, {0, 2, 1e6}, {0, 2, -1e6}}) {
    SCOPED_TRACE(eps);
    Mat x = a;
    std::string df = "000";
    double logdet = 5;
    EXPECT_EQ(sweep(x, k0, kn, df, eps, "", &logdet), 0);
    EXPECT_EQ(x, a);
    EXPECT_EQ(df, "000");
  }
  Mat x{4, 0.5, 1e-17, 0, 0, -2};
  std::string df = "000";
  std::vector<double> diag(3);
  sweep(x, 1, 0, df, 0, "d", nullptr, diag.data());  // fill
  EXPECT_EQ(diag, (std::vector<double>{4, 1e-17, -2}));
  sweep(x, 1, 0, df, 0, "df", nullptr, diag.data());  // and flush below 2^-53
  EXPECT_EQ(diag, (std::vector<double>{4, 0, -2}));
}

TEST(Sweep, SerialAndThreadedAgree) {
  testing::Recording& rec = testing::install_recording_host();
  for (auto [n, pivots] : {std::pair{251, 251}, {600, 60}, {2000, 6}}) {
    const Mat a = dominant(n, 41);
    Mat serial = a;
    std::string df_serial(static_cast<size_t>(n), '0');
    ASSERT_EQ(sweep(serial, 0, pivots - 1, df_serial, 1e-10), pivots);
    for (int threads : {1, 2, 4}) {
      SCOPED_TRACE("n=" + std::to_string(n) + " threads=" + std::to_string(threads));
      Mat x = a;
      std::string df(static_cast<size_t>(n), '0');
      SweepControl control{};
      ASSERT_EQ(zpsweepi(threads, n, 0, 1, &control), 0);
      ASSERT_EQ(control.noThreadsFlag, 0);
      EXPECT_EQ(control.parms[0].start, 0);  // row blocks that tile 0..n
      EXPECT_EQ(control.parms[threads - 1].end, n);
      for (int t = 1; t < threads; ++t) EXPECT_EQ(control.parms[t].start, control.parms[t - 1].end);
      EXPECT_EQ(sweep(x, 0, pivots - 1, df, 1e-10, "", nullptr, nullptr, &control), pivots);
      zpsweept(&control);
      EXPECT_EQ(df, df_serial);
      double err = 0;
      for (size_t i = 0; i < x.size(); ++i) err = std::max(err, std::fabs(x[i] - serial[i]));
      EXPECT_LE(err, 1e-12 * max_abs(serial));
    }
  }
  EXPECT_TRUE(rec.pools.empty());
}

TEST(Sweep, ThreadCountChoice) {
  // n, threads asked (negative: the host's cpu count), cpu count, extension loads expected.
  const std::tuple<int, int, int, int> cases[] = {
      {300, 0, 4, 0}, {300, 1, 4, 0}, {300, 2, 1, 1}, {300, -1, 3, 1}, {300, -1, 1, 0}, {250, 4, 4, 0}};
  for (auto [n, threads, cpus, loads] : cases) {
    SCOPED_TRACE(::testing::PrintToString(std::tuple{n, threads, cpus}));
    testing::Recording& rec = testing::install_recording_host();
    rec.cpucount = cpus;
    const Mat a = dominant(n, 9);
    Mat x = a, serial = a;
    std::string df(static_cast<size_t>(n), '0'), df_serial = df;
    sweep(serial, 0, 4, df_serial, 0);
    EXPECT_EQ(sweep(x, 0, 4, df, 0, "", nullptr, nullptr, nullptr, threads), 5);
    EXPECT_EQ(rec.extloads, loads);
    EXPECT_EQ(x, serial);
    EXPECT_TRUE(rec.pools.empty()) << "control block not released";
  }
}

TEST(Sweep, ControlBlockStepsToleranceAndInvalidPivot) {
  testing::Recording& rec = testing::install_recording_host();
  SweepControl control{};
  EXPECT_EQ(zpsweepi(8, 2, 0, 0, &control), 0);  // below the cutoff of 250 rows: serial
  EXPECT_EQ(control.noThreadsFlag, 1);
  EXPECT_EQ(rec.extloads, 0);
  Mat y = packed_with({2, 1}, 1), before = y;
  std::string df = "00";
  zpsweep(y.data(), 1, df.data(), 0.0, &control);
  zpsweep(y.data(), 1, df.data(), 0.0, &control);
  for (size_t i = 0; i < y.size(); ++i) EXPECT_NEAR(y[i], before[i], 30 * DBL_EPSILON * 2);
  zpsweept(&control);
  EXPECT_TRUE(rec.pools.empty());
  ASSERT_EQ(zpsweepi(2, 3, 0, 1, &control), 0);
  Mat x{1e-3, 0.5, -2, 0, 0.25, 3};
  before = x;
  df = "000";
  zpsweep(x.data(), 0, df.data(), 1e-2, &control);  // 1e-3 <= 1e-2: no step
  zpsweep(x.data(), 1, df.data(), 0.0, &control);   // -2 <= 0: no step
  EXPECT_EQ(x, before);
  EXPECT_EQ(df, "000");
  zpsweep(x.data(), 1, df.data(), -1.0, &control);  // |-2| > 1: swept
  EXPECT_EQ(df, "010");
  EXPECT_EQ(x[pk(1, 1)], -0.5);
  EXPECT_THROW(zpsweep(x.data(), 3, df.data(), 0.0, &control), FakeExit);
  EXPECT_EQ(rec.host->exit_code, 9999);
  EXPECT_EQ(rec.host->log.back(), "debug: sweep: invalid k: 3");
  zpsweept(&control);
  std::vector<double> work(3);
  EXPECT_FALSE(host::host_zsweep(x.data(), -1, 3, df.data(), work.data(), 0.0));
  EXPECT_FALSE(host::host_zsweep(x.data(), 3, 3, df.data(), work.data(), 0.0));
}

TEST(Pool, CreationFailures) {
  // Extension missing or pool refused; flags 1 makes either fatal with its log line.
  const std::tuple<bool, int, int, const char*> cases[] = {
      {true, 0, 1, nullptr},
      {false, 0, 2, nullptr},
      {true, 1, 0, "debug: rzExtensionLoad failed in zpudi"},
      {false, 1, 0, "debug: tpdlCreate failed in zpudi"}};
  for (auto [missing, flags, rc, log] : cases) {
    SCOPED_TRACE(::testing::PrintToString(std::tuple{missing, flags}));
    testing::Recording& rec = testing::install_recording_host();
    rec.ext_missing = missing;
    rec.pool_refused = !missing;
    PuddleControl control{};
    if (log == nullptr) {
      EXPECT_EQ(zpudi(&control, 2, flags, sweepcb), rc);
      EXPECT_EQ(control.puddle, nullptr);
      EXPECT_EQ(control.extHandle, nullptr);
    } else {
      EXPECT_THROW(zpudi(&control, 2, flags, sweepcb), FakeExit);
      EXPECT_EQ(rec.host->exit_code, 1012);
      ASSERT_FALSE(rec.host->log.empty());
      EXPECT_EQ(rec.host->log.back(), log);
    }
  }
}

void count_request(void*, void* request, void*, TPDLCallBacks*) {
  ++*static_cast<std::atomic<int>*>(request);
}

TEST(Pool, RunsEveryRequestBeforeTheWaitReturns) {
  testing::install_recording_host();
  PuddleControl control{};
  ASSERT_EQ(zpudi(&control, 3, 1, count_request), 0);
  std::atomic<int> counter{0};
  for (int round = 1; round <= 20; ++round) {
    for (int i = 0; i < 7; ++i) zpudenq(&control, &counter);
    zpudwt(&control);
    ASSERT_EQ(counter.load(), 7 * round);
  }
  zpudwt(&control);  // an idle pool posts at once
  zpudt(&control);
  EXPECT_EQ(control.puddle, nullptr);
}

TEST(HostEvents, PostWaitPoll) {
  void* e = host::host_wtevcreate();
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(host::host_wtpoll(e), 0);
  std::thread poster([e] { host::host_wtforev(e); });
  EXPECT_EQ(host::host_wtgwait(e), 0);
  poster.join();
  EXPECT_EQ(host::host_wtpoll(e), 1);
  host::host_wtevfree(e);
  EXPECT_EQ(host::host_rzextload("other"), nullptr);
  EXPECT_EQ(host::host_wtforev(nullptr), 1);
}

}  // namespace
}  // namespace robmat
