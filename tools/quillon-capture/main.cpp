// quillon-capture: plays the show offline. The show's own start-up, main
// loop, segment dispatch and segment bodies run in a headless 800 x 600
// context; only the clock differs: instead of the music's playback position
// it is a simulated position that starts at 0 and advances by 176,400 / fps
// per frame, so every frame is rendered with the history (particles,
// feedback trail) that the show at that frame rate would have had.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "../common/output_file.h"
#include "platform/files.h"
#include "platform/gl.h"
#include "platform/image_write.h"
#include "sheet.h"
#include "shell/main_loop.h"
#include "shell/offline.h"

extern char** environ;

namespace {

constexpr std::uint32_t kUnitsPerSecond = shell::kPositionUnitsPerSecond;
constexpr std::uint32_t kShowEnd = shell::ShowEnd;

const char kUsage[] =
    "Usage: quillon-capture [options]\n"
    "\n"
    "Renders the show offline, without a display or a sound device, on a simulated\n"
    "music clock that starts at 0 and advances by 176,400 / fps position units per\n"
    "frame. The show runs from position 0 up to the last frame asked for, so every\n"
    "captured frame has the history (particle stream, feedback trail) it has in the\n"
    "show; frames in between are rendered but not saved.\n"
    "\n"
    "Options:\n"
    "  --data DIR        the show's data set (default: the generated set of this build,\n"
    "                    " QUILLON_DEFAULT_DATA_DIR ", else ./build/show, the\n"
    "                    working folder, or the set installed beside the program)\n"
    "  --fps N           simulated frame rate, 1 to 1000 (default 60)\n"
    "  --at P1,P2,...    capture the frames at these music positions; each position is\n"
    "                    rendered as a frame of its own between the regular frames\n"
    "                    (positions may carry digit groups, 1,000,000 or 1_000_000: in\n"
    "                    the list, three digits after a number of one to three digits\n"
    "                    continue it)\n"
    "  --from P --to Q   capture every regular frame from P to Q (and P itself)\n"
    "  --out DIR         write one PNG per captured frame, named by its position\n"
    "                    (eight digits, e.g. 02730001.png)\n"
    "  --sheet FILE.png  write a contact sheet of the captured frames, each labelled\n"
    "                    with its position and segment\n"
    "  --loading         with --out, also write the loading-progress frames of the\n"
    "                    start-up, named by their number of blocks (loading1.png to\n"
    "                    loading6.png)\n"
    "  --reduce N        write the frames of --out at 1/N of their size (N = 1, the\n"
    "                    default, 2, 4 or 8), each pixel the rounded mean of an\n"
    "                    N x N block\n"
    "  --video FILE.mp4  encode the frames from --from (default 0) to --to (default the\n"
    "                    end of the show) with the music through ffmpeg (without a\n"
    "                    music.mp3 in the data set: a silent track)\n"
    "  --quiet           no progress bar (shown only when standard error is a\n"
    "                    terminal, with the time left) and no closing count\n"
    "  --help            this text\n"
    "\n"
    "Without --at or --from, one frame from the middle of each segment A to F is\n"
    "captured (with --loading alone, only the loading frames). Positions above\n"
    "13,900,000 lie after the end of the show. The same options give the same PNG\n"
    "bytes on every run. Every file is written under a temporary name and moved into\n"
    "place when whole; output paths are checked before anything is rendered.\n"
    "\n"
    "Exit codes: 0 done, 1 an output could not be written or ffmpeg failed (one line\n"
    "\"quillon-capture: FILE: reason\"), 2 a wrong command line or no data set,\n"
    "217 a damaged data file (the show's own report).\n";

struct Options {
  std::string data;
  int fps = 60;
  std::vector<std::uint32_t> at;
  bool haveFrom = false, haveTo = false;
  std::uint32_t from = 0, to = 0;
  std::string out, sheet, video;
  bool quiet = false;
  bool loading = false;
  int reduce = 1;
};

constexpr int kExitOutput = 1;
constexpr int kExitUsage = 2;

[[noreturn]] void Fail(const std::string& message) {
  std::fprintf(stderr, "quillon-capture: %s\n", message.c_str());
  std::exit(kExitUsage);
}

[[noreturn]] void FailOn(const std::string& file, const std::string& reason) {
  tools::FailOn("quillon-capture", file, reason, kExitOutput);
}

std::uint32_t ParsePosition(const std::string& text) {
  std::string digits;
  for (char c : text) {
    if (c == '_' || c == '\'' || c == ',') continue;
    if (c < '0' || c > '9') Fail("not a music position: '" + text + "'");
    digits += c;
  }
  if (digits.empty() || digits.size() > 10) Fail("not a music position: '" + text + "'");
  const unsigned long long value = std::stoull(digits);
  if (value > 0xFFFFFFFFull) Fail("position out of range: " + text);
  return static_cast<std::uint32_t>(value);
}

bool AllDigits(const std::string& s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The items of a comma-separated list of positions. The tool writes
// positions with digit groups (1,000,000), so a group of exactly three digits
// after a number of one to three digits (not starting with 0) continues it.
std::vector<std::string> SplitPositions(const std::string& list) {
  std::vector<std::string> pieces, items;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = list.find(',', start);
    pieces.push_back(list.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    std::string item = pieces[i];
    const bool leads = AllDigits(item) && item.size() <= 3 && item[0] != '0';
    while (leads && i + 1 < pieces.size() && pieces[i + 1].size() == 3 && AllDigits(pieces[i + 1])) {
      item += pieces[++i];
    }
    items.push_back(item);
  }
  return items;
}

Options Parse(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) Fail(arg + " needs a value");
      return argv[++i];
    };
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      std::exit(0);
    } else if (arg == "--data") {
      o.data = value();
    } else if (arg == "--fps") {
      const std::string v = value();
      char* end = nullptr;
      const long fps = std::strtol(v.c_str(), &end, 10);
      if (v.empty() || *end != '\0' || fps < 1 || fps > 1000) Fail("--fps wants a whole number from 1 to 1000");
      o.fps = static_cast<int>(fps);
    } else if (arg == "--at") {
      for (const std::string& item : SplitPositions(value())) o.at.push_back(ParsePosition(item));
    } else if (arg == "--from") {
      o.from = ParsePosition(value());
      o.haveFrom = true;
    } else if (arg == "--to") {
      o.to = ParsePosition(value());
      o.haveTo = true;
    } else if (arg == "--out") {
      o.out = value();
    } else if (arg == "--sheet") {
      o.sheet = value();
    } else if (arg == "--video") {
      o.video = value();
    } else if (arg == "--quiet") {
      o.quiet = true;
    } else if (arg == "--loading") {
      o.loading = true;
    } else if (arg == "--reduce") {
      const std::string v = value();
      if (v != "1" && v != "2" && v != "4" && v != "8") Fail("--reduce wants 1, 2, 4 or 8");
      o.reduce = v[0] - '0';
    } else {
      Fail("unknown option '" + arg + "' (see --help)");
    }
  }
  if (!o.at.empty() && (o.haveFrom || o.haveTo)) Fail("--at and --from/--to exclude each other");
  if (o.haveFrom != o.haveTo && o.video.empty()) Fail("--from and --to go together");
  if (!o.video.empty() && !o.at.empty()) Fail("--video takes a range (--from/--to), not --at");
  if (o.out.empty() && o.sheet.empty() && o.video.empty()) Fail("nothing to write: give --out, --sheet or --video");
  if (o.loading && o.out.empty()) Fail("--loading writes into the folder of --out");
  if (o.reduce != 1 && o.out.empty()) Fail("--reduce applies to the frames of --out");
  return o;
}

bool IsFile(const std::filesystem::path& p) {
  std::error_code ec;
  return std::filesystem::is_regular_file(p, ec);
}

std::string FindData(const std::string& given) {
  std::vector<std::filesystem::path> candidates;
  if (!given.empty()) {
    candidates.push_back(given);
  } else {
    candidates.push_back(QUILLON_DEFAULT_DATA_DIR);
    candidates.push_back("build/show");
    candidates.push_back(".");
    // Installed, the tools live in bin/ and the set in share/games/quillon/show.
    const std::string self = platform::ExecutablePath();
    if (!self.empty()) {
      candidates.push_back(std::filesystem::path(self).parent_path() / ".." / "share" / "games" / "quillon" / "show");
    }
  }
  for (const auto& dir : candidates) {
    if (IsFile(dir / "cam.3dw") && IsFile(dir / "pkode.3dw") && IsFile(dir / "hund.tga")) {
      return std::filesystem::absolute(dir).string();
    }
  }
  Fail("no show data in " + (given.empty() ? std::string(QUILLON_DEFAULT_DATA_DIR) : given) +
       " (make it with quillon-assets, or name it with --data)");
}

struct Capture {
  Options options;
  shell::SimulatedShow run;
  std::set<std::uint32_t> saveAt;  // positions to save (--at)
  bool saveRange = false;          // --from/--to: every frame in the range
  std::uint32_t rangeFrom = 0, rangeTo = 0;
  std::uint64_t framesDone = 0, framesTotal = 0;
  int lastPercent = -1;
  std::vector<capture::Frame> sheetFrames;
  std::vector<std::uint8_t> rgb;
  std::FILE* video = nullptr;
  std::uint32_t saved = 0;
  bool terminal = false;
  std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
};

// Files written under a temporary name, removed if the run ends early.
std::vector<std::string> temporaries;

void WritePngInPlace(const std::string& path, int width, int height, const std::uint8_t* pixels) {
  const std::string temporary = tools::TemporaryName(path);
  temporaries.push_back(temporary);
  if (!platform::WritePng(temporary, width, height, 3, pixels)) {
    FailOn(path, errno ? std::strerror(errno) : "cannot be written");
  }
  const std::string why = tools::MoveIntoPlace(temporary, path);
  temporaries.pop_back();
  if (!why.empty()) FailOn(path, why);
}

// Writes the frame just read as a PNG of --out, at 1/reduce of its size.
void WriteFrame(Capture& c, const std::string& name) {
  const std::string path = c.options.out + "/" + name;
  const int n = c.options.reduce;
  const int width = capture::kFrameWidth / n, height = capture::kFrameHeight / n;
  const std::vector<std::uint8_t> pixels = shell::ReduceFrame(c.rgb, capture::kFrameWidth, capture::kFrameHeight, n);
  WritePngInPlace(path, width, height, pixels.data());
}

void ShowProgress(Capture& c) {
  // A progress bar rewrites its line with \r: only a terminal shows that.
  if (c.options.quiet || c.framesTotal < 200 || !c.terminal) return;
  const int percent = static_cast<int>(c.framesDone * 100 / c.framesTotal);
  if (percent == c.lastPercent) return;
  c.lastPercent = percent;
  constexpr int kBar = 40;
  const int filled = percent * kBar / 100;
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - c.started).count();
  const double left = c.framesDone == 0 ? 0.0
                                        : elapsed * static_cast<double>(c.framesTotal - c.framesDone) /
                                              static_cast<double>(c.framesDone);
  const long long leftSeconds = static_cast<long long>(left + 0.5);
  std::fprintf(stderr, "\r[%.*s%*s] %3d%%  frame %llu of %llu  position %s  %lld:%02lld left ", filled,
               "########################################", kBar - filled, "", percent,
               static_cast<unsigned long long>(c.framesDone), static_cast<unsigned long long>(c.framesTotal),
               capture::GroupedDigits(c.run.position).c_str(), leftSeconds / 60, leftSeconds % 60);
  if (percent == 100) std::fputc('\n', stderr);
  std::fflush(stderr);
}

// ffmpeg, started without a shell: the frames go into a pipe on its standard
// input, its messages into a file whose last line is the reason it failed.
struct Encoder {
  pid_t pid = -1;
  std::FILE* frames = nullptr;  // the pipe into ffmpeg
  std::FILE* messages = nullptr;
  std::string temporary, path;
};
Encoder encoder;

// Waits for ffmpeg to end; "" when it wrote the video, else its reason.
std::string FinishEncoder(Capture& c) {
  if (encoder.frames) std::fclose(encoder.frames);
  encoder.frames = c.video = nullptr;
  int status = 0;
  while (waitpid(encoder.pid, &status, 0) < 0 && errno == EINTR) {
  }
  encoder.pid = -1;
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return "";
  std::string last, line;
  char buffer[512];
  std::rewind(encoder.messages);
  while (std::fgets(buffer, sizeof buffer, encoder.messages)) {
    line = buffer;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (!line.empty()) last = line;
  }
  if (!last.empty()) return "ffmpeg failed: " + last;
  if (WIFSIGNALED(status)) return "ffmpeg ended by signal " + std::to_string(WTERMSIG(status));
  return "ffmpeg failed with exit code " + std::to_string(WEXITSTATUS(status));
}

[[noreturn]] void FfmpegFailed(Capture& c) {
  const std::string why = FinishEncoder(c);
  FailOn(encoder.path, why.empty() ? "ffmpeg stopped reading the frames" : why);
}

void StartEncoder(Capture& c, const std::string& data) {
  const Options& o = c.options;
  const std::string music = data + "/music.mp3";
  const bool haveMusic = IsFile(music);
  char rate[16], offset[32];
  std::snprintf(rate, sizeof rate, "%d", o.fps);
  std::snprintf(offset, sizeof offset, "%.6f", static_cast<double>(c.rangeFrom) / kUnitsPerSecond);
  encoder.path = o.video;
  encoder.temporary = tools::TemporaryName(o.video);
  std::vector<std::string> args = {"ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-f", "rawvideo",
                                   "-pix_fmt", "rgb24", "-s", "800x600", "-r", rate, "-i", "pipe:0"};
  if (haveMusic) {
    args.insert(args.end(), {"-ss", offset, "-i", music});
  } else {
    std::fprintf(stderr, "quillon-capture: %s: no music there; the video gets a silent track\n", music.c_str());
    args.insert(args.end(), {"-f", "lavfi", "-i", "anullsrc=channel_layout=stereo:sample_rate=44100"});
  }
  args.insert(args.end(), {"-map", "0:v", "-map", "1:a", "-shortest", "-c:v", "libx264", "-pix_fmt", "yuv420p",
                           "-c:a", "aac", "-f", "mp4", encoder.temporary});
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  int frames[2];
  if (pipe2(frames, O_CLOEXEC) != 0) FailOn(o.video, std::string("cannot start ffmpeg: ") + std::strerror(errno));
  encoder.messages = std::tmpfile();
  if (!encoder.messages) FailOn(o.video, std::string("cannot start ffmpeg: ") + std::strerror(errno));
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, frames[0], 0);
  posix_spawn_file_actions_adddup2(&actions, fileno(encoder.messages), 2);
  const int spawned = posix_spawnp(&encoder.pid, "ffmpeg", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(frames[0]);
  if (spawned == ENOENT) FailOn(o.video, "--video needs ffmpeg, which is not installed");
  if (spawned != 0) FailOn(o.video, std::string("cannot start ffmpeg: ") + std::strerror(spawned));
  temporaries.push_back(encoder.temporary);
  c.video = encoder.frames = fdopen(frames[1], "w");
  if (!c.video) FailOn(o.video, std::string("cannot start ffmpeg: ") + std::strerror(errno));
}

// On any way out: ffmpeg is let finish (it sees the pipe close) before the
// temporary files go, so none of them is made again after removal.
void RemoveTemporaries() {
  if (encoder.frames) {
    std::fclose(encoder.frames);
    encoder.frames = nullptr;
  }
  if (encoder.pid > 0) {
    int status = 0;
    while (waitpid(encoder.pid, &status, 0) < 0 && errno == EINTR) {
    }
    encoder.pid = -1;
  }
  for (const std::string& t : temporaries) std::remove(t.c_str());
}

bool AfterFrame(std::uint32_t framePosition, void* context) {
  Capture& c = *static_cast<Capture*>(context);
  const bool inRange = c.saveRange && framePosition >= c.rangeFrom && framePosition <= c.rangeTo;
  const bool save =
      c.saveAt.count(framePosition) > 0 || (inRange && (!c.options.out.empty() || !c.options.sheet.empty()));
  // A video run has only the regular frames, so every frame in range is one.
  const bool toVideo = c.video != nullptr && inRange;
  if (save || toVideo) {
    shell::ReadFrameRgb(c.rgb);
    if (save && !c.options.out.empty()) {
      char name[32];
      std::snprintf(name, sizeof name, "%08u.png", framePosition);
      WriteFrame(c, name);
    }
    if (save && !c.options.sheet.empty()) c.sheetFrames.push_back({framePosition, c.rgb});
    if (save || toVideo) ++c.saved;
    if (toVideo && std::fwrite(c.rgb.data(), 1, c.rgb.size(), c.video) != c.rgb.size()) FfmpegFailed(c);
  }
  ++c.framesDone;
  ShowProgress(c);
  return true;
}

void LoadingFrame(std::int32_t blocks, void* context) {
  Capture& c = *static_cast<Capture*>(context);
  if (!c.options.loading) return;
  shell::ReadFrameRgb(c.rgb);
  WriteFrame(c, "loading" + std::to_string(blocks) + ".png");
  ++c.saved;
}

}  // namespace

int main(int argc, char** argv) {
  Capture c;
  c.options = Parse(argc, argv);
  Options& o = c.options;
  const std::string data = FindData(o.data);
  auto absolute = [](const std::string& p) { return p.empty() ? p : std::filesystem::absolute(p).string(); };
  o.out = absolute(o.out);
  o.sheet = absolute(o.sheet);
  o.video = absolute(o.video);

  c.run.plan.fps = static_cast<std::uint64_t>(o.fps);
  if (!o.video.empty()) {
    if (!o.haveFrom) o.from = 0;
    if (!o.haveTo) o.to = kShowEnd;
  }
  const bool onlyLoading = o.loading && o.at.empty() && !o.haveFrom && o.video.empty();
  if (o.at.empty() && !o.haveFrom && o.video.empty() && !onlyLoading) {
    // One frame from the middle of each segment.
    o.at = {1095000, 3270000, 5435000, 7630000, 9820000, 12400000};
  }
  for (std::uint32_t p : o.at) {
    if (p > kShowEnd) {
      std::fprintf(stderr, "quillon-capture: %s lies after the end of the show (13,900,000); skipped\n",
                   capture::GroupedDigits(p).c_str());
      continue;
    }
    c.saveAt.insert(p);
  }
  if (!o.at.empty() && c.saveAt.empty() && !o.loading) Fail("no position to capture");
  if (o.haveFrom || !o.video.empty()) {
    if (o.to < o.from) Fail("--to lies before --from");
    c.saveRange = true;
    c.rangeFrom = o.from;
    c.rangeTo = std::min(o.to, kShowEnd);
    c.saveAt.insert(o.from);
    if (!o.video.empty() && o.out.empty() && o.sheet.empty()) c.saveAt.clear();
  }
  c.run.plan.extras.assign(c.saveAt.begin(), c.saveAt.end());
  if (c.saveRange && o.from <= kShowEnd) c.run.plan.extras.push_back(o.from);
  std::sort(c.run.plan.extras.begin(), c.run.plan.extras.end());
  c.run.plan.extras.erase(std::unique(c.run.plan.extras.begin(), c.run.plan.extras.end()), c.run.plan.extras.end());
  if (!o.video.empty()) c.run.plan.extras.clear();  // a video wants evenly spaced frames
  c.run.plan.last = c.saveRange ? c.rangeTo : 0;
  for (std::uint32_t p : c.saveAt) c.run.plan.last = std::max(c.run.plan.last, p);
  c.framesTotal = c.run.plan.CountFrames();

  // Every output is checked before the first frame is rendered.
  if (!o.out.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(o.out, ec);
    if (ec) FailOn(o.out, ec.message());
    const std::string why = tools::WhyNotWritable(o.out + "/00000000.png");
    if (!why.empty()) FailOn(o.out, why);
  }
  for (const std::string* file : {&o.sheet, &o.video}) {
    if (file->empty()) continue;
    const std::string why = tools::WhyNotWritable(*file);
    if (!why.empty()) FailOn(*file, why);
  }
  // A dying ffmpeg must not end the capture by SIGPIPE: the failed write
  // reports it instead.
  std::signal(SIGPIPE, SIG_IGN);
  std::atexit(RemoveTemporaries);
  c.terminal = isatty(STDERR_FILENO) != 0;
  if (!o.video.empty()) StartEncoder(c, data);

  // Nothing of the capture may reach a sound device or a display.
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  setenv("QUILLON_NO_DIALOGS", "1", 1);
  if (chdir(data.c_str()) != 0) Fail("cannot enter " + data + ": " + std::strerror(errno));
  c.run.frame = AfterFrame;
  c.run.loadingFrame = LoadingFrame;
  c.run.context = &c;
  shell::ShowOptions show;
  show.headless = true;
  const int code = shell::RunSimulatedShow(c.run, show);
  if (code != 0) return code;

  if (c.video) {
    const std::string why = FinishEncoder(c);
    if (!why.empty()) FailOn(o.video, why);
    const std::string moved = tools::MoveIntoPlace(encoder.temporary, o.video);
    if (!moved.empty()) FailOn(o.video, moved);
  }
  if (!o.sheet.empty()) {
    int width = 0, height = 0;
    std::vector<std::uint8_t> pixels = capture::ComposeSheet(c.sheetFrames, width, height);
    WritePngInPlace(o.sheet, width, height, pixels.data());
  }
  if (!o.quiet) {
    std::fprintf(stderr, "quillon-capture: %u frame%s captured\n", c.saved, c.saved == 1 ? "" : "s");
  }
  return 0;
}
