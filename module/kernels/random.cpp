// The seeded uniform stream. Integer arithmetic only, so the sequence is the same on every
// platform and compiler.
#include "kernels/random.h"

#include <cstdint>

namespace robmat {

double zranuni(long* iSeed) {
  const uint32_t s = static_cast<uint32_t>(static_cast<uint64_t>(*iSeed));
  const uint64_t prod = static_cast<uint64_t>(s) * 397204094u;
  // 2^31 = 1 mod (2^31 - 1): fold the high part onto the low 31 bits. The sum is below
  // 2^32 - 2 and at most one subtraction brings it into range.
  uint32_t t = static_cast<uint32_t>(prod >> 31) + static_cast<uint32_t>(prod & 0x7FFFFFFFu);
  if (t >= 2147483647u) t -= 2147483647u;
  *iSeed = static_cast<long>(t);
  return t / 2147483647.0;
}

}  // namespace robmat
