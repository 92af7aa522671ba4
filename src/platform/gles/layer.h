#pragma once
// The fixed-function OpenGL 1.1 and GLU the show draws with, made of our own
// on OpenGL ES 3.0 (which is WebGL 2): it fills the platform's gl table
// (platform/gl.h) with entries that keep GL's state on the CPU (matrix
// stacks, current colour and texture coordinate, enables, texture levels),
// batch immediate mode into one vertex buffer until the drawing state
// changes, and draw with one shader: the texture environment and the alpha
// comparison are switches compiled into a build of it each (made when first
// needed), the matrices and the reference value are uniforms. Triangles
// whose every pixel magnifies a mipmapped texture (bounded on the CPU from
// their corners) are drawn through a sampler without mipmaps: GL samples
// them with its magnifying filter alone, and in a browser on a software
// renderer (SwiftShader) the mipmapping lookup costs about twice as much.
//
// What it draws: points, lines, line strips and loops, triangles, strips,
// fans, quads, quad strips and polygons (as GL would: polygons and quads as
// fans from their first vertex); vertex colours clamped to 0..1; one 2D
// texture through the texture matrix with 3-component coordinates, projected
// by q, in environment MODULATE, REPLACE, DECAL or ADD; alpha test, blending,
// depth test and mask, scissor and face culling. A texture GL would call
// incomplete (no level 0, or a mipmapping filter without every level) draws
// untextured, as GL does. glGetTexImage and glReadPixels give RGBA or RGB
// bytes. Known limits: no lighting, fog, texgen, display lists, vertex
// arrays, stipples, polygon modes, point or line sizes other than 1; hints
// are accepted and change nothing. The layer assumes that nothing else
// changes the ES context's state while it runs (see ForgetEsState).
//
// No browser and no EGL here: the host makes the context and hands the
// layer its ES entry points. How a host installs it:
//
//   1. Make an OpenGL ES 3.0 (WebGL 2) context current whose default
//      framebuffer has 8-bit colour and a depth buffer, and keep it current
//      while drawing. Without an alpha channel (a canvas made with
//      alpha: false) glCopyTexImage2D gives textures an alpha of 1, as GL
//      does from such a framebuffer.
//   2. Fill an EsTable: LoadEsTable(es, procAddress) with a lookup by name
//      (eglGetProcAddress on Linux; emscripten_webgl_get_proc_address in a
//      browser), or assign the linked functions of <GLES3/gl3.h> directly:
//        #define QUILLON_GLES(ret, name, params) es.name = ::name;
//        #include "platform/gles/es_functions.inc"
//        #undef QUILLON_GLES
//   3. StartLayer(es, error): compiles the shader, makes the buffers, reads
//      the viewport and scissor box the context starts with.
//   4. gl::InstallGlTable(LayerTable()), or let gl::BindGl look the entries
//      up by name through LayerEntry (a backend's LibraryEntry may answer
//      with it).
//   5. Before presenting a frame without going through glFlush, glFinish or
//      glReadPixels of the table, call FlushLayer: draws wait in the batch.
//   6. At the end, with the context still current: StopLayer().
#include <string>

#include "platform/gl.h"

namespace platform::gles {

// The ES entry points the layer calls.
struct EsTable {
#define QUILLON_GLES(ret, name, params) ret(*name) params = nullptr;
#include "platform/gles/es_functions.inc"
#undef QUILLON_GLES
};

// Looks every entry up by name. False, with the first missing name in
// missing, when one is not found; the table is then not to be used.
bool LoadEsTable(EsTable& table, void* (*procAddress)(const char* name), std::string& missing);

// Starts the layer on the ES 3.0 context current now, with its GL state at
// GL's initial values. False, with the reason in error (a shader the context
// refuses, an entry missing from es), when it cannot draw.
bool StartLayer(const EsTable& es, std::string& error);
// True between a successful StartLayer and StopLayer.
bool LayerStarted();

// The GL and GLU table whose every entry is the layer's. Before StartLayer
// (and after StopLayer) the entries do nothing and answer zeros.
gl::GlTable LayerTable();
// One entry of that table by its GL or GLU name ("glBegin", "gluLookAt");
// null for a name the table does not hold.
void* LayerEntry(const char* name);

// Draws whatever the batch holds now.
void FlushLayer();

// Makes the layer set every piece of ES state again before its next draw,
// for a host that has drawn with ES itself in between (a scaled present).
// Such a host finds a sampler object of the layer's bound to unit 0 at
// times (a batch that only magnifies its texture samples through one).
void ForgetEsState();

// Draws what is pending, frees the layer's shader, buffers and textures on
// the current context and forgets its GL state.
void StopLayer();

}  // namespace platform::gles
