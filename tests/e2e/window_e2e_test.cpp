// The real quillon binary and its window in an X server of its own (Xvfb of
// 1024 x 768, which has no 800 x 600 mode): a window titled "Quillon" of
// class "Zelbrinwnd" that covers the screen; Escape typed into it ends
// the program with exit code 0, with a short music file and with none (the
// silent clock); without an X server the program reports the failed window
// and ends with exit code 1.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "support/mp3_fixture.h"
#include "support/temp_dir.h"
#include "x_session.h"

namespace {

namespace fs = std::filesystem;
using e2e::DataDir;
using e2e::Have;
using e2e::Show;
using e2e::WaitForWindow;
using e2e::X;
using e2e::Xvfb;
using testsupport::RunCommand;

// The data set without its music, linked into a folder of the test's own.
void LinkDataSet(const testsupport::TempDir& dir) {
  for (const auto& entry : fs::directory_iterator(DataDir())) {
    if (entry.path().filename() == "music.mp3") continue;
    fs::create_symlink(entry.path(), fs::path(dir.path()) / entry.path().filename());
  }
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
  Show show(x.display(), dir.path(), dir.path());
  const std::string id = WaitForWindow(x.display(), show);
  ASSERT_FALSE(id.empty()) << x.display() << "\n" << show.Out() << show.Err();

  const std::string geometry = X(x.display(), "xdotool getwindowgeometry --shell " + id);
  EXPECT_NE(geometry.find("WIDTH=1024\n"), std::string::npos) << geometry;
  EXPECT_NE(geometry.find("HEIGHT=768\n"), std::string::npos) << geometry;
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
  Show show(x.display(), dir.path(), dir.path());
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
  // A folder the show takes for its data (it holds a "music.mp3"), so that it
  // gets as far as its window.
  std::ofstream(dir.File("music.mp3")).put('\0');
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
