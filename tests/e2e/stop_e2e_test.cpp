// Stop requests from outside reach the real quillon binary in every phase:
// SIGTERM, SIGINT and SIGHUP while the "File not found" box is up, SIGINT
// during the loading, SIGTERM in segment C. Each time the show runs in a
// process group of its own, as a terminal or a service manager starts it,
// and within 2 seconds no process of that group is left (the box's helpers
// included); the display mode the show switched to is back to the server's
// own; the exit code is the one of a closed window, 0.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "scene/scene_bytes.h"
#include "support/temp_dir.h"
#include "x_session.h"

namespace {

namespace fs = std::filesystem;
using e2e::CurrentMode;
using e2e::DataDir;
using e2e::Have;
using e2e::Show;
using e2e::ShowOptions;
using e2e::Xvfb;

// The limit within which a stop request must have ended the show and every
// process it started.
constexpr int kStopLimitMs = 2000;

// Makes a folder the show takes for its data (it holds a "music.mp3", here
// empty) while every picture is missing: the loading stops at the first one,
// "hund.tga".
void MakeShowFolderWithoutPictures(const std::string& folder) {
  std::ofstream(fs::path(folder) / "music.mp3").put('\0');
}

class StopEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Have("Xvfb") || !Have("xdotool") || !Have("xrandr") || !Have("xwininfo")) {
      GTEST_SKIP() << "needs Xvfb, xdotool, xrandr and xwininfo";
    }
    ASSERT_FALSE(x_.display().empty());
    ASSERT_TRUE(e2e::OfferShowMode(x_.display()));
    ASSERT_EQ(CurrentMode(x_.display()), "1024x768");
  }

  // Sends the signal, then expects the whole group gone within the limit,
  // exit code 0 and the server's own mode back.
  void ExpectCleanStop(Show& show, int sig, bool wholeGroup) {
    // The show switched the display: otherwise a restored mode proves nothing.
    ASSERT_EQ(CurrentMode(x_.display()), "800x600") << show.Err();
    show.Signal(sig, wholeGroup);
    EXPECT_TRUE(show.GroupGoneWithin(kStopLimitMs)) << "processes of the show's group left after the stop";
    ASSERT_FALSE(show.Running());
    EXPECT_EQ(show.TermSignal(), 0) << strsignal(show.TermSignal());
    EXPECT_EQ(show.Wait(0), 0) << show.Out() << show.Err();
    EXPECT_EQ(CurrentMode(x_.display()), "1024x768");
  }

  Xvfb x_;
  testsupport::TempDir dir_;
};

struct BoxStop {
  const char* name;
  int sig;
  bool wholeGroup;
  // Started in a mount namespace without /proc: no box helper can start from
  // the program's own file, and the box is the one in the show's process.
  bool withoutProc = false;
};

void PrintTo(const BoxStop& c, std::ostream* os) { *os << c.name; }

class StopWithBoxUp : public StopEndToEnd, public ::testing::WithParamInterface<BoxStop> {};

// Started in a folder without the pictures, the show opens its window and
// shows the box for the first picture, "hund.tga", from a helper process.
TEST_P(StopWithBoxUp, EndsTheShowAndTheBoxHelpers) {
  ShowOptions options;
  options.dialogs = true;
  options.ownGroup = true;
  if (GetParam().withoutProc) {
    if (testsupport::RunCommand("unshare -m sh -c 'umount -l /proc'").exitCode != 0) {
      GTEST_SKIP() << "cannot make a mount namespace without /proc here";
    }
    options.command = {"/usr/bin/unshare", "-m", "sh", "-c", "umount -l /proc && exec \"$0\"", QUILLON_BINARY};
  }
  MakeShowFolderWithoutPictures(dir_.path());
  Show show(x_.display(), dir_.path(), dir_.path(), options);
  ASSERT_TRUE(e2e::WaitForTitle(x_.display(), show, "Texture Loader Error Message")) << show.Out() << show.Err();
  // The box is up and waited on: the loading stands still.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_TRUE(show.Running());
  ExpectCleanStop(show, GetParam().sig, GetParam().wholeGroup);
  // The stop ended the loading at the box: nothing after it ran.
  EXPECT_EQ(show.Out(), "");
}

INSTANTIATE_TEST_SUITE_P(EverySignal, StopWithBoxUp,
                         ::testing::Values(BoxStop{"TermToTheShow", SIGTERM, false},
                                           BoxStop{"IntToTheGroup", SIGINT, true},
                                           BoxStop{"HupToTheGroup", SIGHUP, true},
                                           BoxStop{"TermWithoutProc", SIGTERM, false, true}),
                         [](const ::testing::TestParamInfo<BoxStop>& info) { return std::string(info.param.name); });

// Standard output read by nobody (`quillon | head -c 0`) in a folder without
// the pictures: the " ERROR " lines meet a closed pipe, and the show still
// ends as it would (the report, 217) with its teardown (the mode back).
TEST_F(StopEndToEnd, ClosedStandardOutputStillRunsTheTeardown) {
  ShowOptions options;
  options.command = {"/bin/bash", "-c", "\"$0\" | head -c 0; exit ${PIPESTATUS[0]}", QUILLON_BINARY};
  MakeShowFolderWithoutPictures(dir_.path());
  Show show(x_.display(), dir_.path(), dir_.path(), options);
  EXPECT_EQ(show.Wait(60), 217) << show.Err();
  EXPECT_NE(show.Err().find("File not found : hund.tga"), std::string::npos) << show.Err();
  EXPECT_EQ(CurrentMode(x_.display()), "1024x768");
}

// A video scene of 400,000 small objects keeps the loading busy for seconds.
void WriteLongScene(const std::string& path) {
  constexpr std::int32_t kObjects = 400'000;
  scenetest::Bytes b;
  scenetest::Bytes::HeaderFields header;
  header.materialCount = 1;
  header.objectCount = kObjects;
  b.data.reserve(static_cast<std::size_t>(kObjects) * 300 + 4096);
  b.Header(header).Material("stage", "0.jpg", 1.0f, 0, 1, 1, 0, 1);
  scenetest::Bytes::ObjectFields object;
  for (std::int32_t i = 0; i < kObjects; ++i) b.Object(object);
  b.Write(path);
}

TEST_F(StopEndToEnd, IntDuringTheLoadingEndsBeforeTheSoundIsSetUp) {
  if (!fs::exists(fs::path(DataDir()) / "cam.3dw")) GTEST_SKIP() << "no data set in " << DataDir();
  for (const auto& entry : fs::directory_iterator(DataDir())) {
    if (entry.path().filename() == "pkode.3dw") continue;
    fs::create_symlink(entry.path(), fs::path(dir_.path()) / entry.path().filename());
  }
  WriteLongScene(dir_.File("pkode.3dw"));
  ShowOptions options;
  options.ownGroup = true;
  // No audio driver of that name: a show that got past the loading would
  // print "BASS init error" and exit 1, so the stop cannot pass unnoticed
  // after the loading.
  options.environment = {{"SDL_AUDIODRIVER", "no-such-driver"}};
  Show show(x_.display(), dir_.path(), dir_.path(), options);
  ASSERT_FALSE(e2e::WaitForWindow(x_.display(), show).empty()) << show.Out() << show.Err();
  // The pictures take about half a second here, the long scene several
  // seconds more: the request lands inside the scene's loading.
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  ASSERT_TRUE(show.Running()) << show.Out() << show.Err();
  ExpectCleanStop(show, SIGINT, true);
  EXPECT_EQ(show.Out().find("BASS init error"), std::string::npos) << show.Out();
}

TEST_F(StopEndToEnd, TermInSegmentCEndsTheShow) {
  if (!fs::exists(fs::path(DataDir()) / "cam.3dw")) GTEST_SKIP() << "no data set in " << DataDir();
  ShowOptions options;
  options.ownGroup = true;
  Show show(x_.display(), DataDir(), dir_.path(), options);
  ASSERT_FALSE(e2e::WaitForWindow(x_.display(), show, 30).empty()) << show.Out() << show.Err();
  // The music starts after loading, so 33 s after the window appears lands
  // inside segment C (about 24.7 s to 37 s of the music).
  std::this_thread::sleep_for(std::chrono::seconds(33));
  ASSERT_TRUE(show.Running()) << show.Out() << show.Err();
  ExpectCleanStop(show, SIGTERM, true);
}

}  // namespace
