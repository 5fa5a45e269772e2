// MCD end to end through the host: the hbk outliers, the shapes and rows of the three
// results, the refusals with their status and missing results, a failed engine, every
// request for work space or a result refused in turn, and the full results of the bundled
// data sets against the bits recorded before the engine's pieces were factored out.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <sstream>
#include <thread>

#include "robmat/host/session.h"
#include "support/calls.h"
#include "support/datasets.h"

namespace {

using namespace robmat::host;
using robmat::testing::all_missing;

using robmat::testing::data_matrix;
using robmat::testing::option_vector;
using robmat::testing::row_matrix;

const Matrix& hbk() {
  static const Matrix m = data_matrix("hbk", 0, 3);
  return m;
}

class Mcd : public ::testing::Test {
 protected:
  robmat::testing::Outcome run(const Matrix& opt, const Matrix& x, const Matrix* start = nullptr) {
    return robmat::testing::call(s, "MCD", {&opt, &x, start});
  }
  Session s{ROBMAT_MODULE_PATH};
};

TEST_F(Mcd, HbkOutliersGetWeightZero) {
  const auto r = run(Matrix(), hbk());
  robmat::testing::expect_hbk_outliers(r);
  EXPECT_EQ(r.results[0].data[3], 14.0);  // observations of weight 0
  // Robust distances of the outliers dwarf the others.
  for (int i = 0; i < 14; ++i) EXPECT_GT(r.results[2].at(1, i), r.results[2].at(1, 20));
}

TEST_F(Mcd, CorrelationRowsAndPrinting) {
  robmat::testing::RecordingSink sink;
  s.set_output(&sink);
  auto quiet = run(row_matrix({0, 0, 2}), hbk());
  EXPECT_EQ(quiet.results[1].rows, 8);  // 2p + 2
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(quiet.results[1].at(5 + i, i), 1.0, 1e-14);
  EXPECT_TRUE(sink.objects.empty());
  run(row_matrix({2, 0, 3}), hbk());
  EXPECT_TRUE(sink.has("Distances"));
  s.set_output(nullptr);
}

TEST_F(Mcd, RefusalsLeaveEveryResultMissing) {
  Matrix with_missing = hbk();
  with_missing.at(4, 1) = missing();
  Matrix start_with_missing = row_matrix({1, 2, missing(), 4});
  struct Case {
    const char* name;
    Matrix opt;
    const Matrix& x;
    std::optional<Matrix> start;
    int status;
  };
  const Case cases[] = {
      {"option matrix", Matrix(2, 2, 0.0), hbk(), {}, 6},
      {"missing value in x", Matrix(), with_missing, {}, 17},
      {"start of length p", Matrix(), hbk(), row_matrix({1, 2, 3}), 6},
      {"start with a missing value", Matrix(), hbk(), start_with_missing, 17},
      {"start beyond n", Matrix(), hbk(), row_matrix({1, 2, 3, 76}), 6},
      {"start below 1", Matrix(), hbk(), row_matrix({0, 2, 3, 4}), 6},
      {"start matrix", Matrix(), hbk(), Matrix(2, 2, 1.0), 6},
      {"good start", Matrix(), hbk(), row_matrix({20, 30, 40, 50}), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto r = run(c.opt, c.x, c.start ? &*c.start : nullptr);
    EXPECT_EQ(r.status, c.status);
    EXPECT_TRUE(c.status == 0 || all_missing(r.results));
  }
}

// Shapes that admit no estimate are refused before anything is sized (wide data would ask for
// work space beyond any machine first), and options that cannot be used with a message that
// names them; empty data and infinite values never reach the module.
TEST_F(Mcd, ImpossibleShapesAndOptionsAreRefusedBeforeSizing) {
  Matrix with_inf = hbk();
  with_inf.at(4, 2) = -HUGE_VAL;
  struct Case {
    const char* name;
    Matrix opt;
    Matrix x;
    int status;
    const char* message;
  };
  const Case cases[] = {
      {"n = p", Matrix(), Matrix(3, 3, 1.0), 6, "There must be more observations than variables."},
      {"2 x 2", row_matrix({1}), Matrix(2, 2, 1.0), 6, "There must be more observations than variables."},
      {"wide", Matrix(), Matrix(10, 20000, 1.0), 6, "There must be more observations than variables."},
      {"no rows", Matrix(), Matrix(0, 3), robmat::testing::kHostRefusal, "is empty (0 x 3)"},
      {"no columns", Matrix(), Matrix(3, 0), robmat::testing::kHostRefusal, "is empty (3 x 0)"},
      {"0 x 6e8", Matrix(), Matrix(0, 600000000), robmat::testing::kHostRefusal, "is empty"},
      {"-Inf", Matrix(), with_inf, robmat::testing::kHostRefusal, "holds -Inf at row 5, column 3"},
      {"Inf option",
       row_matrix({1, HUGE_VAL}),
       hbk(),
       robmat::testing::kHostRefusal,
       "Argument 1 (opt) of MCD holds Inf"},
      {"opt 16 = -1", option_vector({{16, -1}}), hbk(), 6, "Option 16 (the largest number of subdatasets)"},
      {"opt 16 = 0", option_vector({{16, 0}}), hbk(), 6, "from 1 to 500, not 0"},
      {"opt 16 = 1e9", option_vector({{16, 1e9}}), hbk(), 6, "from 1 to 500, not 1000000000"},
      {"opt 17 = -5", option_vector({{17, -5}}), hbk(), 6, "Option 17 (the size of a subdataset)"},
      {"opt 17 = 0", option_vector({{17, 0}}), hbk(), 6, "at least 1, not 0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto r = run(c.opt, c.x);
    EXPECT_EQ(r.status, c.status);
    EXPECT_NE(r.message.find(c.message), std::string::npos) << r.message;
    EXPECT_TRUE(r.results.empty() || all_missing(r.results));
    EXPECT_EQ(r.requests, 0);
  }
  // Large but usable subdataset options ask for no more than the data can use.
  for (double size : {75.0, 1e9}) {
    const auto r = run(option_vector({{17, size}}), hbk());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.results[0].data[3], 14.0);
  }
}

TEST_F(Mcd, EveryRefusedRequestIsCleanedUp) {
  const Matrix start = row_matrix({20, 30, 40, 50});
  const Matrix correlations = row_matrix({0, 0, 2});
  EXPECT_EQ(robmat::testing::fail_each_request(s, [&] { return run(Matrix(), hbk()); }), 8);
  robmat::testing::fail_each_request(s, [&] { return run(correlations, hbk(), &start); });
}

// ---- the host's worker threads -----------------------------------------------------------------

// The size of the bench data: 2000 cases of 5 variables, where the subdatasets run.
const Matrix& bench_data() {
  static const Matrix m = robmat::testing::scattered_data(2000, 5, 3.0);
  return m;
}

// 3000 cases of 2 variables, 1499 of them on a line: too few for an exact fit, but the
// halves of a subdataset or of the merged set often collapse onto it, and such singular
// C-steps run on the calling thread (the dependency analysis calls the host's sweep).
Matrix halves_on_a_line() {
  Matrix x(3000, 2);
  std::mt19937 gen(101);
  std::normal_distribution<double> z(0.0, 1.0);
  for (double& v : x.data) v = z(gen);
  for (long i = 0; i < 1499; ++i) x.at(i, 1) = 0.5 * x.at(i, 0) - 1.0;
  return x;
}

TEST_F(Mcd, ResultsDoNotDependOnTheHostsCpuCount) {
  const Matrix halves = halves_on_a_line();
  const std::pair<Matrix, const Matrix*> calls[] = {{Matrix(), &bench_data()},
                                                    {option_vector({{1, 5}, {2, 1}}), &bench_data()},
                                                    {option_vector({{23, 1}}), &bench_data()},
                                                    {option_vector({{1, 3}}), &halves}};
  for (const auto& [opt, x] : calls)
    robmat::testing::expect_cpu_count_invariance([&] { return run(opt, *x); });
  robmat::testing::expect_threads_take_one_request_more(s, [&] { return run(Matrix(), bench_data()); });
}

TEST_F(Mcd, AnInterruptWhileWorkerThreadsRunCancelsTheCallCleanly) {
  // Whenever it comes, the call is cancelled (or has just ended) with every block freed, which
  // the host checks; the worker threads are gone by then.
  robmat::testing::ScopedCpuCount c(2);
  for (int delay_us : {0, 300, 1000, 3000, 10000}) {
    SCOPED_TRACE(delay_us);
    std::thread t([&] {
      std::this_thread::sleep_for(std::chrono::microseconds(delay_us));
      s.interrupt();
    });
    try {
      run(Matrix(), bench_data());
    } catch (const Interrupted&) {
    }
    t.join();
    s.take_interrupt();
  }
  EXPECT_EQ(run(Matrix(), hbk()).status, 0);
}

// Units do not matter: x * s gives the same weights and distances and the location times s.
// For powers of two every operation scales exactly, so the location is the same bits times s;
// for powers of ten rounding differs, and the relative difference stays at rounding level
// (worst seen 1e-15 over s = 1e-8 .. 1e8; 1e-13 leaves room).
TEST_F(Mcd, ResultsFollowTheUnitsOfTheData) {
  const auto base = run(Matrix(), hbk());
  ASSERT_EQ(base.status, 0);
  for (int k = -8; k <= 8; ++k) {
    for (bool binary : {true, false}) {
      const double unit = binary ? std::ldexp(1.0, 3 * k) : std::pow(10.0, k);
      SCOPED_TRACE((binary ? "2^" + std::to_string(3 * k) : "10^" + std::to_string(k)));
      Matrix x = hbk();
      for (double& v : x.data) v *= unit;
      const auto r = run(Matrix(), x);
      ASSERT_EQ(r.status, 0);
      const Matrix& est = r.results[1];
      const Matrix& dist = r.results[2];
      for (int i = 0; i < 75; ++i) EXPECT_EQ(dist.at(2, i), base.results[2].at(2, i)) << "weight " << i + 1;
      for (int j = 0; j < 3; ++j) {
        const double want = base.results[1].at(0, j) * unit;
        if (binary)
          EXPECT_EQ(est.at(0, j), want);
        else
          EXPECT_NEAR(est.at(0, j) / want, 1.0, 1e-13);
      }
      for (int i = 0; i < 75; ++i)
        EXPECT_NEAR(dist.at(1, i), base.results[2].at(1, i), 1e-12 * base.results[2].at(1, i));
    }
  }
}

// A search of every subset (a negative option 5) at n = 100, p = 5 is 1.2e9 trials: the call
// warns with the count and the time it expects, and an interrupt ends it.
TEST_F(Mcd, AnEnumerationOfBillionsWarnsAndCanBeInterrupted) {
  const Matrix x = robmat::testing::scattered_data(100, 5, 0.0);  // general position
  std::string warning;
  s.set_log_handler([&](const LogEntry& e) {
    if (e.severity == LogEntry::Severity::kWarning && e.text.find("tries all") != std::string::npos) {
      warning = e.text;
      s.interrupt();
    }
  });
  Value vo = row_matrix({0, 0, 0, 0, -1}), vx = x;
  EXPECT_THROW(s.call("MCD", std::vector<const Value*>{&vo, &vx}), Interrupted);
  s.set_log_handler(nullptr);
  EXPECT_NE(warning.find("MCD tries all 1192052400 subsets of 6 of the 100 observations"), std::string::npos)
      << warning;
  EXPECT_NE(warning.find("this takes about"), std::string::npos);
  EXPECT_EQ(run(Matrix(), hbk()).status, 0);  // the session goes on
}

// ---- results recorded before the refactoring ------------------------------------------------

// The recorded bit patterns of each case: results 1..3 in order.
std::map<std::string, std::vector<uint64_t>> recorded() {
  std::ifstream in(std::string(ROBMAT_SOURCE_DIR) + "/tests/mcd/recorded_results.txt");
  std::map<std::string, std::vector<uint64_t>> out;
  std::string line, name;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#' || line.rfind("result", 0) == 0) continue;
    if (line.rfind("== ", 0) == 0) {
      name = line.substr(3);
      continue;
    }
    std::istringstream words(line);
    for (std::string w; words >> w;) out[name].push_back(std::stoull(w, nullptr, 16));
  }
  return out;
}

TEST_F(Mcd, ResultsOfTheBundledDataKeepTheirBits) {
  const Matrix stack = data_matrix("stackloss", 0, 3);
  Matrix constant = hbk(), zero_mad = hbk(), plane = hbk();
  for (long i = 0; i < 75; ++i) {
    constant.at(i, 1) = 7.5;
    if (i < 45) zero_mad.at(i, 0) = 3.0;
    if (i < 60) plane.at(i, 2) = plane.at(i, 0) + 2 * plane.at(i, 1) - 1;
  }
  struct Case {
    const char* name;
    Matrix opt;
    Matrix x;
  };
  const Case cases[] = {
      {"hbk default", row_matrix({0}), hbk()},
      {"hbk correlations", row_matrix({2, 1, 3}), hbk()},
      {"hbk subdatasets", option_vector({{1, 5}, {16, 3}, {17, 10}}), hbk()},
      {"hbk host stream", option_vector({{1, 1}, {19, 1}, {20, 12345}}), hbk()},
      {"stack default", row_matrix({0}), stack},
      {"stack enumeration", row_matrix({1, 0, 0, 0, 1e6}), stack},
      {"stack h 15", row_matrix({1, 1, 1, 15}), stack},
      {"stack loss p1", row_matrix({3, 1, 1}), data_matrix("stackloss", 3, 4)},
      {"hbk X2 p1", row_matrix({5}), data_matrix("hbk", 1, 2)},
      {"constant X2", row_matrix({3, 1, 3}), constant},
      {"zero MAD", row_matrix({3, 1, 1}), zero_mad},
      {"plane", row_matrix({5, 1, 3}), plane},
  };
  const auto want = recorded();
  ASSERT_EQ(want.size(), std::size(cases));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto r = run(c.opt, c.x);
    EXPECT_EQ(robmat::testing::result_bits(r), want.at(c.name));
  }
}

}  // namespace
