#include "platform/win32/wgl.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/backend.h"

namespace platform::win32 {
namespace {

template <typename F>
void Bind(void* library, F& function, const char* name) {
  void* entry = backend::LibraryEntry(library, name);
  if (!entry) {
    std::fprintf(stderr, "Missing entry point %s in %s\n", name, backend::kGlLibraryName);
    std::exit(1);
  }
  function = reinterpret_cast<F>(entry);
}

WglFunctions BindWgl() {
  std::string error;
  void* library = backend::OpenLibrary(backend::kGlLibraryName, error);
  if (!library) {
    std::fprintf(stderr, "Cannot load %s: %s\n", backend::kGlLibraryName, error.c_str());
    std::exit(1);
  }
  WglFunctions wgl{};
  Bind(library, wgl.CreateContext, "wglCreateContext");
  Bind(library, wgl.MakeCurrent, "wglMakeCurrent");
  Bind(library, wgl.DeleteContext, "wglDeleteContext");
  Bind(library, wgl.GetCurrentContext, "wglGetCurrentContext");
  Bind(library, wgl.GetProcAddress, "wglGetProcAddress");
  return wgl;
}

}  // namespace

const WglFunctions& Wgl() {
  static const WglFunctions wgl = BindWgl();
  return wgl;
}

}  // namespace platform::win32
