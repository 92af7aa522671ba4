#pragma once
// Scenes built in memory for the rendering tests, a recorder that logs the
// OpenGL calls object drawing makes (and still forwards them, so pixels can
// be read afterwards), and small pixel helpers.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/gl.h"
#include "scene/model.h"
#include "support/gl_context.h"

namespace rendertest {

struct Call {
  std::string Name;
  std::vector<double> Args;
};

// One run of faces between two texture binds, with the state in force at the
// bind: how the tests see "which object was drawn in which pass".
struct Draw {
  std::uint32_t Texture = 0;
  bool Blend = false;
  bool DepthWrite = true;
  bool AlphaTest = false;
  GLenum BlendSource = GL_ONE, BlendDest = GL_ZERO;
  std::vector<float> FirstColour;  // the first colour sent after the bind
  int Faces = 0;                   // glBegin calls after the bind
};

// Installs recording entry points for the calls of interest while alive.
class Recorder {
 public:
  Recorder();
  ~Recorder();
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  const std::vector<Call>& Calls() const;
  std::vector<Call> Named(const std::string& name) const;
  std::vector<Draw> Draws() const;
  void Clear();

 private:
  gl::GlTable saved_;
};

// A scene with a lens of 90 degrees, near 10 and far 10,000 scene units, and
// an eye at the origin looking along +Y (screen x is scene x, screen up is
// scene z). At distance d a scene point (x, d, z) lands on pixel
// (400 + 300 x / d, 300 + 300 z / d) of an 800 x 600 frame.
scene::Scene MakeScene();
// A camera fixed at eye and target (two equal keys in each track), prepared.
void SetCamera(scene::Scene& scene, scene::Vec3f eye, scene::Vec3f target);
std::int32_t AddMaterial(scene::Scene& scene, float blendAmount, std::uint8_t alphaFlag, std::uint8_t textured,
                         std::uint32_t textureName);
// A square facing the eye at distance d, centred on (cx, d, cz), half size h,
// two triangles; with texture coordinates 0..1 over it.
std::int32_t AddSquare(scene::Scene& scene, std::int32_t material, float d, float cx, float cz, float h,
                       const std::string& name = "square");
// One triangle with the given corners.
std::int32_t AddTriangle(scene::Scene& scene, std::int32_t material, scene::Vec3f a, scene::Vec3f b,
                         scene::Vec3f c, const std::string& name = "triangle");
// A 1 x 1 RGBA texture with nearest filtering and no mipmaps.
std::uint32_t MakeTexture(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a);

// The frame pixel where a point (x, d, z) of MakeScene's view lands.
int PixelX(float x, float d);
int PixelY(float z, float d);

// A headless context per test with a black frame and the render state at
// its start-up values before and after every test.
class RenderTest : public testsupport::GlTest {
 protected:
  void SetUp() override;
  void TearDown() override;
  static void ResetState();
};

}  // namespace rendertest

