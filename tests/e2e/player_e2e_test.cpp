// The player's command line on the real quillon binary: the options that end
// before a window opens (help, version, a bad option, a folder without the
// show's data) and a run in a window without an audio device.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
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

// How many "key K:" lines the show has printed.
int KeyLines(const Show& show, int key) {
  const std::string prefix = "key " + std::to_string(key) + ": ";
  const std::string out = show.Out();
  int n = 0;
  for (std::size_t at = 0; (at = out.find(prefix, at)) != std::string::npos; at += prefix.size()) ++n;
  return n;
}

// Types the key (xdotool's name) into the window and waits for the line it
// makes; false when none came.
bool Press(const std::string& display, const std::string& id, Show& show, const std::string& name, int key,
           long& from, long& to) {
  const int seen = KeyLines(show, key);
  if (X(display, "xdotool key --window " + id + " " + name + "; echo typed").empty()) return false;
  // Keys typed while the show loads are answered by its first frame.
  for (int i = 0; i < 600 && KeyLines(show, key) == seen; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return LastKeyLine(show.Out(), key, from, to) && KeyLines(show, key) > seen;
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
  auto press = [&](const std::string& name, int key, long& from, long& to) {
    ASSERT_TRUE(Press(x.display(), id, show, name, key, from, to)) << name << ": " << show.Out();
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

// The window's part of the screen, width x height from its top-left corner.
e2e::Picture Crop(const e2e::Picture& screen, int left, int top, int width, int height) {
  e2e::Picture part;
  part.width = width;
  part.height = height;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const std::uint8_t* p = screen.At(left + x, top + y);
      part.rgb.insert(part.rgb.end(), p, p + 3);
    }
  }
  return part;
}

// The mean difference of the channels of a at (x, y) and b at (x, y) times
// scale, over the pixels of a inside the rectangle; 255 when b is too small.
double MeanDifference(const e2e::Picture& a, const e2e::Picture& b, double scale, int x0, int y0, int x1, int y1) {
  if (b.width < static_cast<int>(a.width * scale) || b.height < static_cast<int>(a.height * scale)) return 255;
  double sum = 0;
  long count = 0;
  for (int y = y0; y < y1; y += 2) {
    for (int x = x0; x < x1; x += 2) {
      const std::uint8_t* p = a.At(x, y);
      const std::uint8_t* q = b.At(static_cast<int>(x * scale), static_cast<int>(y * scale));
      for (int c = 0; c < 3; ++c) sum += std::abs(p[c] - q[c]);
      count += 3;
    }
  }
  return count ? sum / count : 255;
}

// Pixels of the overlay's text colour (pale yellow, which segment C never
// shows) in the top-left of the frame.
int TextPixels(const e2e::Picture& frame) {
  int count = 0;
  for (int y = 0; y < 100; ++y) {
    for (int x = 0; x < 600; ++x) {
      const std::uint8_t* p = frame.At(x, y);
      count += p[0] >= 250 && p[1] >= 250 && p[2] >= 200 && p[2] <= 230;
    }
  }
  return count;
}

// Paused in segment C (its frame depends on the clock alone, so it stays
// the same while paused): H draws the overlay into the top-left of the frame
// and leaves the rest alone, H again gives the very frame back; the window,
// made larger with xdotool, shows the whole frame scaled to its new size; F
// covers the screen and F again gives the 800 x 600 window back.
TEST(PlayerEndToEnd, OverlayResizedWindowAndFullscreenKey) {
  REQUIRE_SHOW();
  if (!e2e::Have("import")) GTEST_SKIP() << "needs ImageMagick's import";
  Xvfb x(1024, 768);
  ASSERT_FALSE(x.display().empty());
  testsupport::TempDir dir;
  e2e::ShowOptions options;
  options.command = {QUILLON_BINARY, "--window", "--no-sound", "--segment", "C"};
  options.environment = {{"QUILLON_POSITION_LOG", "1"}};
  Show show(x.display(), DataDir(), dir.path(), options);
  const std::string id = e2e::WaitForWindow(x.display(), show, 30);
  ASSERT_FALSE(id.empty()) << show.Out() << show.Err();
  long from = 0, to = 0;
  // Each key is answered before the frame that follows it; a few frames
  // later the screen shows its effect.
  auto press = [&](const std::string& name, int key) {
    ASSERT_TRUE(Press(x.display(), id, show, name, key, from, to)) << name << ": " << show.Out();
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  };
  auto grab = [&](const std::string& name, int left, int top, int width, int height) {
    return Crop(e2e::GrabScreen(x.display(), dir.File(name + ".png")), left, top, width, height);
  };
  auto geometry = [&] { return X(x.display(), "xdotool getwindowgeometry --shell " + id); };
  press("space", 0x20);
  const e2e::Picture plain = grab("plain", 0, 0, 800, 600);
  ASSERT_EQ(plain.width, 800);
  press("h", 0x48);
  const e2e::Picture overlay = grab("overlay", 0, 0, 800, 600);
  // The panel holds four lines of text in the top-left; the rest of the
  // frame is the show's.
  EXPECT_EQ(TextPixels(plain), 0) << "off at the start";
  EXPECT_GT(TextPixels(overlay), 2000);
  EXPECT_EQ(MeanDifference(plain, overlay, 1.0, 0, 120, 800, 600), 0.0);
  EXPECT_EQ(MeanDifference(plain, overlay, 1.0, 620, 0, 800, 600), 0.0);
  press("h", 0x48);
  EXPECT_EQ(MeanDifference(plain, grab("hidden", 0, 0, 800, 600), 1.0, 0, 0, 800, 600), 0.0);

  ASSERT_FALSE(X(x.display(), "xdotool windowsize " + id + " 1000 750; echo sized").empty());
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  const e2e::Picture larger = grab("larger", 0, 0, 1000, 750);
  // The whole frame at 1.25 times its size, up to the filtering, the right
  // and bottom bands included (left in a corner, they would be black).
  EXPECT_LT(MeanDifference(plain, larger, 1.25, 0, 0, 800, 600), 8.0);
  EXPECT_LT(MeanDifference(plain, larger, 1.25, 640, 0, 800, 600), 8.0);
  EXPECT_LT(MeanDifference(plain, larger, 1.25, 0, 480, 800, 600), 8.0);

  press("f", 0x46);
  EXPECT_NE(geometry().find("X=0\nY=0\nWIDTH=1024\nHEIGHT=768\n"), std::string::npos) << geometry();
  press("f", 0x46);
  EXPECT_NE(geometry().find("WIDTH=800\nHEIGHT=600\n"), std::string::npos) << geometry();
  EXPECT_EQ(geometry().find("X=0\nY=0\n"), std::string::npos) << "a window, not over the screen: " << geometry();
  ASSERT_FALSE(X(x.display(), "xdotool key --window " + id + " Escape; echo typed").empty());
  EXPECT_EQ(show.Wait(60), 0) << show.Out() << show.Err();
}

// Started fullscreen where the display offers 800 x 600: F gives the
// display its own mode back and the show a window of 800 x 600 on it; F
// again switches the mode once more; Escape gives the display's mode back.
TEST(PlayerEndToEnd, FullscreenKeyGivesTheDisplayModeBackAndTakesItAgain) {
  REQUIRE_SHOW();
  if (!e2e::Have("xrandr")) GTEST_SKIP() << "needs xrandr";
  Xvfb x(1024, 768);
  ASSERT_FALSE(x.display().empty());
  ASSERT_TRUE(e2e::OfferShowMode(x.display()));
  testsupport::TempDir dir;
  e2e::ShowOptions options;
  options.command = {QUILLON_BINARY, "--no-sound"};
  options.environment = {{"QUILLON_POSITION_LOG", "1"}};
  Show show(x.display(), DataDir(), dir.path(), options);
  const std::string id = e2e::WaitForWindow(x.display(), show, 30);
  ASSERT_FALSE(id.empty()) << show.Out() << show.Err();
  auto modeBecomes = [&](const std::string& mode) {
    for (int i = 0; i < 50 && e2e::CurrentMode(x.display()) != mode; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return e2e::CurrentMode(x.display());
  };
  EXPECT_EQ(modeBecomes("800x600"), "800x600");
  long from = 0, to = 0;
  ASSERT_TRUE(Press(x.display(), id, show, "f", 0x46, from, to)) << show.Out();
  EXPECT_EQ(modeBecomes("1024x768"), "1024x768");
  const std::string geometry = X(x.display(), "xdotool getwindowgeometry --shell " + id);
  EXPECT_NE(geometry.find("WIDTH=800\nHEIGHT=600\n"), std::string::npos) << geometry;
  ASSERT_TRUE(Press(x.display(), id, show, "f", 0x46, from, to)) << show.Out();
  EXPECT_EQ(modeBecomes("800x600"), "800x600");
  ASSERT_FALSE(X(x.display(), "xdotool key --window " + id + " Escape; echo typed").empty());
  EXPECT_EQ(show.Wait(60), 0) << show.Out() << show.Err();
  EXPECT_EQ(e2e::CurrentMode(x.display()), "1024x768");
}

}  // namespace
