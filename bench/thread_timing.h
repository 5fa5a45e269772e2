// One routine call timed with the host's CPU count at 1 and at 2 (ROBMAT_CPUCOUNT, which the
// host reads at every call): wall time and the processor time of the whole process (the worker
// threads too), the medians of alternating runs so that both counts meet the same load, and
// whether the two counts returned the same bits. For the --threads mode of mcd_bench and
// lts_bench (bench/run_threads.sh).
#pragma once

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "robmat/host/session.h"

namespace bench {

inline double process_seconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

inline double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t m = v.size() / 2;
  return v.size() % 2 == 1 ? v[m] : 0.5 * (v[m - 1] + v[m]);
}

inline std::vector<uint64_t> result_bits(const robmat::host::CallResult& r) {
  std::vector<uint64_t> bits;
  for (const robmat::host::Matrix& m : r.results)
    for (double v : m.data) {
      uint64_t b;
      std::memcpy(&b, &v, sizeof b);
      bits.push_back(b);
    }
  return bits;
}

// Times call() with 1 and 2 CPUs, alternating, at least `rounds` times each and until both
// have run for min_seconds; prints "threads ROUTINE N P WALL1 CPU1 WALL2 CPU2 SAME".
inline void time_threads(const char* routine,
                         long n,
                         int p,
                         double min_seconds,
                         int rounds,
                         const std::function<robmat::host::CallResult()>& call) {
  std::vector<double> wall[2], cpu[2];
  std::vector<uint64_t> bits[2];
  double spent = 0.0;
  for (int r = 0; r < rounds + 1 || spent < min_seconds; ++r)
    for (int t = 0; t < 2; ++t) {
      setenv("ROBMAT_CPUCOUNT", t == 0 ? "1" : "2", 1);
      const double c0 = process_seconds();
      const auto w0 = std::chrono::steady_clock::now();
      const robmat::host::CallResult res = call();
      const double w = std::chrono::duration<double>(std::chrono::steady_clock::now() - w0).count();
      const double c = process_seconds() - c0;
      if (r == 0) {  // the first call of each count warms the caches and is not timed
        bits[t] = result_bits(res);
        continue;
      }
      wall[t].push_back(w);
      cpu[t].push_back(c);
      spent += w;
    }
  unsetenv("ROBMAT_CPUCOUNT");
  std::printf("threads %s %ld %d %.6e %.6e %.6e %.6e %s\n",
              routine,
              n,
              p,
              median(wall[0]),
              median(cpu[0]),
              median(wall[1]),
              median(cpu[1]),
              bits[0] == bits[1] ? "same" : "DIFFERENT");
  std::fflush(stdout);
}

}  // namespace bench
