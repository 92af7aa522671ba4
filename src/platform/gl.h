#pragma once
// OpenGL 1.1 and GLU, reached through a table of entry points that BindGl
// fills from the system libraries by name. Nothing links against libGL: the
// table is the only way in, so a test can put a recorder in its place.
#include <GL/gl.h>

namespace gl {

#define QUILLON_GL(ret, name, params, args) using name##_fn = ret(*) params; extern name##_fn name;
#include "platform/gl_functions.inc"
#include "platform/glu_functions.inc"
#undef QUILLON_GL

// Loads libGL.so.1 and libGLU.so.1 and binds every entry point. A missing
// library or entry point ends the program with a message naming it (exit 1).
void BindGl();

// True once BindGl has filled the table.
bool GlBound();

// The whole table, so a test can save it, install recorders and restore it.
struct GlTable {
#define QUILLON_GL(ret, name, params, args) name##_fn name;
#include "platform/gl_functions.inc"
#include "platform/glu_functions.inc"
#undef QUILLON_GL
};
GlTable SaveGlTable();
void RestoreGlTable(const GlTable& table);

}  // namespace gl
