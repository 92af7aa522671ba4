// Stop requests in a browser: no signals reach a page, so a stop is only
// ever requested by the program itself (the page closing the show).
#include "platform/process.h"

#include "platform/backend.h"

namespace platform {

namespace {
bool stopRequested = false;
}

// One process per page.
std::uint64_t CurrentProcessId() { return 1; }

void InstallStopRequests() {}

void RequestStop() { stopRequested = true; }

bool StopRequested() { return stopRequested; }

int backend::StopRequestDescriptor() { return -1; }

}  // namespace platform
