// Linear dependency analysis: the named examples (x3 = x1 + 2 x2, a diagonal matrix with a
// zero, a constant variable, the zero matrix), equations that reproduce rank-deficient data
// exactly, and the LinDep table as a recording output service receives it.
#include "kernels/lindep.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "support/recording_host.h"

namespace robmat {
namespace {

struct Analysis {
  long ndep;
  std::string lind;
  std::vector<double> cov;
  void* table = nullptr;
  void* out = nullptr;
};

// Installs the recording host, then runs the analysis with the multivariate engines' tolerances.
testing::Recording* rec = nullptr;
Analysis analyse(std::vector<double> cov, long n, int ipri, int cfrm, std::vector<double> x, int fail = 0) {
  rec = &testing::install_recording_host();
  rec->formats[5490204] = "msg 549/204 %s";  // the note naming a constant variable
  rec->fail_method = fail;
  std::vector<U_SNAME> nm(static_cast<size_t>(n));
  for (long j = 0; j < n; ++j) nm[j].len = static_cast<int16_t>(std::snprintf(nm[j].name, 32, "X%ld", j + 1));
  std::vector<double> rhs(static_cast<size_t>(n)), cdia(rhs), work(rhs);
  Analysis r{0, std::string(static_cast<size_t>(n), '?'), {}};
  r.ndep = zcovlid(ipri,
                   cfrm,
                   n,
                   1e-12,
                   1e-8,
                   1e-8,
                   nm.data(),
                   x.empty() ? nullptr : x.data(),
                   cov.data(),
                   rhs.data(),
                   cdia.data(),
                   work.data(),
                   r.lind.data(),
                   &rec->rpx,
                   &r.table,
                   &r.out);
  r.cov = cov;
  return r;
}

std::vector<std::string> calls() {
  std::vector<std::string> v;
  for (const testing::WobCall& c : rec->calls) v.push_back(c.parms);
  return v;
}

TEST(LinDep, SumOfTwoUncorrelatedVariablesAndItsTable) {
  // x1, x2 uncorrelated with unit variances, x3 = x1 + 2 x2: x3 is swept first (variance 5),
  // then x1 (residual 0.8 against 0.2), so x2 = -0.5 x1 + 0.5 x3 is the dependency.
  const Analysis r = analyse({1, 0, 1, 1, 2, 5}, 3, 1, 0, {1, 2, 3});
  EXPECT_EQ(r.ndep, 1);
  EXPECT_EQ(r.lind, "101");
  EXPECT_NEAR(r.cov[1], -0.5, 4 * DBL_EPSILON);  // (x2, x1): coefficient of x1
  EXPECT_NEAR(r.cov[4], -0.5, 4 * DBL_EPSILON);  // (x3, x2): negated coefficient of x3
  ASSERT_EQ(rec->rows.size(), 1u);
  const std::vector<std::string> want{"X2", "=", "1", "-", "0.5", "*", "X1", "+", "0.5", "*", "X3"};
  ASSERT_EQ(rec->rows[0].size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) {
    SCOPED_TRACE("column " + std::to_string(i));
    if (std::isdigit(want[i][0])) {
      EXPECT_NEAR(std::stod(rec->rows[0][i]), std::stod(want[i]), 8 * DBL_EPSILON);
    } else {
      EXPECT_EQ(rec->rows[0][i], want[i]);
    }
  }
  EXPECT_EQ(r.table, rec->table);
  EXPECT_EQ(r.out, rec->output);
  EXPECT_EQ(rec->calls[2].object, &rec->rpx);
  EXPECT_TRUE(rec->pools.empty());
  // The selector calls: notes, the table, its eleven columns (the last eight a repeated group
  // with template columns), the bound output, one row, finish and render.
  const std::vector<std::string> protocol{
      "358: 577:66=msg 549/340 280:3=1 371:3=1 273:1=l",
      "358: 577:66=msg 549/206 371:3=1 273:1=l",
      "147: 143:20=rpx 146:20=data 144:12 148:3=-1 138:66=LinDep 296:66=Linear Dependencies",
      "338: 103:3=20 138:66=Variable 285:17 289:3=8",
      "338: 103:3=20 138:66=Equal 285:17 289:3=3",
      "338: 103:3=5 138:66=Constant 285:17",
      "338: 103:3=20 138:66=Sign 285:17 289:3=3 339:66=Sign",
      "338: 103:3=5 138:66=Coefficient 285:17 339:66=Coefficient",
      "338: 103:3=20 138:66=Asterisk 285:17 289:3=3 339:66=Asterisk",
      "338: 103:3=20 138:66=Parameter 285:17 289:3=8 339:66=Parameter",
      "338: 103:3=20 138:66=Sign 285:17 289:3=3 339:66=Sign",
      "338: 103:3=5 138:66=Coefficient 285:17 339:66=Coefficient",
      "338: 103:3=20 138:66=Asterisk 285:17 289:3=3 339:66=Asterisk",
      "338: 103:3=20 138:66=Parameter 285:17 289:3=8 339:66=Parameter",
      "298:",
      "422: 0:12 0:12 339:66=Base.NLP.LinDep",
      "329:",
      "299:",
      "428: 0:12",
  };
  EXPECT_EQ(calls(), protocol);
}

TEST(LinDep, ConstantVariablesAreNamedNotTabulated) {
  struct Case {
    const char* name;
    std::vector<double> cov;
    int cfrm;
    std::vector<double> x;
    std::string lind;
  };
  // diag(4, 0, 9) in diagonal form; a variance of 1e-307 next to 1 leaves the matrix unscaled
  // and the variable, constant at 0, with an equation without terms.
  const Case cases[] = {{"diagonal with a zero", {4, 0, 9}, 2, {}, "101"},
                        {"variance 1e-307", {1, 0, 1e-307}, 0, {3, 0}, "10"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Analysis r = analyse(c.cov, static_cast<long>(c.lind.size()), 1, c.cfrm, c.x);
    EXPECT_EQ(r.ndep, 1);
    EXPECT_EQ(r.lind, c.lind);
    ASSERT_EQ(rec->calls.size(), 2u);
    EXPECT_EQ(rec->calls[0].parms, "358: 577:66=msg 549/340 280:3=1 371:3=1 273:1=l");
    EXPECT_EQ(rec->calls[1].parms, "358: 577:66=msg 549/204 X2 371:3=1 273:1=l");
    EXPECT_TRUE(c.cfrm != 2 || r.cov == std::vector<double>({0.25, 0, 1.0 / 9}));  // reciprocals
  }
}

TEST(LinDep, ZeroMatrixAndPrintLevels) {
  for (int ipri : {0, 1}) {
    SCOPED_TRACE(ipri);
    EXPECT_EQ(analyse(std::vector<double>(6, 0.0), 3, ipri, 0, {0, 0, 0}).ndep, 0);
    EXPECT_EQ(rec->host->log, (std::vector<std::string>{"549/205: msg 549/205"}));
    EXPECT_EQ(rec->calls.size(), static_cast<size_t>(ipri));
  }
  EXPECT_EQ(analyse({1, 0, 1, 1, 2, 5}, 3, 0, 0, {}).ndep, 1);  // nothing printed without a print level
  EXPECT_TRUE(rec->calls.empty());
}

TEST(LinDep, EquationsReproduceTheData) {
  // Rank-deficient data by construction; each printed equation must hold on every row.
  std::mt19937_64 rng(11);
  std::normal_distribution<double> g;
  for (auto [p, scale] : {std::pair{4L, 1.0}, {5L, 1e6}, {4L, 1e-6}}) {
    SCOPED_TRACE("scale " + std::to_string(scale));
    const long rows = 30;
    std::vector<double> d(static_cast<size_t>(rows * p)), mean(static_cast<size_t>(p)), cov(p * (p + 1) / 2);
    for (long i = 0; i < rows; ++i) {
      for (long j = 0; j + 1 < p; ++j) d[i * p + j] = scale * g(rng) * static_cast<double>(j + 1);
      d[i * p + p - 1] = 2 * d[i * p] - d[i * p + 1] + 0.5 * scale;
      for (long j = 0; j < p; ++j) mean[j] += d[i * p + j] / rows;
    }
    for (long i = 0; i < p; ++i)
      for (long j = 0; j <= i; ++j)
        for (long r = 0; r < rows; ++r)
          cov[i * (i + 1) / 2 + j] += (d[r * p + i] - mean[i]) * (d[r * p + j] - mean[j]) / (rows - 1);
    const Analysis r = analyse(cov, p, 1, 0, mean);
    ASSERT_EQ(r.ndep, 1);
    ASSERT_EQ(rec->rows.size(), 1u);
    const long j = static_cast<long>(r.lind.find('0'));
    double worst = 0;
    for (long i = 0; i < rows; ++i) {
      double fit = std::stod(rec->rows[0][2]);
      for (long k = 0; k < p; ++k)
        if (k != j) fit += (k < j ? r.cov[j * (j + 1) / 2 + k] : -r.cov[k * (k + 1) / 2 + j]) * d[i * p + k];
      worst = std::max(worst, std::fabs(fit - d[i * p + j]));
    }
    EXPECT_LT(worst / (scale * 1e3 * DBL_EPSILON), 30);
  }
}

TEST(LinDep, FailingOutputCallEndsThePrinting) {
  // The selector that fails and the number of calls made up to and including it.
  for (auto [fail, made] : {std::pair{147, 3u}, {338, 4u}, {422, 16u}, {329, 17u}, {428, 19u}}) {
    SCOPED_TRACE(fail);
    EXPECT_EQ(analyse({1, 0, 1, 1, 2, 5}, 3, 1, 0, {1, 2, 3}, fail).ndep, 1);
    EXPECT_EQ(rec->calls.size(), made);
    EXPECT_EQ(rec->host->log, (std::vector<std::string>{"status -5"}));
    EXPECT_TRUE(rec->pools.empty());
  }
}

}  // namespace
}  // namespace robmat
