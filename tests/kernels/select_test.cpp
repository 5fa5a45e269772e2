// Selection and sorting: pull against std::nth_element, medqua against its quartile rule on
// a sorted copy, and the sorts against a literal Shell sort with halving gaps (the defining
// algorithm), compared bit for bit so that +0/-0 and NaN placement counts too.
#include "kernels/select.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using robmat::findq;
using robmat::lsort;
using robmat::medqua;
using robmat::pull;
using robmat::rsort;
using robmat::rsort_work;

// Samples of the shapes that break selection and sorting: distinct values, heavy ties,
// sorted and reversed runs, signed zeros (among normals, alone, among integer ties, and
// ahead of a sorted run), and NaNs.
constexpr int kKinds = 9;
std::vector<double> sample(std::mt19937_64& g, long n, int kind) {
  std::vector<double> x(static_cast<size_t>(n));
  std::normal_distribution<double> nd;
  std::uniform_int_distribution<int> few(0, 3);
  auto signed_zero = [&] { return few(g) < 2 ? 0.0 : -0.0; };
  for (long i = 0; i < n; ++i)
    x[i] = kind == 0   ? nd(g)
           : kind == 1 ? few(g)
           : kind == 2 ? static_cast<double>(i)
           : kind == 3 ? static_cast<double>(n - i)
           : kind == 4 ? (few(g) == 0 ? signed_zero() : nd(g))
           : kind == 5 ? signed_zero()
           : kind == 6 ? (few(g) == 0 ? signed_zero() : few(g) - 1.5)
           : kind == 7 ? (i % 3 == 0 ? signed_zero() : static_cast<double>(n - i))
                       : (few(g) == 0 ? NAN : nd(g));
  return x;
}

bool same_bits(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() &&
         (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

// The defining algorithm: gaps n/2, n/4, ..., exchanging only strictly out-of-order pairs.
template <typename T>
void shell_reference(int asde, std::vector<T>& a) {
  const long n = static_cast<long>(a.size());
  for (long gap = n / 2; gap > 0; gap /= 2)
    for (long i = gap; i < n; ++i)
      for (long j = i - gap; j >= 0 && (asde != 0 ? a[j] > a[j + gap] : a[j] < a[j + gap]); j -= gap)
        std::swap(a[j], a[j + gap]);
}

TEST(Pull, AgreesWithNthElementAndFindqCarriesItsIndices) {
  std::mt19937_64 g(7);
  for (long n : {1L, 2L, 5L, 101L, 1000L}) {
    for (int kind = 0; kind < 4; ++kind) {
      std::vector<double> x = sample(g, n, kind);
      for (long k : {0L, n / 3, n / 2, n - 1}) {
        SCOPED_TRACE("n=" + std::to_string(n) + " kind=" + std::to_string(kind) + " k=" + std::to_string(k));
        std::vector<double> a = x, b = x, ref = x;
        std::nth_element(ref.begin(), ref.begin() + k, ref.end());
        EXPECT_EQ(pull(k, n, a.data()), ref[static_cast<size_t>(k)]);
        for (long i = 0; i < n; ++i) EXPECT_TRUE(i < k ? a[i] <= a[k] : a[i] >= a[k]);
        // findq makes pull's exchanges and carries the indices along: the searches that keep
        // indx[0..k] as their subset depend on both.
        std::vector<long> idx(static_cast<size_t>(n));
        EXPECT_EQ(findq(k, n, b.data(), idx.data()), a[k]);
        EXPECT_TRUE(same_bits(a, b));
        for (long i = 0; i < n; ++i) EXPECT_EQ(b[i], x[idx[i]]);
      }
    }
  }
}

TEST(Medqua, FollowsTheQuartileRule) {
  struct Case {
    std::vector<double> x;
    std::vector<double> want;  // median only when one value, else lower, median, upper
  };
  // The rule by hand: upper quartile of 1..7 is x(4) = 5, not 6.
  const Case cases[] = {{{1, 2, 3, 4, 5, 6, 7, 8}, {2.5, 4.5, 6.5}},
                        {{7, 1, 6, 2, 5, 3, 4}, {2, 4, 5}},
                        {{4, 1, 3, 2}, {2.5}},
                        {{3, 1, 2}, {2}},
                        {{9}, {9, 9, 9}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.x));
    std::vector<double> a = c.x;
    double r[3];
    const int imq = c.want.size() == 1 ? 0 : 1;
    medqua(1, imq, static_cast<long>(a.size()), a.data(), r);
    for (size_t i = 0; i < c.want.size(); ++i) EXPECT_EQ(r[i], c.want[i]);
  }
  // Random samples against the rule applied to a sorted copy.
  std::mt19937_64 g(11);
  for (long m = 2; m < 40; ++m) {
    SCOPED_TRACE("m=" + std::to_string(m));
    std::vector<double> a = sample(g, m, static_cast<int>(m % 2)), s = a;
    std::sort(s.begin(), s.end());
    auto med_of = [&](long from, long len) {
      return len % 2 ? s[from + len / 2] : (s[from + len / 2 - 1] + s[from + len / 2]) * 0.5;
    };
    double r[3];
    medqua(1, 1, m, a.data(), r);
    EXPECT_EQ(r[0], med_of(0, m / 2));
    EXPECT_EQ(r[1], med_of(0, m));
    EXPECT_EQ(r[2], med_of(m / 2, m / 2));
  }
}

TEST(Sort, MatchesTheShellSortBitForBit) {
  std::mt19937_64 g(3);
  // Sizes around the insertion sort's limit (32) and the radix sort's threshold (128), where
  // the fast paths begin, including the one that places signed zeros as the Shell sort does.
  for (long n : {0L, 1L, 2L, 17L, 32L, 33L, 127L, 128L, 2048L, 3000L, 4099L}) {
    for (int kind = 0; kind < kKinds; ++kind) {
      for (int asde : {0, 1}) {
        SCOPED_TRACE("n=" + std::to_string(n) + " kind=" + std::to_string(kind) +
                     " asde=" + std::to_string(asde));
        const std::vector<double> x = sample(g, n, kind);
        std::vector<double> ref = x, a = x, b = x, work(x.size());
        shell_reference(asde, ref);
        rsort(asde, n, a.data());
        rsort_work(asde, n, b.data(), work.data());
        EXPECT_TRUE(same_bits(a, ref));
        EXPECT_TRUE(same_bits(b, ref));
      }
    }
  }
  std::uniform_int_distribution<long> d(-5, 5);  // integers with heavy ties
  for (long n : {0L, 1L, 9L, 500L})
    for (int asde : {0, 1}) {
      SCOPED_TRACE("integers n=" + std::to_string(n) + " asde=" + std::to_string(asde));
      std::vector<long> a(static_cast<size_t>(n));
      for (long& v : a) v = d(g);
      std::vector<long> ref = a;
      shell_reference(asde, ref);
      lsort(asde, n, a.data());
      EXPECT_EQ(a, ref);
    }
}

}  // namespace
