// Time per call of MCD through the host (Session, the loaded librobmat.so, default options)
// at n = 1e3, 1e4, 1e5 and p = 2, 5, 10, and the growth ratio t(n)/t(n/10) that shows the
// cost staying linear once the subdatasets take over. The data are deterministic: AR(1)-
// correlated normal rows from the module's own seeded stream, every fifth row shifted, so
// they are the same on every machine. The engine is also timed alone (zmcd on a run
// descriptor carved as the front end carves it, under the test suite's stand-in host, its
// blocks reused), which separates the host's argument copies and fresh work blocks.
//
// --write-data=PREFIX writes every data set (PREFIX_<n>_<p>.bin, row-major little-endian
// doubles) for a peer program to time and, because the results of MCD do not carry the best
// h-subset, writes the one of a direct engine run (PREFIX_<n>_<p>.best, 1-based) and prints
// its raw objective, log det of its covariance with divisor h - 1. The same call through the
// host must report the same h and determinant, which ties the subset to the timed call.
//
// --refine gives option 23 = 1 (the converged final stage) to every call and to the engine alone.
// BM_MCD_det and --write-det=PREFIX do the same for the deterministic starts (option 24 = 1;
// PREFIX_<n>_<p>.detbest), for bench/run_detmcd.sh.
// --threads[=SECONDS] times the call with the host's CPU count at 1 and at 2 at n = 1e4, 1e5
// and p = 5, 10 (bench/thread_timing.h; SECONDS per count and case, default 2), for
// bench/run_threads.sh.
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
#include "mcd/mcd.h"
#include "robmat/host/session.h"
#include "robmat/services.h"
#include "services/sweep_step.h"
#include "support/fake_host.h"
#include "thread_timing.h"

namespace {

using bench::session;
using robmat::host::Matrix;
using robmat::host::Session;
using robmat::host::Value;

const long kSizes[] = {1000, 10000, 100000};
const int kDims[] = {2, 5, 10};
constexpr double kRho = 0.5;    // neighbouring variables correlate, so the scatter is not diagonal
constexpr double kShift = 5.0;  // in every coordinate: Mahalanobis distance 5.8 (p = 2) to 10 (p = 10)

Matrix make_data(long n, int p) {
  Matrix x(n, p);
  long seed = 19 + p;
  const double tail = std::sqrt(1.0 - kRho * kRho);
  for (long i = 0; i < n; ++i) {
    const bool outlier = i % 5 == 4;
    double prev = 0.0;
    for (int j = 0; j < p; ++j) {
      double u = robmat::zranuni(&seed);
      if (u <= 0.0) u = 0.5 / 2147483647.0;  // keep the quantile finite
      const double z = robmat::zprobit(u);
      prev = j == 0 ? z : kRho * prev + tail * z;
      x.at(i, j) = prev + (outlier ? kShift : 0.0);
    }
  }
  return x;
}

const Matrix& data(long n, int p) { return bench::cached(make_data, n, p); }

// --refine: every call asks for the converged final stage (robmat's option 23).
bool g_refine = false;

// The option vector of every call: empty (the defaults), or 23 missing values but the last,
// which is 1.
Value options() {
  if (!g_refine) return Matrix();
  Matrix opt(23, 1, robmat::missing_value());
  opt.data[22] = 1.0;
  return opt;
}

// The routine call only: the arguments are built once, outside the timed loop.
void time_call(benchmark::State& state, const Value& opt) {
  const Value x = data(state.range(0), static_cast<int>(state.range(1)));
  const std::vector<const Value*> args{&opt, &x};
  Session& s = session();
  for (auto _ : state) {
    auto r = s.call("MCD", args);
    benchmark::DoNotOptimize(r.results.data());
  }
}

void BM_MCD(benchmark::State& state) { time_call(state, options()); }

BENCHMARK(BM_MCD)->ArgsProduct({{1000, 10000, 100000}, {2, 5, 10}})->Unit(benchmark::kMillisecond);

// Option 24 = 1: the deterministic starts.
Matrix det_option() {
  Matrix m(1, 24, robmat::host::missing());
  m.data[23] = 1.0;
  return m;
}

void BM_MCD_det(benchmark::State& state) { time_call(state, det_option()); }

BENCHMARK(BM_MCD_det)->ArgsProduct({{1000, 10000, 100000}, {2, 5, 10}})->Unit(benchmark::kMillisecond);

// log det of the covariance (divisor h - 1) of the rows in best (1-based), by Cholesky;
// NaN when the covariance is not positive definite.
double subset_logdet(const Matrix& x, const std::vector<long>& best) {
  const int p = static_cast<int>(x.cols);
  const double h = static_cast<double>(best.size());
  std::vector<double> mu(static_cast<size_t>(p), 0.0), c(static_cast<size_t>(p * p), 0.0);
  for (long i : best)
    for (int j = 0; j < p; ++j) mu[static_cast<size_t>(j)] += x.at(i - 1, j);
  for (double& m : mu) m /= h;
  std::vector<double> d(static_cast<size_t>(p));
  for (long i : best) {
    for (int j = 0; j < p; ++j) d[static_cast<size_t>(j)] = x.at(i - 1, j) - mu[static_cast<size_t>(j)];
    for (int a = 0; a < p; ++a)
      for (int b = 0; b <= a; ++b)
        c[static_cast<size_t>(a * p + b)] += d[static_cast<size_t>(a)] * d[static_cast<size_t>(b)];
  }
  for (double& v : c) v /= h - 1.0;
  double logdet = 0.0;
  for (int j = 0; j < p; ++j) {
    for (int k = 0; k < j; ++k) {
      double s = c[static_cast<size_t>(j * p + k)];
      for (int m = 0; m < k; ++m) s -= c[static_cast<size_t>(j * p + m)] * c[static_cast<size_t>(k * p + m)];
      c[static_cast<size_t>(j * p + k)] = s / c[static_cast<size_t>(k * p + k)];
    }
    double s = c[static_cast<size_t>(j * p + j)];
    for (int m = 0; m < j; ++m) s -= c[static_cast<size_t>(j * p + m)] * c[static_cast<size_t>(j * p + m)];
    if (!(s > 0.0)) return std::nan("");
    c[static_cast<size_t>(j * p + j)] = std::sqrt(s);
    logdet += 2.0 * std::log(c[static_cast<size_t>(j * p + j)]);
  }
  return logdet;
}

// The stand-in host has no sweep service; the engine sweeps only on a singular subset.
void sweep_service(double* x, int32_t k, int32_t n, char* df, double* work, double tol) {
  robmat::host::host_zsweep(x, k, n, df, work, tol);
}

// zmcd on a run descriptor with the front end's defaults and its carving of the work space.
// The blocks are allocated once; call() restores the descriptor and the data, as every call
// of the front end starts from fresh ones.
class DirectRun {
 public:
  // starts: option 24 (1: the deterministic starts).
  explicit DirectRun(const Matrix& x, int starts = 0) : x_(x) {
    const long n = x.rows, p = x.cols;
    std::memset(&tmpl_, 0, sizeof tmpl_);
    tmpl_.nvar = static_cast<int>(p);
    tmpl_.ncas = n;
    tmpl_.nnva = p * (p + 1) / 2;
    tmpl_.inca = p;
    tmpl_.nsds = 5;
    tmpl_.lsds = 300;
    tmpl_.sing = 1e-10;
    tmpl_.plog = robmat::xpselec(nullptr, 100);
    tmpl_.imve = (g_refine ? robmat::kImveConverge : 0) | (starts != 0 ? robmat::kImveDeterministic : 0);
    const robmat::McdSizes sz = robmat::mcd_sizes(n, p, tmpl_.nsds, tmpl_.lsds, 0, starts);
    tmpl_.dneed = sz.work;
    tmpl_.lneed = sz.ints;
    a_.resize(x.data.size());
    b_.resize(x.data.size());
    c_.resize(static_cast<size_t>(sz.c));
    work_.resize(static_cast<size_t>(sz.work));
    xmve_.resize(static_cast<size_t>(sz.est_rows * p));
    maha_.resize(static_cast<size_t>(3 * n));
    ints_.resize(static_cast<size_t>(sz.ints));
    names_.resize(static_cast<size_t>(sz.names));
    for (long j = 0; j <= p; ++j) {
      const std::string nm = j < p ? "X" + std::to_string(j + 1) : "Addition";
      names_[static_cast<size_t>(j)].len = static_cast<int16_t>(nm.size());
      std::memcpy(names_[static_cast<size_t>(j)].name, nm.data(), nm.size());
    }
    tmpl_.rpx = &rpx_;
    tmpl_.pnam = names_.data();
    tmpl_.a = a_.data();
    tmpl_.b = b_.data();
    tmpl_.c = c_.data();
    tmpl_.work = work_.data();
    tmpl_.jsub = ints_.data();
    tmpl_.jbst = ints_.data() + n;
    tmpl_.iw = ints_.data() + 2 * n;
    tmpl_.xmve = xmve_.data();
    tmpl_.maha = maha_.data();
  }

  int call() {
    str_ = tmpl_;
    std::memcpy(a_.data(), x_.data.data(), x_.data.size() * sizeof(double));
    std::fill(xmve_.begin(), xmve_.end(), robmat::missing_value());
    std::fill(maha_.begin(), maha_.end(), robmat::missing_value());
    return robmat::zmcd(&str_);
  }
  long h() const { return str_.jqu; }
  double volm() const { return str_.volm; }
  std::vector<long> best() const { return std::vector<long>(str_.jbst, str_.jbst + str_.jqu); }

 private:
  const Matrix& x_;
  robmat::LMTSTR tmpl_, str_;
  std::vector<double> a_, b_, c_, work_, xmve_, maha_;
  std::vector<long> ints_;
  std::vector<U_SNAME> names_;
  int rpx_ = 0;
};

void install_stand_in_host() {
  robmat::testing::install_fake_host();
  auto* sys = const_cast<RzSysVector*>(static_cast<const RzSysVector*>(v_global_gcb_anchor->vec[kVecSys]));
  sys->zsweep = sweep_service;
}

// The engine alone, for the share of the host's argument copies and fresh work blocks.
void BM_MCD_engine(benchmark::State& state) {
  DirectRun d(data(state.range(0), static_cast<int>(state.range(1))));
  for (auto _ : state) benchmark::DoNotOptimize(d.call());
}

BENCHMARK(BM_MCD_engine)->ArgsProduct({{1000, 10000, 100000}, {2, 5, 10}})->Unit(benchmark::kMillisecond);

int write_data(const char* prefix) {
  for (long n : kSizes)
    for (int p : kDims) {
      const Matrix& x = data(n, p);
      const std::string stem = std::string(prefix) + "_" + std::to_string(n) + "_" + std::to_string(p);
      if (!bench::write_doubles(stem + ".bin", x.data)) return 1;

      DirectRun d(x);
      const int rc = d.call();
      const Value opt = options(), vx = x;
      const auto r = session().call("MCD", std::vector<const Value*>{&opt, &vx});
      const double h_host = r.results.at(0).data.at(0), volm_host = r.results.at(0).data.at(4);
      if (rc != 0 || static_cast<double>(d.h()) != h_host || d.volm() != volm_host) {
        std::fprintf(stderr,
                     "n=%ld p=%d: the direct run (rc %d, h %ld, det %.17g) differs from the host's (h %.0f, "
                     "det %.17g)\n",
                     n,
                     p,
                     rc,
                     d.h(),
                     d.volm(),
                     h_host,
                     volm_host);
        return 1;
      }
      FILE* f = std::fopen((stem + ".best").c_str(), "w");
      if (f == nullptr) {
        std::perror((stem + ".best").c_str());
        return 1;
      }
      for (long i : d.best()) std::fprintf(f, "%ld\n", i);
      std::fclose(f);
      std::printf(
          "objective %ld %d %ld %.17g %.17g\n", n, p, d.h(), subset_logdet(x, d.best()), std::log(d.volm()));
    }
  return 0;
}

// The data sets and the best h-subsets of the deterministic starts, checked against the host's
// call as write_data checks the random search's.
int write_det(const char* prefix) {
  for (long n : kSizes)
    for (int p : kDims) {
      const Matrix& x = data(n, p);
      const std::string stem = std::string(prefix) + "_" + std::to_string(n) + "_" + std::to_string(p);
      if (!bench::write_doubles(stem + ".bin", x.data)) return 1;
      DirectRun d(x, 1);
      const int rc = d.call();
      const Value opt = det_option(), vx = x;
      const auto r = session().call("MCD", std::vector<const Value*>{&opt, &vx});
      if (rc != 0 || static_cast<double>(d.h()) != r.results.at(0).data.at(0) ||
          d.volm() != r.results.at(0).data.at(4)) {
        std::fprintf(
            stderr, "n=%ld p=%d: the direct run with deterministic starts differs from the host's\n", n, p);
        return 1;
      }
      FILE* f = std::fopen((stem + ".detbest").c_str(), "w");
      if (f == nullptr) return 1;
      for (long i : d.best()) std::fprintf(f, "%ld\n", i);
      std::fclose(f);
      std::printf("detobjective %ld %d %ld %.17g\n", n, p, d.h(), subset_logdet(x, d.best()));
    }
  return 0;
}

// MCD with the default options (or --refine's) at 1 and 2 CPUs.
int time_threads(double seconds) {
  for (int p : {5, 10})
    for (long n : {10000L, 100000L}) {
      const Value opt = options(), x = data(n, p);
      bench::time_threads(g_refine ? "MCD-refine" : "MCD", n, p, seconds, 5, [&] {
        return session().call("MCD", std::vector<const Value*>{&opt, &x});
      });
    }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    install_stand_in_host();
    g_refine = bench::take_flag(&argc, argv, "--refine");
    for (int i = 1; i < argc; ++i)
      if (std::strncmp(argv[i], "--write-data=", 13) == 0)
        return write_data(argv[i] + 13);
      else if (std::strncmp(argv[i], "--write-det=", 12) == 0)
        return write_det(argv[i] + 12);
      else if (std::strncmp(argv[i], "--threads", 9) == 0)
        return time_threads(argv[i][9] == '=' ? std::atof(argv[i] + 10) : 2.0);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    session();  // loading the module is not part of the first measurement
    bench::SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto seconds = [&reporter](const char* bm, long n, int p) {
      auto it = reporter.seconds.find(std::string(bm) + "/" + std::to_string(n) + "/" + std::to_string(p));
      return it == reporter.seconds.end() ? 0.0 : it->second;
    };
    std::printf("\n%-8s %4s %12s %14s %12s\n", "n", "p", "ms/call", "t(n)/t(n/10)", "engine ms");
    for (int p : kDims) {
      double prev = 0.0;
      for (long n : kSizes) {
        const double sec = seconds("BM_MCD", n, p);
        if (sec == 0.0) continue;
        char growth[32] = "-";
        if (prev > 0.0) std::snprintf(growth, sizeof growth, "%.2f", sec / prev);
        std::printf(
            "%-8ld %4d %12.3f %14s %12.3f\n", n, p, sec * 1e3, growth, seconds("BM_MCD_engine", n, p) * 1e3);
        prev = sec;
      }
    }
    // Machine-readable lines ("time N P SECONDS", "cpu N P SECONDS", "engine N P SECONDS",
    // "engine_cpu N P SECONDS")
    // for run_mcd.sh. On a loaded machine the processor time of the single thread is the
    // steadier figure; the wall time includes waiting for a processor.
    std::printf("\n");
    for (int p : kDims)
      for (long n : kSizes) {
        if (double sec = seconds("BM_MCD", n, p); sec > 0.0) std::printf("time %ld %d %.6e\n", n, p, sec);
        if (auto it = reporter.cpu_seconds.find("BM_MCD/" + std::to_string(n) + "/" + std::to_string(p));
            it != reporter.cpu_seconds.end())
          std::printf("cpu %ld %d %.6e\n", n, p, it->second);
        if (double sec = seconds("BM_MCD_engine", n, p); sec > 0.0)
          std::printf("engine %ld %d %.6e\n", n, p, sec);
        if (auto it =
                reporter.cpu_seconds.find("BM_MCD_engine/" + std::to_string(n) + "/" + std::to_string(p));
            it != reporter.cpu_seconds.end())
          std::printf("engine_cpu %ld %d %.6e\n", n, p, it->second);
      }
    benchmark::Shutdown();
  } catch (const robmat::host::Error& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
