// Distribution functions against independent references: mpmath 1.2.1 at 50 digits (values
// below, rounded to 17 digits), closed forms (chi-square with 2 df, t with 1 and 2 df, F with
// 2 numerator df, gamma with shape 1), identities (Phi(Phi^-1(p)) = p, reflection of the
// incomplete beta), and the exact sentinel of every failure path.
#include "kernels/distrib.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <tuple>
#include <utility>

namespace {

using namespace robmat;

struct Ref {
  const char* name;
  double got;
  double want;
  double rel;  // relative tolerance, from the largest error seen times a small margin
};

double ibeta(double x, double a, double b) {
  double p, d;
  EXPECT_EQ(zibeta(x, a, b, &p, &d), 0);
  return p;
}

TEST(Distrib, AgreesWithMpmath) {
  double lc, lp, gp, gq, gd;
  const Ref refs[] = {
      {"probit 0.75", zprobit(0.75), 0.67448975019608171, 1e-16},
      {"probit 0.01", zprobit(0.01), -2.3263478740408412, 4e-16},
      {"probit 1e-10", zprobit(1e-10), -6.3613409024040566, 8e-16},
      {"probit 1e-17 (Newton)", zprobit(1e-17), -8.4937932241095986, 4e-16},
      {"probit 1e-300 (Newton)", zprobit(1e-300), -37.047096299361201, 4e-16},
      {"probit 5e-324 (Newton)", zprobit(4.9406564584124654e-324), -38.467405617144344, 4e-16},
      {"probit 1-1e-6", zprobit(0.999999), 4.7534243088170873, 8e-16},
      {"Phi(-30)", zprbnrm(-30), 4.9067139271481872e-198, 1e-13},
      {"Phi(-5)", zprbnrm(-5), 2.8665157187919391e-07, 4e-15},
      {"Phi(0.3)", zprbnrm(0.3), 0.61791142218895267, 4e-16},
      {"erf(0.46875)", calerf(0.46875, 0), 0.49261347321793797, 4e-16},
      {"erfc(2)", calerf(2, 1), 0.0046777349810472662, 8e-16},
      {"erfc(26)", calerf(26, 1), 5.6631924088561432e-296, 4e-16},
      {"erfc(-0.3)", calerf(-0.3, 1), 1.3286267594591274, 4e-16},
      {"erfcx(10)", calerf(10, 2), 0.056140992743822588, 4e-16},
      {"ln Phi(-40)", (zlognrm(-40, &lc, &lp), lc), -804.6084420137538, 4e-16},
      {"ln Phi(10)", (zlognrm(10, &lc, &lp), lc), -7.6198530241605255e-24, 1e-14},
      {"lgamma(1e-300)", zlgamma(1e-300), 690.77552789821368, 4e-16},
      {"lgamma(0.9999)", zlgamma(0.9999), 5.7729791561193866e-05, 1e-14},
      {"lgamma(2.5)", zlgamma(2.5), 0.28468287047291918, 4e-16},
      {"lgamma(9.99)", zlgamma(9.99), 12.779315214350193, 4e-16},
      {"lgamma(1e10)", zlgamma(1e10), 220258509288.81058, 4e-16},
      {"lbeta(1e6, 0.5)", zlbeta(1e6, 0.5), -6.3353902110574367, 4e-15},
      {"lbeta(1e6, 1e6)", zlbeta(1e6, 1e6), -1386300.0033629211, 4e-16},
      {"lbeta(3, 1e10)", zlbeta(3, 1e10), -68.384405609561426, 4e-16},
      {"ln1p(1e-20)", zln1px(1e-20), 1e-20, 4e-16},
      {"ln1p(-0.5)", zln1px(-0.5), -0.69314718055994531, 4e-16},
      {"I(0.999; 5e5, 0.5)", ibeta(0.999, 5e5, 0.5), 1.3983637688333289e-219, 1e-12},
      {"I(1e-6; 0.5, 5e5)", ibeta(1e-6, 0.5, 5e5), 0.68268949213714636, 4e-15},
      {"I(0.2; 0.1, 0.2)", ibeta(0.2, 0.1, 0.2), 0.59253465735547828, 4e-15},
      {"I(0.4; 1e4, 1.5e4)", ibeta(0.4, 1e4, 1.5e4), 0.50034335691898191, 1e-13},
      {"I(0.9999; 5e5, 10)", ibeta(0.9999, 5e5, 10), 1.2565495477930507e-12, 1e-11},
      {"t2 = 4, df = 1e6", zpgt2(4, 1000000), 0.045500533851319205, 1e-10},
      {"t2 = 9, df = 30", zpgt2(9, 30), 0.0053899640656519462, 4e-15},
      {"t2 = 1e4, df = 5", zpgt2(1e4, 5), 1.8960014224623626e-09, 4e-14},
      {"F 3 (5, 20)", zprbf(3, 5, 20), 0.035201337452666633, 4e-15},
      {"F 40 (3, 1e5)", zprbf(40, 3, 1e5), 7.9946889882122345e-26, 1e-12},
      {"Q(50, 100)", (zigamma(100, 50, &gp, &gq, &gd), gq), 1.1784500720979422e-08, 4e-14},
      {"P(1e6, 1e6+1000)", (zigamma(1001000, 1e6, &gp, &gq, &gd), gp), 0.84134478636834031, 4e-14},
      {"P(5000, 4000)", (zigamma(4000, 5000, &gp, &gq, &gd), gp), 1.5598621812189688e-52, 1e-12},
      {"P(0.1, 1e-3)", (zigamma(1e-3, 0.1, &gp, &gq, &gd), gp), 0.52676856839244512, 4e-15},
  };
  for (const Ref& r : refs) {
    SCOPED_TRACE(r.name);
    EXPECT_LE(std::fabs(r.got - r.want), r.rel * std::fabs(r.want)) << r.got << " vs " << r.want;
  }
}

TEST(Distrib, QuantilesInvertTheirDistributions) {
  // Phi(Phi^-1(p)) = p over p = 1e-300 .. 0.5, and its complement up to 1 - 1e-16. The error
  // is Phi's own conditioning, |x| phi/Phi times one ulp of x: 3.8e-13 seen at p = 2.5e-300.
  for (double e = -300; e < -0.3; e += 0.37) {
    const double p = std::pow(10.0, e);
    SCOPED_TRACE("p = " + std::to_string(p));
    EXPECT_NEAR(zprbnrm(zprobit(p)) / p, 1.0, 1e-12);
  }
  for (double e = -16; e < -0.3; e += 0.13) {
    const double q = 1.0 - (1.0 - std::pow(10.0, e));  // exactly 1 - p
    SCOPED_TRACE("1 - p = " + std::to_string(q));
    EXPECT_NEAR(zprbnrm(-zprobit(1.0 - q)) / q, 1.0, 1e-13);
  }
  // Chi-square with 2 df: q = -2 ln(1 - p). zqc stops at 1e-7 * min(p, 1-p) in probability,
  // so the quantile error is bounded by that over the density; 7e-15 seen.
  for (double p = 0.001; p < 0.9999; p += 0.0123) {
    SCOPED_TRACE("p = " + std::to_string(p));
    double q = 0;
    ASSERT_EQ(zqc(p, 2, &q), 0);
    EXPECT_NEAR(q, -2 * std::log1p(-p), 1e-7 * std::fmin(p, 1 - p) * 2 / (1 - p));
  }
  // 0.975 quantiles for the engines' cutoffs (mpmath, 50 digits).
  const double want[][2] = {{1, 5.023886187314889},
                            {3, 9.3484036044961485},
                            {10, 20.483177350807395},
                            {100, 129.56119718583659},
                            {1000, 1089.5309127749135}};
  for (const auto& w : want) {
    SCOPED_TRACE("df = " + std::to_string(w[0]));
    double q = 0;
    ASSERT_EQ(zqc(0.975, w[0], &q), 0);
    EXPECT_NEAR(q, w[1], 1e-12 * w[1]);
  }
  EXPECT_NEAR(zprobit(0.975), 1.959963984540054, 1e-15);
  EXPECT_TRUE(std::signbit(zprobit(0.5)) && zprobit(0.5) == 0.0);
}

TEST(Distrib, TailsMatchClosedForms) {
  for (double t : {0.01, 0.5, 1.0, 3.0, 40.0}) {
    SCOPED_TRACE("t = " + std::to_string(t));
    const double t2 = t * t;
    EXPECT_NEAR(zpgt2(t2, 1), 1 - 2 / std::numbers::pi * std::atan(t), 1e-14);  // Cauchy
    EXPECT_NEAR(zpgt2(t2, 2), 1 - t / std::sqrt(t2 + 2), 1e-14);                // t with 2 df
    EXPECT_NEAR(zprbf(t, 2, 7), std::pow(1 + 2 * t / 7, -3.5), 1e-14);          // F(2, 7)
    EXPECT_NEAR(zprbf(t2, 1, 9), zpgt2(t2, 9), 1e-14);                          // F(1, d) = t^2
    double p, q, d, p2, d2;
    ASSERT_EQ(zigamma(t, 1, &p, &q, &d), 0);  // exponential
    EXPECT_NEAR(q, std::exp(-t), 1e-15 * std::exp(-t) * 4);
    ASSERT_EQ(zibeta(0.3, t, 2.5, &p, &d), 0);  // reflection
    ASSERT_EQ(zibeta(0.7, 2.5, t, &p2, &d2), 0);
    EXPECT_NEAR(p + p2, 1.0, 1e-14);
    EXPECT_NEAR(d, d2, 1e-13 * d);
  }
  for (long df : {1L, 2L, 17L, 1000000L}) EXPECT_EQ(zpgt2(0, df), 1.0);
}

TEST(Distrib, FailurePathsGiveTheirSentinels) {
  EXPECT_EQ(zprobit(0.0), -37.64030867301702);
  EXPECT_EQ(zprobit(-0.1), -37.64030867301702);
  EXPECT_EQ(zprobit(1.0), 7.941345326170997);
  EXPECT_EQ(zprbf(-1, 2, 3), -1.0);
  EXPECT_EQ(zprbf(1, 0, 3), -1.0);
  EXPECT_EQ(zprbf(1, 2, 0), -1.0);
  EXPECT_EQ(zprbf(0, 2, 3), 1.0);
  EXPECT_EQ(zprbf(INFINITY, 2, 3), 0.0);
  EXPECT_EQ(zpgt2(1, 0), -2.0);
  EXPECT_EQ(zpgt2(-1, 5), -2.0);
  double q = 42;
  for (auto [p, df] : {std::pair{-0.1, 2.0}, {0.9999999999999, 2.0}, {0.5, 0.0}, {0.5, 1e14}})
    EXPECT_EQ(zqc(p, df, &q), 1) << p << ", " << df;
  EXPECT_EQ(zqc(0, 3, &q), 0);
  EXPECT_EQ(q, 0.0);
  struct Bad {
    double x, a, b;
    int status;
  };
  const Bad bad[] = {{-0.1, 1, 1, -1}, {1.1, 1, 1, -1}, {0.5, 0, 1, -1}, {0.5, 1, -2, -1}, {0.5, 1e16, 1, 1}};
  for (const Bad& c : bad) {
    SCOPED_TRACE(::testing::PrintToString(std::tuple{c.x, c.a, c.b}));
    double p = 0, d = 7;
    EXPECT_EQ(zibeta(c.x, c.a, c.b, &p, &d), c.status);
    EXPECT_EQ(p, -1.0);
    EXPECT_EQ(d, 0.0);
  }
  double p, pr, d, lc, lp;
  EXPECT_EQ(zigamma(-1, 2, &p, &pr, &d), -1);
  EXPECT_EQ(zigamma(1, 0, &p, &pr, &d), -1);
  EXPECT_EQ(zigamma(1, 1e16, &p, &pr, &d), 1);
  EXPECT_EQ(zlognrm(NAN, &lc, &lp), 1);
  EXPECT_EQ(zlognrm(-1e200, &lc, &lp), 1);
}

}  // namespace
