// The real quillon binary and its window in an X server of its own (Xvfb,
// larger than the show, so the window's own size shows): an 800 x 600 window
// titled "Quillon" of class "Zelbrinwnd" at (0, 0); Escape typed into it ends
// the program with exit code 0, with a short music file and with none (the
// silent clock); without an X server the program reports the failed window
// and ends with exit code 1.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/files.h"
#include "support/mp3_fixture.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using testsupport::RunCommand;

std::string DataDir() {
  const char* given = std::getenv("QUILLON_E2E_DATA_DIR");
  return given ? given : testsupport::BinaryDir() + "/show";
}

bool Have(const char* command) { return RunCommand(std::string("command -v ") + command).exitCode == 0; }

// An X server of the test's own. The display number is one with neither a
// socket nor a lock file, from :90 upward (from a place that depends on the
// pid, so tests that start together rarely try the same one); a server that
// dies or takes no client is stopped and the next number tried. Without
// -noreset the server starts over whenever its last client leaves, and a
// client that connects just then (the show, while xdotool looks for its
// window) is turned away. Stopped by its pid.
class Xvfb {
 public:
  Xvfb() {
    const int first = 90 + static_cast<int>(getpid() % 64);
    for (int n = first; n < first + 40 && display_.empty(); ++n) {
      if (fs::exists("/tmp/.X11-unix/X" + std::to_string(n)) || fs::exists("/tmp/.X" + std::to_string(n) + "-lock")) {
        continue;
      }
      const std::string name = ":" + std::to_string(n);
      pid_ = fork();
      if (pid_ == 0) {
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execlp("Xvfb", "Xvfb", name.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset",
               static_cast<char*>(nullptr));
        _exit(127);
      }
      if (Reachable(name)) {
        display_ = name;
      } else {
        Stop();
      }
    }
  }
  ~Xvfb() { Stop(); }
  const std::string& display() const { return display_; }

 private:
  bool Reachable(const std::string& name) {
    for (int i = 0; i < 100; ++i) {
      if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
        pid_ = -1;  // it gave up: the number was taken after all
        return false;
      }
      if (RunCommand("DISPLAY=" + name + " xdotool getdisplaygeometry").exitCode == 0) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }
  void Stop() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    pid_ = -1;
  }

  pid_t pid_ = -1;
  std::string display_;
};

// The data set without its music, linked into a folder of the test's own.
void LinkDataSet(const testsupport::TempDir& dir) {
  for (const auto& entry : fs::directory_iterator(DataDir())) {
    if (entry.path().filename() == "music.mp3") continue;
    fs::create_symlink(entry.path(), fs::path(dir.path()) / entry.path().filename());
  }
}

// One run of the show, stopped by its pid if a test leaves it running.
class Show {
 public:
  Show(const std::string& display, const testsupport::TempDir& dir) : out_(dir.File("stdout")), err_(dir.File("stderr")) {
    pid_ = fork();
    if (pid_ == 0) {
      if (chdir(dir.path().c_str()) != 0) _exit(126);
      int out = open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      int err = open(err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(out, 1);
      dup2(err, 2);
      setenv("DISPLAY", display.c_str(), 1);
      setenv("SDL_AUDIODRIVER", "dummy", 1);
      unsetenv("SDL_VIDEODRIVER");
      setenv("QUILLON_NO_DIALOGS", "1", 1);
      execl(QUILLON_BINARY, QUILLON_BINARY, static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  ~Show() {
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
  std::string Out() const { return Slurp(out_); }
  std::string Err() const { return Slurp(err_); }

 private:
  static std::string Slurp(const std::string& path) {
    auto bytes = platform::ReadWholeFile(path);
    return std::string(bytes.begin(), bytes.end());
  }
  pid_t pid_ = -1;
  bool ended_ = false;
  int exitCode_ = -1;
  std::string out_, err_;
};

std::string X(const std::string& display, const std::string& command) {
  auto result = RunCommand("DISPLAY=" + display + " " + command);
  return result.exitCode == 0 ? result.out : std::string();
}

// The id of the show window once it is there, empty after the limit.
std::string WaitForWindow(const std::string& display, Show& show) {
  for (int i = 0; i < 150 && show.Running(); ++i) {
    std::string id = X(display, "xdotool search --name '^Quillon$'");
    if (!id.empty()) return id.substr(0, id.find('\n'));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return {};
}

class WindowEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Have("Xvfb") || !Have("xdotool")) GTEST_SKIP() << "needs Xvfb and xdotool";
    if (!fs::exists(fs::path(DataDir()) / "cam.3dw")) GTEST_SKIP() << "no data set in " << DataDir();
  }
};

TEST_F(WindowEndToEnd, OpensTheShowWindowAndEscapeEndsWithZero) {
  Xvfb x;
  ASSERT_FALSE(x.display().empty());
  testsupport::TempDir dir;
  LinkDataSet(dir);
  testsupport::WriteTestMp3(dir.File("music.mp3"), 2.0, 44100, 2);
  Show show(x.display(), dir);
  const std::string id = WaitForWindow(x.display(), show);
  ASSERT_FALSE(id.empty()) << x.display() << "\n" << show.Out() << show.Err();

  const std::string geometry = X(x.display(), "xdotool getwindowgeometry --shell " + id);
  EXPECT_NE(geometry.find("WIDTH=800\n"), std::string::npos) << geometry;
  EXPECT_NE(geometry.find("HEIGHT=600\n"), std::string::npos) << geometry;
  EXPECT_NE(geometry.find("X=0\n"), std::string::npos) << geometry;
  EXPECT_NE(geometry.find("Y=0\n"), std::string::npos) << geometry;
  EXPECT_EQ(X(x.display(), "xdotool getwindowname " + id), "Quillon\n");
  if (Have("xprop")) {
    EXPECT_NE(X(x.display(), "xprop -id " + id + " WM_CLASS").find("\"Zelbrinwnd\""), std::string::npos);
  }

  // Past the loading and a restart of the two-second music, the show still runs.
  std::this_thread::sleep_for(std::chrono::seconds(4));
  ASSERT_TRUE(show.Running()) << show.Out() << show.Err();
  ASSERT_FALSE(X(x.display(), "xdotool key --window " + id + " Escape; echo typed").empty());
  EXPECT_EQ(show.Wait(15), 0) << show.Out() << show.Err();
  EXPECT_EQ(show.Out().find("BASS init error"), std::string::npos);
}

TEST_F(WindowEndToEnd, WithoutMusicTheShowRunsOnTheSilentClock) {
  Xvfb x;
  ASSERT_FALSE(x.display().empty());
  testsupport::TempDir dir;
  LinkDataSet(dir);
  Show show(x.display(), dir);
  const std::string id = WaitForWindow(x.display(), show);
  ASSERT_FALSE(id.empty()) << x.display() << "\n" << show.Out() << show.Err();
  // A clock that stood still past the end, or one that never moved, would
  // end the show at once or leave it frozen; both still answer Escape, so
  // only a running show after some seconds tells them apart from the first.
  std::this_thread::sleep_for(std::chrono::seconds(3));
  ASSERT_TRUE(show.Running()) << show.Out() << show.Err();
  ASSERT_FALSE(X(x.display(), "xdotool key --window " + id + " Escape; echo typed").empty());
  EXPECT_EQ(show.Wait(15), 0) << show.Out() << show.Err();
}

TEST(WindowWithoutDisplay, ReportsTheFailedWindowAndExitsOne) {
  testsupport::TempDir dir;
  // Without an X server. The X11 driver is named so that no other video
  // driver of the machine (a console's DRM device) can stand in for it.
  const std::string run = "cd " + dir.path() +
                          " && env -u DISPLAY -u WAYLAND_DISPLAY SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy "
                          "QUILLON_NO_DIALOGS=1 " QUILLON_BINARY;
  auto result = RunCommand(run);
  EXPECT_EQ(result.exitCode, 1) << result.out << result.err;
  EXPECT_NE(result.err.find("Fail: CreateWindowEx()."), std::string::npos) << result.err;
  // SDL's own choice of driver ends the same way: its fallbacks draw nowhere.
  if (!fs::exists("/dev/dri")) {
    auto fallback = RunCommand("cd " + dir.path() +
                               " && env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER SDL_AUDIODRIVER=dummy "
                               "QUILLON_NO_DIALOGS=1 " QUILLON_BINARY);
    EXPECT_EQ(fallback.exitCode, 1) << fallback.err;
    EXPECT_NE(fallback.err.find("Fail: CreateWindowEx()."), std::string::npos) << fallback.err;
  }
}

}  // namespace
