#include "x_session.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "platform/files.h"
#include "support/temp_dir.h"

namespace e2e {

namespace fs = std::filesystem;
using testsupport::RunCommand;

std::string DataDir() {
  const char* given = std::getenv("QUILLON_E2E_DATA_DIR");
  return given ? given : testsupport::BinaryDir() + "/show";
}

bool Have(const char* command) { return RunCommand(std::string("command -v ") + command).exitCode == 0; }

Xvfb::Xvfb(const std::string& screen) {
  const int first = 90 + static_cast<int>(getpid() % 64);
  for (int n = first; n < first + 40 && display_.empty(); ++n) {
    if (fs::exists("/tmp/.X11-unix/X" + std::to_string(n)) || fs::exists("/tmp/.X" + std::to_string(n) + "-lock")) {
      continue;
    }
    const std::string name = testsupport::Join({":", std::to_string(n)});
    pid_ = fork();
    if (pid_ == 0) {
      int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      dup2(null, 2);
      execlp("Xvfb", "Xvfb", name.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp", "-noreset",
             static_cast<char*>(nullptr));
      _exit(127);
    }
    if (Reachable(name)) {
      display_ = name;
    } else {
      Stop();
    }
  }
}

Xvfb::~Xvfb() { Stop(); }

bool Xvfb::Reachable(const std::string& name) {
  for (int i = 0; i < 100; ++i) {
    if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
      pid_ = -1;  // it gave up: the number was taken after all
      return false;
    }
    if (RunCommand("DISPLAY=" + name + " xdotool getdisplaygeometry").exitCode == 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

void Xvfb::Stop() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  pid_ = -1;
}

Show::Show(const std::string& display, const std::string& workDir, const std::string& outDir,
           const Environment& environment)
    : out_(outDir + "/stdout"), err_(outDir + "/stderr") {
  pid_ = fork();
  if (pid_ == 0) {
    if (chdir(workDir.c_str()) != 0) _exit(126);
    int out = open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, 1);
    dup2(err, 2);
    setenv("DISPLAY", display.c_str(), 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    unsetenv("SDL_VIDEODRIVER");
    setenv("QUILLON_NO_DIALOGS", "1", 1);
    for (const auto& [name, value] : environment) setenv(name.c_str(), value.c_str(), 1);
    execl(QUILLON_BINARY, QUILLON_BINARY, static_cast<char*>(nullptr));
    _exit(127);
  }
}

Show::~Show() {
  if (pid_ > 0 && !ended_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

bool Show::Running() {
  if (ended_) return false;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) != pid_) return true;
  ended_ = true;
  exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return false;
}

int Show::Wait(int limitSeconds) {
  for (int tenth = 0; tenth < limitSeconds * 10 && Running(); ++tenth) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return Running() ? -2 : exitCode_;
}

namespace {
std::string Slurp(const std::string& path) {
  if (!fs::exists(path)) return {};
  auto bytes = platform::ReadWholeFile(path);
  return std::string(bytes.begin(), bytes.end());
}
}  // namespace

std::string Show::Out() const { return Slurp(out_); }
std::string Show::Err() const { return Slurp(err_); }

std::string X(const std::string& display, const std::string& command) {
  auto result = RunCommand("DISPLAY=" + display + " " + command);
  return result.exitCode == 0 ? result.out : std::string();
}

std::string WaitForWindow(const std::string& display, Show& show, int limitSeconds) {
  for (int i = 0; i < limitSeconds * 10 && show.Running(); ++i) {
    std::string id = X(display, "xdotool search --name '^Quillon$'");
    if (!id.empty()) return id.substr(0, id.find('\n'));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return {};
}

}  // namespace e2e
