#pragma once
// The show rendered on a simulated clock instead of the music's: a position
// that starts at 0 and steps from frame to frame through a plan of regular
// frames (k * 176,400 / fps) and extra positions, so that every frame has
// the history (particle stream, feedback trail) the show at that frame rate
// would have had. The offline capture and the web page's captured frames run
// the show this one way.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "shell/startup.h"

namespace shell {

inline constexpr std::uint32_t kPositionUnitsPerSecond = 176400;

// The frames of one run: the regular frames and the extra positions, in
// order, up to the last one needed.
struct FramePlan {
  std::uint64_t fps = 60;
  std::uint64_t gridIndex = 0;
  std::vector<std::uint32_t> extras;  // sorted, unique
  std::size_t extraIndex = 0;
  std::uint32_t last = 0;

  std::uint32_t Grid(std::uint64_t k) const {
    return static_cast<std::uint32_t>(k * kPositionUnitsPerSecond / fps);
  }
  // The frame after the one at `current`; false when the run is over.
  bool Next(std::uint32_t current, std::uint32_t& next);
  std::uint64_t CountFrames() const;
};

// A run of the show on the plan's clock. frame runs after every presented
// frame with its position, before the clock steps on (false ends the run);
// loadingFrame with every loading-progress frame of the start-up.
struct SimulatedShow {
  FramePlan plan;
  bool (*frame)(std::uint32_t position, void* context) = nullptr;
  void (*loadingFrame)(std::int32_t blocks, void* context) = nullptr;
  void* context = nullptr;
  std::uint32_t position = 0;  // the clock's reading
};

// Runs the show from position 0 through the plan; returns RunShow's code.
// The clock is the music's again afterwards.
int RunSimulatedShow(SimulatedShow& run, ShowOptions options);

// The show's drawing speed: frames per second of each segment A to F over
// one run of the whole show on the simulated clock at fps frames a second of
// music, every frame finished (a pixel read back) before it is timed, so
// that what the renderer still owes is counted where it was drawn. The frames of the
// start-up are left out. False when the show ended before its last frame.
struct SegmentRates {
  int frames[6] = {};
  double seconds[6] = {};
  double FramesPerSecond(int segment) const { return frames[segment] / seconds[segment]; }
};
bool MeasureSegmentRates(int fps, const ShowOptions& options, SegmentRates& rates);

// Reads the presented 800 x 600 frame as RGB, top row first.
void ReadFrameRgb(std::vector<std::uint8_t>& rgb);

// An RGB frame at 1/n of its size (n divides both sides), each pixel the
// rounded mean of an n x n block.
std::vector<std::uint8_t> ReduceFrame(const std::vector<std::uint8_t>& rgb, int width, int height, int n);

}  // namespace shell
