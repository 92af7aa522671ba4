// Object drawing: placement by the Position track, one polygon per face with
// its colours and texture coordinates, the tint and vertex offset, and the
// index bound.
#include <gtest/gtest.h>

#include "render/object.h"
#include "render/render_pass.h"
#include "render/state.h"
#include "render_fixture.h"

namespace {

using rendertest::AddMaterial;
using rendertest::AddSquare;
using rendertest::AddTriangle;
using rendertest::Call;
using rendertest::MakeScene;
using rendertest::PixelX;
using rendertest::Recorder;
using testsupport::ReadPixel;

class ObjectDrawingTest : public rendertest::RenderTest {};

void ExpectVec(const scene::Vec3f& v, float x, float y, float z) {
  EXPECT_FLOAT_EQ(v.X, x);
  EXPECT_FLOAT_EQ(v.Y, y);
  EXPECT_FLOAT_EQ(v.Z, z);
}

TEST(ObjectPosition, InterpolatesLinearlyAndHoldsTheEnds) {
  scene::Scene s = MakeScene();
  AddTriangle(s, AddMaterial(s, 0, 0, 0, 0), {0, 0, 0}, {1, 0, 0}, {0, 0, 1});
  s.Objects[0].Position = {{0, 0, 0, 0}, {100, 10, 20, 30}};
  s.Objects[0].PositionCount = 2;
  ExpectVec(render::EvaluateObjectPosition(s, 0, 25), 2.5f, 5, 7.5f);
  ExpectVec(render::EvaluateObjectPosition(s, 0, -5), 0, 0, 0);
  ExpectVec(render::EvaluateObjectPosition(s, 0, 0), 0, 0, 0);
  ExpectVec(render::EvaluateObjectPosition(s, 0, 100), 10, 20, 30);
  ExpectVec(render::EvaluateObjectPosition(s, 0, 150), 10, 20, 30);

  // Uneven key spacing: each segment is linear in its own span.
  s.Objects[0].Position = {{0, 0, 0, 0}, {10, 10, 0, 0}, {40, 40, 0, 0}};
  s.Objects[0].PositionCount = 3;
  ExpectVec(render::EvaluateObjectPosition(s, 0, 20), 20, 0, 0);
  ExpectVec(render::EvaluateObjectPosition(s, 0, 9.5f), 9.5f, 0, 0);

  s.Objects[0].Position = {{5, 1, 2, 3}};
  s.Objects[0].PositionCount = 1;
  for (float t : {-100.0f, 5.0f, 1000.0f}) ExpectVec(render::EvaluateObjectPosition(s, 0, t), 1, 2, 3);
}

TEST_F(ObjectDrawingTest, PositionTrackTranslatesInsideAPushedMatrix) {
  scene::Scene s = MakeScene();
  AddSquare(s, AddMaterial(s, 0, 0, 0, 0), 100, 0, 0, 5);
  s.Objects[0].Position = {{0, 0, 0, 0}, {100, 40, 0, 0}};
  s.Objects[0].PositionCount = 2;
  Recorder recorder;
  render::RenderScene(s, 75);
  auto translate = recorder.Named("glTranslatef");
  ASSERT_EQ(translate.size(), 1u);
  EXPECT_EQ(translate[0].Args, (std::vector<double>{30, 0, 0}));
  EXPECT_EQ(recorder.Named("glPushMatrix").size(), 1u);
  EXPECT_EQ(recorder.Named("glPopMatrix").size(), 1u);
  EXPECT_EQ(ReadPixel(PixelX(0, 100), 300)[0], 0);
  EXPECT_EQ(ReadPixel(PixelX(30, 100), 300)[0], 255);

  s.Objects[0].PositionCount = 0;
  s.Objects[0].Position.clear();
  recorder.Clear();
  render::DrawSceneObject(s, 0, 75);
  EXPECT_TRUE(recorder.Named("glTranslatef").empty());
}

TEST_F(ObjectDrawingTest, EachFaceIsOnePolygonWithScaledFlippedTexcoords) {
  scene::Scene s = MakeScene();
  const std::int32_t m = AddMaterial(s, 0, 0, 1, 7);
  s.Materials[m].UScale = 2;
  s.Materials[m].VScale = 1;
  AddTriangle(s, m, {0, 10, 0}, {1, 10, 0}, {0, 10, 1});
  scene::SceneObject& o = s.Objects[0];
  o.TEXCOORD = {{0.25f, 0.25f}, {0.5f, 0}};
  o.TexcoordCount = 2;
  o.HasTexcoords = 1;
  o.TFACE = {{0, 1, 0}};
  Recorder recorder;
  render::DrawSceneObject(s, 0, 0);
  std::vector<std::string> names;
  for (const Call& c : recorder.Calls()) names.push_back(c.Name);
  const std::vector<std::string> expected = {"glMatrixMode", "glPushMatrix", "glEnable",     "glBindTexture",
                                             "glColor3f",    "glBegin",      "glTexCoord2f", "glVertex3f",
                                             "glTexCoord2f", "glVertex3f",   "glTexCoord2f", "glVertex3f",
                                             "glEnd",        "glPopMatrix"};
  EXPECT_EQ(names, expected);
  const auto& calls = recorder.Calls();
  EXPECT_EQ(calls[2].Args[0], GL_TEXTURE_2D);
  EXPECT_EQ(calls[3].Args[1], 7);
  EXPECT_EQ(calls[5].Args[0], GL_POLYGON);
  EXPECT_EQ(calls[6].Args, (std::vector<double>{0.5, 0.75}));
  EXPECT_EQ(calls[8].Args, (std::vector<double>{1.0, 1.0}));
  EXPECT_EQ(calls[11].Args, (std::vector<double>{0, 10, 1}));
}

TEST_F(ObjectDrawingTest, UntexturedMaterialStillBindsButSendsNoTexcoords) {
  scene::Scene s = MakeScene();
  AddSquare(s, AddMaterial(s, 0, 0, 0, 9), 100, 0, 0, 5);
  Recorder recorder;
  render::DrawSceneObject(s, 0, 0);
  auto disable = recorder.Named("glDisable");
  ASSERT_EQ(disable.size(), 1u);
  EXPECT_EQ(disable[0].Args[0], GL_TEXTURE_2D);
  auto bind = recorder.Named("glBindTexture");
  ASSERT_EQ(bind.size(), 1u);
  EXPECT_EQ(bind[0].Args[1], 9);
  EXPECT_TRUE(recorder.Named("glTexCoord2f").empty());
  EXPECT_EQ(recorder.Named("glBegin").size(), 2u);
}

TEST_F(ObjectDrawingTest, TexturedMaterialWithoutTexcoordsDrawsWithoutThem) {
  scene::Scene s = MakeScene();
  AddTriangle(s, AddMaterial(s, 0, 0, 1, 0), {0, 10, 0}, {1, 10, 0}, {0, 10, 1});
  s.Objects[0].TexcoordCount = 3;  // a count with its flag off means nothing
  Recorder recorder;
  render::DrawSceneObject(s, 0, 0);
  EXPECT_TRUE(recorder.Named("glTexCoord2f").empty());
  EXPECT_EQ(recorder.Named("glVertex3f").size(), 3u);
  EXPECT_EQ(recorder.Named("glEnable")[0].Args[0], GL_TEXTURE_2D);
}

TEST_F(ObjectDrawingTest, TintMultipliesVertexColoursAndOpenGlClamps) {
  scene::Scene s = MakeScene();
  AddSquare(s, AddMaterial(s, 0, 0, 0, 0), 100, 0, 0, 20);
  scene::SceneObject& o = s.Objects[0];
  o.CVertex = {{0.25f, 0.5f, 1}};
  o.CVertexCount = 1;
  o.HasColours = 1;
  o.CFACE = {{0, 0, 0}, {0, 0, 0}};
  render::SetSceneTint(2, 2, 2);
  Recorder recorder;
  render::RenderScene(s, 0);
  auto colours = recorder.Named("glColor3f");
  ASSERT_EQ(colours.size(), 8u);  // per face: the face colour, then three corners
  EXPECT_EQ(colours[0].Args, (std::vector<double>{2, 2, 2}));
  EXPECT_EQ(colours[1].Args, (std::vector<double>{0.5, 1, 2}));
  auto p = ReadPixel(400, 300);
  EXPECT_NEAR(p[0], 128, 1);
  EXPECT_EQ(p[1], 255);
  EXPECT_EQ(p[2], 255);
}

TEST_F(ObjectDrawingTest, WithoutVertexColoursTheFaceColourIsPassTimesTint) {
  scene::Scene s = MakeScene();
  AddSquare(s, AddMaterial(s, 0, 0, 0, 0), 100, 0, 0, 20);
  render::SetSceneTint(0.5f, 1, 2);
  render::SetPassColour(1, 0.25f, 0.5f);
  // Drawn on its own, in a plain view that sees the square face on.
  gl::glMatrixMode(GL_PROJECTION);
  gl::gluPerspective(90, 4.0 / 3.0, 1, 1000);
  gl::gluLookAt(0, 0, 0, 0, 1, 0, 0, 0, 1);
  gl::glMatrixMode(GL_MODELVIEW);
  render::DrawSceneObject(s, 0, 0);
  auto p = ReadPixel(400, 300);
  EXPECT_NEAR(p[0], 128, 1);
  EXPECT_NEAR(p[1], 64, 1);
  EXPECT_NEAR(p[2], 255, 1);
}

TEST_F(ObjectDrawingTest, VertexOffsetMovesEveryVertexBesideTheTranslation) {
  scene::Scene s = MakeScene();
  AddSquare(s, AddMaterial(s, 0, 0, 0, 0), 100, 0, 0, 5);
  s.Objects[0].Position = {{0, 0, 0, 20}};
  s.Objects[0].PositionCount = 1;
  render::SetVertexOffset(10, 0, 0);
  Recorder recorder;
  render::RenderScene(s, 0);
  auto vertices = recorder.Named("glVertex3f");
  ASSERT_EQ(vertices.size(), 6u);
  EXPECT_EQ(vertices[0].Args, (std::vector<double>{5, 100, -5}));  // (-5, 100, -5) moved by 10 in x
  EXPECT_EQ(recorder.Named("glTranslatef")[0].Args, (std::vector<double>{0, 0, 20}));
  EXPECT_EQ(ReadPixel(PixelX(10, 100), rendertest::PixelY(20, 100))[0], 255);
  EXPECT_EQ(ReadPixel(PixelX(0, 100), rendertest::PixelY(20, 100))[0], 0);
}

TEST_F(ObjectDrawingTest, AnIndexOutsideTheListTouchesNothing) {
  scene::Scene s = MakeScene();
  AddSquare(s, AddMaterial(s, 0, 0, 0, 0), 100, 0, 0, 5);
  GLint before = 0;
  gl::glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &before);
  Recorder recorder;
  for (std::int32_t index : {s.ObjectCount, s.ObjectCount + 5, -1}) render::DrawSceneObject(s, index, 0);
  EXPECT_TRUE(recorder.Calls().empty());
  GLint after = 0;
  gl::glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &after);
  EXPECT_EQ(after, before);
}

TEST_F(ObjectDrawingTest, FacesOutsideTheirListsAreLeftOutOfAnInMemoryScene) {
  scene::Scene s = MakeScene();
  AddSquare(s, AddMaterial(s, 0, 0, 0, 0), 100, 0, 0, 5);
  s.Objects[0].FACE.push_back({0, 1, 9});
  s.Objects[0].FaceCount = 5;  // more than the list holds
  Recorder recorder;
  render::DrawSceneObject(s, 0, 0);
  EXPECT_EQ(recorder.Named("glBegin").size(), 2u);

  s.Objects[0].MaterialIndex = 3;
  recorder.Clear();
  render::DrawSceneObject(s, 0, 0);
  EXPECT_TRUE(recorder.Calls().empty());
}

}  // namespace
