// MAD end to end through the host: each method against its definition computed by brute
// force here (all pairwise distances, full sorts), missing values skipped per column, the
// keyword rules, and the front end's refusals. The published factors of tiny samples are the
// kernels' (scale_test).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "robmat/host/session.h"
#include "support/calls.h"
#include "support/scale_reference.h"

namespace {

using namespace robmat::host;

using robmat::testing::mad_brute;
using robmat::testing::qn_brute;
using robmat::testing::sn_brute;

Matrix column_major_to_matrix(const std::vector<std::vector<double>>& cols) {
  Matrix m(static_cast<int64_t>(cols[0].size()), static_cast<int64_t>(cols.size()));
  for (size_t j = 0; j < cols.size(); ++j)
    for (size_t i = 0; i < cols[j].size(); ++i)
      m.at(static_cast<int64_t>(i), static_cast<int64_t>(j)) = cols[j][i];
  return m;
}

std::vector<double> mad_of(Session& s,
                           const Matrix& x,
                           const char* method,
                           std::vector<LogEntry>* log = nullptr) {
  Value vx = x;
  Value vm = std::string(method);
  auto r = s.call("MAD", std::vector<const Value*>{&vx, &vm});
  if (log) *log = r.log;
  return r.results.at(0).data;
}

class Mad : public ::testing::Test {
 protected:
  Session s{ROBMAT_MODULE_PATH};
};

TEST_F(Mad, StackLossAgainstDefinitions) {
  const Matrix x = robmat::testing::data_matrix("stackloss");
  auto raw = mad_of(s, x, "mad");
  auto nmad = mad_of(s, x, "nmad");
  auto sn = mad_of(s, x, "sn");
  auto qn = mad_of(s, x, "qn");
  for (int j = 0; j < 4; ++j) {
    SCOPED_TRACE(j);
    std::vector<double> col;
    for (int i = 0; i < x.rows; ++i) col.push_back(x.at(i, j));
    EXPECT_EQ(raw[j], mad_brute(col));
    // The factor 1/Phi^-1(0.75) = 1.482602218505602; one rounding of the reciprocal apart.
    EXPECT_NEAR(nmad[j], 1.482602218505602 * mad_brute(col), 4e-16 * nmad[j]);
    EXPECT_EQ(sn[j], sn_brute(col));
    EXPECT_EQ(qn[j], qn_brute(col));
  }
}

TEST_F(Mad, RandomSamplesWithTiesAndMissingValues) {
  std::mt19937_64 rng(7);
  for (int trial = 0; trial < 40; ++trial) {
    int n = 2 + static_cast<int>(rng() % 120);
    std::vector<std::vector<double>> cols(2);
    for (int i = 0; i < n; ++i) {
      cols[0].push_back(static_cast<double>(rng() % 9));  // heavy ties
      cols[1].push_back(std::ldexp(static_cast<double>(rng() % 100000), -7));
    }
    Matrix x = column_major_to_matrix(cols);
    // Every third value of the second column is missing: it must simply be skipped.
    std::vector<double> kept;
    for (int i = 0; i < n; ++i) {
      if (i % 3 == 2)
        x.at(i, 1) = missing();
      else
        kept.push_back(cols[1][static_cast<size_t>(i)]);
    }
    SCOPED_TRACE(n);
    auto sn = mad_of(s, x, "SN");
    auto qn = mad_of(s, x, "Qn");
    auto raw = mad_of(s, x, "MAD");
    EXPECT_EQ(sn[0], sn_brute(cols[0]));
    EXPECT_EQ(qn[0], qn_brute(cols[0]));
    EXPECT_EQ(raw[0], mad_brute(cols[0]));
    if (kept.size() >= 2) {
      EXPECT_EQ(sn[1], sn_brute(kept));
      EXPECT_EQ(qn[1], qn_brute(kept));
      EXPECT_EQ(raw[1], mad_brute(kept));
    }
  }
}

TEST_F(Mad, ColumnsWithoutEnoughValues) {
  Matrix x(3, 3, missing());
  x.at(1, 1) = 5.0;  // a single value
  x.at(0, 2) = 1.0;
  x.at(2, 2) = 4.0;
  for (const char* m : {"mad", "nmad", "sn", "qn"}) {
    SCOPED_TRACE(m);
    auto r = mad_of(s, x, m);
    EXPECT_TRUE(is_missing(r[0]));
    EXPECT_EQ(r[1], 0.0);
    EXPECT_GT(r[2], 0.0);
  }
  Value one = Matrix(1, 1, 3.0);
  EXPECT_EQ(s.call("MAD", std::vector<const Value*>{&one}).results[0].data[0], 0.0);
}

TEST_F(Mad, KeywordsMatchByPrefix) {
  Matrix x(4, 1);
  x.data = {0, 1, 3, 7};
  const double raw = mad_of(s, x, "mad")[0];
  struct Case {
    const char* keyword;
    const char* same_as;
    bool note;
  } cases[] = {{"Mad", "mad", false},
               {"MADX", "mad", false},
               {"MAD     ", "mad", false},
               {"nmad", "NMAD", false},
               {"nMa", "NMAD", false},
               {"snx", "sn", false},
               {"qN", "qn", false},
               {"N", "mad", true},
               {"S", "mad", true},
               {"median", "mad", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.keyword);
    std::vector<LogEntry> log;
    EXPECT_EQ(mad_of(s, x, c.keyword, &log)[0], mad_of(s, x, c.same_as)[0]);
    EXPECT_EQ(log.size(), c.note ? 1u : 0u);
  }
  std::vector<LogEntry> log;
  EXPECT_EQ(mad_of(s, x, "S", &log)[0], raw);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].severity, LogEntry::Severity::kNote);
  EXPECT_EQ(log[0].text,
            "The second argument S of the MAD function does not specify any of the valid options. "
            "The common MAD (median absolute deviation) is computed.");
}

TEST_F(Mad, RefusalsLeaveNoResult) {
  Value x = Matrix(3, 1, 1.0);
  Value empty = Matrix();
  Value long_word = std::string("qnqnqnqnq");
  Value none = std::string("");
  Value zero_rows = Matrix(0, 2);
  struct Case {
    const char* name;
    std::vector<const Value*> args;
    int status;
  } cases[] = {
      {"empty matrix for the keyword", {&x, &empty}, 0},
      {"keyword of nine characters", {&x, &long_word}, 19},
      {"empty keyword", {&x, &none}, 19},
      {"no rows", {&zero_rows}, robmat::testing::kHostRefusal},
      {"empty matrix", {&empty}, robmat::testing::kHostRefusal},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto r = robmat::testing::call(s, "MAD", c.args);
    EXPECT_EQ(r.status, c.status);
    EXPECT_TRUE(c.status == 0 || robmat::testing::all_missing(r.results));
  }
}

TEST_F(Mad, EveryRefusedRequestIsCleanedUp) {
  Value x = Matrix(5, 2, 1.0);
  for (const char* method : {"mad", "qn"}) {
    SCOPED_TRACE(method);
    Value m = std::string(method);
    EXPECT_EQ(robmat::testing::fail_each_request(s,
                                                 [&] {
                                                   return robmat::testing::call(s, "MAD", {&x, &m});
                                                 }),
              2);
  }
}

}  // namespace
