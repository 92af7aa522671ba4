// Stop requests from POSIX signals, and the process's number.
#include "platform/process.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "platform/backend.h"

namespace platform {

namespace {

// Lock-free atomics and write() are all a signal handler touches.
std::atomic<bool> stopRequested{false};
std::atomic<int> stopPipeWrite{-1};
int stopPipeRead = -1;
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free);

void OnStopSignal(int) {
  const int savedErrno = errno;
  RequestStop();
  errno = savedErrno;
}

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

}  // namespace

std::uint64_t CurrentProcessId() { return static_cast<std::uint64_t>(getpid()); }

void InstallStopRequests() {
  if (stopPipeRead < 0) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0) {
      stopPipeRead = ends[0];
      stopPipeWrite.store(ends[1]);
      // A stop requested before the pipe existed still wakes its watchers.
      if (stopRequested.load()) RequestStop();
    }
  }
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  // Interrupted system calls go on: a read cut short by a stop would
  // otherwise look like a damaged file. The request is acted on where the
  // program next looks for it.
  action.sa_flags = SA_RESTART;
  for (int signal : kStopSignals) sigaction(signal, &action, nullptr);
  // A reader that has gone away (`quillon | head`) makes a write fail with
  // EPIPE rather than end the show before its teardown can put the display
  // back.
  signal(SIGPIPE, SIG_IGN);
}

void RequestStop() {
  stopRequested.store(true);
  const int fd = stopPipeWrite.load();
  if (fd >= 0) {
    // The pipe is never drained, so it stays readable; once it is full a
    // write fails, and the byte already in it says the same thing.
    const char byte = 1;
    ssize_t ignored = write(fd, &byte, 1);
    (void)ignored;
  }
}

bool StopRequested() { return stopRequested.load(); }

int backend::StopRequestDescriptor() { return stopPipeRead; }

}  // namespace platform
