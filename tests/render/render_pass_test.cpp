// The scene render pass on screen: camera set-up on the projection matrix,
// the three material passes in pixels, and the refusal of a scene without
// camera keys. The state each pass draws with and leaves is checked by the
// render state table.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>

#include "platform/present.h"
#include "render/render_pass.h"
#include "render/state.h"
#include "render_fixture.h"
#include "scene/camera.h"
#include "support/temp_dir.h"

namespace {

using rendertest::AddMaterial;
using rendertest::AddSquare;
using rendertest::MakeScene;
using rendertest::PixelX;
using rendertest::PixelY;
using rendertest::Recorder;
using testsupport::ReadPixel;

class RenderPassTest : public rendertest::RenderTest {};

// A 1280 x 720 frame: the scene keeps its 4:3 aspect.
class WideRenderPassTest : public RenderPassTest {
 protected:
  int Width() const override { return 1280; }
  int Height() const override { return 720; }
};

std::array<double, 3> Project(const double m[16], double x, double y, double z) {
  double clip[4];
  for (int i = 0; i < 4; ++i) clip[i] = m[i] * x + m[4 + i] * y + m[8 + i] * z + m[12 + i];
  return {clip[0] / clip[3], clip[1] / clip[3], clip[2] / clip[3]};
}

void ExpectLensOf90Degrees() {
  double m[16];
  gl::glGetDoublev(GL_PROJECTION_MATRIX, m);
  // The eye looks along +Y with +Z up: (x, d, z) lands at (0.75 x / d, z / d).
  auto ndc = Project(m, 30, 40, 40);
  EXPECT_NEAR(ndc[0], 0.5625, 1e-5);
  EXPECT_NEAR(ndc[1], 1.0, 1e-5);
  ndc = Project(m, -200, 100, -50);
  EXPECT_NEAR(ndc[0], -1.5, 1e-5);
  EXPECT_NEAR(ndc[1], -0.5, 1e-5);
}

TEST_F(RenderPassTest, FieldOfViewIsConvertedToDegreesWithAFixedAspect) {
  scene::Scene s = MakeScene();
  Recorder recorder;
  render::RenderScene(s, 0);
  auto perspective = recorder.Named("gluPerspective");
  ASSERT_EQ(perspective.size(), 1u);
  EXPECT_NEAR(perspective[0].Args[0], 90.0, 1e-5);
  EXPECT_EQ(perspective[0].Args[1], 4.0 / 3.0);
  EXPECT_EQ(perspective[0].Args[2], static_cast<double>(0.00001f));
  EXPECT_EQ(perspective[0].Args[3], static_cast<double>(0.01f));
  auto scale = recorder.Named("glScalef");
  ASSERT_EQ(scale.size(), 1u);
  EXPECT_EQ(scale[0].Args[0], static_cast<double>(1.0e-6f));
  ExpectLensOf90Degrees();
}

TEST_F(WideRenderPassTest, AspectStaysFourToThreeInAWideWindow) {
  scene::Scene s = MakeScene();
  render::RenderScene(s, 0);
  ExpectLensOf90Degrees();
}

TEST_F(RenderPassTest, ScaledDistancesKeepTenToTenThousandUnitsInView) {
  scene::Scene s = MakeScene();
  std::int32_t white = AddMaterial(s, 0, 0, 0, 0);
  const float distances[] = {9, 11, 9000, 11000};
  const float across[] = {-0.9f, -0.3f, 0.3f, 0.9f};
  for (int i = 0; i < 4; ++i) AddSquare(s, white, distances[i], across[i] * distances[i], 0, 0.05f * distances[i]);
  render::RenderScene(s, 0);
  for (int i = 0; i < 4; ++i) {
    const bool inside = i == 1 || i == 2;
    auto p = ReadPixel(PixelX(across[i] * distances[i], distances[i]), 300);
    EXPECT_EQ(p[0], inside ? 255 : 0) << "square at distance " << distances[i];
  }
}

TEST_F(RenderPassTest, PublishesTheCameraItLooksThrough) {
  scene::Scene s = MakeScene();
  s.CamPosition = {{0, 0, 0, 0}, {40, 0, -50, 10}, {100, 5, -60, 20}};
  s.CamTarget = {{0, 0, 100, 0}, {100, 10, 100, 0}};
  s.CamPositionCount = 3;
  s.CamTargetCount = 2;
  scene::PrepareCameraTracks(s);
  scene::Scene copy = s;
  const scene::CameraPose expected = scene::EvaluateCamera(copy, 37.5f);

  Recorder recorder;
  render::RenderScene(s, 37.5f);
  EXPECT_EQ(render::LastCameraEye.X, expected.Eye.X);
  EXPECT_EQ(render::LastCameraEye.Y, expected.Eye.Y);
  EXPECT_EQ(render::LastCameraEye.Z, expected.Eye.Z);
  EXPECT_EQ(render::LastCameraTarget.X, expected.Target.X);
  EXPECT_EQ(render::LastCameraTarget.Y, expected.Target.Y);
  EXPECT_EQ(render::LastCameraTarget.Z, expected.Target.Z);
  auto lookAt = recorder.Named("gluLookAt");
  ASSERT_EQ(lookAt.size(), 1u);
  const std::vector<double> used = {expected.Eye.X,    expected.Eye.Y,    expected.Eye.Z, expected.Target.X,
                                    expected.Target.Y, expected.Target.Z, 0,              0,
                                    1};
  EXPECT_EQ(lookAt[0].Args, used);
  EXPECT_NE(expected.Eye.Y, 0.0f);  // the camera really moved
}

TEST_F(RenderPassTest, EmptyObjectListStillSetsUpAndPublishesTheCamera) {
  scene::Scene s = MakeScene();
  rendertest::SetCamera(s, {1, 2, 3}, {4, 50, 6});
  render::LastCameraEye = {0, 0, 0};
  render::LastCameraTarget = {0, 0, 0};
  Recorder recorder;
  render::RenderScene(s, 10);
  EXPECT_EQ(render::LastCameraEye.X, 1);
  EXPECT_EQ(render::LastCameraEye.Y, 2);
  EXPECT_EQ(render::LastCameraEye.Z, 3);
  EXPECT_EQ(render::LastCameraTarget.Y, 50);
  EXPECT_EQ(recorder.Named("gluLookAt").size(), 1u);
  EXPECT_TRUE(recorder.Named("glBegin").empty());
  GLint mode = 0;
  gl::glGetIntegerv(GL_MATRIX_MODE, &mode);
  EXPECT_EQ(mode, GL_PROJECTION);
  double m[16];
  gl::glGetDoublev(GL_PROJECTION_MATRIX, m);
  EXPECT_NE(m[0], 1.0);
}

// Which pass draws which object, and with what state, is the render state
// table's; here the pixels agree: drawn squares are lit, the others black.
TEST_F(RenderPassTest, MaterialsShowInTheirPassOnly) {
  scene::Scene s = MakeScene();
  AddSquare(s, AddMaterial(s, 0, 0, 0, 0), 100, -60, 0, 5);
  AddSquare(s, AddMaterial(s, 0, 0, 0, 0), 100, -40, 0, 5);
  s.Objects.back().Visible = 0;
  AddSquare(s, AddMaterial(s, 0.25f, 0, 0, 0), 100, -20, 0, 5);
  AddSquare(s, AddMaterial(s, 0.25f, 0, 0, 0), 100, 0, 0, 5);
  s.Objects.back().Visible = 0;
  AddSquare(s, AddMaterial(s, 0.5f, 1, 0, 0), 100, 20, 0, 5);
  AddSquare(s, AddMaterial(s, -1, 0, 0, 0), 100, 40, 0, 5);
  AddSquare(s, AddMaterial(s, 0, 2, 0, 0), 100, 60, 0, 5);
  AddSquare(s, AddMaterial(s, 0, 1, 0, 0), 100, 80, 0, 5);
  s.Objects.back().Visible = 0;
  render::RenderScene(s, 0);
  const float xs[] = {-60, -40, -20, 0, 20, 40, 60, 80};
  const int expected[] = {255, 0, 64, 0, 255, 0, 0, 0};
  for (int i = 0; i < 8; ++i) EXPECT_NEAR(ReadPixel(PixelX(xs[i], 100), 300)[1], expected[i], 1) << i;
}

TEST_F(RenderPassTest, AdditivePassAddsAQuarterWithoutWritingDepth) {
  scene::Scene s = MakeScene();
  const std::int32_t quarter = AddMaterial(s, 0.25f, 0, 0, 0);
  AddSquare(s, quarter, 50, 0, 0, 5);    // nearer, drawn first: 30 pixels each way
  AddSquare(s, quarter, 100, 0, 0, 20);  // farther and larger: 60 pixels each way
  render::RenderScene(s, 0);
  EXPECT_NEAR(ReadPixel(400, 300)[0], 128, 2);  // both added: the near one left no depth
  EXPECT_NEAR(ReadPixel(445, 300)[0], 64, 1);   // the far one alone
  EXPECT_EQ(ReadPixel(470, 300)[0], 0);
}

TEST_F(RenderPassTest, AlphaTestDiscardsUpToThreeTenths) {
  scene::Scene s = MakeScene();
  AddSquare(s, AddMaterial(s, 0, 1, 1, rendertest::MakeTexture(255, 255, 255, 76)), 100, -30, 0, 10);
  AddSquare(s, AddMaterial(s, 0, 1, 1, rendertest::MakeTexture(255, 255, 255, 77)), 100, 30, 0, 10);
  render::RenderScene(s, 0);
  EXPECT_EQ(ReadPixel(PixelX(-30, 100), 300)[0], 0);
  EXPECT_NEAR(ReadPixel(PixelX(30, 100), 300)[0], 77, 1);  // blended over black
}

// The refusal ends the process, so it runs in a child without a context.
void PrintBox(const char* text, const char* caption, bool errorIcon) {
  std::printf("box[%s][%s][%d]\n", text, caption, errorIcon ? 1 : 0);
}

TEST(RenderPassRefusal, SceneWithoutCameraKeysShowsTheBoxAndFails) {
  for (int missing = 0; missing < 2; ++missing) {
    auto result = testsupport::RunInChild([missing] {
      platform::SetMessageBoxHandler(PrintBox);
      scene::Scene s = MakeScene();
      if (missing == 0) {
        s.CamPositionCount = 0;
        s.CamPosition.clear();
        s.CamTargetCount = 5;
      } else {
        s.CamTargetCount = 0;
      }
      render::RenderScene(s, 0);
      std::printf("returned\n");
    });
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out,
              "box[Rendering error][Scene not renderable without camera animation target and position "
              "track][0]\n");
  }
}

}  // namespace
