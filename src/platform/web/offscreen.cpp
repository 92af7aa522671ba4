// No headless context in a browser: the tools that need one are the native
// build's.
#include "platform/offscreen.h"

#include <cstdio>

namespace platform {

bool OpenOffscreen(int, int) {
  std::fprintf(stderr, "No headless context in the web build\n");
  return false;
}
void CloseOffscreen() {}
bool OffscreenOpen() { return false; }
void* OffscreenProcAddress(const char*) { return nullptr; }
void SetOffscreenScreen(int, int) {}

}  // namespace platform
