// The Windows package end to end: quillon.exe for x86-64 from its zip,
// started under Wine in the unzipped folder, in an X server of the test's
// own (a wide screen without 800 x 600) with a PulseAudio null sink behind
// waveOut. The window is the class and title the show registers, covering
// the screen with the frame scaled into its centred 4:3 rectangle; the whole
// show plays and ends with exit code 0, Escape in segment C ends it with 0,
// without music.mp3 it plays to its end on the silent clock, a missing
// picture shows the texture loader's box, and a desktop scaled to 144 DPI is
// covered at its real size.
//
// ./test runs this after the Windows build, with QUILLON_WINE_PACKAGE (the
// zip), QUILLON_WINE_PROBE (window_probe.exe of the Windows build), a
// prepared Wine prefix and a sound server in the environment; without them
// it skips.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "platform/files.h"
#include "support/temp_dir.h"
#include "x_session.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using testsupport::RunCommand;

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string Slurp(const std::string& path) {
  if (!fs::exists(path)) return {};
  auto bytes = platform::ReadWholeFile(path);
  return std::string(bytes.begin(), bytes.end());
}

// One run of quillon.exe under Wine in its folder; killed by its pid if a
// test leaves it running.
class WineShow {
 public:
  WineShow(const std::string& display, const std::string& folder)
      : out_(folder + "/stdout.txt"), err_(folder + "/stderr.txt") {
    pid_ = fork();
    if (pid_ == 0) {
      if (chdir(folder.c_str()) != 0) _exit(126);
      int out = open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      int err = open(err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(out, 1);
      dup2(err, 2);
      setenv("DISPLAY", display.c_str(), 1);
      setenv("QUILLON_POSITION_LOG", "1", 1);
      execlp("wine", "wine", "quillon.exe", static_cast<char*>(nullptr));
      _exit(127);
    }
    started_ = Clock::now();
  }
  ~WineShow() {
    if (pid_ > 0 && !ended_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  bool Running() {
    if (ended_) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) != pid_) return true;
    ended_ = true;
    endedAt_ = Clock::now();
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return false;
  }
  // The exit code, or -2 when it did not end within the limit.
  int Wait(int limitSeconds) {
    for (int tenth = 0; tenth < limitSeconds * 10 && Running(); ++tenth) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return Running() ? -2 : exitCode_;
  }
  double SecondsRun() const { return std::chrono::duration<double>(endedAt_ - started_).count(); }
  pid_t pid() const { return pid_; }
  std::string Out() const { return Slurp(out_); }
  std::string Err() const { return Slurp(err_); }

 private:
  pid_t pid_ = -1;
  bool ended_ = false;
  int exitCode_ = -1;
  Clock::time_point started_, endedAt_;
  std::string out_, err_;
};

class WindowsShowUnderWine : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (Env("QUILLON_WINE_PACKAGE").empty() || Env("QUILLON_WINE_PROBE").empty()) return;
    // A wide screen without the show's mode: the mode switch is refused, as
    // on a display without 800 x 600, and the show covers it, scaled.
    x_ = new e2e::Xvfb("1280x720x24");
  }
  static void TearDownTestSuite() {
    delete x_;
    x_ = nullptr;
  }
  void SetUp() override {
    if (!x_) GTEST_SKIP() << "QUILLON_WINE_PACKAGE and QUILLON_WINE_PROBE name the package and the probe";
    ASSERT_FALSE(x_->display().empty());
  }

  // The package unzipped into a folder of the test's own: the show's folder.
  std::string Unzip() {
    auto dir = std::make_unique<testsupport::TempDir>();
    auto result = RunCommand("cd '" + dir->path() + "' && cmake -E tar xf '" + Env("QUILLON_WINE_PACKAGE") + "'");
    EXPECT_EQ(result.exitCode, 0) << result.err;
    std::string folder = dir->path() + "/quillon-windows-x64";
    EXPECT_TRUE(fs::exists(folder + "/quillon.exe"));
    dirs_.push_back(std::move(dir));
    return folder;
  }

  std::string Probe(const std::string& arguments) {
    auto result = RunCommand("DISPLAY=" + x_->display() + " wine '" + Env("QUILLON_WINE_PROBE") + "' " + arguments);
    return result.exitCode == 0 ? result.out : std::string();
  }

  // The X window Wine made for the show of that process, once it is there.
  std::string ShowWindow(WineShow& show, int limitSeconds = 60) {
    for (int i = 0; i < limitSeconds * 10 && show.Running(); ++i) {
      std::string ids = e2e::X(x_->display(), "xdotool search --name '^Quillon$'");
      std::size_t at = 0;
      while (at < ids.size()) {
        std::size_t end = ids.find('\n', at);
        std::string id = ids.substr(at, end - at);
        at = end == std::string::npos ? ids.size() : end + 1;
        std::string pid = e2e::X(x_->display(), "xprop -id " + id + " _NET_WM_PID");
        if (pid.find("= " + std::to_string(show.pid())) != std::string::npos) return id;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return {};
  }

  // Gives the window the keyboard and presses the key there, as a user at
  // the keyboard would. (With several shows side by side Wine may hand the
  // key to another one; keys go to a show that runs alone.)
  void Type(const std::string& window, const std::string& key) {
    e2e::X(x_->display(), "xdotool windowfocus --sync " + window + " key " + key + "; echo typed");
  }

  static e2e::Xvfb* x_;
  std::vector<std::unique_ptr<testsupport::TempDir>> dirs_;
};

e2e::Xvfb* WindowsShowUnderWine::x_ = nullptr;

// What the window shows: the mean colour of the centred 4:3 rectangle the
// frame is scaled into (960 x 720 of the 1280 x 720 screen), and the
// brightest value in the bands beside it.
struct Screen {
  int red = -1, green = -1, blue = -1;
  int besideBrightest = -1;
  bool SegmentC() const {
    // Segment C's rings are the first frames lit in violet: the loading
    // frames are dim (red below 25), the titles and the flight hold little
    // blue (below 35). The lenses after C look alike, so the first such
    // frame after the start is taken for C, and the show's own position log
    // says where it was.
    return red >= 28 && blue >= 45;
  }
};

// The text after the first line of out that starts with prefix, or "".
std::string LineAfter(const std::string& out, const std::string& prefix) {
  const std::size_t at = out.find(prefix);
  return at == std::string::npos ? std::string() : out.substr(at + prefix.size());
}

Screen Look(const std::string& display, const std::string& window, const std::string& file) {
  Screen screen;
  if (e2e::X(display, "import -window " + window + " '" + file + "' && echo shot").empty()) return screen;
  const std::string mean = e2e::X(display, "convert '" + file +
                                               "' -crop 960x720+160+0 -format '%[fx:int(255*mean.r)] "
                                               "%[fx:int(255*mean.g)] %[fx:int(255*mean.b)]' info:");
  std::sscanf(mean.c_str(), "%d %d %d", &screen.red, &screen.green, &screen.blue);
  for (const char* band : {"160x720+0+0", "160x720+1120+0"}) {
    int brightest = -1;
    const std::string value = e2e::X(
        display, "convert '" + file + "' -crop " + band + " -format '%[fx:int(255*maxima)]' info:");
    std::sscanf(value.c_str(), "%d", &brightest);
    screen.besideBrightest = std::max(screen.besideBrightest, brightest);
  }
  return screen;
}

// Segment C is told by what the window shows rather than by the time since
// it opened: loading under Wine takes as long as the machine lets it.
TEST_F(WindowsShowUnderWine, ScaledOntoTheScreenAndEscapeInSegmentCExitsZero) {
  WineShow show(x_->display(), Unzip());
  const std::string window = ShowWindow(show);
  ASSERT_FALSE(window.empty()) << show.Out() << show.Err();
  testsupport::TempDir shots;
  Screen screen;
  for (int i = 0; i < 300 && !screen.SegmentC() && show.Running(); ++i) {
    screen = Look(x_->display(), window, shots.File("shot.png"));
    if (!screen.SegmentC()) std::this_thread::sleep_for(std::chrono::milliseconds(400));
  }
  ASSERT_TRUE(screen.SegmentC()) << "segment C never showed; last mean colour " << screen.red << " " << screen.green
                                 << " " << screen.blue << show.Out() << show.Err();
  // The display refused 800 x 600: the frame is scaled into the centred 4:3
  // rectangle, black beside it.
  EXPECT_EQ(screen.besideBrightest, 0);
  // Space holds the show and logs where it stood: inside segment C.
  Type(window, "space");
  long from = -1, to = -1;
  for (int i = 0; i < 200 && std::sscanf(LineAfter(show.Out(), "key 32: ").c_str(), "%ld -> %ld", &from, &to) != 2; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_GE(from, 4350000) << show.Out();
  EXPECT_LT(from, 6520000) << show.Out();
  Type(window, "Escape");
  EXPECT_EQ(show.Wait(60), 0) << show.Out() << show.Err();
}

// On a desktop scaled to 150 % (144 DPI, the registry's LogPixels), the show
// covers the screen at its real size: its window is the whole screen, and in
// segment C the frame's own pixels reach the four corners of its centred
// 4:3 rectangle, where a program drawing at the scaled-down size would leave
// the far ones dark.
TEST_F(WindowsShowUnderWine, ScaledDesktopIsCoveredAtItsRealSize) {
  // Run in this X server: the first Wine program of a session starts the
  // desktop that every later one draws on.
  auto reg = [&](const std::string& verb, const std::string& rest) {
    return RunCommand("DISPLAY=" + x_->display() + " wine reg " + verb +
                      " 'HKCU\\Control Panel\\Desktop' /v LogPixels " + rest)
        .exitCode;
  };
  ASSERT_EQ(reg("add", "/t REG_DWORD /d 144 /f"), 0);
  struct Unscale {
    std::function<void()> undo;
    ~Unscale() { undo(); }
  } unscale{[&] { reg("delete", "/f"); }};
  ASSERT_NE(Probe("dpi").find("logpixels=144"), std::string::npos) << "the desktop is scaled";

  WineShow show(x_->display(), Unzip());
  const std::string window = ShowWindow(show);
  ASSERT_FALSE(window.empty()) << show.Out() << show.Err();
  // The window may first be mapped at the frame's size and then made the
  // whole screen: its size is read until it is the screen's, for a while.
  std::string geometry;
  for (int i = 0; i < 50; ++i) {
    geometry = e2e::X(x_->display(), "xwininfo -id " + window);
    if (geometry.find("Width: 1280\n") != std::string::npos) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  EXPECT_NE(geometry.find("Width: 1280\n"), std::string::npos) << geometry;
  EXPECT_NE(geometry.find("Height: 720\n"), std::string::npos) << geometry;
  testsupport::TempDir shots;
  const std::string shot = shots.File("shot.png");
  Screen screen;
  for (int i = 0; i < 300 && !screen.SegmentC() && show.Running(); ++i) {
    screen = Look(x_->display(), window, shot);
    if (!screen.SegmentC()) std::this_thread::sleep_for(std::chrono::milliseconds(400));
  }
  ASSERT_TRUE(screen.SegmentC()) << "segment C never showed" << show.Out() << show.Err();
  // The rings leave a corner dark now and then: each corner must be lit in
  // one of the shots of C and D (a frame drawn at the scaled-down size
  // never reaches the far ones).
  const char* corners[4] = {"32x32+160+0", "32x32+1088+0", "32x32+160+688", "32x32+1088+688"};
  int brightest[4] = {-1, -1, -1, -1};
  for (int shots = 0; shots < 20 && screen.SegmentC() && show.Running(); ++shots) {
    for (int k = 0; k < 4; ++k) {
      int mean = -1;
      const std::string value = e2e::X(x_->display(), "convert '" + shot + "' -crop " + corners[k] +
                                                          " -format '%[fx:int(255*mean)]' info:");
      std::sscanf(value.c_str(), "%d", &mean);
      brightest[k] = std::max(brightest[k], mean);
    }
    if (*std::min_element(brightest, brightest + 4) > 20) break;
    screen = Look(x_->display(), window, shot);
  }
  for (int k = 0; k < 4; ++k) EXPECT_GT(brightest[k], 20) << "the frame reaches the corner " << corners[k];
  Type(window, "Escape");
  EXPECT_EQ(show.Wait(60), 0) << show.Out() << show.Err();
}

// Three runs side by side: the whole show, the show without its music, and
// the show with a picture missing.
TEST_F(WindowsShowUnderWine, WholeShowSilentShowAndMissingPicture) {
  const std::string whole = Unzip(), silent = Unzip(), missing = Unzip();
  fs::remove(silent + "/music.mp3");
  fs::remove(missing + "/fo1.tga");
  WineShow wholeShow(x_->display(), whole);
  WineShow silentShow(x_->display(), silent);
  WineShow missingShow(x_->display(), missing);

  // The window is the show's own: its class and title as Windows reports
  // them, and the title on the X window Wine made for it.
  const std::string window = ShowWindow(wholeShow);
  ASSERT_FALSE(window.empty()) << wholeShow.Out() << wholeShow.Err();
  EXPECT_NE(e2e::X(x_->display(), "xprop -id " + window + " WM_NAME").find("\"Quillon\""), std::string::npos);
  const std::string found = Probe("window Zelbrinwnd Quillon");
  EXPECT_NE(found.find("class=Zelbrinwnd"), std::string::npos) << found;
  EXPECT_NE(found.find("rect=0,0,1280,720"), std::string::npos) << "covering the screen: " << found;

  // The box names the missing file; OK dismisses it and loading goes on.
  std::string box;
  for (int i = 0; i < 600 && box.empty() && missingShow.Running(); ++i) {
    box = Probe("box \"Texture Loader Error Message\"");
    if (box.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ASSERT_NE(box.find("text=File not found : fo1.tga"), std::string::npos) << box << missingShow.Err();
  EXPECT_FALSE(e2e::X(x_->display(), "xdotool search --name '^Texture Loader Error Message$'").empty())
      << "the box is on the screen";
  // Its OK button; the keyboard belongs to whichever of the three shows
  // Wine gave it last.
  ASSERT_FALSE(Probe("ok \"Texture Loader Error Message\"").empty());
  for (int i = 0; i < 100 && !box.empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    box = Probe("box \"Texture Loader Error Message\"");
  }
  ASSERT_TRUE(box.empty()) << "OK dismisses the box";

  // All three end by themselves after the show's 78.8 s of clock: the one
  // without a picture went on after its box, the one without music on the
  // silent clock.
  EXPECT_EQ(missingShow.Wait(300), 0) << missingShow.Out() << missingShow.Err();
  EXPECT_GT(missingShow.SecondsRun(), 78.0);
  EXPECT_NE(missingShow.Out().find(" ERROR "), std::string::npos) << missingShow.Out();
  EXPECT_EQ(wholeShow.Wait(300), 0) << wholeShow.Out() << wholeShow.Err();
  EXPECT_GT(wholeShow.SecondsRun(), 78.0);
  EXPECT_EQ(wholeShow.Out().find("BASS init error"), std::string::npos) << wholeShow.Out();
  EXPECT_EQ(silentShow.Wait(120), 0) << silentShow.Out() << silentShow.Err();
  EXPECT_GT(silentShow.SecondsRun(), 78.0) << "the silent clock runs in real time";
}

}  // namespace
