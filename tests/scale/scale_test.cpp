// MAD, Sn and Qn against their O(n^2) definitions computed by brute force: every pairwise
// distance for Qn, every point's full list of distances for Sn. The fast algorithms return
// an exact order statistic, so the results must be the same doubles, not merely close.
#include "scale/scale.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "support/scale_reference.h"

namespace {

using robmat::whimed;
using robmat::zmad;
using robmat::zq_n;
using robmat::zs_n;
using robmat::testing::kth;
using robmat::testing::mad_brute;
using robmat::testing::qn_brute;
using robmat::testing::sn_brute;

// Continuous data, few distinct values (ties among the distances), many exact duplicates,
// a majority of equal values, and values of wildly different magnitude.
std::vector<double> sample(std::mt19937_64& g, long n, int kind) {
  std::vector<double> x(static_cast<size_t>(n));
  std::normal_distribution<double> nd;
  std::uniform_int_distribution<int> small(0, 6);
  for (double& v : x)
    v = kind == 0   ? nd(g)
        : kind == 1 ? small(g)
        : kind == 2 ? std::round(nd(g) * 4) / 4
        : kind == 3 ? (small(g) < 4 ? 2.5 : nd(g))
                    : std::ldexp(nd(g), small(g) * 40 - 120);
  return x;
}

TEST(Scale, EstimatorsEqualBruteForceExactly) {
  // Every small n, then steps of 37 up to 326 and 2049: several narrowing passes of Qn, and
  // the radix sort from 2048 on.
  std::mt19937_64 g(2024);
  for (long n = 2; n <= 2049; n += (n < 30 ? 1 : n < 320 ? 37 : 1723)) {
    for (int kind = 0; kind < 5; ++kind) {
      SCOPED_TRACE("n=" + std::to_string(n) + " kind=" + std::to_string(kind));
      const std::vector<double> x = sample(g, n, kind);
      std::vector<double> a = x, w(2 * x.size());
      std::vector<long> iw(6 * x.size());
      EXPECT_EQ(zmad(0, n, a.data()), mad_brute(x));
      a = x;
      EXPECT_EQ(zs_n(n, a.data(), w.data()), sn_brute(x));
      EXPECT_TRUE(std::is_sorted(a.begin(), a.end()));
      a = x;
      EXPECT_EQ(zq_n(n, a.data(), w.data(), iw.data()), qn_brute(x));
      EXPECT_TRUE(std::is_sorted(a.begin(), a.end()));
    }
  }
}

TEST(Scale, NamedSpecialCases) {
  struct Case {
    const char* name;
    std::vector<double> x;
    double mad, nmad, sn, qn;
  };
  const Case cases[] = {
      {"empty", {}, 0, 0, 0, 0},
      {"one value", {3}, 0, 0, 0, 0},
      // 1/Phi^-1(0.75) = 1.482602218505602 (mpmath 50 digits), times 0.5.
      {"two values", {0, 1}, 0.5, 0.741301109252801, 0.743 * 1.1926, 0.399 * 2.2219},
      {"majority equal", {4, 4, 4, 4, 1, 9, 4, 30}, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const long n = static_cast<long>(c.x.size());
    std::vector<double> a = c.x, w(2 * c.x.size() + 1);
    std::vector<long> iw(6 * c.x.size() + 1);
    EXPECT_EQ(zmad(0, n, a.data()), c.mad);
    a = c.x;
    EXPECT_NEAR(zmad(1, n, a.data()), c.nmad, 1e-15);
    a = c.x;
    EXPECT_EQ(zs_n(n, a.data(), w.data()), c.sn);
    a = c.x;
    EXPECT_EQ(zq_n(n, a.data(), w.data(), iw.data()), c.qn);
  }
}

TEST(Scale, WeightedHighMedianMatchesDefinition) {
  // The smallest value t whose cumulative weight (values <= t) exceeds half the total.
  std::mt19937_64 g(17);
  std::uniform_int_distribution<int> val(0, 9), wt(1, 5);
  for (long n = 1; n < 60; n += 3) {
    SCOPED_TRACE("n=" + std::to_string(n));
    std::vector<double> a(static_cast<size_t>(n)), w(a.size()), v;
    std::vector<long> iwgt(a.size()), jw(a.size());
    long total = 0;
    for (long i = 0; i < n; ++i) {
      a[i] = val(g);
      iwgt[i] = wt(g);
      total += iwgt[i];
    }
    double want = 0;
    for (double t = 0; t <= 9; ++t) {
      long below = 0;
      for (long i = 0; i < n; ++i) below += a[i] <= t ? iwgt[i] : 0;
      if (2 * below > total) {
        want = t;
        break;
      }
    }
    EXPECT_EQ(whimed(n, a.data(), iwgt.data(), jw.data(), w.data()), want);
  }
}

}  // namespace
