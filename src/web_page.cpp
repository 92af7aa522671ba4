// The web build's entry points besides main, called by its page
// (index.html): the show's clock as the sound module reads it; the frames of
// ?at=, drawn on the offline capture's simulated clock so that each has the
// history the capture gives it; and the drawing speed of each segment
// (?rates=), measured as the native benchmark measures it.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "platform/web/page.h"
#include "shell/main_loop.h"
#include "shell/offline.h"
#include "sound/music.h"

namespace {

constexpr int kFrameWidth = 800, kFrameHeight = 600;

struct PageCapture {
  std::set<std::uint32_t> saveAt;
  int reduce = 1;
  std::vector<std::uint8_t> rgb;
};

void Hand(PageCapture& c, const std::string& name) {
  shell::ReadFrameRgb(c.rgb);
  const std::vector<std::uint8_t> frame = shell::ReduceFrame(c.rgb, kFrameWidth, kFrameHeight, c.reduce);
  platform::web::HandFrameToPage(name.c_str(), frame.data(), kFrameWidth / c.reduce, kFrameHeight / c.reduce);
}

bool AfterFrame(std::uint32_t position, void* context) {
  PageCapture& c = *static_cast<PageCapture*>(context);
  if (c.saveAt.count(position) > 0) {
    char name[16];
    std::snprintf(name, sizeof name, "%08u", position);
    Hand(c, name);
  }
  return true;
}

void LoadingFrame(std::int32_t blocks, void* context) {
  Hand(*static_cast<PageCapture*>(context), "loading" + std::to_string(blocks));
}

}  // namespace

// The music position in bytes of decoded audio, as the show reads it.
extern "C" std::uint32_t quillon_web_position() { return sound::GetMusicPosition(); }

// Draws the show from position 0 at fps frames a second of simulated clock
// up to the last of count positions (those after the show's end are left
// out) and hands the page the frame of each, and each loading frame, at
// 1/reduce of its size (1, 2, 4 or 8). Returns the show's exit code, 2 for
// arguments out of range.
extern "C" int quillon_web_capture(const std::uint32_t* positions, int count, int fps, int reduce) {
  if (count < 1 || fps < 1 || fps > 1000 || (reduce != 1 && reduce != 2 && reduce != 4 && reduce != 8)) {
    return 2;
  }
  PageCapture c;
  c.reduce = reduce;
  for (int i = 0; i < count; ++i) {
    if (positions[i] <= shell::ShowEnd) c.saveAt.insert(positions[i]);
  }
  if (c.saveAt.empty()) return 2;
  shell::SimulatedShow run;
  run.plan.fps = static_cast<std::uint64_t>(fps);
  run.plan.extras.assign(c.saveAt.begin(), c.saveAt.end());
  run.plan.last = *c.saveAt.rbegin();
  run.frame = AfterFrame;
  run.loadingFrame = LoadingFrame;
  run.context = &c;
  // No sound: the clock is the plan's.
  shell::ShowOptions show;
  show.noSound = true;
  return shell::RunSimulatedShow(run, show);
}

// Frames per second of each segment A to F, drawn as fast as the browser
// lets them at fps frames a second of simulated clock, into rates[0..5].
// Returns 0, or 1 when the show ended before its last frame.
extern "C" int quillon_web_rates(int fps, double* rates) {
  shell::SegmentRates measured;
  shell::ShowOptions show;
  show.noSound = true;
  if (fps < 1 || fps > 1000 || !shell::MeasureSegmentRates(fps, show, measured)) return 1;
  for (int i = 0; i < 6; ++i) rates[i] = measured.FramesPerSecond(i);
  return 0;
}
