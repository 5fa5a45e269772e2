// Routine calls through the host for front-end tests: arguments built from the data sets and
// option positions, the outcome of a call whether it succeeded or not (status, results,
// requests made), the printed output, the refusal rule that every result is left missing, the
// hbk facts every location and scatter routine must give, fault injection that fails the Nth
// work-space or result request for every N the call reaches, and the same bits whatever the
// host's CPU count.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <variant>
#include <vector>

#include "robmat/host/output.h"
#include "robmat/host/session.h"
#include "support/datasets.h"

namespace robmat::testing {

// The status of a call that the host refused before the module ran (an empty data matrix,
// an infinite value).
inline constexpr int kHostRefusal = -2;

// Columns [from, to) of data/<name>.csv as a host matrix (to < 0: through the last column).
inline host::Matrix data_matrix(const std::string& name, long from = 0, long to = -1) {
  const Dataset d = load_dataset(name);
  host::Matrix m(d.rows, (to < 0 ? d.cols : to) - from);
  m.data = d.columns(from, to < 0 ? d.cols : to);
  return m;
}

// A 1 x n matrix of these values.
inline host::Matrix row_matrix(std::initializer_list<double> v) {
  host::Matrix m(1, static_cast<int64_t>(v.size()));
  std::copy(v.begin(), v.end(), m.data.begin());
  return m;
}

// An option vector with the given (1-based) positions set and the others missing.
inline host::Matrix option_vector(std::initializer_list<std::pair<int, double>> set) {
  int len = 0;
  for (auto [k, v] : set) len = std::max(len, k);
  host::Matrix m(1, len, host::missing());
  for (auto [k, v] : set) m.data[static_cast<size_t>(k - 1)] = v;
  return m;
}

// What one call did. A leak or a stale result write is not an outcome: the host throws for
// it, and the test fails.
struct Outcome {
  int status = 0;  // front-end status; -1 after an xexit; kHostRefusal
  int exit_code = 0;
  bool engine_failed = false;
  std::vector<host::Matrix> results;
  int64_t requests = 0;
  std::string message;  // of a failed call
  std::vector<host::LogEntry> log;

  // How many log lines of this severity the call wrote.
  long count(host::LogEntry::Severity s) const {
    return std::count_if(log.begin(), log.end(), [s](const host::LogEntry& e) { return e.severity == s; });
  }
  // Whether a log line contains `text`.
  bool logged(const std::string& text) const {
    return std::any_of(log.begin(), log.end(), [&](const host::LogEntry& e) {
      return e.text.find(text) != std::string::npos;
    });
  }
};

inline Outcome call(host::Session& s, const std::string& name, const std::vector<const host::Value*>& args) {
  try {
    host::CallResult r = s.call(name, args);
    return {0, 0, r.engine_failed, std::move(r.results), r.requests, r.failure, std::move(r.log)};
  } catch (const host::RoutineError& e) {
    return {e.status, e.exit_code, false, e.results, e.requests, e.what(), e.log};
  } catch (const host::Error& e) {
    if (dynamic_cast<const host::Interrupted*>(&e) != nullptr) throw;
    return {kHostRefusal, 0, false, {}, 0, e.what(), {}};
  }
}

// A call with matrix arguments; a null one is omitted, and trailing omitted ones are dropped.
inline Outcome call(host::Session& s,
                    const std::string& name,
                    std::initializer_list<const host::Matrix*> args) {
  std::vector<host::Value> values;
  values.reserve(args.size());
  std::vector<const host::Value*> ptrs;
  for (const host::Matrix* m : args) {
    values.push_back(m ? host::Value(*m) : host::Value(host::Matrix()));
    ptrs.push_back(m ? &values.back() : nullptr);
  }
  while (!ptrs.empty() && ptrs.back() == nullptr) ptrs.pop_back();
  return call(s, name, ptrs);
}

// Every output object a call prints, by name (tables and matrices) and text.
class RecordingSink : public host::OutputSink {
 public:
  void emit(const host::OutputObject& o) override { objects.push_back(o); }
  std::vector<host::OutputObject> objects;
  const host::TableOutput* table(const std::string& name) const {
    for (const auto& o : objects)
      if (auto* t = std::get_if<host::TableOutput>(&o); t && t->name == name) return t;
    return nullptr;
  }
  bool has_matrix(const std::string& name) const {
    for (const auto& o : objects)
      if (auto* m = std::get_if<host::MatrixOutput>(&o); m && m->name == name) return true;
    return false;
  }
  bool has(const std::string& name) const { return has_matrix(name) || table(name) != nullptr; }
  bool has_line(const std::string& text) const {
    for (const auto& o : objects)
      if (auto* l = std::get_if<host::TextLine>(&o); l && l->text.find(text) != std::string::npos)
        return true;
    return false;
  }
};

// Every result the call created holds only missing values (results never created are 0 x 0).
inline bool all_missing(const std::vector<host::Matrix>& results) {
  return std::all_of(results.begin(), results.end(), [](const host::Matrix& m) {
    return std::all_of(m.data.begin(), m.data.end(), [](double v) { return host::is_missing(v); });
  });
}

// The results of a location and scatter routine (MCD, MVE) on the hbk regressors: three of
// their shapes, h = (n + p + 1) / 2, symmetric scatter rows, the cutoff at the root of the
// chi-square(3) 0.975 quantile, and weight 0 for exactly the planted outliers 1-14.
inline void expect_hbk_outliers(const Outcome& r) {
  ASSERT_EQ(r.status, 0);
  ASSERT_EQ(r.results.size(), 3u);
  const host::Matrix &sc = r.results[0], &est = r.results[1], &dist = r.results[2];
  EXPECT_EQ(sc.rows, 7);
  EXPECT_TRUE(est.rows == 5 && est.cols == 3);
  ASSERT_TRUE(dist.rows == 3 && dist.cols == 75);
  EXPECT_EQ(sc.data[0], 39.0);
  EXPECT_NEAR(sc.data[6], std::sqrt(9.348403604496145), 1e-12);
  for (int i = 0; i < 75; ++i) EXPECT_EQ(dist.at(2, i), i < 14 ? 0.0 : 1.0) << "observation " << i + 1;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_EQ(est.at(2 + i, j), est.at(2 + j, i));
  EXPECT_FALSE(r.engine_failed);
}

// The host's "host.cpucount" for the calls made in a scope: ROBMAT_CPUCOUNT, which the host
// reads at each call.
class ScopedCpuCount {
 public:
  explicit ScopedCpuCount(int cpus) {
    if (const char* v = std::getenv("ROBMAT_CPUCOUNT")) old_ = v;
    had_ = std::getenv("ROBMAT_CPUCOUNT") != nullptr;
    setenv("ROBMAT_CPUCOUNT", std::to_string(cpus).c_str(), 1);
  }
  ~ScopedCpuCount() {
    if (had_)
      setenv("ROBMAT_CPUCOUNT", old_.c_str(), 1);
    else
      unsetenv("ROBMAT_CPUCOUNT");
  }
  ScopedCpuCount(const ScopedCpuCount&) = delete;
  ScopedCpuCount& operator=(const ScopedCpuCount&) = delete;

 private:
  bool had_ = false;
  std::string old_;
};

// The bits of every result of a call, so that missing values compare too.
inline std::vector<uint64_t> result_bits(const Outcome& o) {
  std::vector<uint64_t> bits;
  for (const host::Matrix& m : o.results)
    for (double v : m.data) {
      uint64_t b;
      std::memcpy(&b, &v, sizeof b);
      bits.push_back(b);
    }
  return bits;
}

// The texts of a call's log.
inline std::vector<std::string> log_texts(const Outcome& o) {
  std::vector<std::string> texts;
  for (const host::LogEntry& e : o.log) texts.push_back(e.text);
  return texts;
}

// n cases of p values in general position (no hyperplane holds many of them): fractions of a
// large sine. The last fifth is shifted by `shift` in every variable.
inline host::Matrix scattered_data(long n, long p, double shift) {
  host::Matrix x(n, p);
  for (long i = 0; i < n; ++i)
    for (long j = 0; j < p; ++j) {
      const double v = std::sin(static_cast<double>(i * p + j) * 12.9898) * 43758.5453;
      x.at(i, j) = v - std::floor(v) + (i >= n - n / 5 ? shift : 0.0);
    }
  return x;
}

// Fails request N = 1, 2, ... of `run` until a call no longer reaches N; each refused call
// must end with the no-space status and leave every result missing (the host checks that no
// block is held). Returns the number of requests of a call that nothing refuses.
inline int64_t fail_each_request(host::Session& s, const std::function<Outcome()>& run) {
  for (int n = 1;; ++n) {
    SCOPED_TRACE("request " + std::to_string(n));
    s.fail_nth_allocation(n);
    const Outcome o = run();
    if (o.requests < n) {
      EXPECT_EQ(o.status, 0);
      return o.requests;
    }
    EXPECT_EQ(o.status, 1);
    EXPECT_TRUE(all_missing(o.results));
  }
}

// The results (bits) and log of `run` are the same with 1, 2 and 4 CPUs.
inline void expect_cpu_count_invariance(const std::function<Outcome()>& run) {
  std::vector<Outcome> got;
  for (int cpus : {1, 2, 4}) {
    ScopedCpuCount c(cpus);
    got.push_back(run());
  }
  for (size_t k = 1; k < got.size(); ++k) {
    SCOPED_TRACE(k);
    EXPECT_EQ(got[k].status, 0);
    EXPECT_EQ(result_bits(got[k]), result_bits(got[0]));
    EXPECT_EQ(log_texts(got[k]), log_texts(got[0]));
  }
}

// The worker threads' work space is the one request more than a serial call makes.
inline void expect_threads_take_one_request_more(host::Session& s, const std::function<Outcome()>& run) {
  int64_t serial = 0, threaded = 0;
  {
    ScopedCpuCount c(1);
    serial = fail_each_request(s, run);
  }
  {
    ScopedCpuCount c(2);
    threaded = fail_each_request(s, run);
  }
  EXPECT_EQ(threaded, serial + 1);
}

}  // namespace robmat::testing
