// Time per call of the scale estimators (normalized MAD, Sn, Qn) at n = 1e4, 1e5, 1e6, and
// the growth ratio time(10n)/time(n) that shows the O(n log n) behaviour. The samples are
// standard normal, generated from the module's own seeded uniform stream, so they are the
// same on every machine; --write-data=PREFIX writes them (PREFIX_<n>.bin, little-endian
// doubles) for a peer program to time on the same numbers. Each estimator is also timed as a
// routine call through the host (Session::call("MAD", {x, method}) on the loaded module, the
// arguments built outside the timed loop), which shows what the call adds to the engine.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "bench_common.h"
#include "kernels/distrib.h"
#include "kernels/random.h"
#include "robmat/host/session.h"
#include "scale/scale.h"

namespace {

using bench::session;

const long kSizes[] = {10000, 100000, 1000000};

std::vector<double> make_sample(long n) {
  std::vector<double> x(static_cast<size_t>(n));
  long seed = 19;
  for (long i = 0; i < n; ++i) {
    double u = robmat::zranuni(&seed);
    if (u <= 0.0) u = 0.5 / 2147483647.0;  // keep the quantile finite
    x[static_cast<size_t>(i)] = robmat::zprobit(u);
  }
  return x;
}

const std::vector<double>& sample(long n) { return bench::cached(make_sample, n); }

// The estimators overwrite their sample, so each call gets a fresh copy, as the MAD front
// end makes one from the column.
void BM_MAD(benchmark::State& state) {
  const long n = state.range(0);
  const std::vector<double>& x = sample(n);
  std::vector<double> a(x.size());
  for (auto _ : state) {
    std::memcpy(a.data(), x.data(), x.size() * sizeof(double));
    benchmark::DoNotOptimize(robmat::zmad(1, n, a.data()));
  }
}

void BM_Sn(benchmark::State& state) {
  const long n = state.range(0);
  const std::vector<double>& x = sample(n);
  std::vector<double> a(x.size()), w(x.size());
  for (auto _ : state) {
    std::memcpy(a.data(), x.data(), x.size() * sizeof(double));
    benchmark::DoNotOptimize(robmat::zs_n(n, a.data(), w.data()));
  }
}

void BM_Qn(benchmark::State& state) {
  const long n = state.range(0);
  const std::vector<double>& x = sample(n);
  std::vector<double> a(x.size()), w(2 * x.size());
  std::vector<long> iw(6 * x.size());
  for (auto _ : state) {
    std::memcpy(a.data(), x.data(), x.size() * sizeof(double));
    benchmark::DoNotOptimize(robmat::zq_n(n, a.data(), w.data(), iw.data()));
  }
}

BENCHMARK(BM_MAD)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sn)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Qn)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// The routine call: the host's checks and argument records, the front end's work block and
// gathering of the column, the engine, the result.
void time_call(benchmark::State& state, const char* method) {
  const long n = state.range(0);
  const std::vector<double>& x = sample(n);
  robmat::host::Matrix m(n, 1);
  m.data = x;
  const robmat::host::Value vx = std::move(m), vmethod = std::string(method);
  const std::vector<const robmat::host::Value*> args{&vx, &vmethod};
  robmat::host::Session& s = session();
  for (auto _ : state) {
    auto r = s.call("MAD", args);
    benchmark::DoNotOptimize(r.results.data());
  }
}
void BM_MAD_call(benchmark::State& state) { time_call(state, "nmad"); }
void BM_Sn_call(benchmark::State& state) { time_call(state, "sn"); }
void BM_Qn_call(benchmark::State& state) { time_call(state, "qn"); }

BENCHMARK(BM_MAD_call)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sn_call)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Qn_call)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

int write_data(const char* prefix) {
  for (long n : kSizes) {
    const std::string name = std::string(prefix) + "_" + std::to_string(n) + ".bin";
    const std::vector<double>& x = sample(n);
    if (!bench::write_doubles(name, x)) return 1;
    // The values on this exact sample, for checking that a peer computes the same thing.
    std::vector<double> a(x), w(2 * x.size());
    std::vector<long> iw(6 * x.size());
    const double sn = robmat::zs_n(n, a.data(), w.data());
    a = x;
    const double qn = robmat::zq_n(n, a.data(), w.data(), iw.data());
    std::printf("value %ld Sn %.17g Qn %.17g\n", n, sn, qn);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], "--write-data=", 13) == 0) return write_data(argv[i] + 13);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  bench::SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  // Machine-readable lines ("time EST N SECONDS", "cpu EST N SECONDS") for run_scale.sh and
  // run_calls.sh.
  std::printf("\n%-4s %10s %14s %14s %14s %10s\n",
              "est",
              "n",
              "ms/call",
              "t(n)/t(n/10)",
              "routine ms",
              "routine/engine cpu");
  for (const char* est : {"MAD", "Sn", "Qn"}) {
    double prev = 0.0;
    for (long n : kSizes) {
      const std::string key = std::string("BM_") + est + "/" + std::to_string(n);
      auto it = reporter.seconds.find(key);
      if (it == reporter.seconds.end()) continue;
      const double s = it->second;
      char growth[32] = "-", routine[32] = "-", ratio[32] = "-";
      if (prev > 0.0) std::snprintf(growth, sizeof growth, "%.2f", s / prev);
      // The call against the engine in processor time, the steadier figure on a shared machine.
      const std::string call = key.substr(0, key.find('/')) + "_call" + key.substr(key.find('/'));
      if (reporter.cpu_seconds.count(call) != 0 && reporter.cpu_seconds[key] > 0.0) {
        std::snprintf(routine, sizeof routine, "%.3f", reporter.seconds[call] * 1e3);
        std::snprintf(ratio, sizeof ratio, "%.3f", reporter.cpu_seconds[call] / reporter.cpu_seconds[key]);
      }
      std::printf("%-4s %10ld %14.3f %14s %14s %10s\n", est, n, s * 1e3, growth, routine, ratio);
      prev = s;
    }
  }
  std::printf("\n");
  for (const auto& [name, s] : reporter.seconds) {
    const size_t slash = name.find('/');
    std::printf("time %s %s %.6e\n", name.substr(3, slash - 3).c_str(), name.substr(slash + 1).c_str(), s);
    std::printf("cpu %s %s %.6e\n",
                name.substr(3, slash - 3).c_str(),
                name.substr(slash + 1).c_str(),
                reporter.cpu_seconds[name]);
  }
  benchmark::Shutdown();
  return 0;
}
