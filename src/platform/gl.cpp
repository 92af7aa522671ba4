#include "platform/gl.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

namespace gl {

#define QUILLON_GL(ret, name, params, args) name##_fn name = nullptr;
#include "platform/gl_functions.inc"
#include "platform/glu_functions.inc"
#undef QUILLON_GL

namespace {
bool bound = false;

void* OpenLibrary(const char* name) {
  void* handle = dlopen(name, RTLD_NOW | RTLD_GLOBAL);
  if (!handle) {
    std::fprintf(stderr, "Cannot load %s: %s\n", name, dlerror());
    std::exit(1);
  }
  return handle;
}

void* Entry(void* library, const char* libraryName, const char* name) {
  void* entry = dlsym(library, name);
  if (!entry) {
    std::fprintf(stderr, "Missing entry point %s in %s\n", name, libraryName);
    std::exit(1);
  }
  return entry;
}
}  // namespace

void BindGl() {
  if (bound) return;
  void* libGl = OpenLibrary("libGL.so.1");
#define QUILLON_GL(ret, name, params, args) name = reinterpret_cast<name##_fn>(Entry(libGl, "libGL.so.1", #name));
#include "platform/gl_functions.inc"
#undef QUILLON_GL
  void* libGlu = OpenLibrary("libGLU.so.1");
#define QUILLON_GL(ret, name, params, args) name = reinterpret_cast<name##_fn>(Entry(libGlu, "libGLU.so.1", #name));
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

}  // namespace gl
