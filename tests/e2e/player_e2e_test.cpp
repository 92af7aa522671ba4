// The player's command line on the real quillon binary: the options that end
// before a window opens (help, version, a bad option, a folder without the
// show's data) and a run in a window without an audio device.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "x_session.h"

namespace {

using e2e::DataDir;
using e2e::Show;
using e2e::X;
using e2e::Xvfb;

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
  if (!std::filesystem::exists(DataDir() + "/cam.3dw") || !e2e::Have("Xvfb") || !e2e::Have("xdotool")) {
    GTEST_SKIP() << "needs the data set in " << DataDir() << ", Xvfb and xdotool";
  }
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

}  // namespace
