// The player's command line on the real quillon binary: the options that end
// before a window opens (help, version, a bad option, a folder without the
// show's data) and a run in a window without an audio device.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_dir.h"
#include "x_session.h"

namespace {

using e2e::DataDir;
using e2e::Show;
using e2e::X;
using e2e::Xvfb;

#define REQUIRE_SHOW()                                                                                \
  if (!std::filesystem::exists(DataDir() + "/cam.3dw") || !e2e::Have("Xvfb") || !e2e::Have("xdotool")) \
  GTEST_SKIP() << "needs the data set in " << DataDir() << ", Xvfb and xdotool"

int Lines(const std::string& text) {
  int lines = 0;
  for (char c : text) lines += c == '\n';
  return lines;
}

// None of these needs a display: each ends before a window could open. An
// empty folder runs them, so the data check has nothing to find there (nor
// beside the build's binary, where no installed set is).
TEST(PlayerEndToEnd, OptionsThatEndBeforeAWindowOpens) {
  testsupport::TempDir dir;
  const std::string empty = dir.path() + "/empty";
  std::filesystem::create_directory(empty);
  struct Case {
    std::vector<std::string> arguments;
    int exitCode;
    std::string outHas;  // empty: nothing on standard output
    int errLines;
    std::string errHas;
  };
  const Case cases[] = {
      {{"--help"}, 0, "--no-sound", 0, ""},
      {{"--version"}, 0, "quillon 1.1.0\n", 0, ""},
      {{"--bogus"}, 2, "", 1, "--bogus"},
      {{"--window", "--data"}, 2, "", 1, "--data"},
      {{}, 2, "", 1, empty},
      {{"--window", "--data", empty}, 2, "", 1, empty},
      {{"--data", dir.path() + "/missing"}, 2, "", 1, "missing"},
      {{"--segment", "G"}, 2, "", 1, "--segment"},
      {{"--start", "13900001"}, 2, "", 1, "--start"},
      {{"--start", "-5"}, 2, "", 1, "--start"},
  };
  for (const Case& c : cases) {
    std::string trace;
    for (const std::string& a : c.arguments) trace += a + " ";
    SCOPED_TRACE(trace);
    e2e::ShowOptions options;
    options.command.push_back(QUILLON_BINARY);
    options.command.insert(options.command.end(), c.arguments.begin(), c.arguments.end());
    Show show("", empty, dir.path(), options);
    EXPECT_EQ(show.Wait(30), c.exitCode) << show.Out() << show.Err();
    if (c.outHas.empty()) {
      EXPECT_EQ(show.Out(), "");
    } else {
      EXPECT_NE(show.Out().find(c.outHas), std::string::npos) << show.Out();
    }
    // One line, and no box: without dialogs a box would be more lines here.
    EXPECT_EQ(Lines(show.Err()), c.errLines) << show.Err();
    EXPECT_NE(show.Err().find(c.errHas), std::string::npos) << show.Err();
  }
}

// --window on a larger screen gives a window of 800 x 600 rather than one
// over the screen; --no-sound plays where the audio driver does not exist
// (without it that run ends at once with "BASS init error ( 2 )"). --data
// names the data set from another working folder. Escape ends it with 0.
TEST(PlayerEndToEnd, WindowWithoutSoundPlaysUntilEscape) {
  REQUIRE_SHOW();
  Xvfb x(1024, 768);
  ASSERT_FALSE(x.display().empty());
  testsupport::TempDir dir;
  e2e::ShowOptions options;
  options.command = {QUILLON_BINARY, "--window", "--no-sound", "--data", DataDir()};
  options.environment = {{"SDL_AUDIODRIVER", "no-such-driver"}};
  Show show(x.display(), dir.path(), dir.path(), options);
  const std::string id = e2e::WaitForWindow(x.display(), show, 30);
  ASSERT_FALSE(id.empty()) << show.Out() << show.Err();
  const std::string geometry = X(x.display(), "xdotool getwindowgeometry --shell " + id);
  EXPECT_NE(geometry.find("WIDTH=800\nHEIGHT=600\n"), std::string::npos) << geometry;
  // The loading ends and the sound set-up is over well within this; the
  // show's clock then runs for 79 s.
  EXPECT_EQ(show.Wait(20), -2) << show.Out() << show.Err();
  ASSERT_FALSE(X(x.display(), "xdotool key --window " + id + " Escape; echo typed").empty());
  EXPECT_EQ(show.Wait(60), 0) << show.Out() << show.Err();
  EXPECT_EQ(show.Out(), "");
}

// The last "key K: FROM -> TO" line the show printed for key K (with
// QUILLON_POSITION_LOG set); false when there is none yet.
bool LastKeyLine(const std::string& out, int key, long& from, long& to) {
  bool found = false;
  std::size_t at = 0;
  const std::string prefix = "key " + std::to_string(key) + ": ";
  while ((at = out.find(prefix, at)) != std::string::npos) {
    found = std::sscanf(out.c_str() + at + prefix.size(), "%ld -> %ld", &from, &to) == 2;
    at += prefix.size();
  }
  return found;
}

// The keys on the real music stream (SDL's dummy driver plays it): Space
// holds the position for a second and Space again lets it run on; Right
// moves it by 5 s within a frame; 4 lands on segment D's start.
TEST(PlayerEndToEnd, KeysPauseSeekAndJumpToASegment) {
  REQUIRE_SHOW();
  Xvfb x(800, 600);
  ASSERT_FALSE(x.display().empty());
  testsupport::TempDir dir;
  e2e::ShowOptions options;
  options.command = {QUILLON_BINARY, "--window"};
  options.environment = {{"QUILLON_POSITION_LOG", "1"}};
  Show show(x.display(), DataDir(), dir.path(), options);
  const std::string id = e2e::WaitForWindow(x.display(), show, 30);
  ASSERT_FALSE(id.empty()) << show.Out() << show.Err();
  auto count = [&](int key) {
    const std::string prefix = "key " + std::to_string(key) + ": ";
    const std::string out = show.Out();
    int n = 0;
    for (std::size_t at = 0; (at = out.find(prefix, at)) != std::string::npos; at += prefix.size()) ++n;
    return n;
  };
  // Types the key and waits for the line it makes.
  auto press = [&](const std::string& name, int key, long& from, long& to) {
    const int seen = count(key);
    ASSERT_FALSE(X(x.display(), "xdotool key --window " + id + " " + name + "; echo typed").empty());
    for (int i = 0; i < 200 && count(key) == seen; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(LastKeyLine(show.Out(), key, from, to) && count(key) > seen) << name << ": " << show.Out();
  };
  // The music plays once the loading is over; the first key line says so
  // by a position that moves.
  long from = 0, to = 0;
  std::this_thread::sleep_for(std::chrono::seconds(4));
  press("space", 0x20, from, to);
  const long paused = to;
  std::this_thread::sleep_for(std::chrono::seconds(1));
  press("space", 0x20, from, to);
  EXPECT_EQ(from, paused) << show.Out();
  std::this_thread::sleep_for(std::chrono::seconds(1));
  press("Right", 0x27, from, to);
  EXPECT_GT(from, paused) << "running again: " << show.Out();
  // One frame at 30 frames a second: 5,880 bytes of the music.
  EXPECT_NEAR(to - from, 882000, 5880) << show.Out();
  press("4", 0x34, from, to);
  EXPECT_GE(to, 6520000) << show.Out();
  EXPECT_LE(to, 6520000 + 5880) << show.Out();
  ASSERT_FALSE(X(x.display(), "xdotool key --window " + id + " Escape; echo typed").empty());
  EXPECT_EQ(show.Wait(60), 0) << show.Out() << show.Err();
}

// --segment F begins at the finale's start, and --loop passes the show's
// end into segment A again instead of ending: Space, typed at once, is
// answered by the first frame, and typed again 22 s after it resumes finds
// the show running early in segment A (the finale lasts 17 s). On the
// silent clock of --no-sound.
TEST(PlayerEndToEnd, SegmentAndLoopPassTheEndIntoSegmentA) {
  REQUIRE_SHOW();
  Xvfb x(800, 600);
  ASSERT_FALSE(x.display().empty());
  testsupport::TempDir dir;
  e2e::ShowOptions options;
  options.command = {QUILLON_BINARY, "--window", "--no-sound", "--segment", "F", "--loop"};
  options.environment = {{"QUILLON_POSITION_LOG", "1"}};
  Show show(x.display(), DataDir(), dir.path(), options);
  const std::string id = e2e::WaitForWindow(x.display(), show, 30);
  ASSERT_FALSE(id.empty()) << show.Out() << show.Err();
  long from = 0, to = 0;
  auto space = [&](int lines) {
    ASSERT_FALSE(X(x.display(), "xdotool key --window " + id + " space; echo typed").empty());
    for (int i = 0; i < 1200 && Lines(show.Out()) < lines; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_TRUE(LastKeyLine(show.Out(), 0x20, from, to) && Lines(show.Out()) == lines) << show.Out();
  };
  space(1);
  EXPECT_GE(from, 10900000) << show.Out();
  EXPECT_LT(from, 10900000 + 176400) << show.Out();
  space(2);
  std::this_thread::sleep_for(std::chrono::seconds(22));
  ASSERT_TRUE(show.Running()) << show.Out() << show.Err();
  space(3);
  EXPECT_LT(from, 2190000) << show.Out();
  ASSERT_FALSE(X(x.display(), "xdotool key --window " + id + " Escape; echo typed").empty());
  EXPECT_EQ(show.Wait(60), 0) << show.Out() << show.Err();
}

}  // namespace
