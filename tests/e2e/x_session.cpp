#include "x_session.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "platform/files.h"
#include "platform/image.h"
#include "support/temp_dir.h"

namespace e2e {

namespace fs = std::filesystem;
using testsupport::RunCommand;

std::string DataDir() {
  const char* given = std::getenv("QUILLON_E2E_DATA_DIR");
  return given ? given : testsupport::BinaryDir() + "/show";
}

void MakeFolderWithoutPictures(const std::string& folder) {
  std::FILE* music = std::fopen((folder + "/music.mp3").c_str(), "wb");
  if (music) std::fclose(music);
}

bool Have(const char* command) { return RunCommand(std::string("command -v ") + command).exitCode == 0; }

bool OfferShowMode(const std::string& display) {
  const std::string xrandr = "DISPLAY=" + display + " xrandr ";
  // A VESA 800 x 600 at 60 Hz timing; Xvfb takes any.
  return RunCommand(xrandr + "--newmode 800x600_60 40.00 800 840 968 1056 600 601 605 628 +hsync +vsync").exitCode ==
             0 &&
         RunCommand(xrandr + "--addmode screen 800x600_60").exitCode == 0;
}

std::string CurrentMode(const std::string& display) {
  const std::string out = X(display, "xrandr");
  const std::string key = " current ";
  const auto at = out.find(key);
  if (at == std::string::npos) return {};
  const auto end = out.find(',', at);
  std::string mode = out.substr(at + key.size(), end - at - key.size());
  mode.erase(std::remove(mode.begin(), mode.end(), ' '), mode.end());
  return mode;
}

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

Xvfb::Xvfb(int width, int height)
    : Xvfb(testsupport::Join({std::to_string(width), "x", std::to_string(height), "x24"})) {}

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
           const ShowOptions& options)
    : ownGroup_(options.ownGroup), out_(outDir + "/stdout"), err_(outDir + "/stderr") {
  // Everything the child needs is made before the fork.
  std::vector<std::string> command = options.command;
  if (command.empty()) command.push_back(QUILLON_BINARY);
  std::vector<char*> argv;
  for (std::string& arg : command) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_ = fork();
  if (pid_ == 0) {
    if (options.ownGroup) setpgid(0, 0);
    if (chdir(workDir.c_str()) != 0) _exit(126);
    int out = open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, 1);
    dup2(err, 2);
    setenv("DISPLAY", display.c_str(), 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    unsetenv("SDL_VIDEODRIVER");
    if (options.dialogs) {
      unsetenv("QUILLON_NO_DIALOGS");
    } else {
      setenv("QUILLON_NO_DIALOGS", "1", 1);
    }
    for (const auto& [name, value] : options.environment) setenv(name.c_str(), value.c_str(), 1);
    execv(argv[0], argv.data());
    _exit(127);
  }
  // Set from both sides, so the group exists before either goes on.
  if (options.ownGroup && pid_ > 0) setpgid(pid_, pid_);
}

Show::~Show() {
  if (pid_ > 0 && ownGroup_) kill(-pid_, SIGKILL);
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
  termSignal_ = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  return false;
}

int Show::Wait(int limitSeconds) { return WaitMs(limitSeconds * 1000); }

int Show::WaitMs(int limitMs) {
  for (int waited = 0; waited < limitMs && Running(); waited += 20) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return Running() ? -2 : exitCode_;
}

void Show::Signal(int sig, bool wholeGroup) {
  if (pid_ > 0 && !ended_) kill(wholeGroup && ownGroup_ ? -pid_ : pid_, sig);
}

bool Show::GroupGoneWithin(int limitMs) {
  for (int waited = 0;; waited += 20) {
    // A process that ended but is not reaped yet still counts as one of the
    // group; the show is reaped here, its helpers by whoever adopted them.
    const bool gone = !Running() && (!ownGroup_ || (kill(-pid_, 0) != 0 && errno == ESRCH));
    if (gone) return true;
    if (waited >= limitMs) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
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

bool WaitForTitle(const std::string& display, Show& show, const std::string& title, int limitSeconds) {
  for (int i = 0; i < limitSeconds * 10 && show.Running(); ++i) {
    if (X(display, "xwininfo -root -children").find("\"" + title + "\"") != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

bool WaitForOutput(Show& show, const std::string& text, int limitSeconds) {
  for (int i = 0; i < limitSeconds * 10; ++i) {
    if (show.Out().find(text) != std::string::npos) return true;
    if (!show.Running()) return show.Out().find(text) != std::string::npos;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

Picture LoadPicture(const std::string& path) {
  Picture picture;
  platform::TextureImage* image = platform::txLoad(0, path.c_str(), 0);
  if (!image) return picture;
  picture.width = image->Width;
  picture.height = image->Height;
  const std::size_t pixels = static_cast<std::size_t>(image->Width) * image->Height;
  picture.rgb.resize(pixels * 3);
  for (std::size_t i = 0; i < pixels; ++i) {
    for (int c = 0; c < 3; ++c) picture.rgb[i * 3 + c] = image->Pixels[i * 4 + c];
  }
  platform::txFree(image);
  return picture;
}

Picture GrabScreen(const std::string& display, const std::string& path) {
  if (RunCommand("DISPLAY=" + display + " import -window root -depth 8 png24:" + path).exitCode != 0) return {};
  return LoadPicture(path);
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
