// Shared libraries opened by name with the dynamic loader.
#include <dlfcn.h>

#include "platform/backend.h"

namespace platform::backend {

const char* const kGlLibraryName = "libGL.so.1";
const char* const kGluLibraryName = "libGLU.so.1";

void* OpenLibrary(const char* name, std::string& error) {
  void* handle = dlopen(name, RTLD_NOW | RTLD_GLOBAL);
  if (!handle) error = dlerror();
  return handle;
}

void* LibraryEntry(void* library, const char* name) { return dlsym(library, name); }

}  // namespace platform::backend
