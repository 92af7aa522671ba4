// System libraries opened by name with LoadLibraryA.
#include <windows.h>

#include <cstdio>

#include "platform/backend.h"

namespace platform::backend {

const char* const kGlLibraryName = "opengl32.dll";
const char* const kGluLibraryName = "glu32.dll";

void* OpenLibrary(const char* name, std::string& error) {
  HMODULE module = LoadLibraryA(name);
  if (!module) {
    char code[32];
    std::snprintf(code, sizeof code, "error %lu", GetLastError());
    error = code;
  }
  return reinterpret_cast<void*>(module);
}

void* LibraryEntry(void* library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

}  // namespace platform::backend
