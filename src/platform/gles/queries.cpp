// The layer's answers to GL's state queries, from its own state; only the
// framebuffer's sizes and the context's limits are asked of ES.
#include <algorithm>
#include <cmath>
#include <initializer_list>

#include "platform/gles/state.h"

namespace platform::gles {

namespace {

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
  State& l = Layer();
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
  State& l = Layer();
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

}  // namespace

namespace entries {

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
  State& l = Layer();
  const GLenum own = l.error;
  l.error = GL_NO_ERROR;
  if (own != GL_NO_ERROR || !l.started) return own;
  return l.es.glGetError();
}

const GLubyte* QUILLON_GLAPI glGetString(GLenum name) {
  State& l = Layer();
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

}  // namespace entries

}  // namespace platform::gles
