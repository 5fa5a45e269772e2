// MVE end to end through the host: the hbk outliers, the shapes and rows of the three
// results, the refusals with their status and missing results, failed engines, opt 22, and
// every request for work space or a result refused in turn.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "robmat/host/session.h"
#include "support/calls.h"
#include "support/datasets.h"

namespace {

using namespace robmat::host;
using robmat::testing::all_missing;

const Matrix& hbk() {
  static const Matrix m = [] {
    const robmat::testing::Dataset d = robmat::testing::load_dataset("hbk");
    Matrix x(d.rows, 3);
    x.data = d.columns(0, 3);
    return x;
  }();
  return m;
}

Matrix row(std::initializer_list<double> v) {
  Matrix m(1, static_cast<int64_t>(v.size()));
  std::copy(v.begin(), v.end(), m.data.begin());
  return m;
}

// An option vector with the given (1-based) positions set and the others missing.
Matrix options(std::initializer_list<std::pair<int, double>> set) {
  int len = 0;
  for (auto [k, v] : set) len = std::max(len, k);
  Matrix m(1, len, missing());
  for (auto [k, v] : set) m.data[static_cast<size_t>(k - 1)] = v;
  return m;
}

bool logged(const std::vector<LogEntry>& log, const std::string& text) {
  return std::any_of(
      log.begin(), log.end(), [&](const LogEntry& e) { return e.text.find(text) != std::string::npos; });
}

class Mve : public ::testing::Test {
 protected:
  std::vector<const Value*> args(const Matrix& opt, const Matrix& x, const Matrix* start) {
    vo = opt;
    vx = x;
    std::vector<const Value*> a{&vo, &vx};
    if (start) {
      vs = *start;
      a.push_back(&*vs);
    }
    return a;
  }
  robmat::testing::Outcome run(const Matrix& opt, const Matrix& x, const Matrix* start = nullptr) {
    return robmat::testing::call(s, "MVE", args(opt, x, start));
  }
  CallResult call(const Matrix& opt, const Matrix& x, const Matrix* start = nullptr) {
    return s.call("MVE", args(opt, x, start));
  }
  Session s{ROBMAT_MODULE_PATH};
  Value vo, vx;
  std::optional<Value> vs;
};

TEST_F(Mve, HbkOutliersGetWeightZero) {
  const auto r = run(Matrix(), hbk());
  ASSERT_EQ(r.status, 0);
  ASSERT_EQ(r.results.size(), 3u);
  const Matrix& sc = r.results[0];
  const Matrix& est = r.results[1];
  const Matrix& dist = r.results[2];
  EXPECT_EQ(sc.rows, 7);
  EXPECT_EQ(est.rows, 5);
  EXPECT_EQ(est.cols, 3);
  EXPECT_EQ(dist.rows, 3);
  EXPECT_EQ(dist.cols, 75);
  EXPECT_EQ(sc.data[0], 39.0);    // h = (n + p + 1) / 2
  EXPECT_EQ(sc.data[1], 2000.0);  // random subsets of 4
  EXPECT_EQ(sc.data[2], 0.0);     // none singular
  EXPECT_EQ(sc.data[3], 61.0);    // observations of weight 1
  EXPECT_NEAR(sc.data[6], std::sqrt(9.348403604496145), 1e-12);
  for (int i = 0; i < 75; ++i) EXPECT_EQ(dist.at(2, i), i < 14 ? 0.0 : 1.0) << "observation " << i + 1;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_EQ(est.at(2 + i, j), est.at(2 + j, i));
  // Distances are returned as roots: the weights follow the robust ones and the cutoff.
  for (int i = 0; i < 75; ++i) EXPECT_EQ(dist.at(2, i), dist.at(1, i) <= sc.data[6] ? 1.0 : 0.0);
  EXPECT_FALSE(r.engine_failed);
}

TEST_F(Mve, CorrelationRowsFollowOptionThree) {
  struct Case {
    double opt3;
    int rows;
  };
  for (const Case& c : {Case{0, 5}, Case{1, 5}, Case{2, 8}, Case{3, 8}}) {
    SCOPED_TRACE(c.opt3);
    const auto r = run(row({0, 0, c.opt3}), hbk());
    ASSERT_EQ(r.status, 0);
    const Matrix& est = r.results[1];
    EXPECT_EQ(est.rows, c.rows);
    if (c.rows != 8) continue;
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j)
        EXPECT_NEAR(
            est.at(5 + i, j), est.at(2 + i, j) / std::sqrt(est.at(2 + i, i) * est.at(2 + j, j)), 1e-14);
  }
}

TEST_F(Mve, RefusalsLeaveEveryResultMissing) {
  Matrix with_missing = hbk();
  with_missing.at(4, 1) = missing();
  const Matrix start_with_missing = row({1, 2, missing(), 4});
  const Matrix square(3, 3, 1.0);
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
      {"start of length p", Matrix(), hbk(), row({1, 2, 3}), 6},
      {"start of length p + 2", Matrix(), hbk(), row({1, 2, 3, 4, 5}), 6},
      {"start with a missing value", Matrix(), hbk(), start_with_missing, 17},
      {"start beyond n", Matrix(), hbk(), row({1, 2, 3, 76}), 6},
      {"start element 0", Matrix(), hbk(), row({0, 2, 3, 4}), 6},
      {"start matrix", Matrix(), hbk(), Matrix(2, 2, 1.0), 6},
      {"good start", Matrix(), hbk(), row({20, 30, 40, 50}), 0},
      {"n <= p, refused before sizing", Matrix(), square, std::nullopt, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto r = run(c.opt, c.x, c.start ? &*c.start : nullptr);
    EXPECT_EQ(r.status, c.status);
    EXPECT_TRUE(c.status == 0 || all_missing(r.results));
  }
  try {
    const Matrix zero = row({0, 2, 3, 4});
    call(Matrix(), hbk(), &zero);
    FAIL() << "a start element 0 was accepted";
  } catch (const RoutineError& e) {
    EXPECT_TRUE(logged(e.log, "Element 1 of the start subset"));
  }
}

// Failed engines: status 0, every result missing, the host's verdict, and the message.
TEST_F(Mve, FailedEnginesLeaveResultsMissing) {
  Matrix plane = hbk();
  for (int i = 0; i < 75; ++i) plane.at(i, 2) = plane.at(i, 0) - plane.at(i, 1);
  Matrix dup = hbk();
  for (int j = 0; j < 3; ++j) dup.at(1, j) = dup.at(0, j);
  const Matrix singular_start = row({1, 2, 3, 4});
  struct Case {
    const char* name;
    Matrix x;
    const Matrix* start;
    const char* message;
  };
  const Case cases[] = {
      {"classical covariance singular", plane, nullptr, "The classical covariance matrix is singular"},
      {"given subset singular", dup, &singular_start, "The given start subset is singular"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CallResult r = call(Matrix(), c.x, c.start);
    ASSERT_EQ(r.results.size(), 3u);
    EXPECT_TRUE(all_missing(r.results));
    EXPECT_TRUE(r.engine_failed);
    EXPECT_TRUE(logged(r.log, c.message));
  }
}

// Opt 22: 1-3 ask for an exchange refinement, other values are refused with a message and
// leave it off; the refinement never makes the criterion worse.
TEST_F(Mve, OptionTwentyTwoSelectsTheExchange) {
  const Matrix few = options({{5, 100}});
  const CallResult plain = call(few, hbk());
  for (double v : {1.0, 2.0, 3.0}) {
    SCOPED_TRACE(v);
    const CallResult r = call(options({{5, 100}, {22, v}}), hbk());
    EXPECT_TRUE(r.log.empty());
    // The refined subset's objective is recomputed from its sorted members: 1e-12 of rounding.
    EXPECT_LE(r.results[0].data[4], plain.results[0].data[4] * (1.0 + 1e-12));
    EXPECT_GT(r.results[0].data[1], plain.results[0].data[1]);  // the trials are counted
    for (int i = 0; i < 75; ++i) EXPECT_EQ(r.results[2].at(2, i), i < 14 ? 0.0 : 1.0);
  }
  for (double v : {4.0, -1.0, 22.0}) {
    SCOPED_TRACE(v);
    const CallResult r = call(options({{5, 100}, {22, v}}), hbk());
    EXPECT_TRUE(logged(r.log, "Option 22 (the pairwise exchange refinement) must be 0 (none), 1, 2 or 3"));
    EXPECT_EQ(r.results[0].data, plain.results[0].data);
  }
}

TEST_F(Mve, EveryRefusedRequestIsCleanedUp) {
  const Matrix start = row({20, 30, 40, 50});
  const Matrix exchange = options({{3, 2}, {5, 50}, {22, 1}});
  EXPECT_EQ(robmat::testing::fail_each_request(s, [&] { return run(Matrix(), hbk()); }), 6);
  robmat::testing::fail_each_request(s, [&] { return run(exchange, hbk(), &start); });
}

}  // namespace
