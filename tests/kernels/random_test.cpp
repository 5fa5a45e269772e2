// The uniform stream against the closed form of a multiplicative congruential generator:
// after k steps from s0 the state is s0 * 397204094^k mod (2^31 - 1), computed here by
// modular exponentiation, independently of the folding trick of the kernel.
#include "kernels/random.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>

namespace {

using robmat::zranuni;

uint64_t powmod(uint64_t b, uint64_t e, uint64_t m) {
  uint64_t r = 1;
  for (b %= m; e > 0; e >>= 1, b = b * b % m)
    if (e & 1) r = r * b % m;
  return r;
}

TEST(Zranuni, FollowsTheClosedForm) {
  const uint64_t m = 2147483647;
  // A seed and the state it stands for: its low 32 bits mod 2^31 - 1 (high bits ignored,
  // a negative seed, the largest state).
  for (auto [seed, s0] : {std::pair{1L, uint64_t{1}},
                          {19L, 19},
                          {(7L << 32) + 5, 5},
                          {-3L, (uint64_t{1} << 32) - 3},
                          {2147483646L, 2147483646}}) {
    SCOPED_TRACE(seed);
    long s = seed;
    for (uint64_t k = 1; k <= 2000; ++k) {
      const double u = zranuni(&s);
      const uint64_t want = s0 % m * powmod(397204094, k, m) % m;
      ASSERT_EQ(static_cast<uint64_t>(s), want) << "step " << k;
      ASSERT_EQ(u, static_cast<double>(want) / 2147483647.0);
      ASSERT_TRUE(u >= 0.0 && u < 1.0);
    }
  }
  long s = 1;
  EXPECT_EQ(zranuni(&s), 397204094.0 / 2147483647.0);
  EXPECT_EQ(s, 397204094);
}

TEST(Zranuni, ZeroIsAbsorbing) {
  for (long seed : {0L, 1L << 32, 2147483647L, 2 * 2147483647L}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    long s = seed;
    for (int i = 0; i < 5; ++i) EXPECT_EQ(zranuni(&s), 0.0);
    EXPECT_EQ(s, 0);
  }
}

}  // namespace
