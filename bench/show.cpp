// The show's speed at 800 x 600 in a headless context: frames per second of
// each segment A to F (goal: at least 60 in every one), and the start-up time
// from process start to the first frame of the main loop over the time to
// decode every picture of the data set once on one thread, measured in the
// same run (goal: at most 1.0). The show runs in a child process started
// just after the decoding, so the start-up counts what a viewer waits for:
// the program's own loading by the system as well as the show's start-up.
//
// Then the cost of presenting scaled on a display without 800 x 600: a
// second show process whose headless surface stands for a 1920 x 1080
// screen draws every frame into the scaled frame and presents every other
// one through the scaled presentation (the bars and the blit into
// 1440 x 1080) and the rest with the plain finish of a frame. Interleaving
// the two keeps whatever else the machine does out of the comparison. Per
// segment: the mean time of a scaled frame over that of a plain one (goal:
// at most 1.05).
//
// Last, the browser build's OpenGL: the show process again with
// QUILLON_GL_LAYER=gles, drawing through our fixed-function layer on an
// OpenGL ES 3.0 context of the same llvmpipe. Per segment: its frames per
// second over those of the system's OpenGL in the first run, and the
// processor time a frame of the system's OpenGL over the layer's (goal: at
// least 1.0, the layer no slower than the fixed function it stands in for).
// Usage: bench_show [DATA_DIR] (default: the generated set of this build
// tree).
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/gl.h"
#include "platform/image.h"
#include "platform/offscreen.h"
#include "platform/present.h"
#include "platform/scaled_frame.h"
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
constexpr int kScreenWidth = 1920;
constexpr int kScreenHeight = 1080;

struct Run {
  Clock::time_point firstFrame;
  Clock::time_point lastFrame;
  int segment = 0;
  int frame = 0;
  std::uint32_t position = 0;
  double seconds[6] = {};
  int frames[6] = {};
  // Processor time of every thread of the process (llvmpipe draws on
  // several), which other load on the machine disturbs far less than the
  // wall clock.
  double lastCpu = 0;
  double cpuSeconds[6] = {};
} run;

double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

std::uint32_t Position() { return run.position; }

// The scaled run: which way the frame just presented went, and the time
// spent on frames of each kind per segment.
struct ScaledRun {
  bool lastScaled = false;
  int presented = 0;
  double seconds[6][2] = {};
  int frames[6][2] = {};
} scaledRun;

void FinishFrame(void*) { gl::glFinish(); }

void AlternatePresent() {
  scaledRun.lastScaled = (scaledRun.presented++ % 2) == 1;
  if (scaledRun.lastScaled) {
    platform::PresentScaledFrame(kScreenWidth, kScreenHeight, FinishFrame, nullptr);
  } else {
    gl::glFinish();
  }
}

bool AfterFrame(std::uint32_t, void* scaled) {
  const Clock::time_point now = Clock::now();
  const double cpu = ProcessCpuSeconds();
  if (run.frame == 0 && run.segment == 0) {
    run.firstFrame = now;
    // From the next frame on, the presentation alternates.
    if (scaled) platform::SetPresentTarget(AlternatePresent);
  } else if (run.frame > 0) {
    // The first frame of a segment is not counted: it pays for the jump.
    const double seconds = std::chrono::duration<double>(now - run.lastFrame).count();
    run.seconds[run.segment] += seconds;
    run.cpuSeconds[run.segment] += cpu - run.lastCpu;
    ++run.frames[run.segment];
    if (scaled) {
      const int kind = scaledRun.lastScaled ? 1 : 0;
      scaledRun.seconds[run.segment][kind] += seconds;
      ++scaledRun.frames[run.segment][kind];
    }
  }
  run.lastFrame = now;
  run.lastCpu = cpu;
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


// Runs the show in this process on the simulated clock, plain or on the
// scaled frame of a 1920 x 1080 screen; true when it got through every
// segment.
bool PlayShow(const std::string& data, bool scaled) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  setenv("QUILLON_NO_DIALOGS", "1", 1);
  if (chdir(data.c_str()) != 0) return false;
  if (scaled) platform::SetOffscreenScreen(kScreenWidth, kScreenHeight);
  run.position = kSegments[0].from;
  sound::SetMusicPositionSource(Position);
  shell::LoopHooks hooks;
  hooks.afterFrame = AfterFrame;
  hooks.context = scaled ? &scaledRun : nullptr;
  shell::ShowOptions options;
  options.headless = true;
  options.hooks = &hooks;
  const int code = shell::RunShow(options);
  if (code != 0 || run.segment < 6) {
    std::fprintf(stderr, "bench_show: the show ended early (code %d)\n", code);
    return false;
  }
  return true;
}

// The scaled run's figures, one line per segment.
int RunScaledChild(const std::string& data) {
  if (!PlayShow(data, true)) return 1;
  if (!platform::ScaledFrameOpen()) {
    std::fprintf(stderr, "bench_show: the show did not draw into the scaled frame\n");
    return 1;
  }
  for (int i = 0; i < 6; ++i) {
    const double plain = scaledRun.seconds[i][0] / scaledRun.frames[i][0];
    const double scaled = scaledRun.seconds[i][1] / scaledRun.frames[i][1];
    std::printf(
        "segment %c: presented scaled onto 1920 x 1080 %.2f ms a frame, plainly %.2f ms; scaled / plain %.3f "
        "(goal <= 1.05)\n",
        kSegments[i].name, scaled * 1e3, plain * 1e3, scaled / plain);
  }
  return 0;
}

// Runs the show in this process and prints its figures, the first frame's
// time on the system's monotonic clock (the same clock in every process)
// first.
int RunChild(const std::string& data) {
  if (!PlayShow(data, false)) return 1;
  std::printf("first frame at %lld ns\n",
              static_cast<long long>(
                  std::chrono::duration_cast<std::chrono::nanoseconds>(run.firstFrame.time_since_epoch()).count()));
  for (int i = 0; i < 6; ++i) {
    const double fps = run.frames[i] / run.seconds[i];
    std::printf("segment %c: %.1f frames per second at 800 x 600 (goal >= 60)\n", kSegments[i].name, fps);
  }
  for (int i = 0; i < 6; ++i) {
    std::printf("processor time of segment %c: %.2f ms a frame\n", kSegments[i].name,
                run.cpuSeconds[i] / run.frames[i] * 1e3);
  }
  return 0;
}

// Starts this program again with the flag and the data folder; its standard
// output, and false when it could not be started or failed.
bool RunSelf(const char* flagText, const std::string& data, std::string& report, Clock::time_point& started) {
  int out[2];
  if (pipe(out) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  posix_spawn_file_actions_addclose(&actions, out[1]);
  std::string self = "/proc/self/exe", flag = flagText;
  std::string dataArg = data;
  char* args[] = {self.data(), flag.data(), dataArg.data(), nullptr};
  pid_t child = 0;
  started = Clock::now();
  const int spawned = posix_spawn(&child, self.c_str(), &actions, nullptr, args, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (spawned != 0) {
    std::fprintf(stderr, "bench_show: cannot start the show process: %s\n", std::strerror(spawned));
    close(out[0]);
    return false;
  }
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(out[0], buffer, sizeof buffer);
    if (n > 0) {
      report.append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      break;
    }
  }
  close(out[0]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The figure after "PREFIX X: " for each segment X in a show process's report.
bool SegmentFigures(const std::string& report, const char* prefix, double (&figures)[6]) {
  for (int i = 0; i < 6; ++i) {
    const std::string key = std::string(prefix) + kSegments[i].name + ": ";
    const std::size_t at = report.find(key);
    if (at == std::string::npos || std::sscanf(report.c_str() + at + key.size(), "%lf", &figures[i]) != 1) {
      return false;
    }
  }
  return true;
}

// The show process again on the OpenGL ES layer, against the plain run's
// report of the system's OpenGL.
int RunLayer(const std::string& data, const std::string& systemReport) {
  std::string report;
  Clock::time_point started;
  setenv("QUILLON_GL_LAYER", "gles", 1);
  const bool ran = RunSelf("--show-process", data, report, started);
  unsetenv("QUILLON_GL_LAYER");
  double layer[6], system[6], layerCpu[6], systemCpu[6];
  if (!ran || !SegmentFigures(report, "segment ", layer) || !SegmentFigures(systemReport, "segment ", system) ||
      !SegmentFigures(report, "processor time of segment ", layerCpu) ||
      !SegmentFigures(systemReport, "processor time of segment ", systemCpu)) {
    std::fputs(report.c_str(), stdout);
    std::fprintf(stderr, "bench_show: the show process on the OpenGL ES layer failed\n");
    return 1;
  }
  for (int i = 0; i < 6; ++i) {
    std::printf("segment %c: %.1f frames per second on the OpenGL ES layer, %.1f on the system's OpenGL, "
                "layer / system %.2f; processor time a frame %.2f ms and %.2f ms, system / layer %.2f "
                "(goal >= 1.0)\n",
                kSegments[i].name, layer[i], system[i], layer[i] / system[i], layerCpu[i], systemCpu[i],
                systemCpu[i] / layerCpu[i]);
  }
  return 0;
}

// Starts this program again as the show's process and passes its report on,
// with the start-up worked out from the moment the process was started; then
// the scaled run.
int RunParent(const std::string& data, double decodeSeconds) {
  std::string report;
  Clock::time_point started;
  const bool ran = RunSelf("--show-process", data, report, started);
  long long firstFrameNs = 0;
  const std::size_t at = report.find("first frame at ");
  if (!ran || at == std::string::npos ||
      std::sscanf(report.c_str() + at, "first frame at %lld ns", &firstFrameNs) != 1) {
    std::fputs(report.c_str(), stdout);
    std::fprintf(stderr, "bench_show: the show process failed\n");
    return 1;
  }
  const double startup =
      static_cast<double>(firstFrameNs -
                          std::chrono::duration_cast<std::chrono::nanoseconds>(started.time_since_epoch()).count()) /
      1e9;
  std::printf("start-up from process start to the first frame: %.3f s\n", startup);
  std::printf("start-up / decoding every picture once on one thread: %.3f (goal <= 1.0)\n",
              startup / decodeSeconds);
  const std::size_t lineEnd = report.find('\n', at);
  if (lineEnd != std::string::npos) std::fputs(report.c_str() + lineEnd + 1, stdout);
  std::fflush(stdout);

  std::string scaledReport;
  const bool scaledRan = RunSelf("--scaled-process", data, scaledReport, started);
  std::fputs(scaledReport.c_str(), stdout);
  if (!scaledRan) {
    std::fprintf(stderr, "bench_show: the scaled show process failed\n");
    return 1;
  }
  std::fflush(stdout);
  return RunLayer(data, report);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 && std::strcmp(argv[1], "--show-process") == 0) return RunChild(argv[2]);
  if (argc > 2 && std::strcmp(argv[1], "--scaled-process") == 0) return RunScaledChild(argv[2]);
  const std::string data = std::filesystem::absolute(argc > 1 ? argv[1] : testsupport::BinaryDir() + "/show");
  if (!std::filesystem::exists(std::filesystem::path(data) / "cam.3dw")) {
    std::fprintf(stderr, "bench_show: no show data in %s\n", data.c_str());
    return 2;
  }
  const double decodeSeconds = DecodeAllPictures(data);
  std::fflush(stdout);
  return RunParent(data, decodeSeconds);
}
