// The Windows program's command line and player keys under Wine, as the
// Linux program's are tested in tests/e2e: --help, --version and a bad
// option end at once with 0, 0 and 2; --window gives a window rather than
// the screen; with --no-sound the show plays on its silent clock, Space
// holds the position and Space again lets it run on; the window made larger
// shows the frame scaled; F covers the screen and F again gives the window
// back.
//
// Run by scripts/test-windows with the others of test_wine_e2e
// (QUILLON_WINE_PACKAGE names the x64 zip, a Wine prefix is prepared);
// without the package it skips.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_dir.h"
#include "x_session.h"

namespace {

using testsupport::RunCommand;

int Lines(const std::string& text) {
  int lines = 0;
  for (char c : text) lines += c == '\n';
  return lines;
}

class WindowsPlayerUnderWine : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const char* package = std::getenv("QUILLON_WINE_PACKAGE");
    if (!package || !*package) return;
    const auto wine = RunCommand("command -v wine");
    if (wine.exitCode != 0) return;
    wine_ = wine.out.substr(0, wine.out.find('\n'));
    dir_ = new testsupport::TempDir;
    const auto unzip = RunCommand("cd '" + dir_->path() + "' && cmake -E tar xf '" + package + "'");
    if (unzip.exitCode == 0) folder_ = dir_->path() + "/quillon-windows-x64";
    // Wider than 800 x 600 and without that mode: fullscreen covers it.
    x_ = new e2e::Xvfb("1280x720x24");
  }
  static void TearDownTestSuite() {
    delete x_;
    delete dir_;
    x_ = nullptr;
    dir_ = nullptr;
  }
  void SetUp() override {
    if (!x_) GTEST_SKIP() << "QUILLON_WINE_PACKAGE names the x64 package; wine runs it";
    ASSERT_FALSE(x_->display().empty());
    ASSERT_TRUE(std::filesystem::exists(folder_ + "/quillon.exe")) << folder_;
  }

  // quillon.exe with the arguments, under Wine, in the package's folder.
  std::unique_ptr<e2e::Show> Start(const std::vector<std::string>& arguments,
                                   const std::vector<std::pair<std::string, std::string>>& environment = {}) {
    e2e::ShowOptions options;
    options.command = {wine_, "quillon.exe"};
    options.command.insert(options.command.end(), arguments.begin(), arguments.end());
    options.environment = environment;
    outs_.push_back(std::make_unique<testsupport::TempDir>());
    return std::make_unique<e2e::Show>(x_->display(), folder_, outs_.back()->path(), options);
  }

  // The X window Wine made for the show, once it is there.
  std::string ShowWindow(e2e::Show& show, int limitSeconds) {
    for (int i = 0; i < limitSeconds * 10 && show.Running(); ++i) {
      const std::string ids = e2e::X(x_->display(), "xdotool search --onlyvisible --name '^Quillon$'");
      if (!ids.empty()) return ids.substr(0, ids.find('\n'));
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return {};
  }

  std::string Geometry(const std::string& window) {
    return e2e::X(x_->display(), "xdotool getwindowgeometry --shell " + window);
  }

  static std::string wine_;
  static std::string folder_;
  static testsupport::TempDir* dir_;
  static e2e::Xvfb* x_;
  std::vector<std::unique_ptr<testsupport::TempDir>> outs_;
};

std::string WindowsPlayerUnderWine::wine_;
std::string WindowsPlayerUnderWine::folder_;
testsupport::TempDir* WindowsPlayerUnderWine::dir_ = nullptr;
e2e::Xvfb* WindowsPlayerUnderWine::x_ = nullptr;

TEST_F(WindowsPlayerUnderWine, HelpVersionAndABadOption) {
  struct Case {
    const char* argument;
    int exitCode;
    const char* outHas;  // empty: nothing on standard output
    int errLines;
  };
  const Case cases[] = {
      {"--help", 0, "Keys:", 0},
      {"--version", 0, "quillon 1.1.0", 0},
      {"--bogus", 2, "", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.argument);
    auto show = Start({c.argument});
    EXPECT_EQ(show->Wait(60), c.exitCode) << show->Out() << show->Err();
    if (*c.outHas) {
      EXPECT_NE(show->Out().find(c.outHas), std::string::npos) << show->Out();
    } else {
      EXPECT_EQ(show->Out(), "");
    }
    EXPECT_EQ(Lines(show->Err()), c.errLines) << show->Err();
  }
}

// The "key K: FROM -> TO" line QUILLON_POSITION_LOG makes for the n-th
// press of key K (counted from 1); false while there is none.
bool KeyLine(const std::string& out, int key, int n, long& from, long& to) {
  const std::string prefix = "key " + std::to_string(key) + ": ";
  std::size_t at = 0;
  for (int i = 0; i < n; ++i) {
    at = out.find(prefix, at);
    if (at == std::string::npos) return false;
    at += prefix.size();
  }
  return std::sscanf(out.c_str() + at, "%ld -> %ld", &from, &to) == 2;
}

TEST_F(WindowsPlayerUnderWine, WindowWithoutSoundPausesOnSpaceAndTogglesFullscreen) {
  auto show = Start({"--window", "--no-sound", "--segment", "C"}, {{"QUILLON_POSITION_LOG", "1"}});
  const std::string window = ShowWindow(*show, 60);
  ASSERT_FALSE(window.empty()) << show->Out() << show->Err();
  int width = 0, height = 0;
  auto size = [&] {
    const std::string geometry = Geometry(window);
    const std::size_t w = geometry.find("WIDTH="), h = geometry.find("HEIGHT=");
    width = w == std::string::npos ? 0 : std::atoi(geometry.c_str() + w + 6);
    height = h == std::string::npos ? 0 : std::atoi(geometry.c_str() + h + 7);
    return geometry;
  };
  // A window whose outer size is the show's (its frame takes its room from
  // inside: the drawing area X sees is a little smaller), not the screen.
  const std::string windowed = size();
  const int windowWidth = width, windowHeight = height;
  EXPECT_LE(width, 800) << windowed;
  EXPECT_LE(height, 600) << windowed;
  EXPECT_GT(width, 760) << windowed;
  EXPECT_GT(height, 540) << windowed;

  int presses[256] = {};
  long from = 0, to = 0;
  auto press = [&](const char* name, int key) {
    e2e::X(x_->display(), "xdotool windowfocus --sync " + window + " key " + name + "; echo typed");
    ++presses[key];
    // Keys typed while the show loads are answered by its first frame.
    for (int i = 0; i < 1200 && !KeyLine(show->Out(), key, presses[key], from, to); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return KeyLine(show->Out(), key, presses[key], from, to);
  };
  ASSERT_TRUE(press("space", 0x20)) << show->Out() << show->Err();
  EXPECT_GE(from, 4350000) << "begun at segment C: " << show->Out();
  const long paused = to;
  // Paused, the frame stays as it is: made larger, the window shows it
  // whole, scaled to its new size, rather than in a corner. (Wine takes the
  // new size as the outer one, so the drawing area is a few pixels smaller
  // and off the 4:3 aspect: thin black bars, and the tolerance for them and
  // for the fine rings of the layers, softened by scaling twice; a frame
  // left in a corner differs by far more.)
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  const std::string plain = outs_.back()->File("plain.png"), larger = outs_.back()->File("larger.png");
  e2e::X(x_->display(), "import -window " + window + " '" + plain + "'; echo shot");
  e2e::X(x_->display(), "xdotool windowsize " + window + " 1000 750; echo sized");
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  e2e::X(x_->display(), "import -window " + window + " '" + larger + "'; echo shot");
  const std::string difference =
      RunCommand("convert '" + larger + "' -resize 800x600! png:- | compare -metric MAE '" + plain + "' - null:").err;
  const std::size_t open = difference.find('(');
  const double mean = open == std::string::npos ? 1.0 : std::atof(difference.c_str() + open + 1);
  EXPECT_LT(mean, 0.11) << difference;
  ASSERT_TRUE(press("space", 0x20)) << show->Out();
  EXPECT_EQ(from, paused) << "held while paused: " << show->Out();
  std::this_thread::sleep_for(std::chrono::seconds(1));
  ASSERT_TRUE(press("f", 0x46)) << show->Out();
  EXPECT_GT(from, paused + 88200) << "running again on the silent clock: " << show->Out();
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  EXPECT_NE(size().find("X=0\nY=0\nWIDTH=1280\nHEIGHT=720\n"), std::string::npos) << Geometry(window);
  ASSERT_TRUE(press("f", 0x46)) << show->Out();
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  size();
  EXPECT_EQ(width, windowWidth) << Geometry(window);
  EXPECT_EQ(height, windowHeight) << Geometry(window);
  e2e::X(x_->display(), "xdotool windowfocus --sync " + window + " key Escape; echo typed");
  EXPECT_EQ(show->Wait(30), 0) << show->Out() << show->Err();
}

}  // namespace
