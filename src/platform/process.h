#pragma once
// The process itself, where the operating system meets the program's ways
// out: which process this is, and requests from outside to stop.
//
// A stop request is what the operating system sends a program it wants
// ended: Ctrl+C (SIGINT), a service manager, `timeout` or `kill` (SIGTERM),
// a closing terminal or a logout (SIGHUP). The show takes each as the viewer
// closing the window: the teardown runs once and the exit code is the one of
// a closed window. On Windows the same requests arrive at a console control
// handler (Ctrl+C, Ctrl+Break, the console closed, logoff, shutdown). The
// backend folder holds the operating system's side: platform/sdl/process.cpp
// (POSIX signals and a self-pipe), platform/win32/process.cpp (the console
// control handler).
#include <cstdint>

namespace platform {

// The number of this process. A forked copy has a number of its own, so an
// exit handler that notes the number when it is put in place can tell that
// it runs in a copy (a helper a library forked, a test's child) and leave the
// teardown to the process that owns the window.
std::uint64_t CurrentProcessId();

// The exit code of a stop request: the one of closing the window.
inline constexpr int kStopExitCode = 0;

// Turns the stop signals into stop requests. The handlers only note the
// request (a flag, and a byte written to a pipe that waits can watch), which
// is all a signal handler may safely do; the program acts on it where it is
// safe to. Called once, early on the main thread, before any thread starts.
void InstallStopRequests();

// Notes a stop request as the signals do; safe inside a signal handler.
void RequestStop();

// True once a stop has been requested; never cleared.
bool StopRequested();

// Ends the program through its normal exit path (exit handlers run) with
// kStopExitCode when a stop has been requested. Called where the program
// works for a while without pumping its messages: at every picture and
// scene item of the loading.
void EndIfStopRequested();

}  // namespace platform
