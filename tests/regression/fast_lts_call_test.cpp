// LTS with its default search, FAST-LTS, end to end through the host: the stack loss optimum
// and the hbk bad leverage points (published facts), the same bits from the default seed and
// from seed 19 given, the least squares companions one row up against an independent long
// double fit, and an all-singular search that ends the run while the session goes on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "robmat/host/session.h"
#include "support/calls.h"
#include "support/datasets.h"
#include "support/least_squares_reference.h"

namespace {

using namespace robmat::host;
using robmat::testing::all_missing;
using robmat::testing::Outcome;

using robmat::testing::data_matrix;
using robmat::testing::option_vector;

bool row_missing(const Matrix& m, long r) {
  for (long j = 0; j < m.cols; ++j)
    if (!is_missing(m.at(r, j))) return false;
  return true;
}

class FastLtsCall : public ::testing::Test {
 protected:
  Outcome run(const Matrix& opt, const Matrix& y, const Matrix& x) {
    return robmat::testing::call(s, "LTS", {&opt, &y, &x});
  }
  const Matrix stack_x = data_matrix("stackloss", 0, 3);
  const Matrix stack_y = data_matrix("stackloss", 3, 4);
  Session s{ROBMAT_MODULE_PATH};
};

// The global LTS optimum of stack loss with h = 13, by enumeration of all 13-subsets
// (data/README.md): 2.932391246 at {5-12, 15-19}.
TEST_F(FastLtsCall, StackLossDefaultReachesTheOptimum) {
  const Outcome r = run(Matrix(), stack_y, stack_x);
  ASSERT_EQ(r.status, 0);
  ASSERT_EQ(r.results[0].rows, 20);
  ASSERT_EQ(r.results[1].rows, 2);
  ASSERT_EQ(r.results[2].rows, 3);
  const Matrix& sc = r.results[0];
  EXPECT_EQ(sc.data[0], 13.0);
  EXPECT_GE(sc.data[1], 500.0);  // elemental starts, singular ones drawn again
  EXPECT_NEAR(13.0 * sc.data[4] * sc.data[4], 2.932391246, 1e-9 * 2.932391246);
  const double published[4] = {0.74092106, 0.39152672, 0.01113454, -37.32332647};  // intercept last
  for (int j = 0; j < 4; ++j)
    EXPECT_NEAR(r.results[1].at(0, j), published[j], 5e-8 * std::max(1.0, std::fabs(published[j]))) << j;
  EXPECT_TRUE(row_missing(r.results[1], 1));  // no least squares fit asked for, no best subset
  EXPECT_TRUE(row_missing(r.results[2], 2));  // no diagnostics over subsets
  // The default seed is 19: the same call with opt 20 = 19 gives the same bits.
  const Outcome again = run(option_vector({{20, 19}}), stack_y, stack_x);
  ASSERT_EQ(again.status, 0);
  EXPECT_EQ(robmat::testing::result_bits(again), robmat::testing::result_bits(r));
}

// Hawkins, Bradu and Kass: observations 1-10 are bad leverage points, 11-14 good ones.
TEST_F(FastLtsCall, HbkReweightingDropsExactlyTheBadLeveragePoints) {
  const Outcome r = run(Matrix(), data_matrix("hbk", 3, 4), data_matrix("hbk", 0, 3));
  ASSERT_EQ(r.status, 0);
  const Matrix& obs = r.results[2];
  for (long i = 0; i < 75; ++i) EXPECT_EQ(obs.at(0, i), i < 10 ? 0.0 : 1.0) << "observation " << i + 1;
  EXPECT_EQ(r.results[0].data[3], 65.0);  // observations of weight 1
}

// With FAST-LTS the second row of the estimates holds the least squares estimates and the
// rows of tests follow it, one row higher than after the subset search.
TEST_F(FastLtsCall, LeastSquaresCompanionsMoveUpARow) {
  std::vector<double> design;
  for (long i = 0; i < 21; ++i) {
    for (int j = 0; j < 3; ++j) design.push_back(stack_x.at(i, j));
    design.push_back(1.0);
  }
  struct Case {
    const char* name;
    double ilsq;
    bool reweighted;
  };
  for (const Case& c : {Case{"ordinary", 2, false}, Case{"reweighted", 1, true}, Case{"both", 3, true}}) {
    SCOPED_TRACE(c.name);
    const Outcome r = run(option_vector({{3, c.ilsq}, {8, 1}}), stack_y, stack_x);
    ASSERT_EQ(r.status, 0);
    const Matrix& est = r.results[1];
    ASSERT_EQ(est.rows, 8);
    std::vector<double> w(21, 1.0);
    if (c.reweighted)
      for (long i = 0; i < 21; ++i) w[i] = r.results[2].at(0, i);
    const robmat::testing::LsRef ref = robmat::testing::ls_reference(design, stack_y.data, 4, w);
    for (int j = 0; j < 4; ++j) {
      SCOPED_TRACE(j);
      // 1e-9: the module solves the normal equations, the reference a long double QR.
      EXPECT_NEAR(est.at(1, j), ref.beta[j], 1e-9 * (1.0 + std::fabs(ref.beta[j])));
      EXPECT_NEAR(est.at(2, j), ref.se[j], 1e-9 * ref.se[j]);
      EXPECT_NEAR(est.at(3, j), ref.beta[j] / ref.se[j], 1e-8 * (1.0 + std::fabs(ref.beta[j] / ref.se[j])));
      EXPECT_LT(est.at(5, j), est.at(1, j));
      EXPECT_GT(est.at(6, j), est.at(1, j));
    }
    EXPECT_TRUE(row_missing(est, 7));
    // The robust fit does not depend on its companions.
    EXPECT_NEAR(13.0 * r.results[0].data[4] * r.results[0].data[4], 2.932391246, 1e-9 * 2.932391246);
  }
}

TEST_F(FastLtsCall, ResultsDoNotDependOnTheHostsCpuCount) {
  // The size of the bench data: 2000 cases, 4 regressors and an intercept, a fifth of them
  // bad leverage points.
  const Matrix x = robmat::testing::scattered_data(2000, 4, 5.0);
  Matrix y(2000, 1);
  for (long i = 0; i < 2000; ++i) {
    y.at(i, 0) = 1.0 + 0.1 * std::sin(static_cast<double>(i));
    for (long j = 0; j < 4; ++j) y.at(i, 0) += i >= 1600 ? -x.at(i, j) : x.at(i, j);
  }
  for (const Matrix& opt : {Matrix(), option_vector({{2, 5}}), option_vector({{23, 1}})})
    robmat::testing::expect_cpu_count_invariance([&] { return run(opt, y, x); });
  robmat::testing::expect_threads_take_one_request_more(s, [&] { return run(Matrix(), y, x); });
}

// Two equal regressors: every elemental subset is singular, so the run ends (xexit 9999)
// with every result missing; the session goes on.
TEST_F(FastLtsCall, EverySubsetSingularEndsTheRun) {
  Matrix twins = stack_x;
  for (long i = 0; i < 21; ++i) twins.at(i, 1) = twins.at(i, 0);
  for (const Matrix& opt : {Matrix(), option_vector({{2, 1}})}) {
    const Outcome r = run(opt, stack_y, twins);
    EXPECT_EQ(r.exit_code, 9999);
    EXPECT_TRUE(all_missing(r.results));
    EXPECT_TRUE(r.logged("Every subset"));
  }
  EXPECT_EQ(run(Matrix(), stack_y, stack_x).status, 0);
}

}  // namespace
