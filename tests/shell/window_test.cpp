// The show window module against a recording window system: the window
// procedure, the viewport and letterbox, the order of opening and of the
// teardown, the teardown running once, the fatal error reports and the exit
// handler on every way the program ends.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "platform/files.h"
#include "shell/window.h"
#include "support/temp_dir.h"
#include "window_recorder.h"

namespace {

using shelltest::Rec;
using shelltest::ShellTest;
using testsupport::RunInChild;
using Calls = std::vector<std::string>;

// Position of the first call that starts with prefix; -1 when absent.
int Find(const std::string& out, const std::string& call) {
  auto at = out.find(call + "\n");
  return at == std::string::npos ? -1 : static_cast<int>(at);
}

using WindowProcTest = ShellTest;

TEST_F(WindowProcTest, EscapeRequestsQuitAndPostsTheQuitMessage) {
  EXPECT_EQ(shell::ShellWindowProc(nullptr, platform::kWmChar, 27, 0), 0);
  EXPECT_TRUE(shell::QuitRequested);
  EXPECT_EQ(Take(), (Calls{"PostQuitMessage"}));
}

TEST_F(WindowProcTest, OtherCharactersDoNothing) {
  for (std::uintptr_t c : {std::uintptr_t{' '}, std::uintptr_t{'a'}, std::uintptr_t{13}, std::uintptr_t{26},
                           std::uintptr_t{28}, std::uintptr_t{27 + 256}}) {
    EXPECT_EQ(shell::ShellWindowProc(nullptr, platform::kWmChar, c, 0), 0) << c;
  }
  EXPECT_FALSE(shell::QuitRequested);
  EXPECT_TRUE(Take().empty());
}

TEST_F(WindowProcTest, CloseAndDestroyRequestQuitAndAreNotPassedOn) {
  EXPECT_EQ(shell::ShellWindowProc(nullptr, platform::kWmClose, 0, 0), 0);
  EXPECT_TRUE(shell::QuitRequested);
  shell::QuitRequested = false;
  EXPECT_EQ(shell::ShellWindowProc(nullptr, platform::kWmDestroy, 0, 0), 0);
  EXPECT_TRUE(shell::QuitRequested);
  EXPECT_EQ(Take(), (Calls{"PostQuitMessage", "PostQuitMessage"}));
}

TEST_F(WindowProcTest, OtherMessagesGoToTheDefaultProcedureWithItsResult) {
  Rec().defWindowProcResult = 42;
  EXPECT_EQ(shell::ShellWindowProc(nullptr, platform::kWmKeyDown, 27, 0), 42);
  EXPECT_FALSE(shell::QuitRequested);
  EXPECT_EQ(Take(), (Calls{"DefWindowProc 256"}));
}

using ViewportTest = ShellTest;

TEST_F(ViewportTest, OpeningSetsTheWholeWindowWithoutLetterbox) {
  shell::OpenShellWindow(800, 600, 32, false, false);
  EXPECT_EQ(Take().back(), "glViewport 0 0 800 600");
  shell::ApplyViewport();
  EXPECT_EQ(Take(), (Calls{"glViewport 0 0 800 600"}));
}

TEST_F(ViewportTest, LetterboxIsACentredSixteenToNineBand) {
  shell::OpenShellWindow(800, 600, 32, true, false);
  EXPECT_EQ(Take().back(), "glViewport 0 75 800 450");
  shell::CloseShellWindow();
  shell::OpenShellWindow(1024, 768, 32, true, false);
  EXPECT_EQ(Take().back(), "glViewport 0 96 1024 576");
  shell::ApplyViewport();
  EXPECT_EQ(Take(), (Calls{"glViewport 0 96 1024 576"}));
}

TEST_F(ViewportTest, LetterboxHeightRoundsHalvesToEven) {
  shell::Letterbox = true;
  shell::ScreenWidth = 8;  // 4.5
  shell::ScreenHeight = 8;
  EXPECT_EQ(shell::ViewportHeight(), 4);
  EXPECT_EQ(shell::ViewportTop(), 2);
  shell::ScreenWidth = 24;  // 13.5
  shell::ScreenHeight = 20;
  EXPECT_EQ(shell::ViewportHeight(), 14);
  EXPECT_EQ(shell::ViewportTop(), 3);
  shell::ScreenWidth = 25;  // 14.0625
  EXPECT_EQ(shell::ViewportHeight(), 14);
}

using OpenCloseTest = ShellTest;

TEST_F(OpenCloseTest, FullscreenOpensInOrder) {
  platform::WindowHandle window = shell::OpenShellWindow(800, 600, 32, false, true);
  EXPECT_EQ(window, shelltest::FakeWindow());
  EXPECT_EQ(shell::ShellWindow, window);
  EXPECT_EQ(Take(), (Calls{"RegisterClass Zelbrinwnd",
                           "CreateWindow Zelbrinwnd Quillon 800x600 popup colour 32 depth 32", "ShowWindow",
                           "ShowCursor off", "ChangeDisplayMode 800x600x32", "GetDC", "ChoosePixelFormat 32/32 double",
                           "SetPixelFormat 7", "CreateContext", "MakeCurrent", "glViewport 0 0 800 600"}));
  EXPECT_TRUE(shell::Fullscreen);
  EXPECT_EQ(shell::ShellDC, shelltest::FakeDc());
  EXPECT_EQ(shell::ShellRC, shelltest::FakeRc());
}

TEST_F(OpenCloseTest, WindowedHasAFrameAndLeavesTheDisplayAlone) {
  shell::Fullscreen = false;
  shell::OpenShellWindow(640, 480, 16, false, false);
  Calls calls = Take();
  EXPECT_EQ(calls[1], "CreateWindow Zelbrinwnd Quillon 640x480 framed colour 16 depth 16");
  for (const auto& c : calls) EXPECT_EQ(c.find("DisplayMode"), std::string::npos) << c;
  shell::CloseShellWindow();
  EXPECT_EQ(Take(), (Calls{"MakeCurrent none", "DeleteContext", "ReleaseDC", "PostQuitMessage", "ShowCursor on"}));
}

TEST_F(OpenCloseTest, TeardownRestoresReleasesAndShowsTheCursorInOrderOnce) {
  shell::OpenShellWindow(800, 600, 32, false, true);
  Take();
  shell::CloseShellWindow();
  EXPECT_EQ(Take(), (Calls{"RestoreDisplayMode", "MakeCurrent none", "DeleteContext", "ReleaseDC",
                           "PostQuitMessage", "ShowCursor on"}));
  EXPECT_FALSE(shell::Fullscreen);
  EXPECT_EQ(shell::ShellDC, nullptr);
  EXPECT_EQ(shell::ShellRC, nullptr);
  shell::CloseShellWindow();
  shell::ShellExitHandler();
  EXPECT_TRUE(Take().empty());
}

TEST_F(OpenCloseTest, ARefusedDisplayModeKeepsTheShowGoingAndIsStillRestored) {
  Rec().refuseDisplayMode = true;
  shell::OpenShellWindow(800, 600, 32, false, true);
  EXPECT_TRUE(shell::Fullscreen);
  EXPECT_EQ(Take().back(), "glViewport 0 0 800 600");
  shell::CloseShellWindow();
  EXPECT_EQ(Take().front(), "RestoreDisplayMode");
}

TEST_F(OpenCloseTest, FramesArePresentedOnTheShowWindowUntilTheTeardown) {
  shell::OpenShellWindow(800, 600, 32, false, true);
  Take();
  shell::SwapFrame();
  ASSERT_TRUE(platform::HasPresentTarget());
  platform::PresentFrame();  // how the loading progress presents
  EXPECT_EQ(Take(), (Calls{"SwapBuffers", "SwapBuffers"}));
  shell::CloseShellWindow();
  Take();
  EXPECT_FALSE(platform::HasPresentTarget());
  shell::SwapFrame();
  EXPECT_TRUE(Take().empty());
}

// Each set-up failure in a child: teardown first, then the box, exit code 1.
struct FailureCase {
  const char* name;
  void (*arrange)();
  const char* text;
};

class FatalErrorTest : public ShellTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(FatalErrorTest, TearsDownThenShowsTheBoxAndExitsOne) {
  const FailureCase& c = GetParam();
  auto result = RunInChild([&] {
    c.arrange();
    shell::OpenShellWindow(800, 600, 32, false, true);
    std::printf("returned\n");
  });
  EXPECT_EQ(result.exitCode, 1) << result.out;
  const std::string box = std::string("MessageBox Error ... | ") + c.text + " | error icon";
  int boxAt = Find(result.out, box);
  ASSERT_GE(boxAt, 0) << result.out;
  EXPECT_EQ(result.out.find(box), result.out.rfind(box)) << "one box";
  // The display is back in its own mode before the box appears, even where
  // the failure came before the switch.
  int restoreAt = Find(result.out, "RestoreDisplayMode");
  ASSERT_GE(restoreAt, 0) << result.out;
  EXPECT_LT(restoreAt, boxAt);
  EXPECT_LT(Find(result.out, "ShowCursor on"), boxAt);
  EXPECT_EQ(result.out.find("ShowCursor on"), result.out.rfind("ShowCursor on")) << "teardown once";
  EXPECT_EQ(result.out.find("returned"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    EveryStep, FatalErrorTest,
    ::testing::Values(FailureCase{"RegisterClass", [] { Rec().refuseClass = true; }, "Fail: RegisterClass()."},
                      FailureCase{"CreateWindow", [] { Rec().refuseWindow = true; }, "Fail: CreateWindowEx()."},
                      FailureCase{"ChoosePixelFormat", [] { Rec().pixelFormat = 0; }, "Fail: ChoosePixelFormat."},
                      FailureCase{"SetPixelFormat", [] { Rec().refusePixelFormat = true; }, "Fail: SetPixelFormat."},
                      FailureCase{"CreateContext", [] { Rec().refuseContext = true; }, "Fail: wglCreateContext."},
                      FailureCase{"MakeCurrent", [] { Rec().refuseMakeCurrent = true; }, "Fail: wglMakeCurrent."}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

TEST_F(FatalErrorTest, AContextThatCannotBeMadeCurrentIsDeletedByTheTeardown) {
  auto result = RunInChild([] {
    Rec().refuseMakeCurrent = true;
    shell::OpenShellWindow(800, 600, 32, false, false);
  });
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_GE(Find(result.out, "DeleteContext"), 0) << result.out;
  EXPECT_LT(Find(result.out, "DeleteContext"), Find(result.out, "MessageBox Error ... | Fail: wglMakeCurrent. | error icon"));
}

// The exit handler: every end of the program after the window opened tears
// it down once, before the handlers registered earlier.
using ExitHandlerTest = ShellTest;

void EarlierHandler() {
  std::printf("earlier handler\n");
  std::fflush(stdout);
}

TEST_F(ExitHandlerTest, AnOrdinaryEndTearsDownBeforeEarlierHandlers) {
  auto result = RunInChild([] {
    std::atexit(EarlierHandler);
    shell::OpenShellWindow(800, 600, 32, false, true);
    std::exit(0);
  });
  EXPECT_EQ(result.exitCode, 0);
  int restore = Find(result.out, "RestoreDisplayMode");
  ASSERT_GE(restore, 0) << result.out;
  EXPECT_LT(Find(result.out, "ShowCursor on"), Find(result.out, "earlier handler")) << result.out;
}

TEST_F(ExitHandlerTest, AnExplicitTeardownIsNotRepeatedAtTheEnd) {
  auto result = RunInChild([] {
    shell::OpenShellWindow(800, 600, 32, false, true);
    shell::CloseShellWindow();
    std::printf("closed\n");
  });
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.out.find("RestoreDisplayMode"), result.out.rfind("RestoreDisplayMode"));
  EXPECT_EQ(result.out.find("DeleteContext"), result.out.rfind("DeleteContext"));
  EXPECT_LT(Find(result.out, "ShowCursor on"), Find(result.out, "closed"));
  EXPECT_EQ(result.out.substr(result.out.size() - 7), "closed\n") << result.out;
}

TEST_F(ExitHandlerTest, AFailedFileOperationReportsExits217AndStillTearsDown) {
  auto result = RunInChild([] {
    std::atexit(EarlierHandler);
    shell::OpenShellWindow(800, 600, 32, false, true);
    std::printf("opened\n");
    platform::RaiseUnhandledError("File not found");
  });
  EXPECT_EQ(result.exitCode, 217);
  const std::string out = result.out;
  auto report = out.find("opened\nAn unhandled exception occurred at 0x");
  ASSERT_NE(report, std::string::npos) << out;
  const std::string firstLine = out.substr(report + 7, out.find('\n', report + 7) - report - 7);
  ASSERT_EQ(firstLine.size(), std::string("An unhandled exception occurred at 0x").size() + 8 + 2) << firstLine;
  EXPECT_EQ(firstLine.substr(firstLine.size() - 2), " :");
  EXPECT_EQ(firstLine.find_first_not_of("0123456789ABCDEF", 37), firstLine.size() - 2) << firstLine;
  EXPECT_NE(out.find(firstLine + "\nFile not found\n"), std::string::npos) << out;
  int restore = Find(out, "RestoreDisplayMode");
  EXPECT_GT(restore, static_cast<int>(report));
  EXPECT_LT(restore, Find(out, "earlier handler"));
}

TEST_F(ExitHandlerTest, AForkedCopyLeavesTheTeardownToTheProcessThatOpenedTheWindow) {
  // A library's helper process, or a test's child, forked while the window
  // is open: its end runs the inherited exit handler, which must not touch
  // the window, the display mode or the context of its parent.
  auto result = RunInChild([] {
    shell::OpenShellWindow(800, 600, 32, false, true);
    std::fflush(stdout);
    pid_t copy = fork();
    if (copy == 0) {
      std::printf("copy ends\n");
      std::exit(0);
    }
    int status = 0;
    waitpid(copy, &status, 0);
    std::printf("copy ended %d\n", WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  });
  EXPECT_EQ(result.exitCode, 0);
  const int ended = Find(result.out, "copy ended 0");
  ASSERT_GE(ended, 0) << result.out;
  EXPECT_LT(Find(result.out, "copy ends"), ended);
  EXPECT_GT(Find(result.out, "RestoreDisplayMode"), ended) << result.out;
  EXPECT_EQ(result.out.find("RestoreDisplayMode"), result.out.rfind("RestoreDisplayMode")) << result.out;
  EXPECT_EQ(result.out.find("ShowCursor on"), result.out.rfind("ShowCursor on")) << result.out;
}

TEST_F(ExitHandlerTest, AnUncaughtExceptionStillRestoresTheDisplay) {
  auto result = RunInChild([] {
    shell::OpenShellWindow(800, 600, 32, false, true);
    // A thread's uncaught exception goes straight to std::terminate.
    std::thread([] { throw std::runtime_error("nobody catches this"); }).join();
  });
  EXPECT_EQ(result.signal, SIGABRT);
  EXPECT_GE(Find(result.out, "RestoreDisplayMode"), 0) << result.out;
  EXPECT_GE(Find(result.out, "ShowCursor on"), 0) << result.out;
}

}  // namespace
