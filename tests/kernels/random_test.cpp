// The uniform stream against the closed form of a multiplicative congruential generator:
// after k steps from s0 the state is s0 * 397204094^k mod (2^31 - 1), computed here by
// modular exponentiation, independently of the folding trick of the kernel.
#include "kernels/random.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

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
  struct Case {
    const char* name;
    long seed;
    uint64_t s0;  // the state the seed stands for: its low 32 bits mod 2^31 - 1
  };
  const Case cases[] = {{"seed 1", 1, 1},
                        {"seed 19", 19, 19},
                        {"high bits ignored", (7L << 32) + 5, 5},
                        {"negative seed", -3, (uint64_t{1} << 32) - 3},
                        {"largest state", 2147483646, 2147483646}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    long s = c.seed;
    for (uint64_t k = 1; k <= 2000; ++k) {
      const double u = zranuni(&s);
      const uint64_t want = c.s0 % m * powmod(397204094, k, m) % m;
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
