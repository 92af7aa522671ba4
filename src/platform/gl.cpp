#include "platform/gl.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/backend.h"

namespace gl {

#define QUILLON_GL(ret, name, params, args) name##_fn name = nullptr;
#include "platform/gl_functions.inc"
#include "platform/glu_functions.inc"
#undef QUILLON_GL

namespace {
bool bound = false;

void* OpenLibrary(const char* name) {
  std::string error;
  void* handle = platform::backend::OpenLibrary(name, error);
  if (!handle) {
    std::fprintf(stderr, "Cannot load %s: %s\n", name, error.c_str());
    std::exit(1);
  }
  return handle;
}

void* Entry(void* library, const char* libraryName, const char* name) {
  void* entry = platform::backend::LibraryEntry(library, name);
  if (!entry) {
    std::fprintf(stderr, "Missing entry point %s in %s\n", name, libraryName);
    std::exit(1);
  }
  return entry;
}
}  // namespace

void BindGl() {
  if (bound) return;
  using platform::backend::kGlLibraryName;
  using platform::backend::kGluLibraryName;
  void* libGl = OpenLibrary(kGlLibraryName);
#define QUILLON_GL(ret, name, params, args) name = reinterpret_cast<name##_fn>(Entry(libGl, kGlLibraryName, #name));
#include "platform/gl_functions.inc"
#undef QUILLON_GL
  void* libGlu = OpenLibrary(kGluLibraryName);
#define QUILLON_GL(ret, name, params, args) name = reinterpret_cast<name##_fn>(Entry(libGlu, kGluLibraryName, #name));
#include "platform/glu_functions.inc"
#undef QUILLON_GL
  bound = true;
}

bool GlBound() { return bound; }

GlTable SaveGlTable() {
  GlTable table;
#define QUILLON_GL(ret, name, params, args) table.name = name;
#include "platform/gl_functions.inc"
#include "platform/glu_functions.inc"
#undef QUILLON_GL
  return table;
}

void RestoreGlTable(const GlTable& table) {
#define QUILLON_GL(ret, name, params, args) name = table.name;
#include "platform/gl_functions.inc"
#include "platform/glu_functions.inc"
#undef QUILLON_GL
}

void InstallGlTable(const GlTable& table) {
  RestoreGlTable(table);
  bound = true;
}

}  // namespace gl
