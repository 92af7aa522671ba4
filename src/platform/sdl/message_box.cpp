// Message boxes through SDL, where a display can show them.
//
// A box is shown by a helper process: the program started again from its own
// file, with a marker in its environment, when the program has offered to
// serve it (ServeMessageBox). SDL's X11 box blocks its caller until it is
// dismissed, in a process SDL forks for the purpose; the program's own wait
// watches the stop requests beside the helper and, on one, kills the helper,
// whose end takes SDL's box process with it.
#include <SDL.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/backend.h"

extern char** environ;

namespace platform::backend {

namespace {

// The helper's environment names the icon ("error" or "information") and the
// process that started it; its arguments are the caption and the text.
constexpr const char* kHelperMarker = "QUILLON_MESSAGE_BOX";
constexpr const char* kHelperParent = "QUILLON_MESSAGE_BOX_PARENT";
bool helperAvailable = false;
// The program's own file, noted at start: /proc may be gone from view by the
// time a box is needed (a chroot, a namespace, a process limit).
std::string helperPath;
pid_t helperProcess = 0;

// SDL shows an X11 box from a process it forks for the purpose. That one
// must end with the helper too, or a killed helper would leave its box up.
void EndWithHelper() {
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != helperProcess) _exit(1);
}

enum class HelperBox { Shown, Failed, NotStarted };

HelperBox ShowInHelper(const char* text, const char* caption, bool errorIcon) {
  // The helper and whatever it starts hold the write end; the read end sees
  // the end of the file once all of them are gone.
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return HelperBox::NotStarted;
  fcntl(ends[1], F_SETFD, 0);

  std::vector<std::string> environment;
  const std::string markerPrefix = std::string(kHelperMarker);
  for (char** entry = environ; *entry; ++entry) {
    if (std::strncmp(*entry, kHelperMarker, markerPrefix.size()) != 0) environment.emplace_back(*entry);
  }
  environment.push_back(markerPrefix + "=" + (errorIcon ? "error" : "information"));
  environment.push_back(std::string(kHelperParent) + "=" + std::to_string(getpid()));
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::string name = "quillon-message-box", captionText = caption, bodyText = text;
  char* argv[] = {name.data(), captionText.data(), bodyText.data(), nullptr};

  // The helper starts with the stop signals at their defaults and none
  // blocked: a stop sent to the whole process group ends it at once.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t signals;
  sigemptyset(&signals);
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaddset(&signals, signal);
  posix_spawnattr_setsigdefault(&attributes, &signals);
  sigemptyset(&signals);
  posix_spawnattr_setsigmask(&attributes, &signals);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, helperPath.c_str(), nullptr, &attributes, argv, envp.data());
  posix_spawnattr_destroy(&attributes);
  close(ends[1]);
  if (spawned != 0) {
    close(ends[0]);
    return HelperBox::NotStarted;
  }

  bool stopped = false;
  for (;;) {
    pollfd watched[2] = {{ends[0], POLLIN, 0}, {StopRequestDescriptor(), POLLIN, 0}};
    const int count = poll(watched, watched[1].fd >= 0 ? 2 : 1, -1);
    if (count < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (watched[1].fd >= 0 && (watched[1].revents & POLLIN)) {
      stopped = true;
      kill(pid, SIGKILL);
      break;
    }
    if (watched[0].revents) {
      char byte;
      if (read(ends[0], &byte, 1) <= 0) break;
    }
  }
  close(ends[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (stopped) return HelperBox::Shown;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? HelperBox::Shown : HelperBox::Failed;
}

// Where the box process SDL forks from this process, when no helper could
// start, writes its number; -1 when no box waits.
std::atomic<int> boxNumberPipe{-1};

void NoteBoxProcess() {
  const int fd = boxNumberPipe.load();
  if (fd < 0) return;
  const pid_t pid = getpid();
  ssize_t ignored = write(fd, &pid, sizeof pid);
  (void)ignored;
}

// The box in this process, when no helper could start: SDL's X11 box runs in
// a process SDL forks and waits for. A watcher learns that process's number
// and, on a stop request, kills it, so the wait ends as it would on a click.
bool ShowHere(const char* text, const char* caption, bool errorIcon) {
  const Uint32 flags = errorIcon ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_INFORMATION;
  static const bool noted = pthread_atfork(nullptr, nullptr, NoteBoxProcess) == 0;
  int numbers[2], done[2];
  if (!noted || pipe2(numbers, O_CLOEXEC) != 0) return SDL_ShowSimpleMessageBox(flags, caption, text, nullptr) == 0;
  if (pipe2(done, O_CLOEXEC) != 0) {
    close(numbers[0]);
    close(numbers[1]);
    return SDL_ShowSimpleMessageBox(flags, caption, text, nullptr) == 0;
  }
  std::atomic<bool> stopped{false};
  boxNumberPipe.store(numbers[1]);
  std::thread watcher([&] {
    pid_t box = 0;
    for (;;) {
      // Once stopped, the stop descriptor stays readable: only the box's
      // number and the end are waited for then.
      const int stopFd = stopped.load() ? -1 : StopRequestDescriptor();
      pollfd watched[3] = {{numbers[0], POLLIN, 0}, {done[0], POLLIN, 0}, {stopFd, POLLIN, 0}};
      if (poll(watched, stopFd >= 0 ? 3 : 2, -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (watched[0].revents & POLLIN) {
        pid_t pid = 0;
        if (read(numbers[0], &pid, sizeof pid) == static_cast<ssize_t>(sizeof pid)) box = pid;
      }
      if (watched[1].revents) return;
      if (stopFd >= 0 && (watched[2].revents & POLLIN)) stopped.store(true);
      if (stopped.load() && box > 0) {
        kill(box, SIGKILL);
        box = 0;
      }
    }
  });
  const bool shown = SDL_ShowSimpleMessageBox(flags, caption, text, nullptr) == 0;
  boxNumberPipe.store(-1);
  close(done[1]);
  watcher.join();
  close(done[0]);
  close(numbers[0]);
  close(numbers[1]);
  return shown || stopped.load();
}

}  // namespace

bool ShowSystemMessageBox(const char* text, const char* caption, bool errorIcon) {
  const char* driver = SDL_GetCurrentVideoDriver();
  if (!driver) driver = "";
  // SDL's stand-in drivers draw nowhere: a box there would wait for a click
  // nobody can give.
  bool haveDisplay = SDL_WasInit(SDL_INIT_VIDEO) != 0 && SDL_GetNumVideoDisplays() > 0 &&
                     SDL_strcmp(driver, "dummy") != 0 && SDL_strcmp(driver, "offscreen") != 0;
  if (!haveDisplay) return false;
  const HelperBox helper = helperAvailable ? ShowInHelper(text, caption, errorIcon) : HelperBox::NotStarted;
  if (helper != HelperBox::NotStarted) return helper == HelperBox::Shown;
  return ShowHere(text, caption, errorIcon);
}

int ServeMessageBox(int argc, char** argv) {
  const char* kind = std::getenv(kHelperMarker);
  if (!kind) {
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    helperAvailable = length > 0 && static_cast<std::size_t>(length) < sizeof path - 1;
    if (helperAvailable) helperPath.assign(path, static_cast<std::size_t>(length));
    return -1;
  }
  // The helper: it ends when the program that started it ends, however that
  // happens, and so does the box process SDL forks from it.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  const char* parent = std::getenv(kHelperParent);
  if (!parent || std::to_string(getppid()) != parent || argc < 3) return 1;
  helperProcess = getpid();
  pthread_atfork(nullptr, nullptr, EndWithHelper);
  const Uint32 flags = std::strcmp(kind, "error") == 0 ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_INFORMATION;
  return SDL_ShowSimpleMessageBox(flags, argv[1], argv[2], nullptr) == 0 ? 0 : 1;
}

}  // namespace platform::backend
