// MCD with the deterministic starts (option 24 = 1) end to end through the host: the
// literature's outliers and the peer's subset, the criterion against the known optimum,
// no randomness (another seed changes no bit), invariance under a permutation of the rows,
// degenerate data, and every refused work-space request cleaned up.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numeric>
#include <set>
#include <vector>

#include "robmat/host/session.h"
#include "support/calls.h"
#include "support/datasets.h"

namespace {

using namespace robmat::host;
using robmat::testing::load_dataset;

Matrix regressors(const char* name) { return robmat::testing::data_matrix(name, 0, 3); }

// Option 24 = 1, with further positions set; the rest missing.
Matrix det_options(std::initializer_list<std::pair<int, double>> more = {}) {
  Matrix m(1, 24, missing());
  m.data[23] = 1.0;
  for (auto [k, v] : more) m.data[static_cast<size_t>(k - 1)] = v;
  return m;
}

class DetMcd : public ::testing::Test {
 protected:
  robmat::testing::Outcome run(const Matrix& opt, const Matrix& x) {
    return robmat::testing::call(s, "MCD", {&opt, &x});
  }
  Session s{ROBMAT_MODULE_PATH};
};

std::set<int> flagged(const Matrix& dist) {
  std::set<int> out;
  for (int64_t i = 0; i < dist.cols; ++i)
    if (dist.at(2, i) == 0.0) out.insert(static_cast<int>(i + 1));
  return out;
}

std::set<int> range(int from, int to) {
  std::set<int> s;
  for (int i = from; i <= to; ++i) s.insert(i);
  return s;
}

// Outliers: hbk's planted 1-14 (Hawkins, Bradu and Kass 1984); for the stack loss regressors
// 1-3, 15-19 and 21, which robustbase 0.95-0 covMcd(stackloss[, 1:3]) flags with 500
// samples and our exhaustive search flags too. Criterion (log det, divisor h - 1): the
// stack loss optimum for h = 12 by enumeration of all subsets (data/README.md), which the
// deterministic starts reach; for hbk, robustbase 0.95-0 covMcd(nsamp = "deterministic")
// gives crit -1.04550059413521 with the same best subset as ours, a little above the best
// known -1.047858489 (data/README.md), which a search may never beat.
TEST_F(DetMcd, LiteratureOutliersAndCriterion) {
  struct Case {
    const char* name;
    const char* data;
    double h;
    std::set<int> outliers;
    double best_known;  // log det no search can beat (optimum or best known)
    double expected;    // log det of the deterministic starts
  };
  const Case cases[] = {
      {"hbk", "hbk", 39, range(1, 14), -1.047858489, -1.04550059413521},
      {"stack loss", "stackloss", 12, {1, 2, 3, 15, 16, 17, 18, 19, 21}, 5.472581043, 5.472581043},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto r = run(det_options({{4, c.h}}), regressors(c.data));
    ASSERT_EQ(r.status, 0);
    const Matrix& sc = r.results[0];
    EXPECT_EQ(sc.data[0], c.h);
    EXPECT_EQ(sc.data[1], 6.0);  // the six starts
    EXPECT_EQ(sc.data[2], 6.0);
    EXPECT_EQ(flagged(r.results[2]), c.outliers);
    const double logdet = std::log(sc.data[4]);
    EXPECT_GE(logdet, c.best_known - 1e-9);
    // 1e-9: the references carry 10 (data/README.md) or 15 digits.
    EXPECT_NEAR(logdet, c.expected, 1e-9);
  }
}

// No random numbers: two runs, and runs with other seeds or generators, agree bit for bit.
TEST_F(DetMcd, SameBitsWhateverTheSeed) {
  const Matrix x = regressors("hbk");
  const auto first = run(det_options(), x);
  ASSERT_EQ(first.status, 0);
  const Matrix opts[] = {det_options(), det_options({{20, 12345}}), det_options({{19, 1}, {20, 7}})};
  for (const Matrix& o : opts) {
    const auto again = run(o, x);
    ASSERT_EQ(again.status, 0);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(again.results[k].data, first.results[k].data) << "result " << k;
  }
}

// A permutation of the rows permutes the distances and weights and leaves the estimates: the
// only differences are roundings from the order of the sums (worst seen 2e-14 relative at
// n = 1e5, p = 10; 1e-12 leaves room).
TEST_F(DetMcd, RowOrderDoesNotMatter) {
  struct Case {
    const char* name;
    Matrix x;
  };
  // Smooth data without ties: AR(1)-like columns from a fixed formula, every fifth row shifted.
  Matrix smooth(400, 4);
  for (int64_t i = 0; i < smooth.rows; ++i)
    for (int64_t j = 0; j < smooth.cols; ++j)
      smooth.at(i, j) = std::sin(0.37 * static_cast<double>(i * (j + 2)) + static_cast<double>(j)) +
                        0.5 * std::cos(1.3 * static_cast<double>(i)) + (i % 5 == 4 ? 4.0 : 0.0);
  const Case cases[] = {
      {"hbk", regressors("hbk")}, {"stack loss", regressors("stackloss")}, {"smooth", smooth}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int64_t n = c.x.rows, p = c.x.cols;
    // A permutation that moves every row: i -> (11i + 3) mod n, reversed (11 is prime to each n).
    std::vector<int64_t> perm(static_cast<size_t>(n));
    for (int64_t i = 0; i < n; ++i) perm[static_cast<size_t>(i)] = (11 * (n - 1 - i) + 3) % n;
    Matrix y(n, p);
    for (int64_t i = 0; i < n; ++i)
      for (int64_t j = 0; j < p; ++j) y.at(i, j) = c.x.at(perm[static_cast<size_t>(i)], j);
    const auto a = run(det_options(), c.x);
    const auto b = run(det_options(), y);
    ASSERT_EQ(a.status, 0);
    ASSERT_EQ(b.status, 0);
    auto near = [](double u, double v) { return std::fabs(u - v) <= 1e-12 * std::fmax(std::fabs(u), 1.0); };
    for (int k = 0; k < 4; ++k) EXPECT_EQ(a.results[0].data[k], b.results[0].data[k]) << "summary " << k;
    for (int k = 4; k < 7; ++k)
      EXPECT_PRED2(near, a.results[0].data[k], b.results[0].data[k]) << "summary " << k;
    for (size_t e = 0; e < a.results[1].data.size(); ++e)
      EXPECT_PRED2(near, a.results[1].data[e], b.results[1].data[e]) << "estimate " << e;
    for (int64_t i = 0; i < n; ++i) {
      const int64_t from = perm[static_cast<size_t>(i)];
      EXPECT_EQ(b.results[2].at(2, i), a.results[2].at(2, from)) << "weight of row " << i;
      EXPECT_PRED2(near, b.results[2].at(1, i), a.results[2].at(1, from)) << "robust distance of row " << i;
    }
  }
}

// Degenerate data: 14 of 20 points on a line (h = 11 of them: an exact fit with determinant
// 0, as the random search finds), and 10 of 20 on a line (half of the data: the starts' first
// subsets are singular, are grown to h cases and go on to a regular estimate).
TEST_F(DetMcd, PointsOnALine) {
  struct Case {
    const char* name;
    int on_line;
    bool exact;
  };
  const Case cases[] = {{"14 of 20", 14, true}, {"10 of 20", 10, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Matrix x(20, 2);
    for (int i = 0; i < 20; ++i) {
      const double t = static_cast<double>(i);
      // The points on the line close together, the others spread around them.
      x.at(i, 0) = i < c.on_line ? 0.1 * t : 5.0 * std::cos(1.7 * t) + 0.01 * t;
      x.at(i, 1) = i < c.on_line ? 0.2 * t + 1.0 : 5.0 * std::sin(1.7 * t) + 1.0;
    }
    const auto r = run(det_options(), x);
    ASSERT_EQ(r.status, 0);
    EXPECT_FALSE(r.engine_failed);
    const double det = r.results[0].data[4];
    if (c.exact) {
      EXPECT_EQ(det, 0.0);
      for (int i = 0; i < c.on_line; ++i) EXPECT_EQ(r.results[2].at(2, i), 1.0) << "row " << i;
    } else {
      EXPECT_GT(det, 0.0);
      EXPECT_TRUE(std::isfinite(det));
    }
  }
}

TEST_F(DetMcd, EveryRefusedRequestIsCleanedUp) {
  robmat::testing::fail_each_request(s, [&] { return run(det_options({{3, 2}}), regressors("hbk")); });
}

}  // namespace
