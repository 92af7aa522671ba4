#include <new>

#include "platform/out_of_memory.h"
#include "platform/present.h"
#include "platform/process.h"
#include "shell/startup.h"

int main(int argc, char** argv) {
  // Started again as the helper that shows a message box: only that.
  if (int helper = platform::ServeMessageBox(argc, argv); helper >= 0) return helper;
  // Before any thread starts, so every thread shares the handlers.
  platform::InstallStopRequests();
  platform::InstallOutOfMemoryReport();
  try {
    return shell::RunShow();
  } catch (const std::bad_alloc&) {
    // A refusal the report did not see first (one thrown as an exception
    // rather than by operator new) ends the same way.
    platform::RaiseOutOfMemory();
  }
}
