// The real quillon binary on the generated data set in a real X server
// (Xvfb) with SDL's dummy audio driver: the whole show plays and ends with
// exit code 0 after the end position; Escape in the middle of segment C ends
// it with exit code 0; two runs print the same console lines.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "support/temp_dir.h"
#include "x_session.h"

namespace {

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

TEST(ShowEndToEnd, EscapeInSegmentCExitsZeroAndTwoRunsPrintTheSameLines) {
  REQUIRE_ALL();
  std::string lines[2];
  for (int run = 0; run < 2; ++run) {
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
    lines[run] = show.Out();
  }
  EXPECT_EQ(lines[0], lines[1]);
}

}  // namespace
