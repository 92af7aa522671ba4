// The show's speed at 800 x 600 in a headless context: frames per second of
// each segment A to F (goal: at least 60 in every one), and the start-up time
// up to the first frame of the main loop over the time to decode every
// picture of the data set once on one thread, measured in the same run
// (goal: at most 1.0). Usage: bench_show [DATA_DIR] (default: the generated
// set of this build tree).
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/image.h"
#include "shell/main_loop.h"
#include "shell/startup.h"
#include "sound/music.h"
#include "support/temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Segment {
  char name;
  std::uint32_t from;
};
// Each segment is measured from a little after its start, long enough for
// the particle stream of B to reach its full size.
const Segment kSegments[] = {{'A', 200000},  {'B', 2200000},  {'C', 4360000},
                             {'D', 6530000}, {'E', 8750000}, {'F', 10910000}};
constexpr int kFramesPerSegment = 300;
constexpr std::uint32_t kStep = 176400 / 60;

struct Run {
  Clock::time_point started;
  Clock::time_point firstFrame;
  Clock::time_point lastFrame;
  int segment = 0;
  int frame = 0;
  std::uint32_t position = 0;
  double seconds[6] = {};
  int frames[6] = {};
} run;

std::uint32_t Position() { return run.position; }

bool AfterFrame(std::uint32_t, void*) {
  const Clock::time_point now = Clock::now();
  if (run.frame == 0 && run.segment == 0) {
    run.firstFrame = now;
  } else if (run.frame > 0) {
    // The first frame of a segment is not counted: it pays for the jump.
    run.seconds[run.segment] += std::chrono::duration<double>(now - run.lastFrame).count();
    ++run.frames[run.segment];
  }
  run.lastFrame = now;
  if (++run.frame > kFramesPerSegment) {
    run.frame = 0;
    if (++run.segment >= 6) return false;
  }
  run.position = kSegments[run.segment].from + static_cast<std::uint32_t>(run.frame) * kStep;
  return true;
}

double DecodeAllPictures(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const std::string ext = entry.path().extension().string();
    if (ext == ".tga" || ext == ".jpg") names.push_back(entry.path().string());
  }
  std::sort(names.begin(), names.end());
  const Clock::time_point start = Clock::now();
  for (const std::string& name : names) {
    platform::TextureImage* image = platform::txLoad(0, name.c_str(), 0);
    if (image) platform::txFree(image);
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::printf("decoded %zu pictures on one thread in %.3f s\n", names.size(), seconds);
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string data = argc > 1 ? argv[1] : testsupport::BinaryDir() + "/show";
  if (!std::filesystem::exists(std::filesystem::path(data) / "cam.3dw")) {
    std::fprintf(stderr, "bench_show: no show data in %s\n", data.c_str());
    return 2;
  }
  const double decodeSeconds = DecodeAllPictures(data);

  setenv("SDL_AUDIODRIVER", "dummy", 1);
  setenv("QUILLON_NO_DIALOGS", "1", 1);
  if (chdir(data.c_str()) != 0) return 2;
  run.position = kSegments[0].from;
  sound::SetMusicPositionSource(Position);
  shell::LoopHooks hooks;
  hooks.afterFrame = AfterFrame;
  shell::ShowOptions options;
  options.headless = true;
  options.hooks = &hooks;
  run.started = Clock::now();
  const int code = shell::RunShow(options);
  if (code != 0 || run.segment < 6) {
    std::fprintf(stderr, "bench_show: the show ended early (code %d)\n", code);
    return 1;
  }
  // The start-up's own first frame is part of what the viewer waits for.
  const double startup = std::chrono::duration<double>(run.firstFrame - run.started).count();
  std::printf("start-up to the first frame: %.3f s\n", startup);
  std::printf("start-up / decoding every picture once on one thread: %.3f (goal <= 1.0)\n",
              startup / decodeSeconds);
  for (int i = 0; i < 6; ++i) {
    const double fps = run.frames[i] / run.seconds[i];
    std::printf("segment %c: %.1f frames per second at 800 x 600 (goal >= 60)\n", kSegments[i].name, fps);
  }
  return 0;
}
