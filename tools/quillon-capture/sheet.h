#pragma once
// The contact sheet: thumbnails of captured frames in a grid, each with its
// music position and segment written under it.
#include <cstdint>
#include <string>
#include <vector>

namespace capture {

struct Frame {
  std::uint32_t position = 0;
  std::vector<std::uint8_t> rgb;  // 800 x 600, top row first
};

inline constexpr int kFrameWidth = 800;
inline constexpr int kFrameHeight = 600;

// The segment letter of a position: A to F.
char SegmentOf(std::uint32_t position);
// "2,730,001"
std::string GroupedDigits(std::uint32_t value);

// The sheet's pixels (RGB, top row first) and its size.
std::vector<std::uint8_t> ComposeSheet(const std::vector<Frame>& frames, int& width, int& height);

}  // namespace capture
