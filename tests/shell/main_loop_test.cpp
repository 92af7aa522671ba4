// The main loop on a scripted music clock with recorders for the segment
// bodies and the window system: which segment each position selects, fresh
// readings for every range test, the end of the show, and the three ways
// the loop ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "assets/texture.h"
#include "platform/process.h"
#include "scene/progress.h"
#include "shell/main_loop.h"
#include "sound/music.h"
#include "support/temp_dir.h"
#include "window_recorder.h"

namespace {

using shelltest::Note;
using shelltest::Rec;
using Calls = std::vector<std::string>;

// The clock: one position per frame, advanced by the frame hook; within a
// frame every reading gives that frame's position unless a per-reading
// script is set.
std::vector<std::uint32_t> framePositions;
std::size_t frameIndex = 0;
std::vector<std::uint32_t> readingScript;
std::size_t readings = 0;

std::uint32_t ScriptedPosition() {
  std::size_t n = readings++;
  if (!readingScript.empty()) return readingScript[std::min(n, readingScript.size() - 1)];
  return framePositions[std::min(frameIndex, framePositions.size() - 1)];
}

std::vector<std::uint32_t> presented;
std::size_t framesToRun = 1;

bool AfterFrame(std::uint32_t position, void*) {
  presented.push_back(position);
  ++frameIndex;
  return presented.size() < framesToRun;
}

bool AfterFrameRequestQuit(std::uint32_t position, void*) {
  presented.push_back(position);
  shell::QuitRequested = true;
  return true;
}

std::string Clock(float v) { return std::to_string(static_cast<long long>(v)); }

class MainLoopTest : public shelltest::ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    framePositions = {0};
    frameIndex = 0;
    readingScript.clear();
    readings = 0;
    presented.clear();
    framesToRun = 1;
    sound::SetMusicPositionSource(ScriptedPosition);
    shell::Segments = {
        [](float c) { Note("A " + Clock(c)); }, [](float c) { Note("B " + Clock(c)); },
        [](float c) { Note("C " + Clock(c)); }, [](float c) { Note("D " + Clock(c)); },
        [](float c) { Note("E " + Clock(c)); },
        [](float u, float scroll) { Note("F " + std::to_string(u) + " " + std::to_string(scroll)); },
    };
  }
  // The segments drawn for one frame at position p.
  Calls DrawnAt(std::uint32_t p) {
    framePositions = {p};
    shell::FrameClock = static_cast<float>(p);
    Take();
    shell::DrawSegments();
    return Take();
  }
};

TEST_F(MainLoopTest, EveryBoundaryBelongsToTheSegmentItStarts) {
  struct Case {
    std::uint32_t p;
    const char* segment;
  };
  const Case cases[] = {{0, "A"},           {2'189'999, "A"}, {2'190'000, "B"},  {4'349'999, "B"},
                        {4'350'000, "C"},   {6'519'999, "C"}, {6'520'000, "D"},  {8'739'999, "D"},
                        {8'740'000, "E"},   {10'899'999, "E"}, {10'900'000, "F"}, {13'900'000, "F"},
                        {30'899'999, "F"}};
  for (const Case& c : cases) {
    Calls drawn = DrawnAt(c.p);
    ASSERT_EQ(drawn.size(), 1u) << c.p;
    EXPECT_EQ(drawn[0].substr(0, 1), c.segment) << c.p;
  }
  EXPECT_TRUE(DrawnAt(30'900'000).empty());
  EXPECT_TRUE(DrawnAt(0xFFFFFFFFu).empty());
}

TEST_F(MainLoopTest, SegmentsAToEReceiveTheFrameClock) {
  EXPECT_EQ(DrawnAt(3'000'000), (Calls{"B 3000000"}));
  EXPECT_EQ(DrawnAt(9'000'000), (Calls{"E 9000000"}));
}

TEST_F(MainLoopTest, TheFinaleGetsItsLocalTimeAndScroll) {
  EXPECT_EQ(DrawnAt(10'900'000), (Calls{"F " + std::to_string(0.0f) + " " + std::to_string(0.41f)}));
  EXPECT_EQ(DrawnAt(10'908'000), (Calls{"F " + std::to_string(1.0f) + " " + std::to_string(0.4075f)}));
  EXPECT_EQ(DrawnAt(13'900'000), (Calls{"F " + std::to_string(375.0f) + " " + std::to_string(-0.5275f)}));
}

TEST_F(MainLoopTest, EveryRangeTestTakesAFreshReading) {
  // The music crosses into B between the test for A and the test for B:
  // both are drawn, as the readings say.
  shell::FrameClock = 2'189'999.0f;
  readingScript = {2'189'999, 2'190'000};
  Take();
  shell::DrawSegments();
  EXPECT_EQ(Take(), (Calls{"A 2189999", "B 2189999"}));
  EXPECT_EQ(readings, 6u);
}

TEST_F(MainLoopTest, TheEndPositionItselfIsPresented) {
  shell::OpenShellWindow(800, 600, 32, false, true);
  framePositions = {13'900'000};
  Take();
  shell::LoopHooks hooks;
  hooks.afterFrame = AfterFrame;
  EXPECT_EQ(shell::RunMainLoop(&hooks), shell::LoopEnd::Stopped);
  EXPECT_EQ(presented, (std::vector<std::uint32_t>{13'900'000}));
  Calls calls = Take();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0], "glClear " + std::to_string(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT));
  EXPECT_EQ(calls[1].substr(0, 2), "F ");
  EXPECT_EQ(calls[2], "SwapBuffers");
  EXPECT_EQ(shell::FrameClock, 13'900'000.0f);
}

TEST_F(MainLoopTest, PassingTheEndEndsWithoutPresentingAndTearsDown) {
  shell::OpenShellWindow(800, 600, 32, false, true);
  framePositions = {13'900'001};
  Take();
  shell::LoopHooks hooks;
  hooks.afterFrame = AfterFrame;
  EXPECT_EQ(shell::RunMainLoop(&hooks), shell::LoopEnd::ShowEnded);
  EXPECT_TRUE(presented.empty());
  Calls calls = Take();
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls[1].substr(0, 2), "F ") << "the frame is drawn";
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "SwapBuffers"), 0);
  EXPECT_EQ(Calls(calls.begin() + 2, calls.end()),
            (Calls{"RestoreDisplayMode", "MakeCurrent none", "DeleteContext", "ReleaseDC", "PostQuitMessage",
                   "ShowCursor on"}));
}

TEST_F(MainLoopTest, EscapeEndsAtTheNextPumpWithTheTeardownAndNoFrame) {
  shell::OpenShellWindow(800, 600, 32, false, true);
  framePositions = {5'000'000};
  Take();
  Rec().queue.push_back({shelltest::FakeWindow(), platform::kWmChar, 27, 0});
  EXPECT_EQ(shell::RunMainLoop(), shell::LoopEnd::QuitMessage);
  EXPECT_TRUE(shell::QuitRequested);
  EXPECT_EQ(Take(), (Calls{"PostQuitMessage", "RestoreDisplayMode", "MakeCurrent none", "DeleteContext",
                           "ReleaseDC", "PostQuitMessage", "ShowCursor on"}));
}

TEST_F(MainLoopTest, ClosingTheWindowEndsTheSameWay) {
  shell::OpenShellWindow(800, 600, 32, false, false);
  Take();
  Rec().queue.push_back({shelltest::FakeWindow(), platform::kWmClose, 0, 0});
  EXPECT_EQ(shell::RunMainLoop(), shell::LoopEnd::QuitMessage);
  Calls calls = Take();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "SwapBuffers"), 0);
  EXPECT_EQ(calls.back(), "ShowCursor on");
}

TEST_F(MainLoopTest, OtherCharactersDoNotStopTheShow) {
  shell::OpenShellWindow(800, 600, 32, false, true);
  Take();
  Rec().queue.push_back({shelltest::FakeWindow(), platform::kWmChar, ' ', 0});
  Rec().queue.push_back({shelltest::FakeWindow(), platform::kWmChar, 'q', 0});
  shell::LoopHooks hooks;
  hooks.afterFrame = AfterFrame;
  EXPECT_EQ(shell::RunMainLoop(&hooks), shell::LoopEnd::Stopped);
  EXPECT_TRUE(Rec().queue.empty());
  EXPECT_EQ(presented.size(), 1u);
  EXPECT_FALSE(shell::QuitRequested);
}

TEST_F(MainLoopTest, QuitRequestedEndsTheLoopAndLeavesTheTeardownToTheExitHandler) {
  shell::OpenShellWindow(800, 600, 32, false, true);
  framePositions = {100};
  Take();
  shell::LoopHooks hooks;
  hooks.afterFrame = AfterFrameRequestQuit;
  EXPECT_EQ(shell::RunMainLoop(&hooks), shell::LoopEnd::QuitRequested);
  EXPECT_EQ(presented.size(), 1u);
  EXPECT_EQ(Take(), (Calls{"glClear " + std::to_string(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT), "A 100",
                           "SwapBuffers"}));
}

// A stop request from outside (Ctrl+C, SIGTERM, a hang-up) takes the way out
// of a closed window: at the next pump, no frame, the teardown once, and the
// exit code of a closed window.
TEST_F(MainLoopTest, AStopRequestEndsAtTheNextPumpLikeClosingTheWindow) {
  auto result = testsupport::RunInChild([] {
    shell::OpenShellWindow(800, 600, 32, false, true);
    framePositions = {5'000'000};
    Note("opened");
    platform::RequestStop();
    // A loop that missed the request ends after three frames instead.
    framesToRun = 3;
    shell::LoopHooks hooks;
    hooks.afterFrame = AfterFrame;
    if (shell::RunMainLoop(&hooks) == shell::LoopEnd::QuitMessage) Note("quit message");
  });
  EXPECT_EQ(result.exitCode, platform::kStopExitCode);
  const std::string out = result.out.substr(result.out.find("opened\n") + 7);
  EXPECT_EQ(out, "PostQuitMessage\nRestoreDisplayMode\nMakeCurrent none\nDeleteContext\nReleaseDC\n"
                 "PostQuitMessage\nShowCursor on\nquit message\n");
}

// The loading pumps no messages: a stop request ends the program at the
// next picture or scene item, through the exit handler's teardown.
class StopDuringLoading : public MainLoopTest, public ::testing::WithParamInterface<int> {};

TEST_P(StopDuringLoading, EndsAtTheNextItemWithTheTeardownOnce) {
  const int step = GetParam();
  auto result = testsupport::RunInChild([step] {
    shell::OpenShellWindow(800, 600, 32, false, true);
    Note("opened");
    platform::RequestStop();
    // Nothing of OpenGL is bound here: going on past the request would crash.
    std::uint32_t texture = 0;
    if (step == 0) assets::LoadTexture("hund.tga", texture);
    if (step == 1) {
      scene::LoadedItems = 5000;
      scene::DrawLoadingProgress();
    }
    Note("went on");
  });
  EXPECT_EQ(result.signal, 0);
  EXPECT_EQ(result.exitCode, platform::kStopExitCode);
  const std::string out = result.out.substr(result.out.find("opened\n") + 7);
  EXPECT_EQ(out, "RestoreDisplayMode\nMakeCurrent none\nDeleteContext\nReleaseDC\nPostQuitMessage\n"
                 "ShowCursor on\n");
}

INSTANTIATE_TEST_SUITE_P(PictureAndSceneItem, StopDuringLoading, ::testing::Values(0, 1));

TEST_F(MainLoopTest, AMusicRestartStartsTheTimelineAgainAtA) {
  framePositions = {12'000'000, 3'000'000, 1'000};
  framesToRun = 3;
  shell::LoopHooks hooks;
  hooks.afterFrame = AfterFrame;
  Take();
  EXPECT_EQ(shell::RunMainLoop(&hooks), shell::LoopEnd::Stopped);
  EXPECT_EQ(presented, framePositions);
  Calls drawn;
  for (const auto& c : Take()) {
    if (c.rfind("glClear", 0) != 0 && c != "SwapBuffers") drawn.push_back(c.substr(0, 1));
  }
  EXPECT_EQ(drawn, (Calls{"F", "B", "A"}));
}

}  // namespace
