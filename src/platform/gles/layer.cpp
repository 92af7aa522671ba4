// The layer's GL and GLU entry points: GL's state kept here, drawing and
// textures handed to ES (draw.cpp batches the vertices).
#include "platform/gles/layer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/gles/mipmaps.h"
#include "platform/gles/state.h"

namespace platform::gles {

namespace {

// The depths of GL's matrix stacks.
constexpr std::size_t kModelviewDepth = 32, kProjectionDepth = 32, kTextureDepth = 10;

// GLU's answers.
constexpr GLint kGluInvalidEnum = 100900, kGluInvalidValue = 100901;

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

// GL refuses most calls between glBegin and glEnd.
bool Refused() {
  if (!state.inBegin) return false;
  SetError(GL_INVALID_OPERATION);
  return true;
}

bool Complete(const Texture& t) {
  const TextureLevel& base = t.levels[0];
  if (base.width <= 0 || base.height <= 0) return false;
  if (t.minFilter == GL_NEAREST || t.minFilter == GL_LINEAR) return true;
  int w = base.width, h = base.height;
  for (int i = 1; w > 1 || h > 1; ++i) {
    w = std::max(1, w / 2);
    h = std::max(1, h / 2);
    if (i >= kMaxLevels) return false;
    const TextureLevel& level = t.levels[static_cast<std::size_t>(i)];
    if (level.width != w || level.height != h || level.internalFormat != base.internalFormat) return false;
  }
  return true;
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

// The rest of GL 1.1's capabilities: kept, so that they are answered as
// set, but drawing does not use them.
bool KeptOnly(GLenum cap) {
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

void SetCapability(GLenum cap, bool on) {
  if (Refused()) return;
  if (bool* flag = Capability(cap))
    *flag = on;
  else
    SetError(GL_INVALID_ENUM);
}

// The ES format a GL texture of this client format is kept in, and the bytes
// of one pixel; 0 for a format the layer does not take.
int BytesPerPixel(GLenum format) {
  switch (format) {
    case GL_RGBA: return 4;
    case GL_RGB: return 3;
    case GL_LUMINANCE_ALPHA: return 2;
    case GL_LUMINANCE:
    case GL_ALPHA: return 1;
    default: return 0;
  }
}

GLenum EsCopyFormat(GLenum internalFormat) {
  switch (internalFormat) {
    case 3:
    case GL_RGB:
    case GL_RGB8: return GL_RGB;
    case 1:
    case GL_LUMINANCE: return GL_LUMINANCE;
    case GL_ALPHA: return GL_ALPHA;
    case 2:
    case GL_LUMINANCE_ALPHA: return GL_LUMINANCE_ALPHA;
    default: return GL_RGBA;
  }
}

std::size_t RowBytes(int width, int bytesPerPixel, GLint alignment) {
  const std::size_t row = static_cast<std::size_t>(width) * static_cast<std::size_t>(bytesPerPixel);
  const std::size_t a = static_cast<std::size_t>(std::max(alignment, 1));
  return (row + a - 1) / a * a;
}

bool LevelOk(GLint level) { return level >= 0 && level < kMaxLevels; }

// Reads a rectangle of the framebuffer bound for reading into pixels as GL
// packs it; ES reads RGBA, the other formats are cut from it here.
void ReadRectangle(GLint x, GLint y, GLsizei w, GLsizei h, GLenum format, GLenum type, void* pixels) {
  State& l = state;
  const int bytes = BytesPerPixel(format);
  if (type != GL_UNSIGNED_BYTE || bytes == 0) return SetError(GL_INVALID_ENUM);
  if (w < 0 || h < 0) return SetError(GL_INVALID_VALUE);
  if (format == GL_RGBA) return l.es.glReadPixels(x, y, w, h, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
  std::vector<std::uint8_t> rgba(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4);
  l.es.glPixelStorei(GL_PACK_ALIGNMENT, 1);
  l.es.glReadPixels(x, y, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
  l.es.glPixelStorei(GL_PACK_ALIGNMENT, l.packAlignment);
  const std::size_t stride = RowBytes(w, bytes, l.packAlignment);
  auto* out = static_cast<std::uint8_t*>(pixels);
  for (GLsizei row = 0; row < h; ++row) {
    const std::uint8_t* s = rgba.data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(w) * 4;
    std::uint8_t* d = out + static_cast<std::size_t>(row) * stride;
    for (GLsizei i = 0; i < w; ++i, s += 4) {
      // GL's luminance of a read pixel is the sum of its colours.
      const int luminance = std::min(255, s[0] + s[1] + s[2]);
      switch (format) {
        case GL_RGB: *d++ = s[0], *d++ = s[1], *d++ = s[2]; break;
        case GL_LUMINANCE_ALPHA: *d++ = static_cast<std::uint8_t>(luminance), *d++ = s[3]; break;
        case GL_LUMINANCE: *d++ = static_cast<std::uint8_t>(luminance); break;
        default: *d++ = s[3]; break;
      }
    }
  }
}

// One query's values and how GL converts them to integers.
struct Values {
  double v[16] = {};
  int count = 0;
  bool normalised = false;  // colours and depths: [0, 1] spans the integers' range
};

void Put(Values& out, std::initializer_list<double> values, bool normalised = false) {
  for (double d : values) out.v[out.count++] = d;
  out.normalised = normalised;
}

void PutMatrix(Values& out, const Matrix& m) {
  for (float f : m.m) out.v[out.count++] = f;
}

bool Query(GLenum pname, Values& out) {
  State& l = state;
  const DrawState& d = l.draw;
  switch (pname) {
    case GL_MODELVIEW_MATRIX: PutMatrix(out, l.modelview.matrices.back()); return true;
    case GL_PROJECTION_MATRIX: PutMatrix(out, l.projection.matrices.back()); return true;
    case GL_TEXTURE_MATRIX: PutMatrix(out, l.texture.matrices.back()); return true;
    case GL_MODELVIEW_STACK_DEPTH: Put(out, {static_cast<double>(l.modelview.matrices.size())}); return true;
    case GL_PROJECTION_STACK_DEPTH: Put(out, {static_cast<double>(l.projection.matrices.size())}); return true;
    case GL_TEXTURE_STACK_DEPTH: Put(out, {static_cast<double>(l.texture.matrices.size())}); return true;
    case GL_MAX_MODELVIEW_STACK_DEPTH: Put(out, {static_cast<double>(kModelviewDepth)}); return true;
    case GL_MAX_PROJECTION_STACK_DEPTH: Put(out, {static_cast<double>(kProjectionDepth)}); return true;
    case GL_MAX_TEXTURE_STACK_DEPTH: Put(out, {static_cast<double>(kTextureDepth)}); return true;
    case GL_MATRIX_MODE: Put(out, {static_cast<double>(l.matrixMode)}); return true;
    case GL_VIEWPORT: Put(out, {double(d.viewport[0]), double(d.viewport[1]), double(d.viewport[2]), double(d.viewport[3])}); return true;
    case GL_SCISSOR_BOX:
      Put(out, {double(d.scissorBox[0]), double(d.scissorBox[1]), double(d.scissorBox[2]), double(d.scissorBox[3])});
      return true;
    case GL_CURRENT_COLOR: Put(out, {l.colour[0], l.colour[1], l.colour[2], l.colour[3]}, true); return true;
    case GL_CURRENT_TEXTURE_COORDS: Put(out, {l.texCoord[0], l.texCoord[1], l.texCoord[2], 1.0}); return true;
    case GL_COLOR_CLEAR_VALUE:
      Put(out, {l.clearColour[0], l.clearColour[1], l.clearColour[2], l.clearColour[3]}, true);
      return true;
    case GL_DEPTH_CLEAR_VALUE: Put(out, {l.clearDepth}, true); return true;
    case GL_DEPTH_RANGE: Put(out, {0.0, 1.0}, true); return true;
    case GL_DEPTH_WRITEMASK: Put(out, {d.depthMask ? 1.0 : 0.0}); return true;
    case GL_DEPTH_FUNC: Put(out, {static_cast<double>(d.depthFunc)}); return true;
    case GL_BLEND_SRC: Put(out, {static_cast<double>(d.blendSrc)}); return true;
    case GL_BLEND_DST: Put(out, {static_cast<double>(d.blendDst)}); return true;
    case GL_ALPHA_TEST_FUNC: Put(out, {static_cast<double>(d.alphaFunc)}); return true;
    case GL_ALPHA_TEST_REF: Put(out, {d.alphaRef}, true); return true;
    case GL_TEXTURE_BINDING_2D: Put(out, {static_cast<double>(l.boundTexture)}); return true;
    case GL_MAX_TEXTURE_SIZE: Put(out, {static_cast<double>(l.maxTextureSize)}); return true;
    case GL_UNPACK_ALIGNMENT: Put(out, {static_cast<double>(l.unpackAlignment)}); return true;
    case GL_PACK_ALIGNMENT: Put(out, {static_cast<double>(l.packAlignment)}); return true;
    case GL_PERSPECTIVE_CORRECTION_HINT:
    case GL_POINT_SMOOTH_HINT:
    case GL_LINE_SMOOTH_HINT:
    case GL_POLYGON_SMOOTH_HINT:
    case GL_FOG_HINT: {
      const auto hint = l.hints.find(pname);
      Put(out, {static_cast<double>(hint == l.hints.end() ? GL_DONT_CARE : hint->second)});
      return true;
    }
    default:
      if (const bool* flag = Capability(pname)) {
        Put(out, {*flag ? 1.0 : 0.0});
        return true;
      }
      return false;
  }
}

// GL's integer for a normalised value: [-1, 1] onto the whole range.
GLint NormalisedInteger(double v) {
  const double i = std::round((4294967295.0 * v - 1.0) / 2.0);
  return static_cast<GLint>(std::clamp(i, -2147483648.0, 2147483647.0));
}

// The getters: the layer's state, else what the ES context says.
template <typename T, typename Convert>
void Get(GLenum pname, T* params, Convert convert) {
  State& l = state;
  Values values;
  if (Query(pname, values)) {
    for (int i = 0; i < values.count; ++i) params[i] = convert(values, i);
    return;
  }
  // What only the context knows: its framebuffer and limits.
  int count = 0;
  switch (pname) {
    case GL_RED_BITS:
    case GL_GREEN_BITS:
    case GL_BLUE_BITS:
    case GL_ALPHA_BITS:
    case GL_DEPTH_BITS:
    case GL_STENCIL_BITS:
    case GL_SUBPIXEL_BITS:
    case kFramebufferBinding:
    case kRenderbufferBinding: count = 1; break;
    case GL_MAX_VIEWPORT_DIMS: count = 2; break;
    default: break;
  }
  if (!l.started || count == 0) return SetError(GL_INVALID_ENUM);
  GLint es[2] = {};
  l.es.glGetIntegerv(pname, es);
  for (int i = 0; i < count; ++i) params[i] = static_cast<T>(es[i]);
}

void GenerateNames(GLsizei n, GLuint* names) {
  State& l = state;
  for (GLsizei i = 0; i < n; ++i) {
    while (l.textures.count(l.nextTextureName)) ++l.nextTextureName;
    names[i] = l.nextTextureName++;
  }
}

void UploadLevel(GLint level, GLint internalFormat, GLsizei w, GLsizei h, GLenum format, const void* pixels) {
  State& l = state;
  Texture& t = BoundTexture();
  t.levels[static_cast<std::size_t>(level)] = TextureLevel{w, h, internalFormat};
  if (!l.started) return;
  BindEsTexture(t.es);
  l.es.glTexImage2D(GL_TEXTURE_2D, level, static_cast<GLint>(format), w, h, 0, format, GL_UNSIGNED_BYTE, pixels);
}

}  // namespace

State& Layer() { return state; }

void SetError(GLenum error) {
  if (state.error == GL_NO_ERROR) state.error = error;
}

Texture& TextureNamed(GLuint name) {
  State& l = state;
  Texture& t = l.textures[name];
  if (t.es == 0 && l.started) l.es.glGenTextures(1, &t.es);
  return t;
}

Texture& BoundTexture() { return TextureNamed(state.boundTexture); }

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

void QUILLON_GLAPI glGenTextures(GLsizei n, GLuint* names) {
  if (Refused()) return;
  if (n < 0) return SetError(GL_INVALID_VALUE);
  GenerateNames(n, names);
}

void QUILLON_GLAPI glDeleteTextures(GLsizei n, const GLuint* names) {
  State& l = state;
  if (Refused()) return;
  if (n < 0) return SetError(GL_INVALID_VALUE);
  Flush();  // the batch may sample one of them
  for (GLsizei i = 0; i < n; ++i) {
    const auto found = names[i] == 0 ? l.textures.end() : l.textures.find(names[i]);
    if (found == l.textures.end()) continue;
    if (found->second.es != 0 && l.started) {
      if (l.esTexture == found->second.es) BindEsTexture(0);
      l.es.glDeleteTextures(1, &found->second.es);
    }
    l.textures.erase(found);
    if (l.boundTexture == names[i]) l.boundTexture = 0;
  }
}

void QUILLON_GLAPI glBindTexture(GLenum target, GLuint name) {
  if (Refused()) return;
  if (target != GL_TEXTURE_2D) return SetError(GL_INVALID_ENUM);
  state.boundTexture = name;
  TextureNamed(name);
}

GLboolean QUILLON_GLAPI glIsTexture(GLuint name) {
  if (Refused()) return GL_FALSE;
  return name != 0 && state.textures.count(name) ? GL_TRUE : GL_FALSE;
}

void QUILLON_GLAPI glTexParameteri(GLenum target, GLenum pname, GLint param) {
  State& l = state;
  if (Refused()) return;
  if (target != GL_TEXTURE_2D) return SetError(GL_INVALID_ENUM);
  Texture& t = BoundTexture();
  GLint es = param;
  switch (pname) {
    case GL_TEXTURE_MIN_FILTER:
      if (param != GL_NEAREST && param != GL_LINEAR && param != GL_NEAREST_MIPMAP_NEAREST &&
          param != GL_LINEAR_MIPMAP_NEAREST && param != GL_NEAREST_MIPMAP_LINEAR && param != GL_LINEAR_MIPMAP_LINEAR)
        return SetError(GL_INVALID_ENUM);
      t.minFilter = param;
      break;
    case GL_TEXTURE_MAG_FILTER:
      if (param != GL_NEAREST && param != GL_LINEAR) return SetError(GL_INVALID_ENUM);
      t.magFilter = param;
      break;
    case GL_TEXTURE_WRAP_S:
    case GL_TEXTURE_WRAP_T:
      if (param != GL_REPEAT && param != GL_CLAMP && param != static_cast<GLint>(kClampToEdge))
        return SetError(GL_INVALID_ENUM);
      // ES has no border colour to clamp towards: its nearest is the edge.
      if (param == GL_CLAMP) es = static_cast<GLint>(kClampToEdge);
      (pname == GL_TEXTURE_WRAP_S ? t.wrapS : t.wrapT) = param;
      break;
    default: return SetError(GL_INVALID_ENUM);
  }
  Flush();  // the batch was drawn with the texture as it was
  if (!l.started) return;
  BindEsTexture(t.es);
  l.es.glTexParameteri(GL_TEXTURE_2D, pname, es);
}

void QUILLON_GLAPI glTexEnvi(GLenum target, GLenum pname, GLint param) {
  if (Refused()) return;
  if (target != GL_TEXTURE_ENV || pname != GL_TEXTURE_ENV_MODE) return SetError(GL_INVALID_ENUM);
  if (param != GL_MODULATE && param != GL_REPLACE && param != GL_DECAL && param != GL_ADD)
    return SetError(GL_INVALID_ENUM);
  state.draw.envMode = param;
}

void QUILLON_GLAPI glTexImage2D(GLenum target, GLint level, GLint internal, GLsizei w, GLsizei h, GLint border,
                                GLenum format, GLenum type, const void* pixels) {
  if (Refused()) return;
  if (target != GL_TEXTURE_2D || type != GL_UNSIGNED_BYTE || BytesPerPixel(format) == 0)
    return SetError(GL_INVALID_ENUM);
  if (!LevelOk(level) || w < 0 || h < 0 || border != 0) return SetError(GL_INVALID_VALUE);
  Flush();
  UploadLevel(level, internal, w, h, format, pixels);
}

void QUILLON_GLAPI glTexSubImage2D(GLenum target, GLint level, GLint x, GLint y, GLsizei w, GLsizei h, GLenum format,
                                   GLenum type, const void* pixels) {
  State& l = state;
  if (Refused()) return;
  if (target != GL_TEXTURE_2D || type != GL_UNSIGNED_BYTE || BytesPerPixel(format) == 0)
    return SetError(GL_INVALID_ENUM);
  if (!LevelOk(level)) return SetError(GL_INVALID_VALUE);
  const TextureLevel& lv = BoundTexture().levels[static_cast<std::size_t>(level)];
  if (x < 0 || y < 0 || w < 0 || h < 0 || x + w > lv.width || y + h > lv.height) return SetError(GL_INVALID_VALUE);
  Flush();
  if (!l.started) return;
  BindEsTexture(BoundTexture().es);
  l.es.glTexSubImage2D(GL_TEXTURE_2D, level, x, y, w, h, format, GL_UNSIGNED_BYTE, pixels);
}

void QUILLON_GLAPI glCopyTexImage2D(GLenum target, GLint level, GLenum internal, GLint x, GLint y, GLsizei w,
                                    GLsizei h, GLint border) {
  State& l = state;
  if (Refused()) return;
  if (target != GL_TEXTURE_2D) return SetError(GL_INVALID_ENUM);
  if (!LevelOk(level) || w < 0 || h < 0 || border != 0) return SetError(GL_INVALID_VALUE);
  Flush();  // the copy takes what has been drawn
  Texture& t = BoundTexture();
  t.levels[static_cast<std::size_t>(level)] = TextureLevel{w, h, static_cast<GLint>(internal)};
  if (!l.started) return;
  BindEsTexture(t.es);
  // ES copies no alpha from a framebuffer without it; GL reads it there as
  // 1, which a texture without alpha gives too.
  GLenum format = EsCopyFormat(internal);
  if (format == GL_RGBA && !l.framebufferAlpha) format = GL_RGB;
  l.es.glCopyTexImage2D(GL_TEXTURE_2D, level, format, x, y, w, h, 0);
}

void QUILLON_GLAPI glGetTexImage(GLenum target, GLint level, GLenum format, GLenum type, void* pixels) {
  State& l = state;
  if (Refused()) return;
  if (target != GL_TEXTURE_2D) return SetError(GL_INVALID_ENUM);
  if (!LevelOk(level)) return SetError(GL_INVALID_VALUE);
  Flush();
  const Texture& t = BoundTexture();
  const TextureLevel& lv = t.levels[static_cast<std::size_t>(level)];
  if (!l.started || lv.width == 0 || lv.height == 0) return;
  // ES reads textures only through a framebuffer.
  GLint before = 0;
  l.es.glGetIntegerv(kFramebufferBinding, &before);
  if (l.readFramebuffer == 0) l.es.glGenFramebuffers(1, &l.readFramebuffer);
  l.es.glBindFramebuffer(kFramebuffer, l.readFramebuffer);
  l.es.glFramebufferTexture2D(kFramebuffer, kColourAttachment0, GL_TEXTURE_2D, t.es, level);
  if (l.es.glCheckFramebufferStatus(kFramebuffer) == kFramebufferComplete) {
    ReadRectangle(0, 0, lv.width, lv.height, format, type, pixels);
  } else {
    SetError(GL_INVALID_OPERATION);
  }
  l.es.glFramebufferTexture2D(kFramebuffer, kColourAttachment0, GL_TEXTURE_2D, 0, 0);
  l.es.glBindFramebuffer(kFramebuffer, static_cast<GLuint>(before));
}

void QUILLON_GLAPI glGetTexParameteriv(GLenum target, GLenum pname, GLint* params) {
  if (Refused()) return;
  if (target != GL_TEXTURE_2D) return SetError(GL_INVALID_ENUM);
  const Texture& t = BoundTexture();
  switch (pname) {
    case GL_TEXTURE_MIN_FILTER: *params = t.minFilter; break;
    case GL_TEXTURE_MAG_FILTER: *params = t.magFilter; break;
    case GL_TEXTURE_WRAP_S: *params = t.wrapS; break;
    case GL_TEXTURE_WRAP_T: *params = t.wrapT; break;
    default: SetError(GL_INVALID_ENUM);
  }
}

void QUILLON_GLAPI glGetTexLevelParameteriv(GLenum target, GLint level, GLenum pname, GLint* params) {
  if (Refused()) return;
  if (target != GL_TEXTURE_2D) return SetError(GL_INVALID_ENUM);
  if (!LevelOk(level)) return SetError(GL_INVALID_VALUE);
  const TextureLevel& lv = BoundTexture().levels[static_cast<std::size_t>(level)];
  const GLenum base = EsCopyFormat(static_cast<GLenum>(lv.internalFormat));
  const bool defined = lv.width > 0;
  switch (pname) {
    case GL_TEXTURE_WIDTH: *params = lv.width; break;
    case GL_TEXTURE_HEIGHT: *params = lv.height; break;
    case GL_TEXTURE_BORDER: *params = 0; break;
    case GL_TEXTURE_INTERNAL_FORMAT: *params = defined ? lv.internalFormat : 1; break;
    case GL_TEXTURE_RED_SIZE:
    case GL_TEXTURE_GREEN_SIZE:
    case GL_TEXTURE_BLUE_SIZE:
      *params = defined && (base == GL_RGB || base == GL_RGBA) ? 8 : 0;
      break;
    case GL_TEXTURE_ALPHA_SIZE:
      *params = defined && (base == GL_RGBA || base == GL_ALPHA || base == GL_LUMINANCE_ALPHA) ? 8 : 0;
      break;
    case GL_TEXTURE_LUMINANCE_SIZE:
      *params = defined && (base == GL_LUMINANCE || base == GL_LUMINANCE_ALPHA) ? 8 : 0;
      break;
    default: SetError(GL_INVALID_ENUM);
  }
}

void QUILLON_GLAPI glPixelStorei(GLenum pname, GLint param) {
  State& l = state;
  if (Refused()) return;
  if (pname == GL_PACK_ALIGNMENT || pname == GL_UNPACK_ALIGNMENT) {
    if (param != 1 && param != 2 && param != 4 && param != 8) return SetError(GL_INVALID_VALUE);
    (pname == GL_PACK_ALIGNMENT ? l.packAlignment : l.unpackAlignment) = param;
  }
  Flush();
  if (l.started) l.es.glPixelStorei(pname, param);
}

void QUILLON_GLAPI glReadPixels(GLint x, GLint y, GLsizei w, GLsizei h, GLenum format, GLenum type, void* pixels) {
  if (Refused()) return;
  Flush();
  if (state.started) ReadRectangle(x, y, w, h, format, type, pixels);
}

void QUILLON_GLAPI glGetIntegerv(GLenum pname, GLint* params) {
  Get(pname, params, [](const Values& v, int i) {
    return v.normalised ? NormalisedInteger(v.v[i]) : static_cast<GLint>(std::lround(v.v[i]));
  });
}

void QUILLON_GLAPI glGetFloatv(GLenum pname, GLfloat* params) {
  Get(pname, params, [](const Values& v, int i) { return static_cast<GLfloat>(v.v[i]); });
}

void QUILLON_GLAPI glGetDoublev(GLenum pname, GLdouble* params) {
  Get(pname, params, [](const Values& v, int i) { return v.v[i]; });
}

void QUILLON_GLAPI glGetBooleanv(GLenum pname, GLboolean* params) {
  Get(pname, params, [](const Values& v, int i) -> GLboolean { return v.v[i] != 0 ? GL_TRUE : GL_FALSE; });
}

GLenum QUILLON_GLAPI glGetError() {
  State& l = state;
  const GLenum own = l.error;
  l.error = GL_NO_ERROR;
  if (own != GL_NO_ERROR || !l.started) return own;
  return l.es.glGetError();
}

const GLubyte* QUILLON_GLAPI glGetString(GLenum name) {
  State& l = state;
  const std::string* s = nullptr;
  static const std::string none;
  switch (name) {
    case GL_VENDOR: s = &l.vendor; break;
    case GL_RENDERER: s = &l.renderer; break;
    case GL_VERSION: s = &l.version; break;
    case GL_EXTENSIONS: s = &none; break;
    default: SetError(GL_INVALID_ENUM); return nullptr;
  }
  return reinterpret_cast<const GLubyte*>(s->c_str());
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

GLint QUILLON_GLAPI gluBuild2DMipmaps(GLenum target, GLint components, GLint w, GLint h, GLenum format, GLenum type,
                                      const void* data) {
  State& l = state;
  const int bytes = BytesPerPixel(format);
  if (w < 1 || h < 1) return kGluInvalidValue;
  if (target != GL_TEXTURE_2D || type != GL_UNSIGNED_BYTE || bytes == 0) return kGluInvalidEnum;
  const int maxSide = l.maxTextureSize > 0 ? l.maxTextureSize : 1 << (kMaxLevels - 1);
  const std::vector<MipLevel> levels = BuildMipLevels(w, h, bytes, static_cast<const std::uint8_t*>(data),
                                                      RowBytes(w, bytes, l.unpackAlignment), maxSide);
  Flush();
  // The levels are packed tightly; the caller's unpacking is put back after.
  if (l.started) l.es.glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  for (std::size_t i = 0; i < levels.size() && i < kMaxLevels; ++i) {
    UploadLevel(static_cast<GLint>(i), components, levels[i].width, levels[i].height, format, levels[i].bytes.data());
  }
  if (l.started) l.es.glPixelStorei(GL_UNPACK_ALIGNMENT, l.unpackAlignment);
  return 0;
}

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
