#include "platform/offscreen.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/gl.h"
#include "platform/gles/layer.h"
#include "platform/present.h"
#include "platform/scaled_frame.h"

namespace platform {

namespace {
EGLDisplay display = EGL_NO_DISPLAY;
EGLSurface surface = EGL_NO_SURFACE;
EGLContext context = EGL_NO_CONTEXT;
// The screen the next context stands for, and the one the open context has.
int screenWidth = 0;
int screenHeight = 0;
int surfaceWidth = 0;
int surfaceHeight = 0;
bool framesScaled = false;  // this context holds the scaled frame
// An OpenGL ES 3.0 context drawn through our fixed-function layer instead of
// the system's OpenGL, and the table it replaced.
bool layered = false;
gl::GlTable tableBeforeLayer{};

// QUILLON_GL_LAYER=gles asks for the layer: the capture tool, the tests and
// the benchmarks then draw exactly as the browser build does.
bool LayerAsked() {
  const char* layer = std::getenv("QUILLON_GL_LAYER");
  return layer && std::strcmp(layer, "gles") == 0;
}

void* EsProcAddress(const char* name) { return reinterpret_cast<void*>(eglGetProcAddress(name)); }

bool StartEsLayer() {
  platform::gles::EsTable es;
  std::string problem;
  if (!platform::gles::LoadEsTable(es, EsProcAddress, problem)) {
    std::fprintf(stderr, "OpenGL ES has no %s\n", problem.c_str());
    return false;
  }
  if (!platform::gles::StartLayer(es, problem)) {
    std::fprintf(stderr, "Cannot start the OpenGL ES layer: %s\n", problem.c_str());
    return false;
  }
  tableBeforeLayer = gl::SaveGlTable();
  gl::InstallGlTable(platform::gles::LayerTable());
  layered = true;
  return true;
}

void PresentOffscreen() {
  // A pbuffer has one buffer; finishing the frame is what presenting means.
  gl::glFinish();
}

void FinishFrame(void*) { gl::glFinish(); }

void PresentOffscreenScaled() { PresentScaledFrame(surfaceWidth, surfaceHeight, FinishFrame, nullptr); }

EGLDisplay SurfacelessDisplay() {
  auto getPlatformDisplay =
      reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
  if (getPlatformDisplay) {
    EGLDisplay d = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (d != EGL_NO_DISPLAY) return d;
  }
  return eglGetDisplay(EGL_DEFAULT_DISPLAY);
}
}  // namespace

bool OpenOffscreen(int width, int height) {
  if (context != EGL_NO_CONTEXT) CloseOffscreen();
  display = SurfacelessDisplay();
  if (display == EGL_NO_DISPLAY || !eglInitialize(display, nullptr, nullptr)) {
    std::fprintf(stderr, "No headless EGL display\n");
    return false;
  }
  const bool es = LayerAsked();
  if (!eglBindAPI(es ? EGL_OPENGL_ES_API : EGL_OPENGL_API)) {
    std::fprintf(stderr, es ? "EGL has no OpenGL ES\n" : "EGL has no desktop OpenGL\n");
    return false;
  }
  const EGLint configAttributes[] = {EGL_SURFACE_TYPE,
                                     EGL_PBUFFER_BIT,
                                     EGL_RENDERABLE_TYPE,
                                     es ? EGL_OPENGL_ES3_BIT_KHR : EGL_OPENGL_BIT,
                                     EGL_RED_SIZE,
                                     8,
                                     EGL_GREEN_SIZE,
                                     8,
                                     EGL_BLUE_SIZE,
                                     8,
                                     EGL_ALPHA_SIZE,
                                     8,
                                     EGL_DEPTH_SIZE,
                                     24,
                                     EGL_NONE};
  EGLConfig config;
  EGLint count = 0;
  if (!eglChooseConfig(display, configAttributes, &config, 1, &count) || count < 1) {
    std::fprintf(stderr, es ? "No EGL pbuffer configuration with OpenGL ES 3\n"
                            : "No EGL pbuffer configuration with OpenGL\n");
    return false;
  }
  const bool scaled = screenWidth > 0 && screenHeight > 0;
  surfaceWidth = scaled ? screenWidth : width;
  surfaceHeight = scaled ? screenHeight : height;
  const EGLint surfaceAttributes[] = {EGL_WIDTH, surfaceWidth, EGL_HEIGHT, surfaceHeight, EGL_NONE};
  surface = eglCreatePbufferSurface(display, config, surfaceAttributes);
  if (surface == EGL_NO_SURFACE) {
    std::fprintf(stderr, "Cannot create an EGL pbuffer of %d x %d\n", surfaceWidth, surfaceHeight);
    return false;
  }
  const EGLint esAttributes[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_CONTEXT_MINOR_VERSION, 0, EGL_NONE};
  context = eglCreateContext(display, config, EGL_NO_CONTEXT, es ? esAttributes : nullptr);
  if (context == EGL_NO_CONTEXT || !eglMakeCurrent(display, surface, surface, context)) {
    std::fprintf(stderr, es ? "Cannot make an EGL OpenGL ES 3.0 context current\n"
                            : "Cannot make an EGL OpenGL context current\n");
    CloseOffscreen();
    return false;
  }
  gl::BindGl();
  if (es && !StartEsLayer()) {
    CloseOffscreen();
    return false;
  }
  if (scaled) {
    // The depth the show window asks for.
    if (!OpenScaledFrame(width, height, 32, OffscreenProcAddress)) {
      std::fprintf(stderr, "Cannot present scaled: %s\n", ScaledFrameRefusal());
      CloseOffscreen();
      return false;
    }
    framesScaled = true;
  }
  gl::glViewport(0, 0, width, height);
  SetPresentTarget(scaled ? PresentOffscreenScaled : PresentOffscreen);
  return true;
}

void CloseOffscreen() {
  if (display == EGL_NO_DISPLAY) return;
  if (framesScaled) CloseScaledFrame(context != EGL_NO_CONTEXT && eglGetCurrentContext() == context);
  framesScaled = false;
  if (layered) {
    platform::gles::StopLayer();
    gl::InstallGlTable(tableBeforeLayer);
    layered = false;
  }
  eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
  if (context != EGL_NO_CONTEXT) eglDestroyContext(display, context);
  if (surface != EGL_NO_SURFACE) eglDestroySurface(display, surface);
  context = EGL_NO_CONTEXT;
  surface = EGL_NO_SURFACE;
  SetPresentTarget(nullptr);
}

bool OffscreenOpen() { return context != EGL_NO_CONTEXT; }

void* OffscreenProcAddress(const char* name) { return reinterpret_cast<void*>(eglGetProcAddress(name)); }

void SetOffscreenScreen(int width, int height) {
  screenWidth = width;
  screenHeight = height;
}

}  // namespace platform
