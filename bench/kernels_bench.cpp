// Cost of the factorisation kernels on the subset-search hot paths: a UDU' factorisation
// plus inverse of a covariance-sized matrix (MVE, MCD), and one move-out/append pair of the
// updated QR factorisation (the exchange refinement of the regression search).
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "kernels/qr.h"
#include "kernels/udu.h"

namespace {

// Packed (upper by columns) covariance of 3n random observations: definite, condition
// typical of the engines' scaled covariance matrices.
std::vector<double> covariance(long n, std::mt19937_64& gen) {
  std::normal_distribution<double> nd;
  const long m = 3 * n;
  std::vector<double> x(static_cast<size_t>(m * n));
  for (double& v : x) v = nd(gen);
  std::vector<double> c(static_cast<size_t>(n * (n + 1) / 2));
  for (long j = 0; j < n; ++j)
    for (long i = 0; i <= j; ++i) {
      double s = 0.0;
      for (long r = 0; r < m; ++r) s += x[r * n + i] * x[r * n + j];
      c[static_cast<size_t>(i + j * (j + 1) / 2)] = s / static_cast<double>(m);
    }
  return c;
}

void BM_ZududecZuduinv(benchmark::State& state) {
  const long n = state.range(0);
  std::mt19937_64 gen(1);
  const std::vector<double> cov = covariance(n, gen);
  std::vector<double> a(cov.size());
  std::vector<long> h(static_cast<size_t>(n));
  std::vector<double> w(static_cast<size_t>(n));
  double det[5];
  for (auto _ : state) {
    a = cov;
    const long nullity = robmat::zududec(n, 1e-12, det, a.data(), h.data());
    robmat::zuduinv(n, a.data(), h.data(), w.data());
    benchmark::DoNotOptimize(nullity);
    benchmark::DoNotOptimize(a.data());
  }
}
BENCHMARK(BM_ZududecZuduinv)->Arg(2)->Arg(5)->Arg(10)->Arg(20)->Arg(50);

// One exchange: the first of p vectors moves out (qrdod) and a new one takes the freed last
// position (qrupd). The factorisation keeps changing, as in the search.
void BM_QrdodQrupdPair(benchmark::State& state) {
  const long p = state.range(0);
  std::mt19937_64 gen(2);
  std::normal_distribution<double> nd;
  std::vector<double> qm(static_cast<size_t>(p * p));
  std::vector<double> rm(static_cast<size_t>(p * (p + 1) / 2));
  std::vector<double> w(static_cast<size_t>(p));
  std::vector<double> rv(static_cast<size_t>(p));
  for (long j = 0; j < p; ++j) {
    for (double& v : rv) v = nd(gen);
    robmat::qrupd(p, j, rv.data(), qm.data(), rm.data(), w.data());
  }
  const long pool = 64;
  std::vector<double> fresh(static_cast<size_t>(pool * p));
  for (double& v : fresh) v = nd(gen);
  long next = 0;
  for (auto _ : state) {
    robmat::qrdod(p, p, 0, qm.data(), rm.data(), w.data());
    for (long i = 0; i < p; ++i) rv[static_cast<size_t>(i)] = fresh[static_cast<size_t>(next * p + i)];
    next = (next + 1) % pool;
    benchmark::DoNotOptimize(robmat::qrupd(p, p - 1, rv.data(), qm.data(), rm.data(), w.data()));
  }
}
BENCHMARK(BM_QrdodQrupdPair)->Arg(2)->Arg(5)->Arg(10)->Arg(20);

}  // namespace

BENCHMARK_MAIN();
