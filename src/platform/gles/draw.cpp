// The drawing half of the layer: its one shader, the batch of vertices that
// glBegin/glEnd fill, and the ES state each batch is drawn with.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/gles/state.h"

namespace platform::gles {

namespace {

// GL's fixed function for what the show uses: the vertex transformed by
// projection x modelview, its colour clamped, its texture coordinate
// (s, t, r, 1) through the texture matrix and projected by q. The texture
// environment and the alpha comparison are switches compiled into each
// build: as uniforms tested per fragment they cost a software rasterizer a
// quarter more time in the show's layered segment.
const char* const kVertexSource = R"(
in vec3 aPosition;
in vec4 aColour;
in vec3 aTexCoord;
uniform mat4 uMvp;
uniform mat4 uTextureMatrix;
out vec4 vColour;
out vec4 vTexCoord;
void main() {
  gl_Position = uMvp * vec4(aPosition, 1.0);
  gl_PointSize = 1.0;
  vColour = clamp(aColour, 0.0, 1.0);
#if ENVIRONMENT > 0
  vTexCoord = uTextureMatrix * vec4(aTexCoord, 1.0);
#else
  vTexCoord = vec4(0.0);
#endif
}
)";

// ENVIRONMENT: 0 untextured, 1 MODULATE, 2 REPLACE, 3 DECAL, 4 ADD.
// ALPHA_FUNC: GL's comparison less GL_NEVER, 0 never ... 7 always.
// PROJECTIVE: 1 when the texture matrix's last row is not (0, 0, 0, 1).
const char* const kFragmentSource = R"(
precision highp float;
in vec4 vColour;
in vec4 vTexCoord;
uniform sampler2D uSampler;
uniform float uAlphaRef;
out vec4 fragColour;
void main() {
  vec4 c = vColour;
#if ENVIRONMENT > 0 && PROJECTIVE
  vec4 t = textureProj(uSampler, vTexCoord.xyw);
#elif ENVIRONMENT > 0
  vec4 t = texture(uSampler, vTexCoord.xy);  // q is 1: the same lookup, less work
#endif
#if ENVIRONMENT == 1
  c = c * t;
#elif ENVIRONMENT == 2
  c = t;
#elif ENVIRONMENT == 3
  c = vec4(mix(c.rgb, t.rgb, t.a), c.a);
#elif ENVIRONMENT == 4
  c = vec4(c.rgb + t.rgb, c.a * t.a);
#endif
#if ALPHA_FUNC == 0
  discard;
#elif ALPHA_FUNC == 1
  if (!(c.a < uAlphaRef)) discard;
#elif ALPHA_FUNC == 2
  if (!(c.a == uAlphaRef)) discard;
#elif ALPHA_FUNC == 3
  if (!(c.a <= uAlphaRef)) discard;
#elif ALPHA_FUNC == 4
  if (!(c.a > uAlphaRef)) discard;
#elif ALPHA_FUNC == 5
  if (!(c.a != uAlphaRef)) discard;
#elif ALPHA_FUNC == 6
  if (!(c.a >= uAlphaRef)) discard;
#endif
  fragColour = c;
}
)";

enum Attribute : GLuint { kPosition = 0, kColour = 1, kTexCoord = 2 };

GLuint Compile(GLenum type, const std::string& switches, const char* body, std::string& error) {
  const EsTable& es = Layer().es;
  const GLuint shader = es.glCreateShader(type);
  const char* sources[] = {"#version 300 es\n", switches.c_str(), body};
  es.glShaderSource(shader, 3, sources, nullptr);
  es.glCompileShader(shader);
  GLint ok = 0;
  es.glGetShaderiv(shader, kCompileStatus, &ok);
  if (!ok) {
    char log[1024] = "";
    es.glGetShaderInfoLog(shader, sizeof log, nullptr, log);
    error = std::string(type == kVertexShader ? "vertex" : "fragment") + " shader refused: " + log;
    es.glDeleteShader(shader);
    return 0;
  }
  return shader;
}

int Environment(const DrawState& s) {
  if (!s.textured) return 0;
  switch (s.envMode) {
    case GL_REPLACE: return 2;
    case GL_DECAL: return 3;
    case GL_ADD: return 4;
    default: return 1;
  }
}

bool Projective(const DrawState& s) {
  const float* m = s.textureMatrix.m;
  return s.textured && (m[3] != 0 || m[7] != 0 || m[11] != 0 || m[15] != 1);
}

int ProgramIndex(const DrawState& s) {
  const GLenum func = s.alphaTest ? s.alphaFunc : GL_ALWAYS;
  return ((Projective(s) ? kEnvironments : 0) + Environment(s)) * kAlphaFuncs + static_cast<int>(func - GL_NEVER);
}

// Builds the shader with the switches of program index; false, with the
// reason in error, when ES refuses it.
bool Build(int index, std::string& error) {
  State& l = Layer();
  const EsTable& es = l.es;
  Program& p = l.programs[static_cast<std::size_t>(index)];
  const std::string switches = "#define ENVIRONMENT " + std::to_string(index / kAlphaFuncs % kEnvironments) +
                               "\n#define ALPHA_FUNC " + std::to_string(index % kAlphaFuncs) +
                               "\n#define PROJECTIVE " + std::to_string(index / (kAlphaFuncs * kEnvironments)) + "\n";
  const GLuint vertex = Compile(kVertexShader, switches, kVertexSource, error);
  if (!vertex) return false;
  const GLuint fragment = Compile(kFragmentShader, switches, kFragmentSource, error);
  if (!fragment) {
    es.glDeleteShader(vertex);
    return false;
  }
  p.name = es.glCreateProgram();
  es.glAttachShader(p.name, vertex);
  es.glAttachShader(p.name, fragment);
  es.glBindAttribLocation(p.name, kPosition, "aPosition");
  es.glBindAttribLocation(p.name, kColour, "aColour");
  es.glBindAttribLocation(p.name, kTexCoord, "aTexCoord");
  es.glLinkProgram(p.name);
  es.glDeleteShader(vertex);
  es.glDeleteShader(fragment);
  GLint ok = 0;
  es.glGetProgramiv(p.name, kLinkStatus, &ok);
  if (!ok) {
    char log[1024] = "";
    es.glGetProgramInfoLog(p.name, sizeof log, nullptr, log);
    error = std::string("shader program refused: ") + log;
    es.glDeleteProgram(p.name);
    p = Program{};
    return false;
  }
  p.uMvp = es.glGetUniformLocation(p.name, "uMvp");
  p.uTextureMatrix = es.glGetUniformLocation(p.name, "uTextureMatrix");
  p.uAlphaRef = es.glGetUniformLocation(p.name, "uAlphaRef");
  es.glUseProgram(p.name);
  es.glUniform1i(es.glGetUniformLocation(p.name, "uSampler"), 0);
  l.esProgram = index;
  return true;
}

// Makes the build that state s needs current, with s's values; false when
// it cannot be built (the draw is then dropped with GL_OUT_OF_MEMORY, as a
// driver does that runs out of shader space).
bool UseProgram(const DrawState& s) {
  State& l = Layer();
  const EsTable& es = l.es;
  const int index = ProgramIndex(s);
  Program& p = l.programs[static_cast<std::size_t>(index)];
  if (p.name == 0) {
    std::string error;
    if (!Build(index, error)) {
      SetError(GL_OUT_OF_MEMORY);
      return false;
    }
  }
  if (l.esProgram != index) es.glUseProgram(p.name);
  l.esProgram = index;
  if (!p.given || !(p.mvp == s.mvp)) es.glUniformMatrix4fv(p.uMvp, 1, GL_FALSE, s.mvp.m);
  if (s.textured && (!p.given || !(p.textureMatrix == s.textureMatrix))) {
    es.glUniformMatrix4fv(p.uTextureMatrix, 1, GL_FALSE, s.textureMatrix.m);
  }
  if (s.alphaTest && (!p.given || p.alphaRef != s.alphaRef)) es.glUniform1f(p.uAlphaRef, s.alphaRef);
  p.given = true;
  p.mvp = s.mvp;
  p.textureMatrix = s.textureMatrix;
  p.alphaRef = s.alphaRef;
  return true;
}

void Toggle(GLenum cap, bool on) {
  const EsTable& es = Layer().es;
  if (on)
    es.glEnable(cap);
  else
    es.glDisable(cap);
}

// Gives the ES context the state s, changing only what differs from what it
// has (everything when that is not known).
void Apply(const DrawState& s) {
  State& l = Layer();
  const EsTable& es = l.es;
  DrawState& e = l.es_;
  const bool all = !l.esKnown;
  if (s.textured) BindEsTexture(TextureNamed(s.texture).es);
  if (all || s.blend != e.blend) Toggle(GL_BLEND, s.blend);
  if (all || s.blendSrc != e.blendSrc || s.blendDst != e.blendDst) es.glBlendFunc(s.blendSrc, s.blendDst);
  if (all || s.depthTest != e.depthTest) Toggle(GL_DEPTH_TEST, s.depthTest);
  if (all || s.depthFunc != e.depthFunc) es.glDepthFunc(s.depthFunc);
  if (all || s.depthMask != e.depthMask) es.glDepthMask(s.depthMask ? GL_TRUE : GL_FALSE);
  if (all || s.scissor != e.scissor) Toggle(GL_SCISSOR_TEST, s.scissor);
  if (all || s.scissorBox != e.scissorBox) es.glScissor(s.scissorBox[0], s.scissorBox[1], s.scissorBox[2], s.scissorBox[3]);
  if (all || s.viewport != e.viewport) es.glViewport(s.viewport[0], s.viewport[1], s.viewport[2], s.viewport[3]);
  if (all || s.cull != e.cull) Toggle(GL_CULL_FACE, s.cull);
  if (all) {
    es.glBindVertexArray(l.vertexArray);
    es.glBindBuffer(kArrayBuffer, l.buffer);
    es.glBindSampler(0, 0);
    l.esSampler = 0;
  }
  e = s;
  l.esKnown = true;
}

bool Mipmapping(GLint minFilter) { return minFilter != GL_NEAREST && minFilter != GL_LINEAR; }

// Whether the triangles of a batch in state s can be checked for
// magnification: drawn with a mipmapped texture (else the test gains
// nothing) through a texture matrix that leaves q at 1.
bool MagnifyCandidate(const DrawState& s) {
  if (!s.textured || Projective(s)) return false;
  const Texture& t = TextureNamed(s.texture);
  return Mipmapping(t.minFilter);
}

// True when the triangle (v0, v1, v2), as the batch's state draws it, maps
// at most one texel onto a pixel everywhere: GL's level of detail is then
// at most 0 at each of its fragments, where GL samples with the magnifying
// filter. In window space the texel coordinate is u = P / Q, with P (u
// times 1/w) and Q (1/w) affine, so du/dx = (Px Q - P Qx) / Q^2 whose
// numerator is affine: it is largest in size at a corner and Q^2 smallest
// at one, which bounds the derivative over the whole triangle from its
// corners alone.
bool TriangleMagnified(const DrawState& s, double width, double height, const float* v0, const float* v1,
                       const float* v2) {
  const float* m = s.mvp.m;
  const float* tm = s.textureMatrix.m;
  const float* v[3] = {v0, v1, v2};
  double X[3], Y[3], a[3], u[3], t[3];
  for (int i = 0; i < 3; ++i) {
    const double x = v[i][0], y = v[i][1], z = v[i][2];
    const double w = m[3] * x + m[7] * y + m[11] * z + m[15];
    // A corner behind the eye is clipped away: too near to bound.
    if (!(w > 0)) return false;
    a[i] = 1 / w;
    X[i] = (m[0] * x + m[4] * y + m[8] * z + m[12]) * a[i] * s.viewport[2] / 2;
    Y[i] = (m[1] * x + m[5] * y + m[9] * z + m[13]) * a[i] * s.viewport[3] / 2;
    const double ts = v[i][7], tt = v[i][8], tr = v[i][9];
    u[i] = (tm[0] * ts + tm[4] * tt + tm[8] * tr + tm[12]) * width;
    t[i] = (tm[1] * ts + tm[5] * tt + tm[9] * tr + tm[13]) * height;
  }
  const double e1x = X[1] - X[0], e1y = Y[1] - Y[0], e2x = X[2] - X[0], e2y = Y[2] - Y[0];
  const double det = e1x * e2y - e2x * e1y;
  if (det == 0) return true;  // no area: no fragments
  // The gradient in window space of the affine function with values f.
  auto gradient = [&](const double f[3], double& fx, double& fy) {
    const double d1 = f[1] - f[0], d2 = f[2] - f[0];
    fx = (d1 * e2y - d2 * e1y) / det;
    fy = (d2 * e1x - d1 * e2x) / det;
  };
  const double pu[3] = {u[0] * a[0], u[1] * a[1], u[2] * a[2]};
  const double pt[3] = {t[0] * a[0], t[1] * a[1], t[2] * a[2]};
  double qx, qy, pux, puy, ptx, pty;
  gradient(a, qx, qy);
  gradient(pu, pux, puy);
  gradient(pt, ptx, pty);
  double ux = 0, uy = 0, tx = 0, ty = 0, minA = a[0];
  for (int i = 0; i < 3; ++i) {
    ux = std::max(ux, std::fabs(a[i] * pux - pu[i] * qx));
    uy = std::max(uy, std::fabs(a[i] * puy - pu[i] * qy));
    tx = std::max(tx, std::fabs(a[i] * ptx - pt[i] * qx));
    ty = std::max(ty, std::fabs(a[i] * pty - pt[i] * qy));
    minA = std::min(minA, a[i]);
  }
  // GL's scale factor is the larger of the lengths of (du/dx, dv/dx) and
  // (du/dy, dv/dy). A picture drawn texel for pixel has exactly 1, which
  // a renderer's rounding may put either side; a tenth of a percent above
  // it would blend in the next level by a tenth of a percent, less than a
  // level of colour.
  const double limit = (1 + 1e-3) * minA * minA;
  return ux * ux + tx * tx <= limit * limit && uy * uy + ty * ty <= limit * limit;
}

// A batch is split into at most this many runs: a draw costs more than the
// cheaper sampling of a few triangles saves. And after this many triangles
// in a row that do not magnify, the rest of the batch is taken to be the
// same without looking (a large mesh seen from afar).
constexpr std::size_t kMaxRuns = 8;
constexpr std::size_t kMinifiedEnough = 64;

// Sorts the triangles of the batch's vertices from index first on into
// runs. Where it stops looking, the last run does not magnify, so that
// every triangle left unchecked is drawn with the texture's own filter.
void CheckMagnified(std::size_t first) {
  State& l = Layer();
  const TextureLevel& base = TextureNamed(l.batchState.texture).levels[0];
  const float* f = l.vertices.data();
  const std::size_t n = l.vertices.size() / kVertexFloats;
  std::vector<State::Run>& runs = l.runs;
  for (std::size_t i = first; i + 2 < n && l.checkRuns; i += 3) {
    const bool magnified = TriangleMagnified(l.batchState, base.width, base.height, f + i * kVertexFloats,
                                             f + (i + 1) * kVertexFloats, f + (i + 2) * kVertexFloats);
    if (!runs.empty() && runs.back().magnified == magnified) {
      if (!magnified && i - runs.back().first >= 3 * kMinifiedEnough) l.checkRuns = false;
    } else if (runs.size() < kMaxRuns) {
      runs.push_back({i, magnified});
    } else {
      runs.back().magnified = false;
      l.checkRuns = false;
    }
  }
}

// A sampler that samples the texture's first level with its magnifying
// filter and wrap modes, whatever the level of detail.
GLuint MagnifyingSampler(const Texture& t) {
  State& l = Layer();
  const EsTable& es = l.es;
  auto esWrap = [](GLint wrap) { return wrap == GL_REPEAT ? GL_REPEAT : static_cast<GLint>(kClampToEdge); };
  const std::size_t index = (t.magFilter == GL_LINEAR ? 4u : 0u) + (t.wrapS == GL_REPEAT ? 0u : 2u) +
                            (t.wrapT == GL_REPEAT ? 0u : 1u);
  GLuint& sampler = l.samplers[index];
  if (sampler == 0) {
    es.glGenSamplers(1, &sampler);
    es.glSamplerParameteri(sampler, GL_TEXTURE_MIN_FILTER, t.magFilter);
    es.glSamplerParameteri(sampler, GL_TEXTURE_MAG_FILTER, t.magFilter);
    es.glSamplerParameteri(sampler, GL_TEXTURE_WRAP_S, esWrap(t.wrapS));
    es.glSamplerParameteri(sampler, GL_TEXTURE_WRAP_T, esWrap(t.wrapT));
  }
  return sampler;
}

void BindEsSampler(GLuint sampler) {
  State& l = Layer();
  if (l.esSampler == sampler) return;
  l.es.glBindSampler(0, sampler);
  l.esSampler = sampler;
}

void Push(const Vertex& v) {
  const float* f = &v.x;
  Layer().vertices.insert(Layer().vertices.end(), f, f + kVertexFloats);
}

Batch ClassOf(GLenum mode) {
  switch (mode) {
    case GL_POINTS: return Batch::kPoints;
    case GL_LINES:
    case GL_LINE_STRIP:
    case GL_LINE_LOOP: return Batch::kLines;
    default: return Batch::kTriangles;
  }
}

}  // namespace

bool StartDrawing(std::string& error) {
  State& l = Layer();
  const EsTable& es = l.es;
  // The builds the show starts with: any refusal shows here, at the start.
  DrawState plain, textured;
  textured.textured = true;
  if (!Build(ProgramIndex(plain), error) || !Build(ProgramIndex(textured), error)) return false;
  es.glGenVertexArrays(1, &l.vertexArray);
  es.glBindVertexArray(l.vertexArray);
  es.glGenBuffers(1, &l.buffer);
  es.glBindBuffer(kArrayBuffer, l.buffer);
  const GLsizei stride = kVertexFloats * sizeof(float);
  es.glEnableVertexAttribArray(kPosition);
  es.glVertexAttribPointer(kPosition, 3, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<const void*>(0));
  es.glEnableVertexAttribArray(kColour);
  es.glVertexAttribPointer(kColour, 4, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<const void*>(3 * sizeof(float)));
  es.glEnableVertexAttribArray(kTexCoord);
  es.glVertexAttribPointer(kTexCoord, 3, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<const void*>(7 * sizeof(float)));
  es.glActiveTexture(kTexture0);
  return true;
}

void FreeDrawing() {
  State& l = Layer();
  const EsTable& es = l.es;
  if (l.buffer) es.glDeleteBuffers(1, &l.buffer);
  if (l.vertexArray) es.glDeleteVertexArrays(1, &l.vertexArray);
  if (l.readFramebuffer) es.glDeleteFramebuffers(1, &l.readFramebuffer);
  for (Program& p : l.programs) {
    if (p.name) es.glDeleteProgram(p.name);
    p = Program{};
  }
  for (GLuint& sampler : l.samplers) {
    if (sampler) es.glDeleteSamplers(1, &sampler);
    sampler = 0;
  }
  l.esSampler = 0;
  l.buffer = l.vertexArray = l.readFramebuffer = 0;
  l.esProgram = -1;
}

void BindEsTexture(GLuint es) {
  State& l = Layer();
  if (l.esKnown && l.esTexture == es) return;
  l.es.glBindTexture(GL_TEXTURE_2D, es);
  l.esTexture = es;
}

void ApplyForClear() {
  State& l = Layer();
  const EsTable& es = l.es;
  const bool all = !l.esKnown;
  DrawState s = l.esKnown ? l.es_ : l.draw;
  // A clear is cut by the scissor box and writes depth only through the mask.
  s.scissor = l.draw.scissor;
  s.scissorBox = l.draw.scissorBox;
  s.depthMask = l.draw.depthMask;
  Apply(s);
  if (all || l.esClearColour != l.clearColour) {
    es.glClearColor(l.clearColour[0], l.clearColour[1], l.clearColour[2], l.clearColour[3]);
    l.esClearColour = l.clearColour;
  }
  if (all || l.esClearDepth != l.clearDepth) {
    es.glClearDepthf(l.clearDepth);
    l.esClearDepth = l.clearDepth;
  }
}

void EndPrimitive() {
  State& l = Layer();
  const std::vector<Vertex>& v = l.primitive;
  const std::size_t n = v.size();
  const Batch kind = ClassOf(l.mode);
  if (l.batch != Batch::kNone && l.batch != kind) Flush();
  if (l.batch == Batch::kNone) l.checkRuns = kind == Batch::kTriangles && MagnifyCandidate(l.batchState);
  l.batch = kind;
  const std::size_t first = l.vertices.size() / kVertexFloats;
  switch (l.mode) {
    case GL_POINTS:
      for (const Vertex& p : v) Push(p);
      break;
    case GL_LINES:
      for (std::size_t i = 0; i + 1 < n; i += 2) Push(v[i]), Push(v[i + 1]);
      break;
    case GL_LINE_STRIP:
    case GL_LINE_LOOP:
      for (std::size_t i = 0; i + 1 < n; ++i) Push(v[i]), Push(v[i + 1]);
      if (l.mode == GL_LINE_LOOP && n >= 2) Push(v[n - 1]), Push(v[0]);
      break;
    case GL_TRIANGLES:
      for (std::size_t i = 0; i + 2 < n; i += 3) Push(v[i]), Push(v[i + 1]), Push(v[i + 2]);
      break;
    case GL_TRIANGLE_STRIP:
      for (std::size_t i = 0; i + 2 < n; ++i) {
        // Every second triangle turns round, so that all keep the strip's winding.
        if (i % 2 == 0)
          Push(v[i]), Push(v[i + 1]), Push(v[i + 2]);
        else
          Push(v[i + 1]), Push(v[i]), Push(v[i + 2]);
      }
      break;
    case GL_TRIANGLE_FAN:
    case GL_POLYGON:
      for (std::size_t i = 1; i + 1 < n; ++i) Push(v[0]), Push(v[i]), Push(v[i + 1]);
      break;
    case GL_QUADS:
      for (std::size_t i = 0; i + 3 < n; i += 4) {
        Push(v[i]), Push(v[i + 1]), Push(v[i + 2]);
        Push(v[i]), Push(v[i + 2]), Push(v[i + 3]);
      }
      break;
    case GL_QUAD_STRIP:
      for (std::size_t i = 0; i + 3 < n; i += 2) {
        Push(v[i]), Push(v[i + 1]), Push(v[i + 3]);
        Push(v[i]), Push(v[i + 3]), Push(v[i + 2]);
      }
      break;
    default: break;
  }
  if (l.checkRuns) CheckMagnified(first);
}

void Flush() {
  State& l = Layer();
  const auto done = [&l] {
    l.vertices.clear();
    l.runs.clear();
    l.checkRuns = false;
    l.batch = Batch::kNone;
  };
  if (l.vertices.empty() || !l.started || (Apply(l.batchState), !UseProgram(l.batchState))) return done();
  const EsTable& es = l.es;
  es.glBufferData(kArrayBuffer, static_cast<signed long int>(l.vertices.size() * sizeof(float)), l.vertices.data(),
                  kStreamDraw);
  const GLenum mode = l.batch == Batch::kPoints ? GL_POINTS : l.batch == Batch::kLines ? GL_LINES : GL_TRIANGLES;
  const std::size_t count = l.vertices.size() / kVertexFloats;
  if (l.runs.empty()) l.runs.assign(1, {0, false});
  for (std::size_t i = 0; i < l.runs.size(); ++i) {
    const std::size_t end = i + 1 < l.runs.size() ? l.runs[i + 1].first : count;
    BindEsSampler(l.runs[i].magnified ? MagnifyingSampler(TextureNamed(l.batchState.texture)) : 0);
    es.glDrawArrays(mode, static_cast<GLint>(l.runs[i].first), static_cast<GLsizei>(end - l.runs[i].first));
  }
  done();
}

}  // namespace platform::gles
