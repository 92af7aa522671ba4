// Stop requests from the console's control events, and the process's number.
//
// Windows calls the control handler on a thread of its own. Ctrl+C and
// Ctrl+Break leave the process running once the handler returns; closing
// the console, logging off and shutting down end it when the handler returns
// (or after a few seconds), so the handler waits there while the main thread
// takes the way out of a closed window. The request also closes the windows
// of the main thread, the message box included: a box is modal on the main
// thread and would otherwise hold it until someone clicks.
#include <windows.h>

#include <atomic>

#include "platform/backend.h"
#include "platform/process.h"

namespace platform {

namespace {

std::atomic<bool> stopRequested{false};
std::atomic<DWORD> mainThread{0};

BOOL CALLBACK CloseWindowOfMainThread(HWND window, LPARAM) {
  PostMessageA(window, WM_CLOSE, 0, 0);
  return TRUE;
}

BOOL WINAPI OnConsoleControl(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      RequestStop();
      return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      RequestStop();
      Sleep(INFINITE);  // the main thread's exit ends the process first
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

std::uint64_t CurrentProcessId() { return GetCurrentProcessId(); }

void InstallStopRequests() {
  mainThread.store(GetCurrentThreadId());
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

void RequestStop() {
  stopRequested.store(true);
  if (const DWORD thread = mainThread.load()) EnumThreadWindows(thread, CloseWindowOfMainThread, 0);
}

bool StopRequested() { return stopRequested.load(); }

// Waits on Windows watch the flag through the main thread's messages.
int backend::StopRequestDescriptor() { return -1; }

// Windows shows its boxes in the program's own process, where a stop
// request closes them.
int backend::ServeMessageBox(int, char**) { return -1; }

}  // namespace platform
