// The drawing half of the layer: its one shader, the batch of vertices that
// glBegin/glEnd fill, and the ES state each batch is drawn with.
#include <cstring>

#include "platform/gles/state.h"

namespace platform::gles {

namespace {

// GL's fixed function for what the show uses: the vertex transformed by
// projection x modelview, its colour clamped, its texture coordinate
// (s, t, r, 1) through the texture matrix and projected by q; the texture
// environment and the alpha test are switches.
const char* const kVertexSource = R"(#version 300 es
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
  vTexCoord = uTextureMatrix * vec4(aTexCoord, 1.0);
}
)";

const char* const kFragmentSource = R"(#version 300 es
precision highp float;
in vec4 vColour;
in vec4 vTexCoord;
uniform sampler2D uSampler;
uniform bool uTextured;
uniform int uEnvMode;   // 0 MODULATE, 1 REPLACE, 2 DECAL, 3 ADD
uniform int uAlphaFunc; // GL's comparison less GL_NEVER: 0 never ... 7 always
uniform float uAlphaRef;
out vec4 fragColour;
void main() {
  vec4 c = vColour;
  if (uTextured) {
    vec4 t = textureProj(uSampler, vTexCoord.xyw);
    if (uEnvMode == 0) c = c * t;
    else if (uEnvMode == 1) c = t;
    else if (uEnvMode == 2) c = vec4(mix(c.rgb, t.rgb, t.a), c.a);
    else c = vec4(c.rgb + t.rgb, c.a * t.a);
  }
  bool pass = true;
  if (uAlphaFunc == 0) pass = false;
  else if (uAlphaFunc == 1) pass = c.a < uAlphaRef;
  else if (uAlphaFunc == 2) pass = c.a == uAlphaRef;
  else if (uAlphaFunc == 3) pass = c.a <= uAlphaRef;
  else if (uAlphaFunc == 4) pass = c.a > uAlphaRef;
  else if (uAlphaFunc == 5) pass = c.a != uAlphaRef;
  else if (uAlphaFunc == 6) pass = c.a >= uAlphaRef;
  if (!pass) discard;
  fragColour = c;
}
)";

enum Attribute : GLuint { kPosition = 0, kColour = 1, kTexCoord = 2 };

GLuint Compile(GLenum type, const char* source, std::string& error) {
  const EsTable& es = Layer().es;
  const GLuint shader = es.glCreateShader(type);
  es.glShaderSource(shader, 1, &source, nullptr);
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

int EnvIndex(GLint mode) {
  switch (mode) {
    case GL_REPLACE: return 1;
    case GL_DECAL: return 2;
    case GL_ADD: return 3;
    default: return 0;
  }
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
  if (all || !(s.mvp == e.mvp)) es.glUniformMatrix4fv(l.uMvp, 1, GL_FALSE, s.mvp.m);
  if (all || !(s.textureMatrix == e.textureMatrix)) es.glUniformMatrix4fv(l.uTextureMatrix, 1, GL_FALSE, s.textureMatrix.m);
  if (all || s.textured != e.textured) es.glUniform1i(l.uTextured, s.textured ? 1 : 0);
  if (s.textured) BindEsTexture(TextureNamed(s.texture).es);
  if (all || s.envMode != e.envMode) es.glUniform1i(l.uEnvMode, EnvIndex(s.envMode));
  const GLenum alphaFunc = s.alphaTest ? s.alphaFunc : GL_ALWAYS;
  if (all || alphaFunc != (e.alphaTest ? e.alphaFunc : GL_ALWAYS)) {
    es.glUniform1i(l.uAlphaFunc, static_cast<GLint>(alphaFunc) - GL_NEVER);
  }
  if (all || s.alphaRef != e.alphaRef) es.glUniform1f(l.uAlphaRef, s.alphaRef);
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
    es.glUseProgram(l.program);
    es.glBindVertexArray(l.vertexArray);
    es.glBindBuffer(kArrayBuffer, l.buffer);
  }
  e = s;
  l.esKnown = true;
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

bool MakeProgram(std::string& error) {
  State& l = Layer();
  const EsTable& es = l.es;
  const GLuint vertex = Compile(kVertexShader, kVertexSource, error);
  if (!vertex) return false;
  const GLuint fragment = Compile(kFragmentShader, kFragmentSource, error);
  if (!fragment) {
    es.glDeleteShader(vertex);
    return false;
  }
  l.program = es.glCreateProgram();
  es.glAttachShader(l.program, vertex);
  es.glAttachShader(l.program, fragment);
  es.glBindAttribLocation(l.program, kPosition, "aPosition");
  es.glBindAttribLocation(l.program, kColour, "aColour");
  es.glBindAttribLocation(l.program, kTexCoord, "aTexCoord");
  es.glLinkProgram(l.program);
  es.glDeleteShader(vertex);
  es.glDeleteShader(fragment);
  GLint ok = 0;
  es.glGetProgramiv(l.program, kLinkStatus, &ok);
  if (!ok) {
    char log[1024] = "";
    es.glGetProgramInfoLog(l.program, sizeof log, nullptr, log);
    error = std::string("shader program refused: ") + log;
    es.glDeleteProgram(l.program);
    l.program = 0;
    return false;
  }
  l.uMvp = es.glGetUniformLocation(l.program, "uMvp");
  l.uTextureMatrix = es.glGetUniformLocation(l.program, "uTextureMatrix");
  l.uTextured = es.glGetUniformLocation(l.program, "uTextured");
  l.uEnvMode = es.glGetUniformLocation(l.program, "uEnvMode");
  l.uAlphaFunc = es.glGetUniformLocation(l.program, "uAlphaFunc");
  l.uAlphaRef = es.glGetUniformLocation(l.program, "uAlphaRef");
  l.uSampler = es.glGetUniformLocation(l.program, "uSampler");
  es.glUseProgram(l.program);
  es.glUniform1i(l.uSampler, 0);

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
  if (l.program) es.glDeleteProgram(l.program);
  l.buffer = l.vertexArray = l.readFramebuffer = l.program = 0;
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
  l.batch = kind;
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
}

void Flush() {
  State& l = Layer();
  if (l.vertices.empty() || !l.started) {
    l.vertices.clear();
    l.batch = Batch::kNone;
    return;
  }
  Apply(l.batchState);
  const EsTable& es = l.es;
  es.glBufferData(kArrayBuffer, static_cast<signed long int>(l.vertices.size() * sizeof(float)), l.vertices.data(),
                  kStreamDraw);
  const GLenum mode = l.batch == Batch::kPoints ? GL_POINTS : l.batch == Batch::kLines ? GL_LINES : GL_TRIANGLES;
  es.glDrawArrays(mode, 0, static_cast<GLsizei>(l.vertices.size() / kVertexFloats));
  l.vertices.clear();
  l.batch = Batch::kNone;
}

}  // namespace platform::gles
