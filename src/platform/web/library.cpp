// The OpenGL binding of the web build: no libraries to open; every GL and
// GLU entry point is the fixed-function layer's own (platform/gles), drawing
// with WebGL 2.
#include "platform/backend.h"
#include "platform/gles/layer.h"

namespace platform::backend {

const char* const kGlLibraryName = "WebGL 2";
const char* const kGluLibraryName = "WebGL 2";

namespace {
// A handle that stands for the layer; its address is all that matters.
char layerLibrary;
}  // namespace

void* OpenLibrary(const char*, std::string&) { return &layerLibrary; }

void* LibraryEntry(void*, const char* name) { return gles::LayerEntry(name); }

}  // namespace platform::backend
