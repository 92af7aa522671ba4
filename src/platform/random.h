#pragma once
#include <cstdint>

namespace platform {

// The runtime's uniform integer generator, 0 to n - 1 (0 for n = 0). It is
// never seeded, so every run of the program draws the same sequence; one
// generator serves every module on the main thread, so the order of draws
// decides the numbers. Main thread only.
std::uint32_t Random(std::uint32_t n);

// Puts the generator back at its start-up state (tests and offline capture).
void ResetRandom();

// A generator of the same kind for another thread, owned and locked by its
// user: the audio thread draws from its own, so that when the music happens
// to end never changes the numbers the main thread draws.
struct RandomGenerator {
  std::uint32_t state = 0;
};
std::uint32_t Random(RandomGenerator& generator, std::uint32_t n);

}  // namespace platform
