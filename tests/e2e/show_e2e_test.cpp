// The real quillon binary on the generated data set in a real X server
// (Xvfb) with SDL's dummy audio driver: the whole show plays and ends with
// exit code 0 after the end position; Escape in the middle of segment C ends
// it with exit code 0; two runs that print (a missing and a damaged picture,
// no audio device) print the same console lines.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/files.h"
#include "support/temp_dir.h"
#include "x_session.h"

namespace {

namespace fs = std::filesystem;
using e2e::DataDir;
using e2e::Show;
using e2e::X;
using e2e::Xvfb;

bool HaveAll() {
  return std::filesystem::exists(DataDir() + "/cam.3dw") && e2e::Have("Xvfb") && e2e::Have("xdotool");
}

#define REQUIRE_ALL() \
  if (!HaveAll()) GTEST_SKIP() << "needs the data set in " << DataDir() << ", Xvfb and xdotool"

TEST(ShowEndToEnd, PlaysTheWholeShowAndExitsZeroAfterTheEnd) {
  REQUIRE_ALL();
  Xvfb x("800x600x24");
  ASSERT_FALSE(x.display().empty());
  testsupport::TempDir dir;
  Show show(x.display(), DataDir(), dir.path());
  // 13,900,000 position units are 78.8 s of music, after the loading.
  EXPECT_EQ(show.Wait(240), 0) << show.Out() << show.Err();
  EXPECT_EQ(show.Out().find("ERROR"), std::string::npos) << show.Out();
}

TEST(ShowEndToEnd, EscapeInSegmentCExitsZero) {
  REQUIRE_ALL();
  Xvfb x("800x600x24");
  ASSERT_FALSE(x.display().empty());
  testsupport::TempDir dir;
  Show show(x.display(), DataDir(), dir.path());
  const std::string id = e2e::WaitForWindow(x.display(), show, 30);
  ASSERT_FALSE(id.empty()) << show.Out() << show.Err();
  // The music starts after loading, so 33 s after the window appears lands
  // inside segment C (about 24.7 s to 37 s of the music).
  std::this_thread::sleep_for(std::chrono::seconds(33));
  ASSERT_TRUE(show.Running()) << show.Out() << show.Err();
  ASSERT_FALSE(X(x.display(), "xdotool key --window " + id + " Escape; echo typed").empty());
  EXPECT_EQ(show.Wait(60), 0) << show.Out() << show.Err();
  EXPECT_EQ(show.Out(), "");
}

// The data set with "fo22.tga" missing and "41.jpg" damaged, and an audio
// driver that does not exist: each run loads everything, says " ERROR " for
// each of the two pictures (and shows the box of the missing one, on standard
// error without dialogs), then "BASS init error ( 2 )", and ends.
TEST(ShowEndToEnd, TwoRunsPrintTheSameConsoleLines) {
  REQUIRE_ALL();
  std::string out[2], err[2];
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE("run " + std::to_string(run + 1));
    Xvfb x("800x600x24");
    ASSERT_FALSE(x.display().empty());
    testsupport::TempDir dir;
    for (const auto& entry : fs::directory_iterator(DataDir())) {
      const std::string name = entry.path().filename().string();
      if (name != "fo22.tga" && name != "41.jpg") fs::create_symlink(entry.path(), fs::path(dir.path()) / name);
    }
    const unsigned char damaged[] = {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F'};
    platform::WriteWholeFile(dir.File("41.jpg"), damaged, sizeof damaged);
    e2e::ShowOptions options;
    options.environment = {{"SDL_AUDIODRIVER", "no-such-driver"}};
    Show show(x.display(), dir.path(), dir.path(), options);
    EXPECT_EQ(show.Wait(120), 1) << show.Out() << show.Err();
    out[run] = show.Out();
    err[run] = show.Err();
  }
  EXPECT_EQ(out[0], " ERROR \n ERROR \nBASS init error ( 2 )\n");
  EXPECT_EQ(out[1], out[0]);
  for (const std::string& e : err) {
    EXPECT_NE(e.find("Texture Loader Error Message: File not found : fo22.tga\n"), std::string::npos) << e;
    EXPECT_EQ(e.find("41.jpg"), std::string::npos) << "a damaged picture shows no box: " << e;
  }
}

}  // namespace
