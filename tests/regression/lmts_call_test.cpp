// LMS and LTS end to end through the host: the stack loss optima of the complete enumeration,
// the exact-fit outcome, the least squares companions against an independent long double
// fit, equivariance with the same subsets drawn, the layouts of the three results, every
// refusal with its status and missing results, engines that fail or end the run, and fault
// injection for every request. The search itself is tested on the engine (the other files).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <random>

#include "robmat/host/session.h"
#include "support/calls.h"
#include "support/datasets.h"
#include "support/least_squares_reference.h"

namespace {

using namespace robmat::host;
using robmat::testing::all_missing;
using robmat::testing::Outcome;
using Severity = LogEntry::Severity;

using robmat::testing::data_matrix;
using robmat::testing::option_vector;

const Matrix& stack_x() {
  static const Matrix m = data_matrix("stackloss", 0, 3);
  return m;
}
const Matrix& stack_y() {
  static const Matrix m = data_matrix("stackloss", 3, 4);
  return m;
}

Matrix vec(std::initializer_list<double> v, bool column = false) {
  Matrix m = robmat::testing::row_matrix(v);
  if (column) std::swap(m.rows, m.cols);
  return m;
}

// x = 1, ..., 12 and y = 1 + 2x, but for the given (0-based) observations' y.
std::pair<Matrix, Matrix> line_with_outliers(std::initializer_list<std::pair<int, double>> outliers) {
  Matrix x(12, 1), y(12, 1);
  for (int i = 0; i < 12; ++i) {
    x.data[i] = i + 1;
    y.data[i] = 1 + 2 * (i + 1);
  }
  for (auto [i, v] : outliers) y.data[i] = v;
  return {x, y};
}

constexpr int kAllSubsets = 10000;  // above C(21, 4) = 5985: opt 5 asks for every subset

class Lmts : public ::testing::Test {
 protected:
  Outcome run(const char* routine,
              const Matrix& opt,
              const Matrix& y,
              const Matrix* x = nullptr,
              const Matrix* start = nullptr) {
    return robmat::testing::call(s, routine, {&opt, &y, x, start});
  }
  Session s{ROBMAT_MODULE_PATH};
};

// The all-subsets LMS optimum of stack loss (brute force over the 5985 subsets, each with its
// best intercept): 13th smallest squared residual 0.5625 at (-39.25, 0.75, 0.5, 0).
TEST_F(Lmts, StackLossLmsOptimumOverAllSubsets) {
  const Outcome r = run("LMS", option_vector({{5, kAllSubsets}}), stack_y(), &stack_x());
  ASSERT_EQ(r.status, 0);
  const Matrix& sc = r.results[0];
  const Matrix& est = r.results[1];
  ASSERT_EQ(sc.rows, 20);
  ASSERT_EQ(est.rows, 2);
  ASSERT_EQ(r.results[2].rows, 3);
  EXPECT_EQ(sc.data[0], 13.0);    // h = (21 + 4 + 1) / 2
  EXPECT_EQ(sc.data[1], 5985.0);  // every subset
  EXPECT_NEAR(sc.data[4] * sc.data[4], 0.5625, 1e-12);
  const double want[4] = {0.75, 0.5, 0.0, -39.25};  // intercept last
  std::vector<double> r2;
  for (long i = 0; i < 21; ++i) {
    double fit = want[3];
    for (int j = 0; j < 3; ++j) fit += want[j] * stack_x().at(i, j);
    r2.push_back((stack_y().data[i] - fit) * (stack_y().data[i] - fit));
  }
  std::nth_element(r2.begin(), r2.begin() + 12, r2.end());
  EXPECT_EQ(r2[12], 0.5625);
  for (int j = 0; j < 4; ++j) EXPECT_NEAR(est.at(0, j), want[j], 1e-12) << j;
  for (int j = 0; j < 4; ++j) EXPECT_GE(est.at(1, j), 1.0);                       // observation numbers
  for (long i = 0; i < 21; ++i) EXPECT_FALSE(is_missing(r.results[2].at(2, i)));  // diagnostics kept
}

// Ten points on y = 1 + 2x and two outliers: the fit is the line, status 1 ends the run
// before the reweighted fit, and the front end says so.
TEST_F(Lmts, ExactFitEndsWithoutReweighting) {
  const auto [x, y] = line_with_outliers({{2, 40}, {6, -5}});
  const Outcome r = run("LMS", option_vector({{3, 3}, {8, 3}}), y, &x);
  ASSERT_EQ(r.status, 0);
  const Matrix& sc = r.results[0];
  EXPECT_EQ(sc.data[3], 10.0);  // on the line
  EXPECT_EQ(sc.data[6], 0.0);   // final scale
  EXPECT_NEAR(r.results[1].at(0, 0), 2.0, 1e-14);
  EXPECT_NEAR(r.results[1].at(0, 1), 1.0, 1e-13);
  for (int k = 10; k < 14; ++k) EXPECT_TRUE(is_missing(sc.data[k])) << k;
  for (int k = 4; k < 8; ++k) EXPECT_TRUE(is_missing(r.results[1].at(k, 0))) << k;
  EXPECT_TRUE(r.logged("Exact fit with LMS or LTS: WLS estimates are not computed."));
  EXPECT_EQ(r.count(Severity::kError), 0);
}

// What each print level adds: nothing at 0; the estimates and notes at 1; residual tables,
// the history and the diagnostics at 2; every subset's criterion in the history at 5.
TEST_F(Lmts, PrintLevels) {
  const auto [x, y] = line_with_outliers({{2, 37}});
  struct Case {
    int level;
    bool residuals, history, current;
  } cases[] = {
      {0, false, false, false}, {1, false, false, false}, {2, true, true, false}, {5, true, true, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.level);
    robmat::testing::RecordingSink sink;
    s.set_output(&sink);
    const Outcome r = run("LMS", option_vector({{2, c.level}, {3, 3}, {8, 3}}), y, &x);
    s.set_output(nullptr);
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(sink.objects.empty(), c.level == 0);
    if (c.level == 0) continue;
    EXPECT_TRUE(sink.has_matrix("EstCoeff") && sink.has_matrix("CovParm") && sink.table("LSParmEst"));
    EXPECT_TRUE(sink.has_line("exact fit"));  // 11 of the 12 points lie on the line
    EXPECT_EQ(sink.table("LMSResiduals") != nullptr, c.residuals);
    EXPECT_EQ(sink.has_matrix("DistrRes"), c.residuals);
    const TableOutput* hist = sink.table("IterHist0");
    ASSERT_EQ(hist != nullptr, c.history);
    if (hist) {
      EXPECT_EQ(hist->columns.size(), c.current ? 5u : 4u);
    }
  }
}

// Ordinary least squares (opt 3 = 2) with standard errors, t, p and Wald limits, R-square and
// F, against the long double QR: stack loss (cond ~ 1e3) and a design whose two regressors
// differ by 1e-4 relative (cond of the standardized design ~ 3e4).
TEST_F(Lmts, LeastSquaresCompanionsAgainstLongDouble) {
  std::mt19937 gen(11);
  std::normal_distribution<double> z;
  Matrix ill(60, 3), ill_y(60, 1);
  for (int i = 0; i < 60; ++i) {
    const double t = z(gen);
    ill.at(i, 0) = 1e4 * t;
    ill.at(i, 1) = 1e4 * (t + 1e-4 * z(gen));
    ill.at(i, 2) = 3 + z(gen);
    ill_y.data[i] = 2 + 1e-4 * ill.at(i, 0) - 0.5e-4 * ill.at(i, 1) + ill.at(i, 2) + 0.1 * z(gen);
  }
  struct Case {
    const char* name;
    const Matrix& x;
    const Matrix& y;
    double tol;  // relative; the normal equations square the condition
  } cases[] = {{"stack loss", stack_x(), stack_y(), 1e-11},  // worst seen 3e-14
               {"ill-conditioned", ill, ill_y, 1e-6}};       // worst seen 2e-9
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const long n = c.x.rows, k = c.x.cols, p = k + 1;
    std::vector<double> design;
    for (long i = 0; i < n; ++i) {
      for (long j = 0; j < k; ++j) design.push_back(c.x.at(i, j));
      design.push_back(1.0);
    }
    const auto ref =
        robmat::testing::ls_reference(design, c.y.data, static_cast<int>(p), std::vector<double>(n, 1.0));
    const Outcome r = run("LMS", option_vector({{3, 2}, {8, 1}}), c.y, &c.x);
    ASSERT_EQ(r.status, 0);
    const Matrix& est = r.results[1];
    const Matrix& sc = r.results[0];
    ASSERT_EQ(est.rows, 8);
    const double z975 = 1.959963984540054;
    for (long j = 0; j < p; ++j) {
      SCOPED_TRACE(j);
      const double t = ref.beta[j] / ref.se[j];
      EXPECT_NEAR(est.at(2, j), ref.beta[j], c.tol * std::fabs(ref.beta[j]));
      EXPECT_NEAR(est.at(3, j), ref.se[j], c.tol * ref.se[j]);
      EXPECT_NEAR(est.at(4, j), t, c.tol * std::fabs(t));
      // p of the t that was computed: an error of t inside tol moves p more than 1e-10.
      EXPECT_NEAR(est.at(5, j), robmat::testing::t_two_sided(est.at(4, j), n - p), 1e-12);
      EXPECT_NEAR(est.at(6, j), ref.beta[j] - z975 * ref.se[j], c.tol * (std::fabs(ref.beta[j]) + ref.se[j]));
      EXPECT_NEAR(est.at(7, j), ref.beta[j] + z975 * ref.se[j], c.tol * (std::fabs(ref.beta[j]) + ref.se[j]));
    }
    EXPECT_NEAR(sc.data[11], ref.rss, c.tol * ref.rss);
    EXPECT_NEAR(sc.data[10], std::sqrt(ref.rss / (n - p)), c.tol * std::sqrt(ref.rss));
    EXPECT_NEAR(sc.data[12], ref.r2, c.tol);
    EXPECT_NEAR(sc.data[13], ref.f, c.tol * ref.f);
  }
  // R 4.x, summary(lm(stack.loss ~ ., stackloss)): Pr(>|t|) as printed.
  const Outcome r = run("LMS", option_vector({{3, 2}, {8, 1}}), stack_y(), &stack_x());
  const double published[4] = {5.8e-05, 0.00263, 0.34405, 0.00375};
  for (int j = 0; j < 4; ++j) EXPECT_NEAR(r.results[1].at(5, j), published[j], 0.006 * published[j]) << j;
}

// The same n and seed draw the same subsets, and every elemental fit with its best intercept
// is equivariant, so the fits must map exactly (up to rounding) under the transformations.
TEST_F(Lmts, EquivarianceWithTheSameSubsets) {
  std::mt19937 gen(3);
  std::normal_distribution<double> z;
  const long n = 40;
  Matrix x(n, 2), y(n, 1);
  for (long i = 0; i < n; ++i) {
    x.at(i, 0) = z(gen);
    x.at(i, 1) = 2 + z(gen);
    y.data[i] = 1 + x.at(i, 0) - 2 * x.at(i, 1) + 0.3 * z(gen) + (i < 8 ? 15 : 0);
  }
  for (const char* routine : {"LMS", "LTS"}) {
    SCOPED_TRACE(routine);
    const Matrix opt = option_vector({{9, 1}});
    const Outcome base = run(routine, opt, y, &x);
    ASSERT_EQ(base.status, 0);
    const Matrix& b = base.results[1];
    auto check = [&](const Matrix& yt, const Matrix& xt, const std::vector<double>& want, double scale) {
      const Outcome t = run(routine, opt, yt, &xt);
      ASSERT_EQ(t.status, 0);
      for (int j = 0; j < 3; ++j)
        EXPECT_NEAR(t.results[1].at(0, j), want[j], 1e-9 * (1 + std::fabs(want[j]))) << j;
      EXPECT_NEAR(
          t.results[0].data[6], scale * base.results[0].data[6], 1e-9 * scale * base.results[0].data[6]);
      for (int j = 0; j < 3; ++j) EXPECT_EQ(t.results[1].at(1, j), b.at(1, j)) << "same best subset";
    };
    Matrix shifted = y;  // y + 3 x_2: coefficient 2 grows by 3
    for (long i = 0; i < n; ++i) shifted.data[i] += 3 * x.at(i, 1);
    check(shifted, x, {b.at(0, 0), b.at(0, 1) + 3, b.at(0, 2)}, 1.0);
    Matrix scaled = y;  // -2.5 y: everything scales
    for (double& v : scaled.data) v *= -2.5;
    check(scaled, x, {-2.5 * b.at(0, 0), -2.5 * b.at(0, 1), -2.5 * b.at(0, 2)}, 2.5);
    // x -> x A + c with A = [2 1; 0 -1], c = (5, -3): slopes A^-1 beta, intercept alpha - c A^-1 beta.
    Matrix moved(n, 2);
    for (long i = 0; i < n; ++i) {
      moved.at(i, 0) = 2 * x.at(i, 0) + 5;
      moved.at(i, 1) = x.at(i, 0) - x.at(i, 1) - 3;
    }
    const double s1 = 0.5 * b.at(0, 0) + 0.5 * b.at(0, 1), s2 = -b.at(0, 1);
    check(y, moved, {s1, s2, b.at(0, 2) - 5 * s1 + 3 * s2}, 1.0);
  }
}

// Result layouts that depend on the options: least squares rows, the significance rows, the
// univariate walk through the origin, the intercept-only model.
TEST_F(Lmts, ResultLayouts) {
  const Matrix x1 = data_matrix("stackloss", 0, 1);
  struct Case {
    const char* name;
    Matrix opt;
    bool with_x;
    int est_rows, obs_rows;
    int cols;
  } cases[] = {
      {"no least squares", option_vector({{9, 1}}), true, 2, 3, 4},
      {"reweighted fit", option_vector({{3, 1}}), true, 4, 4, 4},
      {"both fits with tests", option_vector({{3, 3}, {8, 1}}), true, 8, 4, 4},
      // Option 8 out of range: no covariance, but the rows exist and are missing.
      {"option 8 out of range", option_vector({{3, 1}, {8, 7}}), true, 8, 4, 4},
      {"intercept only", option_vector({{3, 3}}), false, 4, 4, 1},
      {"through the origin", option_vector({{1, 1}, {3, 2}}), true, 4, 4, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome r = run("LMS", c.opt, stack_y(), c.with_x ? &stack_x() : nullptr);
    ASSERT_EQ(r.status, 0);
    ASSERT_EQ(r.results[1].rows, c.est_rows);
    ASSERT_EQ(r.results[1].cols, c.cols);
    ASSERT_EQ(r.results[2].rows, c.obs_rows);
    ASSERT_EQ(r.results[2].cols, 21);
  }
  const Outcome bad8 = run("LMS", option_vector({{3, 1}, {8, 7}}), stack_y(), &stack_x());
  EXPECT_TRUE(bad8.logged("option 8"));
  for (int k = 3; k < 8; ++k) EXPECT_TRUE(is_missing(bad8.results[1].at(k, 0))) << k;
  EXPECT_FALSE(is_missing(bad8.results[1].at(2, 0)));

  // One regressor through the origin with LMS: the exact walk draws no subsets.
  const Outcome walk = run("LMS", option_vector({{1, 1}}), stack_y(), &x1);
  ASSERT_EQ(walk.status, 0);
  EXPECT_TRUE(is_missing(walk.results[0].data[1]) && is_missing(walk.results[0].data[2]));
  EXPECT_TRUE(is_missing(walk.results[1].at(1, 0)));
  EXPECT_FALSE(is_missing(walk.results[1].at(0, 0)));

  // The location model: LMS location is the middle of the shortest half (h = 11 of 21 sorted
  // responses: 8 ... 15, midpoint 11.5).
  const Outcome loc = run("LMS", Matrix(), stack_y());
  ASSERT_EQ(loc.status, 0);
  EXPECT_EQ(loc.results[1].cols, 1);
  EXPECT_EQ(loc.results[1].at(0, 0), 11.5);
  EXPECT_EQ(loc.results[0].data[0], 11.0);
}

// Refusals: the status of the first failing check and every result missing. A routine that
// ran but failed: status 0, one error in the log, every result missing (the host's verdict).
// A run that cannot go on ends with xexit 9999.
TEST_F(Lmts, RefusalsAndFailures) {
  Matrix y_missing = stack_y();
  y_missing.data[4] = missing();
  Matrix x_missing = stack_x();
  x_missing.at(3, 2) = missing();
  Matrix constant = stack_x();
  for (long i = 0; i < 21; ++i) constant.at(i, 1) = 7;
  Matrix twins = stack_x();
  for (long i = 0; i < 21; ++i) twins.at(i, 2) = twins.at(i, 0);
  Matrix few_y(6, 1), few_x(6, 3);
  for (int i = 0; i < 6; ++i) {
    few_y.data[i] = stack_y().data[i];
    for (int j = 0; j < 3; ++j) few_x.at(i, j) = stack_x().at(i, j);
  }
  Matrix wrong_rows(20, 3, 1.0);
  Matrix flat_y(21, 1, 4.0);
  Matrix one_y(1, 1, 2.0), one_wide_x(1, 8, 1.0);  // fewer observations than p/4
  const Matrix& Y = stack_y();
  const Matrix* X = &stack_x();
  const Matrix lts = option_vector({{9, 1}});  // the subset search
  const Matrix sticky_seed = option_vector({{19, 1}, {20, 2147483647}});
  const Matrix zero_low_seed = option_vector({{19, 1}, {20, 4294967296.0}});
  const char* kDim5 = "Bad dimension 5 of specified subset (n=4).";
  const char* kOpt17 = "Option 17 (the size of a subdataset) must be a whole number of at least 1, not -7.";
  enum Kind { kStatus, kFailed, kExit };
  struct Case {
    const char* name;
    const char* routine;
    Matrix opt;
    Matrix y;
    const Matrix* x;
    std::optional<Matrix> start;
    Kind kind;
    int code;          // status or exit code
    const char* text;  // in the one error logged
  } cases[] = {
      {"option matrix", "LMS", Matrix(2, 2, 0.0), Y, X, {}, kStatus, 6, nullptr},
      {"missing response", "LMS", {}, y_missing, X, {}, kStatus, 17, nullptr},
      {"response as a row", "LMS", {}, vec({1, 2, 3, 4, 5, 6, 7}), nullptr, {}, kStatus, 6, nullptr},
      {"missing regressor", "LMS", {}, Y, &x_missing, {}, kStatus, 17, nullptr},
      {"regressor rows", "LMS", {}, Y, &wrong_rows, {}, kStatus, 6, nullptr},
      {"start with a missing value", "LMS", {}, Y, X, vec({1, 2, missing(), 4}), kStatus, 17, nullptr},
      {"start matrix", "LMS", {}, Y, X, Matrix(2, 2, 1.0), kStatus, 6, nullptr},
      {"start of length p + 1", "LMS", {}, Y, X, vec({1, 2, 3, 4, 5}), kStatus, 6, kDim5},
      {"start beyond n", "LTS", lts, Y, X, vec({1, 2, 3, 22}), kStatus, 6, "Element 4 of the start subset"},
      {"start below 1", "LMS", {}, Y, X, vec({0, 2, 3, 4}), kStatus, 6, "Element 1"},
      {"n = 2p", "LMS", {}, few_y, &few_x, {}, kFailed, 0, "(n = 6, p = 4)"},
      {"one observation", "LMS", {}, vec({3}, true), nullptr, {}, kFailed, 0, "(n = 1, p = 1)"},
      {"FAST-LTS, n < p/4", "LTS", {}, one_y, &one_wide_x, {}, kFailed, 0, "(n = 1, p = 9)"},
      // FAST-LTS sizes its work space from the subdataset options.
      {"FAST-LTS, opt 17 = -7", "LTS", option_vector({{17, -7}}), Y, nullptr, {}, kStatus, 6, kOpt17},
      {"FAST-LTS, opt 16 = 0", "LTS", option_vector({{16, 0}}), Y, X, {}, kStatus, 6, "from 1 to 500, not 0"},
      {"seed that sticks", "LMS", sticky_seed, Y, X, {}, kFailed, 0, "option 20"},
      {"seed with low bits 0", "LMS", zero_low_seed, Y, X, {}, kFailed, 0, "option 20"},
      {"singular start subset", "LMS", {}, Y, X, vec({6, 7, 8, 9}), kFailed, 0, "start subset is singular"},
      {"constant regressor", "LMS", {}, Y, &constant, {}, kExit, 9999, "Regressor 2 has a scale of 0"},
      {"constant response", "LTS", lts, flat_y, X, {}, kExit, 9999, "response has a scale of 0"},
      {"equal regressors", "LMS", {}, Y, &twins, {}, kExit, 9999, "Every subset"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome r = run(c.routine, c.opt, c.y, c.x, c.start ? &*c.start : nullptr);
    EXPECT_TRUE(all_missing(r.results));
    switch (c.kind) {
      case kStatus:
        EXPECT_EQ(r.status, c.code);
        break;
      case kFailed:
        EXPECT_EQ(r.status, 0);
        EXPECT_TRUE(r.engine_failed);
        ASSERT_EQ(r.results.size(), 3u);
        break;
      case kExit:
        EXPECT_EQ(r.exit_code, c.code);
        break;
    }
    if (c.text != nullptr) {
      EXPECT_EQ(r.count(Severity::kError), 1);
      EXPECT_TRUE(r.logged(c.text));
    }
  }
  // The session goes on.
  EXPECT_EQ(run("LMS", Matrix(), stack_y(), X).status, 0);
  // The subset search reads no subdataset option.
  EXPECT_EQ(run("LTS", option_vector({{9, 1}, {17, -7}}), stack_y(), X).status, 0);
  // A subdataset size beyond the data asks for no more work space than the data allow.
  EXPECT_EQ(run("LTS", option_vector({{17, 1e9}}), stack_y(), X).status, 0);
}

// Options out of range are reported and replaced by their defaults; the call goes on.
TEST_F(Lmts, OptionsOutOfRangeTakeTheirDefaults) {
  struct Case {
    const char* name;
    Matrix opt;
    bool start;
    const char* text;
  } cases[] = {
      {"print level 9", option_vector({{2, 9}}), false, "Option 2 is out of range"},
      {"least squares 7", option_vector({{3, 7}}), false, "Option 3 is out of range"},
      {"start switch 2", option_vector({{7, 2}}), true, "Option 7 must lie between 0 and 1"},
  };
  const Matrix start = vec({8, 10, 11, 15});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome r = run("LMS", c.opt, stack_y(), &stack_x(), c.start ? &start : nullptr);
    EXPECT_EQ(r.status, 0);
    EXPECT_FALSE(r.engine_failed);
    EXPECT_EQ(r.count(Severity::kWarning), 1);
    EXPECT_TRUE(r.logged(c.text));
    EXPECT_EQ(r.results[1].rows, 2);  // no least squares fit
  }
}

// A start subset or start coefficients replace the search: the optimum's subset gives the
// optimum; its coefficients give it without the intercept adjustment.
TEST_F(Lmts, GivenStarts) {
  const Matrix subset = vec({8, 10, 11, 15});  // 1-based: one of the optimal subsets
  const Outcome s1 = run("LMS", Matrix(), stack_y(), &stack_x(), &subset);
  ASSERT_EQ(s1.status, 0);
  EXPECT_NEAR(s1.results[0].data[4], 0.75, 1e-12);
  for (int j = 0; j < 4; ++j) EXPECT_EQ(s1.results[1].at(1, j), subset.data[j]);
  const Matrix coef = vec({0.75, 0.5, 0.0, -39.25});
  const Outcome s2 = run("LMS", option_vector({{7, 1}}), stack_y(), &stack_x(), &coef);
  ASSERT_EQ(s2.status, 0);
  EXPECT_NEAR(s2.results[0].data[4], 0.75, 1e-12);
  EXPECT_NEAR(s2.results[1].at(0, 3), -39.25, 1e-12);
  EXPECT_TRUE(is_missing(s2.results[1].at(1, 0)));
}

TEST_F(Lmts, EveryRefusedRequestIsCleanedUp) {
  const Matrix subset = vec({8, 10, 11, 15});
  // Subset search with both fits and tests: doubles, integers, names and the three results.
  EXPECT_EQ(robmat::testing::fail_each_request(
                s,
                [&] {
                  return run("LMS", option_vector({{3, 3}, {8, 3}}), stack_y(), &stack_x(), &subset);
                }),
            6);
  // FAST-LTS: its third block besides.
  EXPECT_EQ(
      robmat::testing::fail_each_request(s, [&] { return run("LTS", Matrix(), stack_y(), &stack_x()); }), 7);
  robmat::testing::fail_each_request(s, [&] { return run("LTS", option_vector({{3, 2}}), stack_y()); });
  // Robmat's exchange refinement (opt 22): the box and the factor copies besides.
  EXPECT_EQ(robmat::testing::fail_each_request(
                s,
                [&] {
                  return run("LMS", option_vector({{5, 20}, {22, 1}}), stack_y(), &stack_x());
                }),
            8);
}

}  // namespace
