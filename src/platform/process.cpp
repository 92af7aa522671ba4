#include "platform/process.h"

#include <cstdio>
#include <cstdlib>

namespace platform {

void EndIfStopRequested() {
  if (!StopRequested()) return;
  std::fflush(stdout);
  std::exit(kStopExitCode);
}

}  // namespace platform
