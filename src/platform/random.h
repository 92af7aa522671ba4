#pragma once
#include <cstdint>

namespace platform {

// The runtime's uniform integer generator, 0 to n - 1 (0 for n = 0). It is
// never seeded, so every run of the program draws the same sequence; one
// generator serves every module, so the order of draws decides the numbers.
std::uint32_t Random(std::uint32_t n);

// Puts the generator back at its start-up state (tests and offline capture).
void ResetRandom();

}  // namespace platform
