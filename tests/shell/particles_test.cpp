// The particle list and its pass: links, retirement at y > 0, the life of an
// emitted particle, the size the list settles at, the billboards drawn with
// their texture coordinates, and the camera they are drawn in.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <utility>
#include <vector>

#include "platform/gl.h"
#include "platform/random.h"
#include "shell/particles.h"
#include "shell/show_assets.h"
#include "support/gl_context.h"

namespace {

using namespace shell;

// Records the corners of every quad the pass draws, each with the texture
// coordinate in force, passing each call on to the real context.
struct QuadRecorder {
  static inline std::vector<std::vector<Vec3>> quads;
  static inline std::vector<std::vector<std::pair<float, float>>> texcoords;
  static inline std::pair<float, float> texcoord;
  static inline gl::GlTable real;
  static void Begin(GLenum mode) {
    if (mode == GL_QUADS) {
      quads.emplace_back();
      texcoords.emplace_back();
    }
    real.glBegin(mode);
  }
  static void TexCoord(GLfloat s, GLfloat t) {
    texcoord = {s, t};
    real.glTexCoord2f(s, t);
  }
  static void Vertex(GLfloat x, GLfloat y, GLfloat z) {
    if (!quads.empty()) {
      quads.back().push_back({x, y, z});
      texcoords.back().push_back(texcoord);
    }
    real.glVertex3f(x, y, z);
  }
  QuadRecorder() {
    quads.clear();
    texcoords.clear();
    texcoord = {-1, -1};
    real = gl::SaveGlTable();
    gl::glBegin = Begin;
    gl::glTexCoord2f = TexCoord;
    gl::glVertex3f = Vertex;
  }
  ~QuadRecorder() { gl::RestoreGlTable(real); }
};

Vec3 Centre(const std::vector<Vec3>& quad) {
  Vec3 c{0, 0, 0};
  for (const Vec3& v : quad) c = {c.x + v.x / 4, c.y + v.y / 4, c.z + v.z / 4};
  return c;
}

class ParticlePass : public testsupport::GlTest {
 protected:
  void SetUp() override {
    testsupport::GlTest::SetUp();
    FlightScene = scene::Scene{};
    FlightScene.FieldOfView = 1.0f;
    CreateParticleList();
  }
  void ClearList() {
    while (ParticleHead->Next) {
      ParticleCursor = ParticleHead->Next;
      RemoveParticle();
    }
  }
  const Vec3 eye{0, -20000, 0};
  const Vec3 target{0, 0, 1};
};

TEST_F(ParticlePass, TheFirstParticleIsDrawnOnceAtTheOriginAndRetired) {
  ASSERT_EQ(CountParticles(), 1);
  QuadRecorder recorder;
  DrawParticles(eye, target);
  ASSERT_EQ(QuadRecorder::quads.size(), 1u);
  const Vec3 c = Centre(QuadRecorder::quads[0]);
  EXPECT_NEAR(c.x, 0, 1e-3);
  EXPECT_NEAR(c.y, 0, 1e-3);
  EXPECT_NEAR(c.z, 0, 1e-3);
  EXPECT_EQ(CountParticles(), 0);
  EXPECT_EQ(ParticleTail, ParticleHead);
  DrawParticles(eye, target);
  EXPECT_EQ(QuadRecorder::quads.size(), 1u);
}

TEST_F(ParticlePass, RemovingTheOnlyParticleLeavesTheTailAtTheHeadAndAnEmptyListDrawsNothing) {
  ParticleCursor = ParticleHead->Next;
  RemoveParticle();
  EXPECT_EQ(ParticleTail, ParticleHead);
  EXPECT_EQ(ParticleHead->Next, nullptr);
  EXPECT_EQ(ParticleCursor, ParticleHead);
  QuadRecorder recorder;
  DrawParticles(eye, target);
  EXPECT_TRUE(QuadRecorder::quads.empty());
  EXPECT_EQ(ParticleTail, ParticleHead);
  EXPECT_EQ(ParticleHead->Next, nullptr);
}

TEST_F(ParticlePass, RemovalInTheMiddleKeepsBothDirectionsLinked) {
  ClearList();
  const Vec3 o{0, 0, 0};
  AddParticle(1, -100, 0, 0, 1, 0, 1, 1, 1, 1, o, o);
  AddParticle(2, -100, 0, 0, 500, 0, 1, 1, 1, 1, o, o);  // leaves after one pass
  AddParticle(3, -100, 0, 0, 1, 0, 1, 1, 1, 1, o, o);
  QuadRecorder recorder;
  DrawParticles(eye, target);
  EXPECT_EQ(QuadRecorder::quads.size(), 3u) << "the pass goes on after a removal";
  ASSERT_EQ(CountParticles(), 2);
  EXPECT_EQ(ParticleHead->Next->Pos.x, 1);
  EXPECT_EQ(ParticleHead->Next->Next->Pos.x, 3);
  EXPECT_EQ(ParticleTail->Pos.x, 3);
  EXPECT_EQ(ParticleTail->Prev, ParticleHead->Next);
  EXPECT_EQ(ParticleHead->Next->Prev, ParticleHead);
}

TEST_F(ParticlePass, AParticleAtExactlyZeroIsDrawnOnceMoreAndAnEmittedOneLives251Passes) {
  ClearList();
  const Vec3 o{0, 0, 0};
  AddParticle(0, -40, 0, 0, 40, 0, 1, 1, 1, 1, o, o);
  QuadRecorder recorder;
  DrawParticles(eye, target);
  EXPECT_EQ(CountParticles(), 1) << "y = 0 after the move is not yet past the plane";
  DrawParticles(eye, target);
  EXPECT_EQ(CountParticles(), 0);
  EXPECT_EQ(QuadRecorder::quads.size(), 2u);

  AddParticle(0, -10000, 0, 0, 40, 0, 1, 1, 1, 1, o, o);
  int passes = 0;
  while (CountParticles() > 0 && passes < 1000) {
    DrawParticles(eye, target);
    ++passes;
  }
  EXPECT_EQ(passes, 251);
  EXPECT_EQ(QuadRecorder::quads.size(), 2u + 251u);
  EXPECT_NEAR(Centre(QuadRecorder::quads.back()).y, 0, 1e-3);
}

TEST_F(ParticlePass, EmissionScattersAroundTheMiddleVerticesOfTheSecondObject) {
  ClearList();
  EmitParticles(eye, target);
  EXPECT_EQ(CountParticles(), 0) << "no second object, no particles";

  FlightScene.Objects.resize(2);
  scene::SceneObject& emitter = FlightScene.Objects[1];
  emitter.VertexCount = 4;
  emitter.Vertex = {{0, 0, 0}, {0, 0, 0}, {1000, 5, 2000}, {-3000, 7, 500}};
  platform::ResetRandom();
  EmitParticles(eye, target);
  // Indices 2 and 3; index 4 lies beyond the list and is skipped.
  ASSERT_EQ(CountParticles(), 2);
  platform::ResetRandom();
  const float dz0 = static_cast<float>(platform::Random(200));
  const float dx0 = static_cast<float>(platform::Random(200));
  const float dz1 = static_cast<float>(platform::Random(200));
  const float dx1 = static_cast<float>(platform::Random(200));
  const Particle* p = ParticleHead->Next;
  EXPECT_EQ(p->Pos.x, 1000 + dx0 - 100);
  EXPECT_EQ(p->Pos.y, -10000);
  EXPECT_EQ(p->Pos.z, 2000 + dz0 - 100);
  EXPECT_EQ(p->Vel.y, 40);
  EXPECT_EQ(p->Vel.x, 0);
  EXPECT_EQ(p->RefEye.y, eye.y);
  EXPECT_EQ(p->RefTarget.z, target.z);
  p = p->Next;
  EXPECT_EQ(p->Pos.x, -3000 + dx1 - 100);
  EXPECT_EQ(p->Pos.z, 500 + dz1 - 100);
}

TEST_F(ParticlePass, TheStreamSettlesAt753Particles) {
  ClearList();
  FlightScene.Objects.resize(2);
  FlightScene.Objects[1].VertexCount = 9;
  FlightScene.Objects[1].Vertex.assign(9, scene::Vec3f{0, 0, 0});
  int most = 0;
  for (int frame = 0; frame < 400; ++frame) {
    EmitParticles(eye, target);
    most = std::max(most, CountParticles());
    DrawParticles(eye, target);
  }
  EXPECT_EQ(most, 753);
  EXPECT_EQ(CountParticles(), 750);
}

TEST_F(ParticlePass, EachParticleIsACameraFacingSquareOfSize24WithThePictureAcrossItsDiagonals) {
  ClearList();
  const Vec3 o{0, 0, 0};
  const Vec3 p{100, -500, 50};
  AddParticle(p.x, p.y, p.z, 0, 40, 0, 1, 1, 1, 1, o, o);
  QuadRecorder recorder;
  // The camera looks along +x (d = eye - target points along -x): right is
  // d x (0, 1, 0), along -z, and up is right x d, along +y.
  DrawParticles(Vec3{-3000, -500, 50}, p);
  ASSERT_EQ(QuadRecorder::quads.size(), 1u);
  const auto& q = QuadRecorder::quads[0];
  ASSERT_EQ(q.size(), 4u);
  const float k = ParticleSize;
  // Texture coordinate -> corner: (0, 0) at p - right, (1, 0) at p - up,
  // (1, 1) at p + right, (0, 1) at p + up.
  const Vec3 corners[4] = {{p.x, p.y, p.z + k}, {p.x, p.y - k, p.z}, {p.x, p.y, p.z - k}, {p.x, p.y + k, p.z}};
  const std::pair<float, float> texcoords[4] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_NEAR(q[i].x, corners[i].x, 1e-3) << "corner " << i;
    EXPECT_NEAR(q[i].y, corners[i].y, 1e-3) << "corner " << i;
    EXPECT_NEAR(q[i].z, corners[i].z, 1e-3) << "corner " << i;
    EXPECT_EQ(QuadRecorder::texcoords[0][i], texcoords[i]) << "corner " << i;
  }

  // Looking straight along y the axes vanish and the square is a point.
  QuadRecorder::quads.clear();
  DrawParticles(Vec3{100, -5000, 50}, Vec3{100, 0, 50});
  ASSERT_EQ(QuadRecorder::quads.size(), 1u);
  for (const Vec3& v : QuadRecorder::quads[0]) {
    EXPECT_EQ(v.x, 100);
    EXPECT_EQ(v.y, -460);
    EXPECT_EQ(v.z, 50);
  }
}

// Where a point of the flight lands in the particle camera: normalised
// device coordinates through the projection the pass leaves (its modelview
// is the identity).
std::array<double, 3> Project(double x, double y, double z) {
  double m[16];
  gl::glGetDoublev(GL_PROJECTION_MATRIX, m);
  double clip[4];
  for (int i = 0; i < 4; ++i) clip[i] = m[i] * x + m[4 + i] * y + m[8 + i] * z + m[12 + i];
  return {clip[0] / clip[3], clip[1] / clip[3], clip[2] / clip[3]};
}

TEST_F(ParticlePass, TheCameraHasTheFlightsFieldOfViewAndSeesFromTwoTo200000Units) {
  ClearList();
  FlightScene.FieldOfView = 0.9f;
  // From the origin along +x, z up: screen x is -y, screen y is z.
  DrawParticles(Vec3{0, 0, 0}, Vec3{1000, 0, 0});
  const double half = std::tan(0.45);
  for (double d : {3.0, 500.0, 150000.0}) {
    EXPECT_NEAR(Project(d, 0, d * half)[1], 1, 1e-4) << "the top edge at distance " << d;
    EXPECT_NEAR(Project(d, -d * half * 4 / 3, 0)[0], 1, 1e-4) << "the right edge at distance " << d;
    EXPECT_NEAR(Project(d, 0, 0)[0], 0, 1e-6);
  }
  // The near and far planes of 0.1 and 10,000 lie at 2 and 200,000 units:
  // the scale of 0.05 shrinks the view before the camera.
  EXPECT_LT(Project(1.98, 0, 0)[2], -1);
  EXPECT_GT(Project(2.02, 0, 0)[2], -1);
  EXPECT_LT(Project(198000, 0, 0)[2], 1);
  EXPECT_GT(Project(202000, 0, 0)[2], 1);
}

TEST_F(ParticlePass, ParticlesAreDrawnAdditivelyWithoutDepthTestInTheSceneCamera) {
  ClearList();
  gl::glClearColor(0, 0, 0, 0);
  gl::glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  HundTexture = 0;  // untextured white
  const Vec3 o{0, 0, 0};
  AddParticle(0, -400, 0, 0, 40, 0, 1, 1, 1, 1, o, o);
  DrawParticles(Vec3{-3000, -400, 0}, Vec3{0, -400, 0});
  EXPECT_EQ(testsupport::ReadPixel(400, 300)[0], 255);
  EXPECT_EQ(testsupport::ReadPixel(20, 20)[0], 0);
  EXPECT_FALSE(gl::glIsEnabled(GL_DEPTH_TEST));
  GLboolean mask = GL_TRUE;
  gl::glGetBooleanv(GL_DEPTH_WRITEMASK, &mask);
  EXPECT_EQ(mask, GL_FALSE);
}

}  // namespace
