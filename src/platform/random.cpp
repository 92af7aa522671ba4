#include "platform/random.h"

namespace platform {

namespace {
RandomGenerator mainGenerator;
}  // namespace

// A 32-bit linear congruential generator; the high bits of the state scaled
// to the range give a uniform draw without the modulo bias of the low bits.
std::uint32_t Random(RandomGenerator& generator, std::uint32_t n) {
  generator.state = generator.state * 134775813u + 1u;
  return static_cast<std::uint32_t>((static_cast<std::uint64_t>(generator.state) * n) >> 32);
}

std::uint32_t Random(std::uint32_t n) { return Random(mainGenerator, n); }

void ResetRandom() { mainGenerator = RandomGenerator{}; }

}  // namespace platform
