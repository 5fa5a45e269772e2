// Time per call of LTS with default options (FAST-LTS, seed 19) at n = 1e3, 1e4, 1e5 and 2, 5,
// 10 regressors with an intercept, on deterministic data with 20 % bad leverage points:
// through the host (Session::call on the loaded librobmat.so, arguments built outside the
// timed loop), and the search alone (doflts on a run descriptor carved as the front end
// carves it, under the test suite's stand-in host, its blocks reused; on the data as given,
// which the search's equivariance allows).
//
// --write-data=PREFIX writes every data set (PREFIX_<n>_<k>.bin: n rows of the k regressors
// and the response, row-major little-endian doubles) for a peer program, and the raw
// coefficients of the host's call (PREFIX_<n>_<k>.coef, the intercept last) with their
// objective, the sum of the h smallest squared residuals, h = (n + p + 1) / 2 with p counting
// the intercept. --seed=S gives option 20 to those calls. --refine gives option 23 = 1 (the
// converged final stage) to every call and to the search alone. --threads[=SECONDS] times the
// call with the host's CPU count at 1 and at 2 at n = 1e4, 1e5 and k = 5, 10
// (bench/thread_timing.h; SECONDS per count and case, default 2), for bench/run_threads.sh.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "bench_common.h"
#include "kernels/distrib.h"
#include "kernels/random.h"
#include "regression/fast_lts.h"
#include "regression/regression.h"
#include "robmat/host/session.h"
#include "robmat/services.h"
#include "support/fake_host.h"
#include "thread_timing.h"

namespace {

using bench::session;
using robmat::host::Matrix;
using robmat::host::Session;
using robmat::host::Value;

const long kSizes[] = {1000, 10000, 100000};
const int kDims[] = {2, 5, 10};
constexpr double kRho = 0.5;     // neighbouring regressors correlate
constexpr double kShift = 10.0;  // bad leverage points: every regressor moved, the response not

// Rows of k AR(1)-correlated normal regressors and y = 1 + sum_j x_j + N(0, 1/4); every fifth
// row is a bad leverage point: its regressors are shifted by 10 after y was formed, so it lies
// 10 k below the true hyperplane.
struct Data {
  long n;
  int k;
  std::vector<double> rows;  // n rows of k regressors and y
};

Data make_data(long n, int k) {
  Data d{n, k, std::vector<double>(static_cast<size_t>(n * (k + 1)))};
  long seed = 29 + k;
  const double tail = std::sqrt(1.0 - kRho * kRho);
  auto normal = [&seed]() {
    double u = robmat::zranuni(&seed);
    if (u <= 0.0) u = 0.5 / 2147483647.0;  // keep the quantile finite
    return robmat::zprobit(u);
  };
  for (long i = 0; i < n; ++i) {
    double* row = d.rows.data() + i * (k + 1);
    double prev = 0.0;
    double y = 1.0;
    for (int j = 0; j < k; ++j) {
      prev = j == 0 ? normal() : kRho * prev + tail * normal();
      row[j] = prev;
      y += prev;
    }
    row[k] = y + 0.5 * normal();
    if (i % 5 == 4)
      for (int j = 0; j < k; ++j) row[j] += kShift;
  }
  return d;
}

const Data& data(long n, int k) { return bench::cached(make_data, n, k); }

// --refine: every call asks for the converged final stage (robmat's option 23).
bool g_refine = false;

// The call's arguments: an option vector (empty, or option 20 = seed and option 23 = 1 as
// asked), y and x.
struct Call {
  Value opt, y, x;
};

Call arguments(const Data& d, long seed) {
  Matrix opt;
  if (seed != 0 || g_refine) {
    opt = Matrix(1, 23, robmat::host::missing());
    if (seed != 0) opt.data[19] = static_cast<double>(seed);
    if (g_refine) opt.data[22] = 1.0;
  }
  Matrix y(d.n, 1), x(d.n, d.k);
  for (long i = 0; i < d.n; ++i) {
    const double* row = d.rows.data() + i * (d.k + 1);
    for (int j = 0; j < d.k; ++j) x.at(i, j) = row[j];
    y.data[static_cast<size_t>(i)] = row[d.k];
  }
  return Call{opt, y, x};
}

// doflts with the front end's defaults (seed 19, 5 subdatasets of 300) on the blocks of
// lmts_sizes carved by lmts_carve_fast, allocated once.
class DirectRun {
 public:
  explicit DirectRun(const Data& d) {
    const long n = d.n;
    const int p = d.k + 1;
    std::memset(&tmpl_, 0, sizeof tmpl_);
    tmpl_.ilts = 1;
    tmpl_.flts = 1;
    tmpl_.nvar = p;
    tmpl_.ncas = n;
    tmpl_.nnva = p * (p + 1L) / 2;
    tmpl_.nsds = 5;
    tmpl_.lsds = 300;
    tmpl_.seed = 19;
    tmpl_.imve = g_refine ? 1 : 0;
    tmpl_.sing = 1e-10;
    const robmat::LmtsSizes z = robmat::lmts_sizes(n, p, 0, 1, tmpl_.nsds, tmpl_.lsds, 0);
    d1_.resize(static_cast<size_t>(z.doubles));
    d3_.resize(static_cast<size_t>(z.doubles3));
    lng_.resize(static_cast<size_t>(z.longs));
    coef_.resize(static_cast<size_t>(p));
    names_.resize(static_cast<size_t>(p + 1));
    tmpl_.rpx = &rpx_;
    tmpl_.pnam = names_.data();
    tmpl_.coef = coef_.data();
    tmpl_.lneed = z.longs;
    robmat::lmts_carve_fast(
        &tmpl_, {d1_.data(), z.doubles}, {lng_.data(), z.longs}, {d3_.data(), z.doubles3});
    for (long i = 0; i < n; ++i) {
      const double* row = d.rows.data() + i * p;
      for (int j = 0; j < d.k; ++j) tmpl_.a[i * p + j] = row[j];
      tmpl_.a[i * p + d.k] = 1.0;
      tmpl_.b[i] = row[d.k];
    }
  }

  int call() {
    str_ = tmpl_;
    int doim = 0;
    return robmat::doflts(&str_, &doim);
  }

 private:
  robmat::LMTSTR tmpl_, str_;
  std::vector<double> d1_, d3_, coef_;
  std::vector<long> lng_;
  std::vector<U_SNAME> names_;
  int rpx_ = 0;
};

// The sum of the h smallest squared residuals of coef (intercept last), in long double.
double objective(const Data& d, const std::vector<double>& coef, long h) {
  std::vector<long double> r2(static_cast<size_t>(d.n));
  for (long i = 0; i < d.n; ++i) {
    const double* row = d.rows.data() + i * (d.k + 1);
    long double f = coef[static_cast<size_t>(d.k)];
    for (int j = 0; j < d.k; ++j) f += static_cast<long double>(row[j]) * coef[static_cast<size_t>(j)];
    const long double r = row[d.k] - f;
    r2[static_cast<size_t>(i)] = r * r;
  }
  std::nth_element(r2.begin(), r2.begin() + (h - 1), r2.end());
  long double s = 0.0L;
  for (long i = 0; i < h; ++i) s += r2[static_cast<size_t>(i)];
  return static_cast<double>(s);
}

// The routine call only.
void BM_LTS(benchmark::State& state) {
  const Call c = arguments(data(state.range(0), static_cast<int>(state.range(1))), 0);
  const std::vector<const Value*> args{&c.opt, &c.y, &c.x};
  Session& s = session();
  for (auto _ : state) {
    auto r = s.call("LTS", args);
    benchmark::DoNotOptimize(r.results.data());
  }
}

// The search alone, for the share of the driver, the front end and the host.
void BM_FastLTS_search(benchmark::State& state) {
  DirectRun d(data(state.range(0), static_cast<int>(state.range(1))));
  for (auto _ : state) benchmark::DoNotOptimize(d.call());
}

BENCHMARK(BM_LTS)->ArgsProduct({{1000, 10000, 100000}, {2, 5, 10}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FastLTS_search)->ArgsProduct({{1000, 10000, 100000}, {2, 5, 10}})->Unit(benchmark::kMillisecond);

int write_data(const char* prefix, long seed) {
  for (long n : kSizes)
    for (int k : kDims) {
      const Data& d = data(n, k);
      const std::string stem = std::string(prefix) + "_" + std::to_string(n) + "_" + std::to_string(k);
      if (!bench::write_doubles(stem + ".bin", d.rows)) return 1;
      const Call c = arguments(d, seed);
      const auto r = session().call("LTS", std::vector<const Value*>{&c.opt, &c.y, &c.x});
      const long h = static_cast<long>(r.results.at(0).data.at(0));
      std::vector<double> coef(r.results.at(1).data.begin(), r.results.at(1).data.begin() + k + 1);
      FILE* f = std::fopen((stem + ".coef").c_str(), "w");
      if (f == nullptr) {
        std::perror((stem + ".coef").c_str());
        return 1;
      }
      for (double v : coef) std::fprintf(f, "%.17g\n", v);
      std::fclose(f);
      std::printf("objective %ld %d %ld %.17g\n", n, k, h, objective(d, coef, h));
    }
  return 0;
}

// LTS with the default options (or --refine's) at 1 and 2 CPUs.
int time_threads(double seconds) {
  for (int k : {5, 10})
    for (long n : {10000L, 100000L}) {
      const Call c = arguments(data(n, k), 0);
      bench::time_threads(g_refine ? "LTS-refine" : "LTS", n, k, seconds, 5, [&] {
        return session().call("LTS", std::vector<const Value*>{&c.opt, &c.y, &c.x});
      });
    }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    robmat::testing::install_fake_host();
    long seed = 0;
    const char* prefix = nullptr;
    g_refine = bench::take_flag(&argc, argv, "--refine");
    for (int i = 1; i < argc; ++i) {
      if (std::strncmp(argv[i], "--write-data=", 13) == 0) prefix = argv[i] + 13;
      if (std::strncmp(argv[i], "--seed=", 7) == 0) seed = std::atol(argv[i] + 7);
      if (std::strncmp(argv[i], "--threads", 9) == 0)
        return time_threads(argv[i][9] == '=' ? std::atof(argv[i] + 10) : 2.0);
    }
    if (prefix != nullptr) return write_data(prefix, seed);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    session();  // loading the module is not part of the first measurement
    bench::SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    // Machine-readable lines ("time N K SECONDS", "cpu N K SECONDS", "search N K SECONDS")
    // for run_lts.sh.
    std::printf("\n");
    for (int k : kDims)
      for (long n : kSizes) {
        const std::string args = "/" + std::to_string(n) + "/" + std::to_string(k);
        if (auto it = reporter.seconds.find("BM_LTS" + args); it != reporter.seconds.end())
          std::printf("time %ld %d %.6e\n", n, k, it->second);
        if (auto it = reporter.cpu_seconds.find("BM_LTS" + args); it != reporter.cpu_seconds.end())
          std::printf("cpu %ld %d %.6e\n", n, k, it->second);
        if (auto it = reporter.seconds.find("BM_FastLTS_search" + args); it != reporter.seconds.end())
          std::printf("search %ld %d %.6e\n", n, k, it->second);
      }
    benchmark::Shutdown();
  } catch (const robmat::host::Error& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
