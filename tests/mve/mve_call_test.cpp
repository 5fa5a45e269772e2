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

namespace {

using namespace robmat::host;
using robmat::testing::all_missing;

using robmat::testing::option_vector;
using robmat::testing::row_matrix;

const Matrix& hbk() {
  static const Matrix m = robmat::testing::data_matrix("hbk", 0, 3);
  return m;
}

class Mve : public ::testing::Test {
 protected:
  robmat::testing::Outcome run(const Matrix& opt, const Matrix& x, const Matrix* start = nullptr) {
    return robmat::testing::call(s, "MVE", {&opt, &x, start});
  }
  Session s{ROBMAT_MODULE_PATH};
};

TEST_F(Mve, HbkOutliersGetWeightZero) {
  const auto r = run(Matrix(), hbk());
  robmat::testing::expect_hbk_outliers(r);
  const Matrix &sc = r.results[0], &dist = r.results[2];
  EXPECT_EQ(sc.data[1], 2000.0);  // random subsets of 4
  EXPECT_EQ(sc.data[2], 0.0);     // none singular
  EXPECT_EQ(sc.data[3], 61.0);    // observations of weight 1
  // Distances are returned as roots: the weights follow the robust ones and the cutoff.
  for (int i = 0; i < 75; ++i) EXPECT_EQ(dist.at(2, i), dist.at(1, i) <= sc.data[6] ? 1.0 : 0.0);
}

TEST_F(Mve, CorrelationRowsFollowOptionThree) {
  struct Case {
    double opt3;
    int rows;
  };
  for (const Case& c : {Case{0, 5}, Case{1, 5}, Case{2, 8}, Case{3, 8}}) {
    SCOPED_TRACE(c.opt3);
    const auto r = run(row_matrix({0, 0, c.opt3}), hbk());
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
  const Matrix start_with_missing = row_matrix({1, 2, missing(), 4});
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
      {"start of length p", Matrix(), hbk(), row_matrix({1, 2, 3}), 6},
      {"start of length p + 2", Matrix(), hbk(), row_matrix({1, 2, 3, 4, 5}), 6},
      {"start with a missing value", Matrix(), hbk(), start_with_missing, 17},
      {"start beyond n", Matrix(), hbk(), row_matrix({1, 2, 3, 76}), 6},
      {"start element 0", Matrix(), hbk(), row_matrix({0, 2, 3, 4}), 6},
      {"start matrix", Matrix(), hbk(), Matrix(2, 2, 1.0), 6},
      {"good start", Matrix(), hbk(), row_matrix({20, 30, 40, 50}), 0},
      {"n <= p, refused before sizing", Matrix(), square, std::nullopt, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto r = run(c.opt, c.x, c.start ? &*c.start : nullptr);
    EXPECT_EQ(r.status, c.status);
    EXPECT_TRUE(c.status == 0 || all_missing(r.results));
  }
  const Matrix zero = row_matrix({0, 2, 3, 4});
  EXPECT_TRUE(run(Matrix(), hbk(), &zero).logged("Element 1 of the start subset"));
}

// Failed engines: status 0, every result missing, the host's verdict, and the message.
TEST_F(Mve, FailedEnginesLeaveResultsMissing) {
  Matrix plane = hbk();
  for (int i = 0; i < 75; ++i) plane.at(i, 2) = plane.at(i, 0) - plane.at(i, 1);
  Matrix dup = hbk();
  for (int j = 0; j < 3; ++j) dup.at(1, j) = dup.at(0, j);
  const Matrix singular_start = row_matrix({1, 2, 3, 4});
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
    const auto r = run(Matrix(), c.x, c.start);
    ASSERT_EQ(r.results.size(), 3u);
    EXPECT_TRUE(all_missing(r.results));
    EXPECT_TRUE(r.engine_failed);
    EXPECT_TRUE(r.logged(c.message));
  }
}

// Opt 22: 1-3 ask for an exchange refinement, other values are refused with a message and
// leave it off; the refinement never makes the criterion worse.
TEST_F(Mve, OptionTwentyTwoSelectsTheExchange) {
  const Matrix few = option_vector({{5, 100}});
  const auto plain = run(few, hbk());
  for (double v : {1.0, 2.0, 3.0}) {
    SCOPED_TRACE(v);
    const auto r = run(option_vector({{5, 100}, {22, v}}), hbk());
    EXPECT_TRUE(r.log.empty());
    // The refined subset's objective is recomputed from its sorted members: 1e-12 of rounding.
    EXPECT_LE(r.results[0].data[4], plain.results[0].data[4] * (1.0 + 1e-12));
    EXPECT_GT(r.results[0].data[1], plain.results[0].data[1]);  // the trials are counted
    for (int i = 0; i < 75; ++i) EXPECT_EQ(r.results[2].at(2, i), i < 14 ? 0.0 : 1.0);
  }
  for (double v : {4.0, -1.0, 22.0}) {
    SCOPED_TRACE(v);
    const auto r = run(option_vector({{5, 100}, {22, v}}), hbk());
    EXPECT_TRUE(r.logged("Option 22 (the pairwise exchange refinement) must be 0 (none), 1, 2 or 3"));
    EXPECT_EQ(r.results[0].data, plain.results[0].data);
  }
}

TEST_F(Mve, EveryRefusedRequestIsCleanedUp) {
  const Matrix start = row_matrix({20, 30, 40, 50});
  const Matrix exchange = option_vector({{3, 2}, {5, 50}, {22, 1}});
  EXPECT_EQ(robmat::testing::fail_each_request(s, [&] { return run(Matrix(), hbk()); }), 6);
  robmat::testing::fail_each_request(s, [&] { return run(exchange, hbk(), &start); });
}

}  // namespace
