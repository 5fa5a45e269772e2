// Sweep operator and worker pool: sweeping twice restores, a full sweep inverts, the rank of
// a cross-product matrix with identical columns, serial and threaded steps agree, and the
// pool's failures. The fake host's sweep, configuration, memory pools, extension and events
// are the host's own implementations (host/services), installed into the service vectors.
#include "kernels/sweep.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cfloat>
#include <cmath>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "robmat/services.h"
#include "services/sweep_step.h"
#include "services/thread_pool.h"
#include "support/fake_host.h"

namespace robmat {
namespace {

using testing::FakeExit;

// ---- host services for this test -------------------------------------------------------
struct Services {
  int64_t cpucount = 2;
  int extloads = 0;
  bool ext_missing = false;
  bool pool_refused = false;
  std::map<void*, std::vector<std::unique_ptr<char[]>>> pools;
};
Services g_svc;

void t_zsweep(double* x, int32_t k, int32_t n, char* df, double* work, double tol) {
  if (!host::host_zsweep(x, k, n, df, work, tol)) {
    xpslog("%1z sweep: invalid k: %i", k);
    xexit(9999, 0);
  }
}
int32_t t_xcfgint(const char* key, int64_t* value) {
  if (std::string(key) != "host.cpucount") return 1;
  *value = g_svc.cpucount;
  return 0;
}
void* t_xmpoolc(int64_t) {
  auto* key = new char;
  g_svc.pools[key];
  return key;
}
void* t_xmpalloc(void* pool, int64_t bytes) {
  auto& blocks = g_svc.pools.at(pool);
  blocks.push_back(std::make_unique<char[]>(static_cast<size_t>(bytes)));
  return blocks.back().get();
}
void t_xmpoold(void* pool) {
  g_svc.pools.erase(pool);
  delete static_cast<char*>(pool);
}
Puddle* refuse_pool(const TPDLCreateParms*) { return nullptr; }
const RzThreadExtension kRefusing{refuse_pool};
void* t_rzextload(const char* name) {
  ++g_svc.extloads;
  if (g_svc.ext_missing) return nullptr;
  if (g_svc.pool_refused) return const_cast<RzThreadExtension*>(&kRefusing);
  return host::host_rzextload(name);
}

testing::FakeHost& install() {
  testing::FakeHost& fake = testing::install_fake_host();
  auto* sys = const_cast<RzSysVector*>(static_cast<const RzSysVector*>(v_global_gcb_anchor->vec[kVecSys]));
  sys->zsweep = t_zsweep;
  sys->xcfgint = t_xcfgint;
  sys->xmpoolc = t_xmpoolc;
  sys->xmpalloc = t_xmpalloc;
  sys->xmpoold = t_xmpoold;
  auto* thr = const_cast<RzThrVector*>(static_cast<const RzThrVector*>(v_global_gcb_anchor->vec[kVecThr]));
  *thr = RzThrVector{t_rzextload,
                     host::host_rzextunload,
                     host::host_wtevcreate,
                     host::host_wtevfree,
                     host::host_wtforev,
                     host::host_wtgwait,
                     host::host_wtpoll};
  g_svc.cpucount = 2;
  g_svc.extloads = 0;
  g_svc.ext_missing = false;
  g_svc.pool_refused = false;
  return fake;
}

// ---- matrices ----------------------------------------------------------------------------
using Packed = std::vector<double>;
inline size_t at(long i, long j) {
  return static_cast<size_t>(i > j ? i * (i + 1) / 2 + j : j * (j + 1) / 2 + i);
}

// Packed A = Q diag(lambda) Q' with Q orthogonal (Gram-Schmidt on Gaussian columns).
Packed from_eigenvalues(const std::vector<double>& lambda, unsigned seed) {
  const long n = static_cast<long>(lambda.size());
  std::mt19937_64 rng(seed);
  std::normal_distribution<double> g;
  std::vector<double> q(static_cast<size_t>(n * n));
  for (double& v : q) v = g(rng);
  for (int pass = 0; pass < 2; ++pass)
    for (long j = 0; j < n; ++j) {
      for (long k = 0; k < j; ++k) {
        double dot = 0;
        for (long i = 0; i < n; ++i) dot += q[i * n + j] * q[i * n + k];
        for (long i = 0; i < n; ++i) q[i * n + j] -= dot * q[i * n + k];
      }
      double norm = 0;
      for (long i = 0; i < n; ++i) norm += q[i * n + j] * q[i * n + j];
      for (long i = 0; i < n; ++i) q[i * n + j] /= std::sqrt(norm);
    }
  Packed a(static_cast<size_t>(n * (n + 1) / 2));
  for (long i = 0; i < n; ++i)
    for (long j = 0; j <= i; ++j) {
      double s = 0;
      for (long k = 0; k < n; ++k) s += q[i * n + k] * lambda[k] * q[j * n + k];
      a[at(i, j)] = s;
    }
  return a;
}

// Symmetric and strictly diagonally dominant, so every pivot stays well away from zero; O(n^2).
Packed dominant(long n, unsigned seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> u(-1, 1);
  Packed a(static_cast<size_t>(n * (n + 1) / 2));
  for (long i = 0; i < n; ++i)
    for (long j = 0; j <= i; ++j) a[at(i, j)] = i == j ? static_cast<double>(n) + u(rng) : u(rng);
  return a;
}

double max_abs(const Packed& a) {
  double m = 0;
  for (double v : a) m = std::max(m, std::fabs(v));
  return m;
}

// ---- tests -------------------------------------------------------------------------------
TEST(Sweep, SweepingTwiceRestores) {
  struct Case {
    std::string name;
    std::vector<double> lambda;
    int k;
    double cond;
  };
  const std::vector<Case> cases{
      {"n=1", {2.5}, 0, 1},
      {"well conditioned, first pivot", {4, 3, 2, 1}, 0, 4},
      {"well conditioned, last pivot", {4, 3, 2, 1}, 3, 4},
      {"indefinite, middle pivot", {5, -2, 1, -1, 3}, 2, 5},
      {"ill conditioned", {1, 1e-3, 1e-6, 1e-9}, 1, 1e9},
  };
  install();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const long n = static_cast<long>(c.lambda.size());
    const Packed a = from_eigenvalues(c.lambda, 17);
    Packed x = a;
    std::string df(static_cast<size_t>(n), '0');
    std::vector<double> work(static_cast<size_t>(n));
    zsweep(x.data(), c.k, static_cast<int32_t>(n), df.data(), work.data(), 0.0);
    EXPECT_EQ(df[static_cast<size_t>(c.k)], '1');
    zsweep(x.data(), c.k, static_cast<int32_t>(n), df.data(), work.data(), 0.0);
    EXPECT_EQ(df, std::string(static_cast<size_t>(n), '0'));
    double err = 0;
    for (size_t i = 0; i < x.size(); ++i) err = std::max(err, std::fabs(x[i] - a[i]));
    // The pivot's own inverse enters twice, so errors grow with the condition number.
    EXPECT_LT(err / (max_abs(a) * c.cond * n * DBL_EPSILON), 30);
  }
}

TEST(Sweep, FullSweepInvertsAndGivesLogDeterminant) {
  const std::vector<std::vector<double>> spectra{{2}, {3, 1}, {10, 5, 1, 0.5, 0.1}, {1, 1, 1, 1}};
  install();
  for (const auto& lambda : spectra) {
    SCOPED_TRACE(lambda.size());
    const long n = static_cast<long>(lambda.size());
    const Packed a = from_eigenvalues(lambda, 23);
    Packed x = a;
    std::string df(static_cast<size_t>(n), '0');
    std::vector<double> work(static_cast<size_t>(n));
    double logdet = 99;
    char options[] = "0";
    EXPECT_EQ(zsweepr(x.data(),
                      0,
                      static_cast<int>(n) - 1,
                      static_cast<int>(n),
                      df.data(),
                      nullptr,
                      work.data(),
                      1e-12,
                      &logdet,
                      options,
                      nullptr,
                      0),
              n);
    double want = 0, cond = lambda.front() / lambda.back();
    for (double l : lambda) want += std::log(l);
    EXPECT_NEAR(logdet, want, 30 * n * DBL_EPSILON * (1 + std::fabs(want)) * cond);
    for (long i = 0; i < n; ++i)
      for (long j = 0; j < n; ++j) {
        double s = 0;
        for (long k = 0; k < n; ++k) s += a[at(i, k)] * x[at(k, j)];
        EXPECT_NEAR(s, i == j ? 1.0 : 0.0, 30 * n * DBL_EPSILON * cond) << i << "," << j;
      }
  }
}

TEST(Sweep, RankWithIdenticalColumns) {
  struct Case {
    std::string name;
    int p;
    int copy_from;
    int copy_to;
  };
  const std::vector<Case> cases{{"columns 0 and 1", 3, 0, 1},
                                {"columns 0 and 3", 4, 0, 3},
                                {"columns 2 and 4", 5, 2, 4},
                                {"p=2", 2, 0, 1}};
  install();
  std::mt19937_64 rng(3);
  std::normal_distribution<double> g;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const long rows = 20, p = c.p;
    std::vector<double> data(static_cast<size_t>(rows * p));
    for (double& v : data) v = g(rng);
    for (long i = 0; i < rows; ++i) data[i * p + c.copy_to] = data[i * p + c.copy_from];
    Packed x(static_cast<size_t>(p * (p + 1) / 2));
    for (long i = 0; i < p; ++i)
      for (long j = 0; j <= i; ++j)
        for (long r = 0; r < rows; ++r) x[at(i, j)] += data[r * p + i] * data[r * p + j];
    std::string df(static_cast<size_t>(p), '1');
    std::vector<double> diag(static_cast<size_t>(p)), work(static_cast<size_t>(p));
    char options[] = "zd0";
    EXPECT_EQ(zsweepr(x.data(),
                      0,
                      static_cast<int>(p) - 1,
                      static_cast<int>(p),
                      df.data(),
                      diag.data(),
                      work.data(),
                      1e-9,
                      nullptr,
                      options,
                      nullptr,
                      0),
              p - 1);
    EXPECT_EQ(df[static_cast<size_t>(c.copy_to)], '0');
    for (long j = 0; j < p; ++j) EXPECT_EQ(x[at(c.copy_to, j)], 0.0) << "j=" << j;
    for (long j = 0; j < p; ++j) {
      if (j != c.copy_to) {
        EXPECT_EQ(df[static_cast<size_t>(j)], '1');
      }
    }
  }
}

TEST(Sweep, NothingToSweep) {
  install();
  const Packed a = from_eigenvalues({3, 2, 1}, 5);
  struct Case {
    std::string name;
    int k0, kn;
    double epsilon;
    const char* options;
  };
  const std::vector<Case> cases{{"empty range", 2, 1, 0.0, ""},
                                {"threshold above every pivot", 0, 2, 1e6, ""},
                                {"negative threshold above every |pivot|", 0, 2, -1e6, ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Packed x = a;
    std::string df = "000";
    std::vector<double> work(3);
    double logdet = 5;
    std::string opt = c.options;
    EXPECT_EQ(zsweepr(x.data(),
                      c.k0,
                      c.kn,
                      3,
                      df.data(),
                      nullptr,
                      work.data(),
                      c.epsilon,
                      &logdet,
                      opt.data(),
                      nullptr,
                      0),
              0);
    EXPECT_EQ(x, a);
    EXPECT_EQ(df, "000");
  }
}

TEST(Sweep, DiagonalOptions) {
  install();
  Packed x{4, 0.5, 1e-17, 0, 0, -2};
  std::string df = "000";
  std::vector<double> diag(3), work(3);
  char fill[] = "d";
  zsweepr(x.data(), 1, 0, 3, df.data(), diag.data(), work.data(), 0, nullptr, fill, nullptr, 0);
  EXPECT_EQ(diag, (std::vector<double>{4, 1e-17, -2}));
  char flush[] = "df";
  zsweepr(x.data(), 1, 0, 3, df.data(), diag.data(), work.data(), 0, nullptr, flush, nullptr, 0);
  EXPECT_EQ(diag, (std::vector<double>{4, 0, -2}));
}

TEST(Sweep, SerialAndThreadedAgree) {
  struct Case {
    long n;
    int pivots;
  };
  const std::vector<Case> cases{{251, 251}, {600, 60}, {2000, 6}};
  install();
  for (const Case& c : cases) {
    const Packed a = dominant(c.n, 41);
    Packed serial = a;
    std::string df_serial(static_cast<size_t>(c.n), '0');
    std::vector<double> work(static_cast<size_t>(c.n));
    const int kn = c.pivots - 1;
    const int n = static_cast<int>(c.n);
    const int swept = zsweepr(
        serial.data(), 0, kn, n, df_serial.data(), nullptr, work.data(), 1e-10, nullptr, nullptr, nullptr, 0);
    ASSERT_EQ(swept, c.pivots);
    const double scale = max_abs(serial);
    for (int threads : {1, 2, 4}) {
      SCOPED_TRACE("n=" + std::to_string(c.n) + " threads=" + std::to_string(threads));
      Packed x = a;
      std::string df(static_cast<size_t>(c.n), '0');
      SweepControl control{};
      ASSERT_EQ(zpsweepi(threads, n, 0, 1, &control), 0);
      ASSERT_EQ(control.noThreadsFlag, 0);
      EXPECT_EQ(control.parms[0].start, 0);
      EXPECT_EQ(control.parms[threads - 1].end, n);
      for (int t = 1; t < threads; ++t) EXPECT_EQ(control.parms[t].start, control.parms[t - 1].end);
      EXPECT_EQ(
          zsweepr(x.data(), 0, kn, n, df.data(), nullptr, work.data(), 1e-10, nullptr, nullptr, &control, 0),
          c.pivots);
      zpsweept(&control);
      EXPECT_EQ(df, df_serial);
      double err = 0;
      for (size_t i = 0; i < x.size(); ++i) err = std::max(err, std::fabs(x[i] - serial[i]));
      EXPECT_LE(err, 1e-12 * scale);
    }
  }
  EXPECT_TRUE(g_svc.pools.empty());
}

TEST(Sweep, ThreadCountChoice) {
  struct Case {
    std::string name;
    long n;
    int numThreads;
    int64_t cpus;
    int loads;
  };
  const std::vector<Case> cases{
      {"no threads asked", 300, 0, 4, 0},
      {"one thread", 300, 1, 4, 0},
      {"two threads", 300, 2, 1, 1},
      {"host cpu count 3", 300, -1, 3, 1},
      {"host cpu count 1", 300, -1, 1, 0},
      {"below 251 rows", 250, 4, 4, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    install();
    g_svc.cpucount = c.cpus;
    const Packed a = dominant(c.n, 9);
    Packed x = a, serial = a;
    const int n = static_cast<int>(c.n);
    std::string df(static_cast<size_t>(n), '0'), df_serial = df;
    std::vector<double> work(static_cast<size_t>(n));
    zsweepr(serial.data(), 0, 4, n, df_serial.data(), nullptr, work.data(), 0, nullptr, nullptr, nullptr, 0);
    EXPECT_EQ(
        zsweepr(
            x.data(), 0, 4, n, df.data(), nullptr, work.data(), 0, nullptr, nullptr, nullptr, c.numThreads),
        5);
    EXPECT_EQ(g_svc.extloads, c.loads);
    EXPECT_EQ(x, serial);
    EXPECT_TRUE(g_svc.pools.empty()) << "control block not released";
  }
}

TEST(Sweep, SerialControlBlock) {
  install();
  SweepControl control{};
  EXPECT_EQ(zpsweepi(8, 2, 0, 0, &control), 0);  // below the cutoff of 250 rows
  EXPECT_EQ(control.noThreadsFlag, 1);
  EXPECT_EQ(g_svc.extloads, 0);
  Packed x = from_eigenvalues({2, 1}, 1), before = x;
  std::string df = "00";
  zpsweep(x.data(), 1, df.data(), 0.0, &control);
  zpsweep(x.data(), 1, df.data(), 0.0, &control);
  for (size_t i = 0; i < x.size(); ++i) EXPECT_NEAR(x[i], before[i], 30 * DBL_EPSILON * 2);
  zpsweept(&control);
  EXPECT_TRUE(g_svc.pools.empty());
}

TEST(Sweep, StepToleranceAndInvalidPivot) {
  testing::FakeHost& fake = install();
  SweepControl control{};
  ASSERT_EQ(zpsweepi(2, 3, 0, 1, &control), 0);
  Packed x{1e-3, 0.5, -2, 0, 0.25, 3}, before = x;
  std::string df = "000";
  zpsweep(x.data(), 0, df.data(), 1e-2, &control);  // 1e-3 <= 1e-2: no step
  zpsweep(x.data(), 1, df.data(), 0.0, &control);   // -2 <= 0: no step
  EXPECT_EQ(x, before);
  EXPECT_EQ(df, "000");
  zpsweep(x.data(), 1, df.data(), -1.0, &control);  // |-2| > 1: swept
  EXPECT_EQ(df, "010");
  EXPECT_EQ(x[at(1, 1)], -0.5);
  EXPECT_THROW(zpsweep(x.data(), 3, df.data(), 0.0, &control), FakeExit);
  EXPECT_EQ(fake.exit_code, 9999);
  EXPECT_EQ(fake.log.back(), "debug: sweep: invalid k: 3");
  zpsweept(&control);

  std::vector<double> work(3);
  EXPECT_FALSE(host::host_zsweep(x.data(), -1, 3, df.data(), work.data(), 0.0));
  EXPECT_FALSE(host::host_zsweep(x.data(), 3, 3, df.data(), work.data(), 0.0));
}

TEST(Pool, CreationFailures) {
  struct Case {
    std::string name;
    bool missing, refused;
    int flags;
    int rc;  // expected return, or 0 with an exit
    const char* log;
  };
  const std::vector<Case> cases{
      {"no extension", true, false, 0, 1, nullptr},
      {"pool refused", false, true, 0, 2, nullptr},
      {"no extension, fatal", true, false, 1, 0, "debug: rzExtensionLoad failed in zpudi"},
      {"pool refused, fatal", false, true, 1, 0, "debug: tpdlCreate failed in zpudi"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::FakeHost& fake = install();
    g_svc.ext_missing = c.missing;
    g_svc.pool_refused = c.refused;
    PuddleControl control{};
    if (c.log == nullptr) {
      EXPECT_EQ(zpudi(&control, 2, c.flags, sweepcb), c.rc);
      EXPECT_EQ(control.puddle, nullptr);
      EXPECT_EQ(control.extHandle, nullptr);
    } else {
      EXPECT_THROW(zpudi(&control, 2, c.flags, sweepcb), FakeExit);
      EXPECT_EQ(fake.exit_code, 1012);
      ASSERT_FALSE(fake.log.empty());
      EXPECT_EQ(fake.log.back(), c.log);
    }
  }
}

void count_request(void*, void* request, void*, TPDLCallBacks*) {
  ++*static_cast<std::atomic<int>*>(request);
}

TEST(Pool, RunsEveryRequestBeforeTheWaitReturns) {
  install();
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
