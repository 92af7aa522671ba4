#pragma once
// OpenGL 1.1 and GLU, reached through a table of entry points that BindGl
// fills from the system libraries by name. Nothing links against the OpenGL
// library: the table is the only way in, so a test can put a recorder in its
// place.
#if defined(_WIN32) && !defined(APIENTRY)
// Windows' gl.h wants two macros of windows.h; defined here alone, they
// keep the rest of windows.h out of every module that draws.
#define APIENTRY __stdcall
#define WINGDIAPI __declspec(dllimport)
#define QUILLON_GL_MACROS_OF_OUR_OWN
#endif
#include <GL/gl.h>
#ifdef QUILLON_GL_MACROS_OF_OUR_OWN
#undef APIENTRY
#undef WINGDIAPI
#undef QUILLON_GL_MACROS_OF_OUR_OWN
#endif

// The calling convention of the system's OpenGL and GLU entry points.
#if defined(_WIN32)
#define QUILLON_GLAPI __stdcall
#else
#define QUILLON_GLAPI
#endif

namespace gl {

#define QUILLON_GL(ret, name, params, args) using name##_fn = ret(QUILLON_GLAPI*) params; extern name##_fn name;
#include "platform/gl_functions.inc"
#include "platform/glu_functions.inc"
#undef QUILLON_GL

// Loads the system's OpenGL and GLU libraries ("libGL.so.1" and
// "libGLU.so.1"; "opengl32.dll" and "glu32.dll" on Windows) and binds every
// entry point by name. A missing library or entry point ends the program
// with a message naming it (exit 1).
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
// Puts a table that another provider filled in place of the system's (the
// fixed-function layer on OpenGL ES, platform/gles): GlBound is true from
// then on and BindGl leaves it as it is.
void InstallGlTable(const GlTable& table);

}  // namespace gl
