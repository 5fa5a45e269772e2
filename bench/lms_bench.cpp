// Time per call of LMS through the host (Session, the loaded librobmat.so) with random
// subsets at n = 1e3 and 1e4 for p = 2, 5, 10 coefficients (the intercept included, so p - 1
// regressors), and with every subset enumerated at p = 3, n = 22; subsets per second are the
// subsets evaluated (summary row 2) over the time. The data are deterministic: normal
// regressors and errors from the module's seeded stream, y = 1 + the sum of the regressors +
// error, and every fifth observation a bad leverage point (x_1 + 5, y + 10).
//
// --write-data=PREFIX writes every data set (PREFIX_<n>_<p>.x: n x (p-1) row-major doubles,
// .y: n doubles), our coefficients (.coef, intercept last) and prints per case the h, the
// number of subsets and the h-th smallest squared residual of our fit, for a peer program to
// fit the same data with the same h and number of subsets.
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
#include "robmat/host/session.h"

namespace {

using bench::session;
using robmat::host::Matrix;
using robmat::host::Session;
using robmat::host::Value;

struct Case {
  long n;
  int p;
};
const Case kCases[] = {{1000, 2}, {10000, 2}, {1000, 5}, {10000, 5}, {1000, 10}, {10000, 10}, {22, 3}};

struct Data {
  Matrix x, y;
};

double normal(long* seed) {
  double u = robmat::zranuni(seed);
  if (u <= 0.0) u = 0.5 / 2147483647.0;  // keep the quantile finite
  return robmat::zprobit(u);
}

Data make_data(long n, int p) {
  Data d{Matrix(n, p - 1), Matrix(n, 1)};
  long seed = 29 + p;
  for (long i = 0; i < n; ++i) {
    double fit = 1.0;
    for (int j = 0; j < p - 1; ++j) {
      d.x.at(i, j) = normal(&seed);
      fit += d.x.at(i, j);
    }
    d.y.data[i] = fit + normal(&seed);
    if (i % 5 == 4) {
      d.x.at(i, 0) += 5.0;
      d.y.data[i] += 10.0;
    }
  }
  return d;
}

const Data& data(long n, int p) { return bench::cached(make_data, n, p); }

// LMS with the default h and number of subsets, nothing printed.
robmat::host::CallResult call(long n, int p) {
  const Data& d = data(n, p);
  const Value opt = Matrix(), y = d.y, x = d.x;
  const std::vector<const Value*> args{&opt, &y, &x};
  return session().call("LMS", args);
}

void BM_LMS(benchmark::State& state) {
  const long n = state.range(0);
  const int p = static_cast<int>(state.range(1));
  const Data& d = data(n, p);
  const Value opt = Matrix(), y = d.y, x = d.x;
  const std::vector<const Value*> args{&opt, &y, &x};
  double subsets = 0.0;
  for (auto _ : state) {
    auto r = session().call("LMS", args);
    subsets = r.results[0].data[1];
    benchmark::DoNotOptimize(r.results.data());
  }
  state.counters["subsets"] = subsets;
  state.counters["subsets_per_s"] =
      benchmark::Counter(subsets * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void register_all() {
  for (const Case& c : kCases)
    benchmark::RegisterBenchmark(("LMS/" + std::to_string(c.n) + "/" + std::to_string(c.p)).c_str(), BM_LMS)
        ->Args({c.n, c.p})
        ->Unit(benchmark::kMillisecond);
}

// The h-th smallest squared residual of coefficients b (intercept last).
double hth_squared_residual(const Data& d, const std::vector<double>& b, long h) {
  const long n = d.y.rows;
  const long k = d.x.cols;
  std::vector<double> r2(static_cast<size_t>(n));
  for (long i = 0; i < n; ++i) {
    double fit = b[static_cast<size_t>(k)];
    for (long j = 0; j < k; ++j) fit += b[static_cast<size_t>(j)] * d.x.at(i, j);
    const double r = d.y.data[static_cast<size_t>(i)] - fit;
    r2[static_cast<size_t>(i)] = r * r;
  }
  std::nth_element(r2.begin(), r2.begin() + (h - 1), r2.end());
  return r2[static_cast<size_t>(h - 1)];
}

int write_data(const std::string& prefix) {
  for (const Case& c : kCases) {
    const Data& d = data(c.n, c.p);
    const auto r = call(c.n, c.p);
    const long h = static_cast<long>(r.results[0].data[0]);
    const long subsets = static_cast<long>(r.results[0].data[1]);
    const std::vector<double> coef(r.results[1].data.begin(), r.results[1].data.begin() + c.p);
    const std::string stem = prefix + "_" + std::to_string(c.n) + "_" + std::to_string(c.p);
    if (!bench::write_doubles(stem + ".x", d.x.data) || !bench::write_doubles(stem + ".y", d.y.data) ||
        !bench::write_doubles(stem + ".coef", coef)) {
      std::fprintf(stderr, "cannot write %s.*\n", stem.c_str());
      return 1;
    }
    // The criterion the module reports, squared, must be the h-th squared residual.
    const double crit = r.results[0].data[4];
    std::printf("criterion %ld %d %ld %ld %.17g %.17g\n",
                c.n,
                c.p,
                h,
                subsets,
                hth_squared_residual(d, coef, h),
                crit * crit);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], "--write-data=", 13) == 0) return write_data(argv[i] + 13);
  register_all();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
