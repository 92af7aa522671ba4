// The layer's start and end, its table, and the entry points of GL's state
// and immediate mode: matrices, enables, blending, depth, clearing,
// glBegin/glEnd (draw.cpp batches the vertices, textures.cpp keeps the
// textures, queries.cpp answers the queries).
#include "platform/gles/layer.h"

#include <algorithm>
#include <cstring>

#include "platform/gles/state.h"

namespace platform::gles {

namespace {

MatrixStack NewStack(std::size_t limit) { return MatrixStack{{IdentityMatrix()}, limit}; }

State NewState() {
  State s;
  s.modelview = NewStack(kModelviewDepth);
  s.projection = NewStack(kProjectionDepth);
  s.texture = NewStack(kTextureDepth);
  return s;
}

State state = NewState();

MatrixStack& CurrentStack() {
  State& l = state;
  return l.matrixMode == GL_PROJECTION ? l.projection : l.matrixMode == GL_TEXTURE ? l.texture : l.modelview;
}
// The current matrix, to be changed: projection x modelview is then made
// again at the next glBegin, and only then.
Matrix& Current() {
  if (state.matrixMode != GL_TEXTURE) state.mvpStale = true;
  return CurrentStack().matrices.back();
}

// The drawing state of the next primitive. What a switched-off stage would
// use is set to one value, so that it never splits a batch.
DrawState CurrentDrawState() {
  State& l = state;
  DrawState s = l.draw;
  if (l.mvpStale) {
    l.mvp = Multiply(l.projection.matrices.back(), l.modelview.matrices.back());
    l.mvpStale = false;
  }
  s.mvp = l.mvp;
  s.textured = l.texture2d && Complete(TextureNamed(l.boundTexture));
  if (s.textured) {
    s.texture = l.boundTexture;
    s.textureMatrix = l.texture.matrices.back();
  } else {
    s.texture = 0;
    s.textureMatrix = IdentityMatrix();
    s.envMode = GL_MODULATE;
  }
  if (!s.alphaTest) s.alphaFunc = GL_ALWAYS, s.alphaRef = 0;
  if (!s.blend) s.blendSrc = GL_ONE, s.blendDst = GL_ZERO;
  if (!s.depthTest) s.depthFunc = GL_LESS, s.depthMask = true;
  if (!s.scissor) s.scissorBox = {};
  return s;
}

void SetCapability(GLenum cap, bool on) {
  if (Refused()) return;
  if (bool* flag = Capability(cap))
    *flag = on;
  else
    SetError(GL_INVALID_ENUM);
}

}  // namespace

State& Layer() { return state; }

// GL refuses most calls between glBegin and glEnd.
bool Refused() {
  if (!state.inBegin) return false;
  SetError(GL_INVALID_OPERATION);
  return true;
}

// The rest of GL 1.1's capabilities: kept, so that they are answered as
// set, but drawing does not use them.
static bool KeptOnly(GLenum cap) {
  switch (cap) {
    case GL_AUTO_NORMAL:
    case GL_COLOR_LOGIC_OP:
    case GL_COLOR_MATERIAL:
    case GL_DITHER:
    case GL_FOG:
    case GL_INDEX_LOGIC_OP:
    case GL_LIGHTING:
    case GL_LINE_SMOOTH:
    case GL_LINE_STIPPLE:
    case GL_NORMALIZE:
    case GL_POINT_SMOOTH:
    case GL_POLYGON_OFFSET_FILL:
    case GL_POLYGON_OFFSET_LINE:
    case GL_POLYGON_OFFSET_POINT:
    case GL_POLYGON_SMOOTH:
    case GL_POLYGON_STIPPLE:
    case GL_STENCIL_TEST:
    case GL_TEXTURE_1D:
    case GL_TEXTURE_GEN_Q:
    case GL_TEXTURE_GEN_R:
    case GL_TEXTURE_GEN_S:
    case GL_TEXTURE_GEN_T: return true;
    default:
      return (cap >= GL_CLIP_PLANE0 && cap <= GL_CLIP_PLANE5) || (cap >= GL_LIGHT0 && cap <= GL_LIGHT7) ||
             (cap >= GL_MAP1_COLOR_4 && cap <= GL_MAP1_VERTEX_4) || (cap >= GL_MAP2_COLOR_4 && cap <= GL_MAP2_VERTEX_4);
  }
}

bool* Capability(GLenum cap) {
  State& l = state;
  switch (cap) {
    case GL_TEXTURE_2D: return &l.texture2d;
    case GL_BLEND: return &l.draw.blend;
    case GL_DEPTH_TEST: return &l.draw.depthTest;
    case GL_ALPHA_TEST: return &l.draw.alphaTest;
    case GL_SCISSOR_TEST: return &l.draw.scissor;
    case GL_CULL_FACE: return &l.draw.cull;
    default: return KeptOnly(cap) ? &l.keptCapabilities[cap] : nullptr;
  }
}

void SetError(GLenum error) {
  if (state.error == GL_NO_ERROR) state.error = error;
}

// The entry points, under GL's and GLU's own names.
namespace entries {

void QUILLON_GLAPI glBegin(GLenum mode) {
  State& l = state;
  if (Refused()) return;
  if (mode > GL_POLYGON) return SetError(GL_INVALID_ENUM);
  const DrawState s = CurrentDrawState();
  if (l.batch != Batch::kNone && !(s == l.batchState)) Flush();
  l.batchState = s;
  l.inBegin = true;
  l.mode = mode;
  l.primitive.clear();
}

void QUILLON_GLAPI glEnd() {
  State& l = state;
  if (!l.inBegin) return SetError(GL_INVALID_OPERATION);
  EndPrimitive();
  l.inBegin = false;
}

void QUILLON_GLAPI glVertex3f(GLfloat x, GLfloat y, GLfloat z) {
  State& l = state;
  if (!l.inBegin) return;
  l.primitive.push_back(Vertex{x, y, z, l.colour[0], l.colour[1], l.colour[2], l.colour[3], l.texCoord[0],
                               l.texCoord[1], l.texCoord[2]});
}

void QUILLON_GLAPI glVertex2f(GLfloat x, GLfloat y) { glVertex3f(x, y, 0); }

void QUILLON_GLAPI glTexCoord3f(GLfloat s, GLfloat t, GLfloat r) { state.texCoord = {s, t, r}; }
void QUILLON_GLAPI glTexCoord2f(GLfloat s, GLfloat t) { glTexCoord3f(s, t, 0); }
void QUILLON_GLAPI glColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a) { state.colour = {r, g, b, a}; }
void QUILLON_GLAPI glColor3f(GLfloat r, GLfloat g, GLfloat b) { glColor4f(r, g, b, 1); }

void QUILLON_GLAPI glEnable(GLenum cap) { SetCapability(cap, true); }
void QUILLON_GLAPI glDisable(GLenum cap) { SetCapability(cap, false); }

GLboolean QUILLON_GLAPI glIsEnabled(GLenum cap) {
  if (Refused()) return GL_FALSE;
  const bool* flag = Capability(cap);
  if (!flag) SetError(GL_INVALID_ENUM);
  return flag && *flag ? GL_TRUE : GL_FALSE;
}

static bool BlendFactor(GLenum f, bool source) {
  switch (f) {
    case GL_ZERO:
    case GL_ONE:
    case GL_SRC_ALPHA:
    case GL_ONE_MINUS_SRC_ALPHA:
    case GL_DST_ALPHA:
    case GL_ONE_MINUS_DST_ALPHA: return true;
    case GL_SRC_COLOR:
    case GL_ONE_MINUS_SRC_COLOR: return !source;
    case GL_DST_COLOR:
    case GL_ONE_MINUS_DST_COLOR:
    case GL_SRC_ALPHA_SATURATE: return source;
    default: return false;
  }
}

void QUILLON_GLAPI glBlendFunc(GLenum s, GLenum d) {
  if (Refused()) return;
  if (!BlendFactor(s, true) || !BlendFactor(d, false)) return SetError(GL_INVALID_ENUM);
  state.draw.blendSrc = s;
  state.draw.blendDst = d;
}

void QUILLON_GLAPI glDepthMask(GLboolean flag) {
  if (Refused()) return;
  state.draw.depthMask = flag != GL_FALSE;
}

static bool Comparison(GLenum func) { return func >= GL_NEVER && func <= GL_ALWAYS; }

void QUILLON_GLAPI glDepthFunc(GLenum func) {
  if (Refused()) return;
  if (!Comparison(func)) return SetError(GL_INVALID_ENUM);
  state.draw.depthFunc = func;
}

void QUILLON_GLAPI glAlphaFunc(GLenum func, GLclampf ref) {
  if (Refused()) return;
  if (!Comparison(func)) return SetError(GL_INVALID_ENUM);
  state.draw.alphaFunc = func;
  state.draw.alphaRef = std::clamp(ref, 0.0f, 1.0f);
}

void QUILLON_GLAPI glClear(GLbitfield mask) {
  State& l = state;
  if (Refused()) return;
  if (mask & ~GLbitfield{GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT | GL_ACCUM_BUFFER_BIT}) {
    return SetError(GL_INVALID_VALUE);
  }
  Flush();
  if (!l.started) return;
  ApplyForClear();
  l.es.glClear(mask & (GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT));
}

void QUILLON_GLAPI glClearColor(GLclampf r, GLclampf g, GLclampf b, GLclampf a) {
  if (Refused()) return;
  state.clearColour = {std::clamp(r, 0.0f, 1.0f), std::clamp(g, 0.0f, 1.0f), std::clamp(b, 0.0f, 1.0f),
                       std::clamp(a, 0.0f, 1.0f)};
}

void QUILLON_GLAPI glClearDepth(GLclampd depth) {
  if (Refused()) return;
  state.clearDepth = static_cast<float>(std::clamp(depth, 0.0, 1.0));
}

void QUILLON_GLAPI glHint(GLenum target, GLenum mode) {
  if (Refused()) return;
  if (mode != GL_FASTEST && mode != GL_NICEST && mode != GL_DONT_CARE) return SetError(GL_INVALID_ENUM);
  state.hints[target] = mode;
}

void QUILLON_GLAPI glViewport(GLint x, GLint y, GLsizei w, GLsizei h) {
  if (Refused()) return;
  if (w < 0 || h < 0) return SetError(GL_INVALID_VALUE);
  state.draw.viewport = {x, y, w, h};
}

void QUILLON_GLAPI glScissor(GLint x, GLint y, GLsizei w, GLsizei h) {
  if (Refused()) return;
  if (w < 0 || h < 0) return SetError(GL_INVALID_VALUE);
  state.draw.scissorBox = {x, y, w, h};
}

void QUILLON_GLAPI glMatrixMode(GLenum mode) {
  if (Refused()) return;
  if (mode != GL_MODELVIEW && mode != GL_PROJECTION && mode != GL_TEXTURE) return SetError(GL_INVALID_ENUM);
  state.matrixMode = mode;
}

void QUILLON_GLAPI glLoadIdentity() {
  if (!Refused()) Current() = IdentityMatrix();
}

void QUILLON_GLAPI glLoadMatrixf(const GLfloat* m) {
  if (Refused()) return;
  std::memcpy(Current().m, m, sizeof Current().m);
}

void QUILLON_GLAPI glMultMatrixf(const GLfloat* m) {
  if (Refused()) return;
  Matrix by;
  std::memcpy(by.m, m, sizeof by.m);
  Current() = Multiply(Current(), by);
}

void QUILLON_GLAPI glPushMatrix() {
  if (Refused()) return;
  MatrixStack& stack = CurrentStack();
  if (stack.matrices.size() >= stack.limit) return SetError(GL_STACK_OVERFLOW);
  stack.matrices.push_back(stack.matrices.back());
}

void QUILLON_GLAPI glPopMatrix() {
  if (Refused()) return;
  MatrixStack& stack = CurrentStack();
  if (stack.matrices.size() <= 1) return SetError(GL_STACK_UNDERFLOW);
  stack.matrices.pop_back();
  if (state.matrixMode != GL_TEXTURE) state.mvpStale = true;
}

void QUILLON_GLAPI glTranslatef(GLfloat x, GLfloat y, GLfloat z) {
  if (!Refused()) Translate(Current(), x, y, z);
}
void QUILLON_GLAPI glRotatef(GLfloat a, GLfloat x, GLfloat y, GLfloat z) {
  if (!Refused()) Rotate(Current(), a, x, y, z);
}
void QUILLON_GLAPI glScalef(GLfloat x, GLfloat y, GLfloat z) {
  if (!Refused()) Scale(Current(), x, y, z);
}

void QUILLON_GLAPI glOrtho(GLdouble l, GLdouble r, GLdouble b, GLdouble t, GLdouble n, GLdouble f) {
  if (Refused()) return;
  if (l == r || b == t || n == f) return SetError(GL_INVALID_VALUE);
  Ortho(Current(), l, r, b, t, n, f);
}

void QUILLON_GLAPI glFinish() {
  Flush();
  if (state.started) state.es.glFinish();
}

void QUILLON_GLAPI glFlush() {
  Flush();
  if (state.started) state.es.glFlush();
}

void QUILLON_GLAPI gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar) {
  if (!Refused()) Perspective(Current(), fovy, aspect, zNear, zFar);
}

void QUILLON_GLAPI gluLookAt(GLdouble ex, GLdouble ey, GLdouble ez, GLdouble cx, GLdouble cy, GLdouble cz,
                             GLdouble ux, GLdouble uy, GLdouble uz) {
  if (!Refused()) LookAt(Current(), ex, ey, ez, cx, cy, cz, ux, uy, uz);
}

void QUILLON_GLAPI gluOrtho2D(GLdouble l, GLdouble r, GLdouble b, GLdouble t) { glOrtho(l, r, b, t, -1, 1); }

}  // namespace entries

bool LoadEsTable(EsTable& table, void* (*procAddress)(const char* name), std::string& missing) {
#define QUILLON_GLES(ret, name, params)                                     \
  table.name = reinterpret_cast<ret(*) params>(procAddress(#name));         \
  if (!table.name) {                                                        \
    missing = #name;                                                        \
    return false;                                                           \
  }
#include "platform/gles/es_functions.inc"
#undef QUILLON_GLES
  return true;
}

bool StartLayer(const EsTable& es, std::string& error) {
  if (state.started) StopLayer();
#define QUILLON_GLES(ret, name, params) \
  if (!es.name) {                       \
    error = "no " #name;                \
    return false;                       \
  }
#include "platform/gles/es_functions.inc"
#undef QUILLON_GLES
  state = NewState();
  State& l = state;
  l.es = es;
  if (!StartDrawing(error)) {
    FreeDrawing();
    state = NewState();
    return false;
  }
  // GL starts with the viewport and scissor box of the surface it was first
  // made current on, as ES does.
  GLint box[4] = {};
  es.glGetIntegerv(GL_VIEWPORT, box);
  l.draw.viewport = {box[0], box[1], box[2], box[3]};
  es.glGetIntegerv(GL_SCISSOR_BOX, box);
  l.draw.scissorBox = {box[0], box[1], box[2], box[3]};
  es.glGetIntegerv(GL_MAX_TEXTURE_SIZE, &l.maxTextureSize);
  GLint alphaBits = 0;
  es.glGetIntegerv(GL_ALPHA_BITS, &alphaBits);
  l.framebufferAlpha = alphaBits > 0;
  auto text = [&](GLenum name) {
    const GLubyte* s = es.glGetString(name);
    return s ? std::string(reinterpret_cast<const char*>(s)) : std::string();
  };
  l.vendor = text(GL_VENDOR);
  l.renderer = text(GL_RENDERER);
  // What GL would report: version 1.1, then what it runs on.
  l.version = "1.1 Quillon fixed-function layer on " + text(GL_VERSION);
  l.started = true;
  l.esKnown = false;
  return true;
}

bool LayerStarted() { return state.started; }

gl::GlTable LayerTable() {
  gl::GlTable table;
#define QUILLON_GL(ret, name, params, args) table.name = entries::name;
#include "platform/gl_functions.inc"
#include "platform/glu_functions.inc"
#undef QUILLON_GL
  return table;
}

void* LayerEntry(const char* name) {
#define QUILLON_GL(ret, entry, params, args) \
  if (std::strcmp(name, #entry) == 0) return reinterpret_cast<void*>(entries::entry);
#include "platform/gl_functions.inc"
#include "platform/glu_functions.inc"
#undef QUILLON_GL
  return nullptr;
}

void FlushLayer() { Flush(); }

void ForgetEsState() {
  state.esKnown = false;
  state.esProgram = -1;
}

void StopLayer() {
  State& l = state;
  if (l.started) {
    Flush();
    for (auto& [name, texture] : l.textures) {
      if (texture.es != 0) l.es.glDeleteTextures(1, &texture.es);
    }
    FreeDrawing();
  }
  state = NewState();
}

}  // namespace platform::gles
