// What the benchmark programs share: the host session on the loaded module, data sets made
// once per size, the reporter that keeps every run's seconds per call for the machine-readable
// lines after the console table, and the removal of a flag of our own before Google Benchmark
// reads the command line.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "robmat/host/session.h"

namespace bench {

// The session on the module the benchmark was built with (ROBMAT_MODULE_PATH).
inline robmat::host::Session& session() {
  static robmat::host::Session s(ROBMAT_MODULE_PATH);
  return s;
}

// make(a...), made at the first use of these arguments and kept.
template <class Data, class... A>
const Data& cached(Data (*make)(A...), A... a) {
  static std::map<std::tuple<A...>, Data> cache;
  const auto key = std::make_tuple(a...);
  auto it = cache.find(key);
  if (it == cache.end()) it = cache.emplace(key, make(a...)).first;
  return it->second;
}

// Keeps seconds per call (wall and processor) of every run for the summary printed after the
// console table.
class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> seconds, cpu_seconds;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs)
      if (r.run_type == Run::RT_Iteration && r.iterations > 0) {
        seconds[r.benchmark_name()] = r.real_accumulated_time / static_cast<double>(r.iterations);
        cpu_seconds[r.benchmark_name()] = r.cpu_accumulated_time / static_cast<double>(r.iterations);
      }
    ConsoleReporter::ReportRuns(runs);
  }
};

// Writes v to the file at path as raw doubles (the machine's order); false, after saying why
// on stderr, when that fails.
inline bool write_doubles(const std::string& path, const std::vector<double>& v) {
  FILE* f = std::fopen(path.c_str(), "wb");
  bool ok = f != nullptr && std::fwrite(v.data(), sizeof(double), v.size(), f) == v.size();
  if (f != nullptr && std::fclose(f) != 0) ok = false;
  if (!ok) std::perror(path.c_str());
  return ok;
}

// Whether the command line holds `flag`; its first occurrence is removed (argv keeps its
// closing null), so that Google Benchmark does not see it.
inline bool take_flag(int* argc, char** argv, const char* flag) {
  for (int i = 1; i < *argc; ++i)
    if (std::strcmp(argv[i], flag) == 0) {
      std::copy(argv + i + 1, argv + *argc + 1, argv + i);
      --*argc;
      return true;
    }
  return false;
}

}  // namespace bench
