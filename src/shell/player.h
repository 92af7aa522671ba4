#pragma once
// The player's keys while the show runs: pause, seeking by 5 s, jumps to the
// segments' starts, the restart, fullscreen and the overlay.
#include <cstdint>

namespace shell {

// Acts on a key number of the window system's key-down message; false for
// a key the player does not use. With QUILLON_POSITION_LOG set, each action
// prints its key and the position before and after on standard output.
bool HandlePlayerKey(std::uintptr_t key);

// Moves the show to position (music and clock) and starts what builds up
// over frames again from nothing; false when the position cannot be reached
// (past the show's end).
bool JumpTo(std::uint32_t position);

// The position a key moves the show to from position, or -1 for a key that
// does not seek.
std::int64_t SeekTarget(std::uintptr_t key, std::uint32_t position);

}  // namespace shell
