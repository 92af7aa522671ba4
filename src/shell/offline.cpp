#include "shell/offline.h"

#include <algorithm>
#include <chrono>

#include "platform/gl.h"
#include "shell/main_loop.h"
#include "sound/music.h"

namespace shell {

namespace {

constexpr int kFrameWidth = 800, kFrameHeight = 600;

// The run in progress: the clock source is a plain function.
SimulatedShow* active = nullptr;

std::uint32_t SimulatedPosition() { return active->position; }

bool AfterFrame(std::uint32_t framePosition, void* context) {
  SimulatedShow& run = *static_cast<SimulatedShow*>(context);
  if (run.frame && !run.frame(framePosition, run.context)) return false;
  std::uint32_t next = 0;
  if (!run.plan.Next(framePosition, next)) return false;
  run.position = next;
  return true;
}

void LoadingFrame(std::int32_t blocks, void* context) {
  SimulatedShow& run = *static_cast<SimulatedShow*>(context);
  if (run.loadingFrame) run.loadingFrame(blocks, run.context);
}

}  // namespace

bool FramePlan::Next(std::uint32_t current, std::uint32_t& next) {
  while (Grid(gridIndex) <= current) ++gridIndex;
  while (extraIndex < extras.size() && extras[extraIndex] <= current) ++extraIndex;
  std::uint64_t candidate = Grid(gridIndex);
  if (extraIndex < extras.size()) candidate = std::min<std::uint64_t>(candidate, extras[extraIndex]);
  if (candidate > last) return false;
  next = static_cast<std::uint32_t>(candidate);
  return true;
}

std::uint64_t FramePlan::CountFrames() const {
  const std::uint64_t gridFrames = static_cast<std::uint64_t>(last) * fps / kPositionUnitsPerSecond + 1;
  std::uint64_t extraFrames = 0;
  for (std::uint32_t p : extras) {
    if (static_cast<std::uint64_t>(p) * fps % kPositionUnitsPerSecond != 0) ++extraFrames;
  }
  return gridFrames + extraFrames;
}

int RunSimulatedShow(SimulatedShow& run, ShowOptions options) {
  LoopHooks hooks;
  hooks.afterFrame = AfterFrame;
  hooks.loadingFrame = LoadingFrame;
  hooks.context = &run;
  options.hooks = &hooks;
  run.position = 0;
  active = &run;
  sound::SetMusicPositionSource(SimulatedPosition);
  const int code = RunShow(options);
  sound::SetMusicPositionSource(nullptr);
  active = nullptr;
  return code;
}

namespace {

struct RateRun {
  SegmentRates* rates = nullptr;
  std::chrono::steady_clock::time_point last;
  bool started = false;
};

int SegmentOf(std::uint32_t position) {
  int segment = 0;
  while (segment < 5 && position >= SegmentStarts[segment + 1]) ++segment;
  return segment;
}

bool TimeFrame(std::uint32_t position, void* context) {
  RateRun& run = *static_cast<RateRun*>(context);
  // Reading a pixel back waits until the frame is drawn; a browser returns
  // from glFinish at once and draws later, wherever it next has to wait.
  std::uint8_t pixel[4];
  gl::glPixelStorei(GL_PACK_ALIGNMENT, 1);
  gl::glReadPixels(0, 0, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
  const auto now = std::chrono::steady_clock::now();
  // The first frame's time holds the end of the start-up.
  if (run.started) {
    const int segment = SegmentOf(position);
    run.rates->seconds[segment] += std::chrono::duration<double>(now - run.last).count();
    ++run.rates->frames[segment];
  }
  run.started = true;
  run.last = now;
  return true;
}

}  // namespace

bool MeasureSegmentRates(int fps, const ShowOptions& options, SegmentRates& rates) {
  rates = SegmentRates{};
  RateRun timing;
  timing.rates = &rates;
  SimulatedShow run;
  run.plan.fps = static_cast<std::uint64_t>(fps);
  run.plan.last = ShowEnd;
  run.frame = TimeFrame;
  run.context = &timing;
  if (RunSimulatedShow(run, options) != 0) return false;
  for (int frames : rates.frames) {
    if (frames == 0) return false;
  }
  return true;
}

void ReadFrameRgb(std::vector<std::uint8_t>& rgb) {
  std::vector<std::uint8_t> rgba(static_cast<std::size_t>(kFrameWidth) * kFrameHeight * 4);
  rgb.resize(static_cast<std::size_t>(kFrameWidth) * kFrameHeight * 3);
  gl::glPixelStorei(GL_PACK_ALIGNMENT, 1);
  gl::glReadPixels(0, 0, kFrameWidth, kFrameHeight, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
  // The back buffer's first row is the bottom one; pictures start at the top.
  for (int y = 0; y < kFrameHeight; ++y) {
    const std::uint8_t* src = &rgba[static_cast<std::size_t>(kFrameHeight - 1 - y) * kFrameWidth * 4];
    std::uint8_t* dst = &rgb[static_cast<std::size_t>(y) * kFrameWidth * 3];
    for (int x = 0; x < kFrameWidth; ++x) {
      dst[x * 3] = src[x * 4];
      dst[x * 3 + 1] = src[x * 4 + 1];
      dst[x * 3 + 2] = src[x * 4 + 2];
    }
  }
}

std::vector<std::uint8_t> ReduceFrame(const std::vector<std::uint8_t>& rgb, int width, int height, int n) {
  if (n <= 1) return rgb;
  const int reducedWidth = width / n, reducedHeight = height / n;
  std::vector<std::uint8_t> reduced(static_cast<std::size_t>(reducedWidth) * reducedHeight * 3);
  for (int y = 0; y < reducedHeight; ++y) {
    for (int x = 0; x < reducedWidth; ++x) {
      for (int channel = 0; channel < 3; ++channel) {
        int sum = 0;
        for (int dy = 0; dy < n; ++dy) {
          const std::uint8_t* row = &rgb[static_cast<std::size_t>(y * n + dy) * width * 3];
          for (int dx = 0; dx < n; ++dx) sum += row[(x * n + dx) * 3 + channel];
        }
        reduced[(static_cast<std::size_t>(y) * reducedWidth + x) * 3 + channel] =
            static_cast<std::uint8_t>((sum + n * n / 2) / (n * n));
      }
    }
  }
  return reduced;
}

}  // namespace shell
