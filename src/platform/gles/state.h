#pragma once
// The layer's state: GL's state as the show sets it, what the ES context
// has been given, and the batch of vertices waiting to be drawn. One module,
// its state in one place. Private to the layer.
#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/gl.h"
#include "platform/gles/layer.h"
#include "platform/gles/matrix.h"

namespace platform::gles {

// The few ES enums that the OpenGL 1.1 header lacks.
inline constexpr GLenum kArrayBuffer = 0x8892;
inline constexpr GLenum kStreamDraw = 0x88E0;
inline constexpr GLenum kFragmentShader = 0x8B30;
inline constexpr GLenum kVertexShader = 0x8B31;
inline constexpr GLenum kCompileStatus = 0x8B81;
inline constexpr GLenum kLinkStatus = 0x8B82;
inline constexpr GLenum kFramebuffer = 0x8D40;
inline constexpr GLenum kFramebufferBinding = 0x8CA6;
inline constexpr GLenum kRenderbufferBinding = 0x8CA7;
inline constexpr GLenum kFramebufferComplete = 0x8CD5;
inline constexpr GLenum kColourAttachment0 = 0x8CE0;
inline constexpr GLenum kTexture0 = 0x84C0;
inline constexpr GLenum kClampToEdge = 0x812F;

// The vertex as the shader takes it: position, colour, texture coordinate.
struct Vertex {
  float x, y, z;
  float r, g, b, a;
  float s, t, p;
};
inline constexpr int kVertexFloats = 10;

// What a texture of GL holds: its levels and parameters, and the ES
// texture behind it (0 until first bound).
struct TextureLevel {
  GLsizei width = 0;
  GLsizei height = 0;
  GLint internalFormat = 0;  // as the caller gave it, for the queries
  GLenum esFormat = 0;       // what ES holds it in
};
inline constexpr int kMaxLevels = 16;
struct Texture {
  GLuint es = 0;
  std::array<TextureLevel, kMaxLevels> levels{};
  GLint minFilter = GL_NEAREST_MIPMAP_LINEAR;
  GLint magFilter = GL_LINEAR;
  GLint wrapS = GL_REPEAT;
  GLint wrapT = GL_REPEAT;
};

// Everything a draw depends on. Two draws with equal states go into one
// batch; the ES context is given a state only where it differs from the one
// it has.
struct DrawState {
  Matrix mvp{};
  Matrix textureMatrix{};
  GLuint texture = 0;   // the GL name bound when textured
  bool textured = false;  // GL_TEXTURE_2D on and the texture complete
  GLint envMode = GL_MODULATE;
  bool alphaTest = false;
  GLenum alphaFunc = GL_ALWAYS;
  float alphaRef = 0;
  bool blend = false;
  GLenum blendSrc = GL_ONE;
  GLenum blendDst = GL_ZERO;
  bool depthTest = false;
  GLenum depthFunc = GL_LESS;
  bool depthMask = true;
  bool scissor = false;
  std::array<GLint, 4> scissorBox{};
  std::array<GLint, 4> viewport{};
  bool cull = false;
  bool operator==(const DrawState&) const = default;
};

// The primitive classes ES draws.
enum class Batch { kNone, kPoints, kLines, kTriangles };

// One build of the shader: its switches are compiled in, the values stay
// uniforms, and the values it was last given are kept to skip repeats.
struct Program {
  GLuint name = 0;
  GLint uMvp = -1, uTextureMatrix = -1, uAlphaRef = -1;
  bool given = false;  // the values below have been set
  Matrix mvp{}, textureMatrix{};
  float alphaRef = 0;
};
// A build per texture environment (or none), alpha comparison, and whether
// the texture matrix can make q other than 1.
inline constexpr int kEnvironments = 5;  // untextured, MODULATE, REPLACE, DECAL, ADD
inline constexpr int kAlphaFuncs = 8;    // GL_NEVER to GL_ALWAYS
inline constexpr int kPrograms = kEnvironments * kAlphaFuncs * 2;

struct MatrixStack {
  std::vector<Matrix> matrices;  // the last is the current one
  std::size_t limit = 0;
};

struct State {
  bool started = false;
  EsTable es;

  // GL state.
  GLenum matrixMode = GL_MODELVIEW;
  MatrixStack modelview, projection, texture;
  Matrix mvp{};           // projection x modelview, as of the last glBegin that needed it
  bool mvpStale = true;
  std::array<float, 4> colour{1, 1, 1, 1};
  std::array<float, 3> texCoord{0, 0, 0};
  bool texture2d = false;
  std::map<GLenum, bool> keptCapabilities{{GL_DITHER, true}};
  GLuint boundTexture = 0;
  std::unordered_map<GLuint, Texture> textures;
  GLuint nextTextureName = 1;
  std::array<float, 4> clearColour{0, 0, 0, 0};
  float clearDepth = 1;
  std::map<GLenum, GLenum> hints;
  GLint unpackAlignment = 4, packAlignment = 4;
  GLint maxTextureSize = 0;
  bool framebufferAlpha = true;  // the default framebuffer has an alpha channel
  GLenum error = GL_NO_ERROR;
  DrawState draw;  // the parts of it kept as they are set; the matrices are filled in at glBegin
  std::string vendor, renderer, version;

  // Inside glBegin/glEnd.
  bool inBegin = false;
  GLenum mode = 0;
  std::vector<Vertex> primitive;

  // The batch.
  Batch batch = Batch::kNone;
  DrawState batchState;
  std::vector<float> vertices;
  // For a batch whose texture has a mipmapping filter: its triangles in
  // runs, each run either all magnifying (at most one texel onto a pixel
  // everywhere: GL then samples with the magnifying filter alone, which a
  // sampler without mipmaps gives for far less work than the mipmapping
  // one) or not. Drawn run by run, in order; empty for a batch that cannot
  // gain, which is drawn in one. checkRuns: its triangles are still being
  // sorted (draw.cpp says when that stops).
  struct Run {
    std::size_t first;  // vertex
    bool magnified;
  };
  bool checkRuns = false;
  std::vector<Run> runs;

  // What the ES context has.
  bool esKnown = false;
  DrawState es_;
  std::array<float, 4> esClearColour{};
  float esClearDepth = 1;
  GLuint esTexture = 0;  // bound to unit 0
  int esProgram = -1;    // the index in use
  GLuint esSampler = 0;  // bound to unit 0; 0 when the texture's own parameters sample
  // Samplers that magnify only, by magnifying filter and wrap modes (see
  // MagnifyingSampler), made when first needed.
  std::array<GLuint, 8> samplers{};
  std::array<Program, kPrograms> programs{};
  GLuint buffer = 0, vertexArray = 0, readFramebuffer = 0;
};

// The depths of GL's matrix stacks.
inline constexpr std::size_t kModelviewDepth = 32, kProjectionDepth = 32, kTextureDepth = 10;

// layer.cpp
State& Layer();
// Records a GL error; the first one stays until glGetError reads it.
void SetError(GLenum error);
// True, with GL_INVALID_OPERATION recorded, between glBegin and glEnd, where
// GL refuses most calls.
bool Refused();
// GL's flag for a capability; null for a name that is none.
bool* Capability(GLenum cap);

// textures.cpp
// Whether GL would sample the texture: level 0 there, and with a mipmapping
// filter every level below it down to 1 x 1.
bool Complete(const Texture& t);
Texture& BoundTexture();
Texture& TextureNamed(GLuint name);  // made (with its ES texture) on first use

// The entry points, under GL's and GLU's own names, each in the file of its kind.
namespace entries {
#define QUILLON_GL(ret, name, params, args) ret QUILLON_GLAPI name params;
#include "platform/gl_functions.inc"
#include "platform/glu_functions.inc"
#undef QUILLON_GL
}  // namespace entries

// draw.cpp
// Makes the vertex buffer and the builds of the shader the show starts with.
bool StartDrawing(std::string& error);
void FreeDrawing();
// Converts the finished primitive into the batch's vertices.
void EndPrimitive();
void Flush();
// Gives the ES context the texture, scissor and depth mask a clear or copy
// needs; the rest waits for the next draw.
void BindEsTexture(GLuint es);
void ApplyForClear();

}  // namespace platform::gles
