// The driver's checks and bounds of h, the standardization and the correlations of statis
// against definitions computed here, and the residual summary and exact-fit residuals of
// rdual, the missing test statistics of prils; on the engine under the recording host.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "regression/lmts_fixture.h"
#include "robmat/output_protocol.h"

namespace robmat {
namespace {

using testing::LmtsRun;

double median_of(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// The values of the last matrix printed under `name`.
std::vector<double> printed(const testing::Recording& rec, const std::string& name) {
  std::vector<double> v;
  for (const testing::WobCall& c : rec.calls)
    for (const testing::WobRecord& r : c.recs)
      if (r.tag == kTagName && r.text == name && !c.values.empty()) v = c.values;
  return v;
}

TEST(Zlmts, ChecksAndBoundsOfH) {
  struct Case {
    const char* name;
    long jqu;
    long want;  // h used, or the negative status
    bool clamped;
  } cases[] = {{"default", 0, 13, false},
               {"below n/2 + 1", 5, 11, true},
               {"lower bound", 11, 11, false},
               {"upper bound 3n/4 + (p+1)/4", 16, 16, false},
               {"above", 20, 16, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LmtsRun run(testing::stack_x(), testing::stack_y(), 3, true);
    run.s.jqu = c.jqu;
    EXPECT_EQ(zlmts(&run.s), 0);
    EXPECT_EQ(run.s.jqu, c.want);
    EXPECT_EQ(run.rec->logged("549/951"), c.clamped);
    EXPECT_TRUE(run.intact());
  }
  struct Problem {
    const char* name;
    long n;
    double one;  // the value of the intercept column in row 3
    int rc;
    const char* msg;
  } problems[] = {{"n = 2p", 8, 1.0, -1, "549/967"},
                  {"n = 2p + 1", 9, 1.0, 0, nullptr},
                  {"intercept 1 + 2e-12", 21, 1.0 + 2e-12, -4, "549/950"},
                  {"intercept 1 + 1e-12", 21, 1.0 + 1e-12, 0, nullptr}};
  for (const Problem& c : problems) {
    SCOPED_TRACE(c.name);
    std::vector<double> x(testing::stack_x().begin(), testing::stack_x().begin() + 3 * c.n);
    std::vector<double> y(testing::stack_y().begin(), testing::stack_y().begin() + c.n);
    LmtsRun run(x, y, 3, true);
    run.s.a[2 * 4 + 3] = c.one;
    run.s.jqu = 0;
    EXPECT_EQ(zlmts(&run.s), c.rc);
    if (c.msg) {
      EXPECT_TRUE(run.rec->logged(c.msg));
    }
  }
}

// LMS through the origin with noint = 999 and even n averages the two middle squared
// residuals, and both the driver and the report say so in their own words.
TEST(Zlmts, AveragedOrderStatisticsAnnounced) {
  LmtsRun run({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, {2, 4.1, 5.9, 8, 10.2, 12, 30, 16, 18, -5}, 1, false);
  run.s.noint = 999;
  run.s.ipri = 1;
  run.s.jqu = 0;
  EXPECT_EQ(zlmts(&run.s), 0);
  const auto& lines = run.rec->lines;
  auto has = [&](const std::string& s) { return std::find(lines.begin(), lines.end(), s) != lines.end(); };
  EXPECT_TRUE(has("LMS: The average of the 5 and 6 ordered squared residuals will be minimized"));
  EXPECT_TRUE(has("Minimizing the average of the 5 and 6 Ordered Squared Residuals"));
  EXPECT_NEAR(run.coef[0], 2.0, 0.05);
}

// Medians and MADs (times 1/Phi^-1(0.75)); more than half of a column equal makes its MAD 0
// and the mean absolute deviation (times sqrt(pi/2)) takes over; without an intercept the
// scale is about 0 and the data are only divided.
TEST(Statis, StandardizesByMedianAndMad) {
  std::vector<double> x = testing::stack_x();
  for (long i = 0; i < 12; ++i) x[i * 3 + 2] = 87;  // Acid.Conc.: 12 of 21 equal
  for (int intercept = 1; intercept >= 0; --intercept) {
    SCOPED_TRACE(intercept);
    LmtsRun run(x, testing::stack_y(), 3, intercept == 1);
    lmts_consistency(&run.s);
    ASSERT_EQ(statis(&run.s), 0);
    for (int j = 0; j <= 3; ++j) {
      std::vector<double> v;
      for (long i = 0; i < 21; ++i) v.push_back(j < 3 ? x[i * 3 + j] : testing::stack_y()[i]);
      const double loc = intercept ? median_of(v) : 0.0;
      std::vector<double> dev;
      double mean_abs = 0.0;
      for (double e : v) {
        dev.push_back(std::fabs(e - loc));
        mean_abs += std::fabs(e - loc) / 21;
      }
      double scale = median_of(dev) / 0.6744897501960817;
      if (scale == 0.0) scale = mean_abs * std::sqrt(M_PI / 2);
      const double got_loc = j < 3 ? run.s.amed[j] : run.s.bmed;
      const double got_scale = j < 3 ? run.s.amad[j] : run.s.bmad;
      EXPECT_EQ(got_loc, loc) << j;
      EXPECT_NEAR(got_scale, scale, 1e-15 * scale) << j;
      const double first = j < 3 ? run.s.a[j] : run.s.b[0];
      EXPECT_NEAR(first, (v[0] - loc) / scale, 1e-15 * std::fabs(v[0] / scale)) << j;
    }
    if (intercept) {
      EXPECT_EQ(run.s.amad[3], 1.0);
    }
  }
  std::vector<double> flat = testing::stack_x();
  for (long i = 0; i < 21; ++i) flat[i * 3 + 1] = 20;
  LmtsRun run(flat, testing::stack_y(), 3, true);
  lmts_consistency(&run.s);
  EXPECT_EQ(statis(&run.s), -1);
  EXPECT_TRUE(run.rec->logged("549/968"));
}

// Pearson and Spearman (mean ranks for ties, no tie correction) of stack loss, which has
// many ties, against the definitions; with an intercept the response takes its slot.
TEST(Corr, PearsonAndSpearmanByDefinition) {
  LmtsRun run(testing::stack_x(), testing::stack_y(), 3, true);
  lmts_consistency(&run.s);
  run.s.pcor = 3;
  run.s.ipri = 1;
  ASSERT_EQ(statis(&run.s), 0);
  auto col = [](int j) {
    std::vector<double> v;
    for (long i = 0; i < 21; ++i) v.push_back(j < 3 ? testing::stack_x()[i * 3 + j] : testing::stack_y()[i]);
    return v;
  };
  auto ranks = [](const std::vector<double>& v) {
    std::vector<double> r;
    for (double e : v) {
      double less = 0, equal = 0;
      for (double f : v) less += f < e, equal += f == e;
      r.push_back(less + (equal - 1) / 2);
    }
    return r;
  };
  const std::vector<double> pear = printed(*run.rec, "PearCorr"), spear = printed(*run.rec, "SpearCorr");
  ASSERT_EQ(pear.size(), 10u);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j <= i; ++j) {
      const std::vector<double> a = col(i), b = col(j), ra = ranks(a), rb = ranks(b);
      long double ma = 0, mb = 0, sab = 0, saa = 0, sbb = 0, d2 = 0;
      for (int k = 0; k < 21; ++k) ma += a[k] / 21.0L, mb += b[k] / 21.0L;
      for (int k = 0; k < 21; ++k) {
        sab += (a[k] - ma) * (b[k] - mb);
        saa += (a[k] - ma) * (a[k] - ma);
        sbb += (b[k] - mb) * (b[k] - mb);
        d2 += (ra[k] - rb[k]) * (ra[k] - rb[k]);
      }
      const size_t at = static_cast<size_t>(i * (i + 1) / 2 + j);
      EXPECT_NEAR(pear[at], static_cast<double>(sab / std::sqrt(saa * sbb)), 1e-14) << i << j;
      EXPECT_NEAR(spear[at], static_cast<double>(1 - 6 * d2 / (21.0L * (441 - 1))), 1e-15) << i << j;
    }
}

// The summary of the residuals 1 to 8, and residuals of an exact fit: below 3.3e-14 they
// are 0, and with a scale of 0 the scaled residual is the residual itself.
TEST(Rdual, SummaryAndExactFitResiduals) {
  LmtsRun run({}, {1, 2, 3, 4, 5, 6, 7, 8}, 0, true);
  run.s.ipri = 2;
  run.coef[0] = 0.0;
  run.s.fctw = 2.0;
  rdual(&run.s, 1);
  EXPECT_EQ(printed(*run.rec, "DistrRes"), (std::vector<double>{1, 2.5, 4.5, 4.5, 6.5, 8}));
  EXPECT_EQ(run.sres[7], 4.0);
  LmtsRun exact({}, {3 + 1e-15, 3 - 2e-14, 3, 3.5}, 0, true);
  exact.coef[0] = 3.0;
  exact.s.fctw = 0.0;
  rdual(&exact.s, 1);
  EXPECT_EQ(exact.sres, (std::vector<double>{0, 0, 0, 0.5}));
}

// A standard error of 0 or a missing one leaves t, p and the limits missing.
TEST(Prils, MissingTestStatistics) {
  LmtsRun run(testing::stack_x(), testing::stack_y(), 3, true, 0, 2);
  run.s.ipri = 1;
  run.s.icov = 2;
  run.s.bmad = 1.0;
  for (int j = 0; j < 4; ++j) run.s.x[j] = j + 1;
  run.s.ster[0] = 0.0;
  run.s.ster[1] = missing_value();
  run.s.ster[2] = run.s.ster[3] = 0.5;
  run.s.fssq = 10.0;
  run.s.avw = 1.0;
  prils(&run.s, 0);
  ASSERT_EQ(run.rec->rows.size(), 4u);
  for (int j = 0; j < 2; ++j)
    for (int k = 3; k < 7; ++k) EXPECT_EQ(run.rec->rows[j][k], ".") << j << k;
  EXPECT_EQ(run.rec->rows[2][3], "6");                 // t = 3 / 0.5
  EXPECT_EQ(run.rec->rows[2][5], "2.02001800772997");  // 3 - 1.959963984540054 * 0.5
}

}  // namespace
}  // namespace robmat
