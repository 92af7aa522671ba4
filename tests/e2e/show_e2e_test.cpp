// The real quillon binary on the generated data set in a real X server
// (Xvfb) with SDL's dummy audio driver: the whole show plays and ends with
// exit code 0 after the end position; Escape in the middle of segment C ends
// it with exit code 0; two runs print the same console lines.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/files.h"
#include "support/temp_dir.h"

namespace {

std::string Binary() { return testsupport::BinaryDir() + "/quillon"; }
std::string Data() {
  const char* given = std::getenv("QUILLON_E2E_DATA_DIR");
  return given ? given : testsupport::BinaryDir() + "/show";
}

// An Xvfb of our own on a display number it picks itself (-displayfd), so
// that parallel tests never share or guess one. Stopped by its pid.
class Xvfb {
 public:
  Xvfb() {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(fds[0]);
      const std::string fd = std::to_string(fds[1]);
      int null = open("/dev/null", O_WRONLY);
      dup2(null, 2);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "800x600x24", "-nolisten", "tcp",
             static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    char buffer[16] = {};
    ssize_t n = read(fds[0], buffer, sizeof buffer - 1);
    close(fds[0]);
    if (n > 0) display_ = ":" + std::to_string(std::atoi(buffer));
  }
  ~Xvfb() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  const std::string& display() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

struct Show {
  pid_t pid = -1;
  std::string outFile;
};

Show StartShow(const std::string& display, const testsupport::TempDir& dir) {
  Show show;
  show.outFile = dir.File("stdout.txt");
  show.pid = fork();
  if (show.pid == 0) {
    if (chdir(Data().c_str()) != 0) _exit(126);
    int out = open(show.outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, 1);
    setenv("DISPLAY", display.c_str(), 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    unsetenv("SDL_VIDEODRIVER");
    setenv("QUILLON_NO_DIALOGS", "1", 1);
    execl(Binary().c_str(), Binary().c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  return show;
}

// Waits for the show to end; a show that does not end within the limit is
// stopped and reported (-2), never left behind.
int WaitShow(const Show& show, int limitSeconds) {
  for (int tenth = 0; tenth < limitSeconds * 10; ++tenth) {
    int status = 0;
    if (waitpid(show.pid, &status, WNOHANG) == show.pid) {
      return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  kill(show.pid, SIGKILL);
  waitpid(show.pid, nullptr, 0);
  return -2;
}

std::string Output(const Show& show) {
  auto bytes = platform::ReadWholeFile(show.outFile);
  return std::string(bytes.begin(), bytes.end());
}

// Types Escape into the show window once it exists, `delaySeconds` after it
// appeared (the music starts after loading, so this lands well inside
// segment C, which runs from about 24.7 s to 37 s of the music).
bool EscapeAfter(const std::string& display, int delaySeconds) {
  const std::string env = "DISPLAY=" + display + " ";
  for (int i = 0; i < 300; ++i) {
    if (testsupport::RunCommand(env + "xdotool search --name '^Quillon$'").exitCode == 0) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  std::this_thread::sleep_for(std::chrono::seconds(delaySeconds));
  return testsupport::RunCommand(env + "xdotool search --name '^Quillon$' windowfocus --sync key Escape").exitCode == 0;
}

bool HaveAll() {
  return std::filesystem::exists(Binary()) && std::filesystem::exists(Data() + "/cam.3dw") &&
         testsupport::RunCommand("command -v Xvfb >/dev/null && command -v xdotool >/dev/null").exitCode == 0;
}

#define REQUIRE_ALL() \
  if (!HaveAll()) GTEST_SKIP() << "needs the quillon binary, the data set in " << Data() << ", Xvfb and xdotool"

TEST(ShowEndToEnd, PlaysTheWholeShowAndExitsZeroAfterTheEnd) {
  REQUIRE_ALL();
  Xvfb x;
  ASSERT_FALSE(x.display().empty());
  testsupport::TempDir dir;
  const Show show = StartShow(x.display(), dir);
  // 13,900,000 position units are 78.8 s of music, after the loading.
  EXPECT_EQ(WaitShow(show, 240), 0) << Output(show);
}

TEST(ShowEndToEnd, EscapeInSegmentCExitsZeroAndTwoRunsPrintTheSameLines) {
  REQUIRE_ALL();
  std::string lines[2];
  for (int run = 0; run < 2; ++run) {
    Xvfb x;
    ASSERT_FALSE(x.display().empty());
    testsupport::TempDir dir;
    const Show show = StartShow(x.display(), dir);
    ASSERT_TRUE(EscapeAfter(x.display(), 32)) << "no show window to type into";
    EXPECT_EQ(WaitShow(show, 60), 0);
    lines[run] = Output(show);
  }
  EXPECT_EQ(lines[0], lines[1]);
}

}  // namespace
