#include "platform/random.h"

namespace platform {

namespace {
// A 32-bit linear congruential generator; the high bits of the state scaled
// to the range give a uniform draw without the modulo bias of the low bits.
constexpr std::uint32_t kInitialState = 0;
std::uint32_t state = kInitialState;
}  // namespace

std::uint32_t Random(std::uint32_t n) {
  state = state * 134775813u + 1u;
  return static_cast<std::uint32_t>((static_cast<std::uint64_t>(state) * n) >> 32);
}

void ResetRandom() { state = kInitialState; }

}  // namespace platform
