// Draws and enumeration of the FAST searches: binomial counts and the lexicographic walk by
// brute force, both generators' draws by their defining properties (distinct, in range,
// ascending with group numbers beside), the scheme's group sizes and the breakdown value.
#include "kernels/draws.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <vector>

namespace robmat {
namespace {

TEST(Draws, CombinationsAndTheirEnumeration) {
  EXPECT_EQ(ncomb(3, 22), 1540);
  EXPECT_EQ(ncomb(4, 21), 5985);
  EXPECT_EQ(ncomb(0, 7), 1);
  EXPECT_EQ(ncomb(30, 1000), 9007199254740992L);  // capped at 2^53
  // genpn walks all C(6, 3) combinations in lexicographic order.
  long c[3] = {0, 1, 2}, count = 1, enter = 0, leave = 0;
  std::vector<long> prev(c, c + 3);
  while (genpn(3, 6, c, &enter, &leave) == 0) {
    const std::vector<long> cur(c, c + 3);
    EXPECT_LT(prev, cur);
    prev = cur;
    ++count;
  }
  EXPECT_EQ(count, 20);
  EXPECT_EQ(prev, (std::vector<long>{3, 4, 5}));
  EXPECT_EQ(fast_enumeration_limit(3), 22);
  EXPECT_EQ(fast_enumeration_limit(7), 0);
}

TEST(Draws, DistinctOrderedAndGrouped) {
  long seed = -1;  // uniran takes a negative seed modulo 65536
  uniran(&seed);
  EXPECT_EQ(seed, (5761L * 65535 + 999) % 65536);
  for (auto draw : {ranpro, ranpn}) {
    seed = 7;
    for (int t = 0; t < 200; ++t) {
      std::vector<long> v(5);
      draw(5, 9, &seed, v.data());
      std::sort(v.begin(), v.end());
      EXPECT_EQ(std::adjacent_find(v.begin(), v.end()), v.end());
      EXPECT_TRUE(v.front() >= 0 && v.back() < 9);
    }
  }
  // ranrep: one member replaced by an index that was not in the subset.
  std::vector<long> sub = {0, 1, 2, 3};
  seed = 12345;
  for (int t = 0; t < 200; ++t) {
    const std::vector<long> before = sub;
    ranrep(4, 6, &seed, sub.data());
    long changed = 0;
    for (int k = 0; k < 4; ++k) changed += sub[k] != before[k] ? 1 : 0;
    EXPECT_EQ(changed, 1);
    std::vector<long> sorted = sub;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());
    EXPECT_TRUE(sorted.front() >= 0 && sorted.back() < 6);
  }
  // rdraw: disjoint groups of the given sizes, ascending, with the group numbers beside.
  const long mini[3] = {4, 5, 3};
  std::vector<long> a(24);
  rdraw(20, 3, mini, &seed, a.data(), 12);
  EXPECT_TRUE(std::is_sorted(a.begin(), a.begin() + 12));
  EXPECT_EQ(std::adjacent_find(a.begin(), a.begin() + 12), a.begin() + 12);
  for (long g = 0; g < 3; ++g) EXPECT_EQ(std::count(a.begin() + 12, a.end(), g), mini[g]);
  const long all[2] = {3, 3};  // drawing all of m gives 0..m-1
  std::vector<long> b(12);
  rdraw(6, 2, all, &seed, b.data(), 6);
  for (long i = 0; i < 6; ++i) EXPECT_EQ(b[i], i);
  std::vector<long> list = {2, 5, 7, 0, 0, 0, 0};  // prdraw adds a new index, keeping order
  for (long kk = 3; kk < 7; ++kk) {
    prdraw(8, kk, &seed, list.data());
    EXPECT_TRUE(std::is_sorted(list.begin(), list.begin() + kk + 1));
    EXPECT_EQ(std::adjacent_find(list.begin(), list.begin() + kk + 1), list.begin() + kk + 1);
  }
}

TEST(Draws, GroupSizesAndBreakdown) {
  struct Case {
    long n, nsds, lsds;
    std::vector<long> sizes;
  };
  const Case cases[] = {
      {600, 5, 300, {300, 300}},
      {899, 5, 300, {449, 450}},
      {900, 5, 300, {300, 300, 300}},
      {1000, 5, 300, {333, 334, 333}},
      {1201, 5, 300, {300, 301, 300, 300}},
      {3000, 5, 300, {300, 300, 300, 300, 300}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.n);
    std::vector<long> mini(static_cast<size_t>(c.nsds));
    mini.resize(static_cast<size_t>(fast_group_sizes(c.n, c.nsds, c.lsds, mini.data())));
    EXPECT_EQ(mini, c.sizes);
    // All n cases are shared out while the groups are fewer than nsds full ones.
    const long total = std::accumulate(mini.begin(), mini.end(), 0L);
    EXPECT_TRUE(c.n >= c.nsds * c.lsds || total == c.n);
  }
  // The size of the merged set without the groups, over every scheme of small groups.
  for (long lsds : {3L, 7L, 20L})
    for (long nsds = 1; nsds <= 6; ++nsds)
      for (long n = 2 * lsds; n <= 8 * lsds; ++n) {
        std::vector<long> mini(static_cast<size_t>(nsds));
        const int g = fast_group_sizes(n, nsds, lsds, mini.data());
        ASSERT_EQ(fast_merged_cases(n, nsds, lsds), std::accumulate(mini.begin(), mini.begin() + g, 0L))
            << n << " cases, " << nsds << " groups of " << lsds;
      }
  double bper = 0;  // breakdown: min(n - h + 1, h - p) cases
  EXPECT_EQ(nbreak2(39, 75, 3, &bper), 36);
  EXPECT_DOUBLE_EQ(bper, 48.0);
  EXPECT_EQ(nbreak2(50, 75, 3, &bper), 26);
}

}  // namespace
}  // namespace robmat
