#include "platform/scaled_frame.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/gl.h"

namespace platform {

namespace {

// The framebuffer-object enumerants: the same numbers in OpenGL 3.0,
// GL_ARB_framebuffer_object and the EXT extensions.
constexpr GLenum kFramebuffer = 0x8D40;
constexpr GLenum kReadFramebuffer = 0x8CA8;
constexpr GLenum kDrawFramebuffer = 0x8CA9;
constexpr GLenum kRenderbuffer = 0x8D41;
constexpr GLenum kRenderbufferBinding = 0x8CA7;
constexpr GLenum kRenderbufferDepthSize = 0x8D54;
constexpr GLenum kColorAttachment0 = 0x8CE0;
constexpr GLenum kDepthAttachment = 0x8D00;
constexpr GLenum kFramebufferComplete = 0x8CD5;
constexpr GLenum kRgb8 = 0x8051;
constexpr GLenum kDepthComponent24 = 0x81A6;
constexpr GLenum kDepthComponent32 = 0x81A7;
constexpr GLenum kDepth24Stencil8 = 0x88F0;

using GenNamesFn = void(QUILLON_GLAPI*)(GLsizei n, GLuint* names);
using DeleteNamesFn = void(QUILLON_GLAPI*)(GLsizei n, const GLuint* names);
using BindNameFn = void(QUILLON_GLAPI*)(GLenum target, GLuint name);
using CheckFramebufferStatusFn = GLenum(QUILLON_GLAPI*)(GLenum target);
using FramebufferRenderbufferFn = void(QUILLON_GLAPI*)(GLenum target, GLenum attachment, GLenum renderbufferTarget,
                                                  GLuint renderbuffer);
using RenderbufferStorageFn = void(QUILLON_GLAPI*)(GLenum target, GLenum format, GLsizei width, GLsizei height);
using GetRenderbufferParameterivFn = void(QUILLON_GLAPI*)(GLenum target, GLenum name, GLint* value);
using BlitFramebufferFn = void(QUILLON_GLAPI*)(GLint srcX0, GLint srcY0, GLint srcX1, GLint srcY1, GLint dstX0,
                                          GLint dstY0, GLint dstX1, GLint dstY1, GLbitfield mask, GLenum filter);

struct FramebufferFunctions {
  GenNamesFn GenFramebuffers = nullptr;
  DeleteNamesFn DeleteFramebuffers = nullptr;
  BindNameFn BindFramebuffer = nullptr;
  CheckFramebufferStatusFn CheckFramebufferStatus = nullptr;
  FramebufferRenderbufferFn FramebufferRenderbuffer = nullptr;
  GenNamesFn GenRenderbuffers = nullptr;
  DeleteNamesFn DeleteRenderbuffers = nullptr;
  BindNameFn BindRenderbuffer = nullptr;
  RenderbufferStorageFn RenderbufferStorage = nullptr;
  GetRenderbufferParameterivFn GetRenderbufferParameteriv = nullptr;
  BlitFramebufferFn BlitFramebuffer = nullptr;
};

// The scaled frame, one per process.
FramebufferFunctions fb;
bool open = false;
GLuint framebuffer = 0;
GLuint colourBuffer = 0;
GLuint depthBuffer = 0;
int frameWidth = 0;
int frameHeight = 0;
int depthBits = 0;
std::string refusal;

// A whole token of the extension string, not a prefix of a longer name.
bool HasExtension(const char* extensions, const char* name) {
  if (!extensions) return false;
  const std::size_t length = std::strlen(name);
  for (const char* p = extensions; (p = std::strstr(p, name)) != nullptr; p += length) {
    const bool startsToken = p == extensions || p[-1] == ' ';
    const bool endsToken = p[length] == ' ' || p[length] == '\0';
    if (startsToken && endsToken) return true;
  }
  return false;
}

int MajorVersion() {
  const auto* version = reinterpret_cast<const char*>(gl::glGetString(GL_VERSION));
  return version ? std::atoi(version) : 0;
}

// The names the entry points go by in this driver: the core names from
// OpenGL 3.0 and GL_ARB_framebuffer_object, the suffixed ones of the EXT
// extensions before that. False when the driver has neither. A lookup may
// well answer for a name the driver cannot use (glXGetProcAddress does), so
// the version and the extension string decide, and the lookups only fill in.
bool ChooseSuffix(std::string& suffix) {
  const auto* extensions = reinterpret_cast<const char*>(gl::glGetString(GL_EXTENSIONS));
  if (MajorVersion() >= 3 || HasExtension(extensions, "GL_ARB_framebuffer_object")) {
    suffix.clear();
    return true;
  }
  if (HasExtension(extensions, "GL_EXT_framebuffer_object") && HasExtension(extensions, "GL_EXT_framebuffer_blit")) {
    suffix = "EXT";
    return true;
  }
  return false;
}

template <typename Fn>
bool Look(GlProcAddressFn getProcAddress, const std::string& name, Fn& into) {
  into = reinterpret_cast<Fn>(getProcAddress(name.c_str()));
  return into != nullptr;
}

bool LookUpAll(GlProcAddressFn getProcAddress, const std::string& s) {
  FramebufferFunctions f;
  const bool all = Look(getProcAddress, "glGenFramebuffers" + s, f.GenFramebuffers) &&
                   Look(getProcAddress, "glDeleteFramebuffers" + s, f.DeleteFramebuffers) &&
                   Look(getProcAddress, "glBindFramebuffer" + s, f.BindFramebuffer) &&
                   Look(getProcAddress, "glCheckFramebufferStatus" + s, f.CheckFramebufferStatus) &&
                   Look(getProcAddress, "glFramebufferRenderbuffer" + s, f.FramebufferRenderbuffer) &&
                   Look(getProcAddress, "glGenRenderbuffers" + s, f.GenRenderbuffers) &&
                   Look(getProcAddress, "glDeleteRenderbuffers" + s, f.DeleteRenderbuffers) &&
                   Look(getProcAddress, "glBindRenderbuffer" + s, f.BindRenderbuffer) &&
                   Look(getProcAddress, "glRenderbufferStorage" + s, f.RenderbufferStorage) &&
                   Look(getProcAddress, "glGetRenderbufferParameteriv" + s, f.GetRenderbufferParameteriv) &&
                   Look(getProcAddress, "glBlitFramebuffer" + s, f.BlitFramebuffer);
  if (all) fb = f;
  return all;
}

void DrainErrors() {
  for (int i = 0; i < 32 && gl::glGetError() != GL_NO_ERROR; ++i) {
  }
}

void DeleteNames() {
  fb.BindFramebuffer(kFramebuffer, 0);
  if (framebuffer) fb.DeleteFramebuffers(1, &framebuffer);
  if (colourBuffer) fb.DeleteRenderbuffers(1, &colourBuffer);
  if (depthBuffer) fb.DeleteRenderbuffers(1, &depthBuffer);
  framebuffer = colourBuffer = depthBuffer = 0;
}

// A depth buffer in the first format the driver makes complete with at least
// 24 bits: the request first, then less.
bool AttachDepth(int wantedBits) {
  const GLenum formats[] = {kDepthComponent32, kDepthComponent24, kDepth24Stencil8};
  for (GLenum format : formats) {
    if (format == kDepthComponent32 && wantedBits < 32) continue;
    fb.RenderbufferStorage(kRenderbuffer, format, frameWidth, frameHeight);
    GLint bits = 0;
    if (gl::glGetError() == GL_NO_ERROR) {
      fb.GetRenderbufferParameteriv(kRenderbuffer, kRenderbufferDepthSize, &bits);
    }
    DrainErrors();
    if (bits < 24) continue;
    fb.FramebufferRenderbuffer(kFramebuffer, kDepthAttachment, kRenderbuffer, depthBuffer);
    if (fb.CheckFramebufferStatus(kFramebuffer) == kFramebufferComplete && gl::glGetError() == GL_NO_ERROR) {
      depthBits = bits;
      return true;
    }
    fb.FramebufferRenderbuffer(kFramebuffer, kDepthAttachment, kRenderbuffer, 0);
    DrainErrors();
  }
  return false;
}

// A fresh frame is black with the far depth, like a window's first frame on
// most drivers; the clear values are put back.
void ClearFrame() {
  GLfloat colour[4];
  GLdouble depth = 1.0;
  gl::glGetFloatv(GL_COLOR_CLEAR_VALUE, colour);
  gl::glGetDoublev(GL_DEPTH_CLEAR_VALUE, &depth);
  const GLboolean scissor = gl::glIsEnabled(GL_SCISSOR_TEST);
  GLboolean depthMask = GL_TRUE;
  gl::glGetBooleanv(GL_DEPTH_WRITEMASK, &depthMask);
  if (scissor) gl::glDisable(GL_SCISSOR_TEST);
  gl::glDepthMask(GL_TRUE);
  gl::glClearColor(0, 0, 0, 0);
  gl::glClearDepth(1.0);
  gl::glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  gl::glClearColor(colour[0], colour[1], colour[2], colour[3]);
  gl::glClearDepth(depth);
  gl::glDepthMask(depthMask);
  if (scissor) gl::glEnable(GL_SCISSOR_TEST);
}

}  // namespace

ScreenRect FitFrameToScreen(int fw, int fh, int sw, int sh) {
  ScreenRect r;
  if (fw <= 0 || fh <= 0 || sw <= 0 || sh <= 0) return r;
  const std::int64_t widthAtFullHeight = (static_cast<std::int64_t>(sh) * fw + fh / 2) / fh;
  if (widthAtFullHeight <= sw) {
    r.width = static_cast<int>(widthAtFullHeight);
    r.height = sh;
  } else {
    r.width = sw;
    r.height = static_cast<int>((static_cast<std::int64_t>(sw) * fh + fw / 2) / fw);
  }
  r.x = (sw - r.width) / 2;
  r.y = (sh - r.height) / 2;
  return r;
}

bool OpenScaledFrame(int width, int height, int wantedDepthBits, GlProcAddressFn getProcAddress) {
  if (open) CloseScaledFrame();
  refusal.clear();
  std::string suffix;
  if (width <= 0 || height <= 0 || !getProcAddress) {
    refusal = "no frame to make";
    return false;
  }
  if (!ChooseSuffix(suffix) || !LookUpAll(getProcAddress, suffix)) {
    refusal = "the OpenGL driver has no framebuffer objects";
    return false;
  }
  DrainErrors();
  frameWidth = width;
  frameHeight = height;
  GLint renderbufferBefore = 0;
  gl::glGetIntegerv(kRenderbufferBinding, &renderbufferBefore);
  fb.GenFramebuffers(1, &framebuffer);
  fb.GenRenderbuffers(1, &colourBuffer);
  fb.GenRenderbuffers(1, &depthBuffer);
  fb.BindFramebuffer(kFramebuffer, framebuffer);
  fb.BindRenderbuffer(kRenderbuffer, colourBuffer);
  fb.RenderbufferStorage(kRenderbuffer, kRgb8, width, height);
  fb.FramebufferRenderbuffer(kFramebuffer, kColorAttachment0, kRenderbuffer, colourBuffer);
  const bool colourMade = gl::glGetError() == GL_NO_ERROR;
  fb.BindRenderbuffer(kRenderbuffer, depthBuffer);
  const bool made = colourMade && AttachDepth(wantedDepthBits);
  fb.BindRenderbuffer(kRenderbuffer, static_cast<GLuint>(renderbufferBefore));
  if (!made) {
    DeleteNames();
    DrainErrors();
    depthBits = 0;
    refusal = "the OpenGL driver makes no framebuffer of " + std::to_string(width) + " x " + std::to_string(height) +
              " with a depth buffer of 24 bits or more";
    return false;
  }
  ClearFrame();
  open = true;
  return true;
}

bool ScaledFrameOpen() { return open; }
const char* ScaledFrameRefusal() { return refusal.c_str(); }
int ScaledFrameDepthBits() { return open ? depthBits : 0; }

void PresentScaledFrame(int screenWidth, int screenHeight, SwapFn swap, void* context) {
  if (!open) {
    if (swap) swap(context);
    return;
  }
  const ScreenRect r = FitFrameToScreen(frameWidth, frameHeight, screenWidth, screenHeight);
  // What the bars and the blit change, put back before the swap.
  const GLboolean scissor = gl::glIsEnabled(GL_SCISSOR_TEST);
  GLint scissorBox[4];
  GLfloat clearColour[4];
  gl::glGetIntegerv(GL_SCISSOR_BOX, scissorBox);
  gl::glGetFloatv(GL_COLOR_CLEAR_VALUE, clearColour);

  fb.BindFramebuffer(kDrawFramebuffer, 0);
  // The window's buffers hold nothing after a swap that can be relied on, so
  // the bars are cleared on every frame, and only the bars.
  const ScreenRect bars[] = {{0, 0, r.x, screenHeight},
                             {r.x + r.width, 0, screenWidth - r.x - r.width, screenHeight},
                             {r.x, 0, r.width, r.y},
                             {r.x, r.y + r.height, r.width, screenHeight - r.y - r.height}};
  gl::glClearColor(0, 0, 0, 1);
  gl::glEnable(GL_SCISSOR_TEST);
  for (const ScreenRect& bar : bars) {
    if (bar.width <= 0 || bar.height <= 0) continue;
    gl::glScissor(bar.x, bar.y, bar.width, bar.height);
    gl::glClear(GL_COLOR_BUFFER_BIT);
  }
  // A blit is clipped by the scissor test and by nothing else that the show
  // sets.
  gl::glDisable(GL_SCISSOR_TEST);
  const bool sameSize = r.width == frameWidth && r.height == frameHeight;
  fb.BlitFramebuffer(0, 0, frameWidth, frameHeight, r.x, r.y, r.x + r.width, r.y + r.height, GL_COLOR_BUFFER_BIT,
                     sameSize ? GL_NEAREST : GL_LINEAR);
  gl::glScissor(scissorBox[0], scissorBox[1], scissorBox[2], scissorBox[3]);
  if (scissor) gl::glEnable(GL_SCISSOR_TEST);
  gl::glClearColor(clearColour[0], clearColour[1], clearColour[2], clearColour[3]);

  fb.BindFramebuffer(kReadFramebuffer, 0);
  if (swap) swap(context);
  fb.BindFramebuffer(kFramebuffer, framebuffer);
}

ScaledFrameStart StartScaledFrame(int frameWidth, int frameHeight, int depthBits, GlProcAddressFn getProcAddress,
                                  int drawableWidth, int drawableHeight) {
  if (drawableWidth == frameWidth && drawableHeight == frameHeight) return ScaledFrameStart::NotNeeded;
  if (OpenScaledFrame(frameWidth, frameHeight, depthBits, getProcAddress)) return ScaledFrameStart::Opened;
  std::printf("Cannot fill the screen (%s): the show plays at %d x %d\n", ScaledFrameRefusal(), frameWidth,
              frameHeight);
  std::fflush(stdout);
  return ScaledFrameStart::Refused;
}

void CloseScaledFrame(bool contextCurrent) {
  if (!open) return;
  if (contextCurrent) {
    DeleteNames();
  } else {
    framebuffer = colourBuffer = depthBuffer = 0;
  }
  open = false;
  depthBits = 0;
}

}  // namespace platform
