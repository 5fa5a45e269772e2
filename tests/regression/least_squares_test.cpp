// Least squares of the regression engine against published stack loss results and an
// independent long double Householder QR; the fallback for a singular design; subsets by 0/1
// weights; and the round trip through the standardized scale (rtran, trc, rsqu).
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "regression/lmts_fixture.h"
#include "support/least_squares_reference.h"

namespace robmat {
namespace {

using testing::LmtsRun;

// The rows of weight 1 of the descriptor's design, fitted by the long double reference.
testing::LsRef ls_reference(const LMTSTR& s, const std::vector<double>& w) {
  return testing::ls_reference(
      std::vector<double>(s.a, s.a + s.ncas * s.nvar), std::vector<double>(s.b, s.b + s.ncas), s.nvar, w);
}

void expect_close(const std::vector<double>& got, const std::vector<double>& want, double rel) {
  for (size_t j = 0; j < want.size(); ++j) EXPECT_NEAR(got[j], want[j], rel * std::fabs(want[j])) << j;
}

std::vector<double> first(const double* v, long k) { return std::vector<double>(v, v + k); }

// R 4.x, summary(lm(stack.loss ~ ., stackloss)), intercept moved last; 4 decimals printed.
TEST(Lsreg, StackLossPublished) {
  LmtsRun run(testing::stack_x(), testing::stack_y(), 3, true, 0, 2);
  run.s.icov = 1;
  EXPECT_EQ(lsreg(&run.s), 0);
  EXPECT_EQ(run.s.cnul, 0);
  const std::vector<double> beta = {0.7156, 1.2953, -0.1521, -39.9197},
                            se = {0.1349, 0.3680, 0.1563, 11.8960};
  for (int j = 0; j < 4; ++j) {
    EXPECT_NEAR(run.s.x[j], beta[j], 5e-5);
    EXPECT_NEAR(run.s.ster[j], se[j], 5e-5);
  }
  // Normal equations of raw stack loss (cond(X) ~ 1e3): 1e-11 (worst seen 1.7e-13).
  const testing::LsRef ref = ls_reference(run.s, run.wgts);
  expect_close(first(run.s.x, 4), ref.beta, 1e-11);
  expect_close(first(run.s.ster, 4), ref.se, 1e-11);
  EXPECT_NEAR(run.s.fssq, ref.rss, 1e-11 * ref.rss);
  rsqu(&run.s, 0, run.s.fssq);
  EXPECT_NEAR(run.s.rsql, 0.9136, 5e-5);  // R: Multiple R-squared 0.9136, F 59.9 on 3 and 17 DF
  EXPECT_NEAR(run.s.fval, 59.9, 0.05);
}

// The driver fits on standardized data and carries the estimates, their covariance and the
// residual sum of squares back; the result must be the fit of the raw data.
TEST(Lsreg, StandardizedFitCarriedBack) {
  LmtsRun raw(testing::stack_x(), testing::stack_y(), 3, true, 0, 3);
  raw.s.icov = 1;
  lsreg(&raw.s);
  LmtsRun run(testing::stack_x(), testing::stack_y(), 3, true, 0, 3);
  run.s.icov = 1;
  const double loc[3] = {58, 20, 87}, scale[3] = {6.7, 2.9, 4.4};
  run.s.bmed = 15;
  run.s.bmad = 5.9;
  for (long i = 0; i < 21; ++i) {
    for (int j = 0; j < 3; ++j) run.s.a[i * 4 + j] = (run.s.a[i * 4 + j] - loc[j]) / scale[j];
    run.s.b[i] = (run.s.b[i] - run.s.bmed) / run.s.bmad;
  }
  for (int j = 0; j < 3; ++j) {
    run.s.amed[j] = loc[j];
    run.s.amad[j] = scale[j];
  }
  lsreg(&run.s);
  rtran(&run.s, 0);
  trc(&run.s);
  expect_close(first(run.s.x, 4), first(raw.s.x, 4), 1e-11);
  expect_close(first(run.s.ster, 4), first(raw.s.ster, 4), 1e-11);
  EXPECT_NEAR(run.s.fssq, raw.s.fssq, 1e-11 * raw.s.fssq);
  irtran(&run.s, 0);
  rtran(&run.s, 0);
  expect_close(first(run.s.x, 4), first(raw.s.x, 4), 1e-12);
}

std::vector<double> random_design(std::mt19937& gen, long n, int k) {
  std::normal_distribution<double> z;
  std::vector<double> x(n * k);
  for (double& v : x) v = z(gen);
  return x;
}

TEST(Lsreg, IdenticalColumnsSetOneAside) {
  std::mt19937 gen(3);
  std::vector<double> x2 = random_design(gen, 25, 2), x3(25 * 3), y = random_design(gen, 25, 1);
  for (long i = 0; i < 25; ++i) {
    x3[i * 3] = x3[i * 3 + 1] = x2[i * 2] * 1e3;  // the same column twice, not on a unit scale
    x3[i * 3 + 2] = x2[i * 2 + 1];
    x2[i * 2] *= 1e3;
  }
  LmtsRun full(x3, y, 3, true, 0, 2), reduced(x2, y, 2, true, 0, 2);
  EXPECT_EQ(lsreg(&full.s), 1);
  EXPECT_EQ(full.s.cnul, 1);
  const testing::LsRef ref = ls_reference(reduced.s, reduced.wgts);
  EXPECT_NEAR(full.s.fssq, ref.rss, 1e-10 * ref.rss);
  for (long i = 0; i < 25; ++i) {
    double f = 0;
    for (int j = 0; j < 4; ++j) f += full.s.a[i * 4 + j] * full.s.x[j];
    EXPECT_NEAR(f, ref.fitted[i], 1e-10);
  }
}

TEST(Lsreg, UnitWeightsSelectObservations) {
  struct Case {
    const char* name;
    long n, k;
    int p;
    double offset, spread;  // regressors offset + spread * N(0, 1): near the intercept column
    double tol;             // normal equations square cond(X): worst seen 3e-16 and 6e-7
  } cases[] = {{"well conditioned", 30, 12, 3, 0.0, 1.0, 1e-14},
               {"near collinear", 40, 40, 4, 100.0, 1e-2, 1e-5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::mt19937 gen(11);
    std::vector<double> x = random_design(gen, c.n, c.p - 1), y = random_design(gen, c.n, 1);
    for (double& v : x) v = c.offset + c.spread * v;
    LmtsRun run(x, y, c.p - 1, true, 0, 1);
    run.s.icov = 1;
    for (long i = 0; i < c.n; ++i) run.wgts[i] = i < c.k ? 1.0 : 0.0;
    std::shuffle(run.wgts.begin(), run.wgts.end(), gen);
    EXPECT_EQ(lsreg(&run.s), 0);
    const testing::LsRef ref = ls_reference(run.s, run.wgts);
    expect_close(first(run.s.x, c.p), ref.beta, c.tol);
    expect_close(first(run.s.ster, c.p), ref.se, c.tol);
    EXPECT_NEAR(qlsreg(&run.s), ref.rss, c.tol * ref.rss);
  }
}

TEST(Lsl, ZeroRegressor) {
  LmtsRun run({0, 0, 0, 0}, {1, -2, 3, 0.5}, 1, false, 0, 2);
  run.s.icov = 1;
  lsl(&run.s);
  EXPECT_EQ(run.s.x[0], 0.0);
  EXPECT_EQ(run.s.fssq, 1 + 4 + 9 + 0.25);
  EXPECT_TRUE(wzmis(run.s.h[0]));
  trc(&run.s);
  EXPECT_TRUE(wzmis(run.s.ster[0]));
}

}  // namespace
}  // namespace robmat
