// The particle list and its pass: links, retirement at y > 0, the life of an
// emitted particle, the size the list settles at, and the billboards drawn.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "platform/gl.h"
#include "platform/random.h"
#include "shell/particles.h"
#include "shell/show_assets.h"
#include "support/gl_context.h"

namespace {

using namespace shell;

// Records the corners of every quad the pass draws, passing each call on to
// the real context.
struct QuadRecorder {
  static inline std::vector<std::vector<Vec3>> quads;
  static inline gl::GlTable real;
  static void Begin(GLenum mode) {
    if (mode == GL_QUADS) quads.emplace_back();
    real.glBegin(mode);
  }
  static void Vertex(GLfloat x, GLfloat y, GLfloat z) {
    if (!quads.empty()) quads.back().push_back({x, y, z});
    real.glVertex3f(x, y, z);
  }
  QuadRecorder() {
    quads.clear();
    real = gl::SaveGlTable();
    gl::glBegin = Begin;
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

TEST_F(ParticlePass, EachParticleIsACameraFacingSquareOfSize24) {
  ClearList();
  const Vec3 o{0, 0, 0};
  AddParticle(100, -500, 50, 0, 40, 0, 1, 1, 1, 1, o, o);
  QuadRecorder recorder;
  const Vec3 sideEye{-3000, -500, 50};
  DrawParticles(sideEye, Vec3{100, -500, 50});
  ASSERT_EQ(QuadRecorder::quads.size(), 1u);
  const auto& q = QuadRecorder::quads[0];
  ASSERT_EQ(q.size(), 4u);
  for (const Vec3& v : q) {
    const float dx = v.x - 100, dy = v.y + 500, dz = v.z - 50;
    EXPECT_NEAR(std::sqrt(dx * dx + dy * dy + dz * dz), ParticleSize, 1e-3);
    // The square faces the camera, which looks along x.
    EXPECT_NEAR(dx, 0, 1e-3);
  }
  // Opposite corners are the two ends of a diagonal.
  EXPECT_NEAR(q[0].z + q[2].z, 100, 1e-3);
  EXPECT_NEAR(q[1].y + q[3].y, -1000, 1e-3);

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
