// The further entry points: passes with a given camera or a mirror, camera
// set-up, wire, translucent, paired, normal-mapped and fade drawing, vertex
// normals, and objects by name. The state each one draws with and leaves is
// checked by the render state table.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "platform/present.h"
#include "render/render_pass.h"
#include "render/state.h"
#include "render/variants.h"
#include "render_fixture.h"
#include "support/temp_dir.h"

namespace {

using rendertest::AddMaterial;
using rendertest::AddSquare;
using rendertest::AddTriangle;
using rendertest::MakeScene;
using rendertest::Recorder;
using testsupport::ReadPixel;

class VariantsTest : public rendertest::RenderTest {};

TEST(ObjectsByName, FindReturnsTheLastMatchOr65535) {
  scene::Scene s = MakeScene();
  const std::int32_t m = AddMaterial(s, 0, 0, 0, 0);
  const char* names[] = {"a", "b", "box", "c", "Box", "box", "d"};
  for (const char* name : names) AddTriangle(s, m, {0, 0, 0}, {1, 0, 0}, {0, 0, 1}, name);
  EXPECT_EQ(render::FindObject(s, "box"), 5);
  EXPECT_EQ(render::FindObject(s, "a"), 0);
  EXPECT_EQ(render::FindObject(s, "bo"), 65535);
  EXPECT_EQ(render::FindObject(s, "boxes"), 65535);

  render::HideObject(s, "box");
  for (std::size_t i = 0; i < s.Objects.size(); ++i) EXPECT_EQ(s.Objects[i].Visible, (i == 2 || i == 5) ? 0 : 1);
  render::HideObject(s, "nobody");
  EXPECT_EQ(s.Objects[4].Visible, 1);
  render::ShowObject(s, "box");
  for (const auto& o : s.Objects) EXPECT_EQ(o.Visible, 1);
}

TEST(VectorLength, IsTheEuclideanLength) {
  EXPECT_EQ(render::VectorLength(3, 4, 0), 5);
  EXPECT_EQ(render::VectorLength(1200, 1600, 0), 2000);
  EXPECT_FLOAT_EQ(render::VectorLength(-1, -2, 2), 3);
}

TEST(VertexNormals, FollowTheWindingOfTheFace) {
  scene::Scene s = MakeScene();
  const std::int32_t m = AddMaterial(s, 0, 0, 0, 0);
  AddTriangle(s, m, {0, 0, 0}, {1, 0, 0}, {0, 1, 0});
  AddTriangle(s, m, {0, 0, 0}, {0, 1, 0}, {1, 0, 0});
  render::BuildVertexNormals(s.Objects[0], render::NormalSet::A);
  render::BuildVertexNormals(s.Objects[1], render::NormalSet::B);
  const auto& a = render::VertexNormals(render::NormalSet::A);
  const auto& b = render::VertexNormals(render::NormalSet::B);
  ASSERT_EQ(a.Vertices.size(), 3u);
  ASSERT_EQ(b.Vertices.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(a.Vertices[i].Z, 1);
    EXPECT_EQ(a.Vertices[i].X, 0);
    EXPECT_EQ(b.Vertices[i].Z, -1);
    EXPECT_EQ(a.Vertices[i].FaceCount, 1);
    EXPECT_EQ(a.Vertices[i].Faces, std::vector<std::int32_t>{0});
  }
  ASSERT_EQ(a.FaceNormals.size(), 1u);
  EXPECT_EQ(a.FaceNormals[0].Z, 1);
  EXPECT_EQ(b.FaceNormals[0].Z, -1);
}

TEST(VertexNormals, AverageWeightedFacesAndUpdateAfterVerticesMove) {
  scene::SceneObject o;
  // Two faces around vertex 0: a large one facing +z and a small one facing
  // +x; vertex 4 is used by no face.
  o.Vertex = {{0, 0, 0}, {2, 0, 0}, {0, 2, 0}, {0, 0, 1}, {5, 5, 5}};
  o.FACE = {{0, 1, 2}, {0, 2, 3}, {3, 3, 0}};
  o.VertexCount = 5;
  o.FaceCount = 3;
  render::BuildVertexNormals(o, render::NormalSet::C);
  const auto& set = render::VertexNormals(render::NormalSet::C);
  EXPECT_EQ(set.FaceNormals[0].Z, 4);  // not normalised: twice the area
  EXPECT_EQ(set.FaceNormals[1].X, 2);
  EXPECT_EQ(set.Vertices[0].FaceCount, 3);
  EXPECT_EQ(set.Vertices[0].Faces, (std::vector<std::int32_t>{0, 1, 2}));
  EXPECT_EQ(set.Vertices[3].FaceCount, 3);  // twice in face 2
  EXPECT_EQ(set.Vertices[3].Faces, (std::vector<std::int32_t>{1, 2, 2}));
  const float len = std::sqrt(4.0f * 4 + 2 * 2);
  EXPECT_FLOAT_EQ(set.Vertices[0].X, 2 / len);
  EXPECT_FLOAT_EQ(set.Vertices[0].Z, 4 / len);
  EXPECT_EQ(set.Vertices[4].X, 0);
  EXPECT_EQ(set.Vertices[4].Y, 0);
  EXPECT_EQ(set.Vertices[4].Z, 0);

  o.Vertex[1] = {0, 2, 0};
  o.Vertex[2] = {2, 0, 0};  // face 0 now faces -z
  render::UpdateVertexNormals(o, render::NormalSet::C);
  EXPECT_EQ(set.FaceNormals[0].Z, -4);
  EXPECT_EQ(set.Vertices[1].Z, -1);

  scene::SceneObject other = o;
  other.Vertex[1] = {0, 0, 5};
  render::UpdateVertexNormals(other, render::NormalSet::C);  // built for o, not for other
  EXPECT_EQ(set.FaceNormals[0].Z, -4);
}

TEST_F(VariantsTest, NormalMappedTakesTexcoordsFromTheSetItWasBuiltFor) {
  scene::Scene s = MakeScene();
  const std::int32_t m = AddMaterial(s, 0, 0, 0, 3);
  AddTriangle(s, m, {0, 0, 0}, {1, 0, 0}, {0, 1, 0});
  AddTriangle(s, m, {0, 0, 0}, {0, 0, 1}, {1, 0, 0});
  render::BuildVertexNormals(s.Objects[0], render::NormalSet::A);
  render::BuildVertexNormals(s.Objects[1], render::NormalSet::B);
  {
    Recorder recorder;
    render::DrawSceneObjectNormalMapped(s, 0, 0, render::NormalSet::A);
    std::vector<std::string> names;
    for (const auto& c : recorder.Calls()) names.push_back(c.Name);
    const std::vector<std::string> expected = {
        "glMatrixMode", "glPushMatrix", "glDisable",  "glBindTexture", "glColor3f",  "glBegin",
        "glColor4f",    "glTexCoord2f", "glVertex3f", "glTexCoord2f",  "glVertex3f", "glTexCoord2f",
        "glVertex3f",   "glEnd",        "glPopMatrix"};
    EXPECT_EQ(names, expected);
    EXPECT_EQ(recorder.Named("glColor4f")[0].Args, (std::vector<double>{1, 1, 1, static_cast<double>(0.8f)}));
    EXPECT_EQ(recorder.Named("glTexCoord2f")[0].Args, (std::vector<double>{0, 1}));
  }
  {
    Recorder recorder;
    render::DrawSceneObjectNormalMapped(s, 1, 0, render::NormalSet::B);
    EXPECT_TRUE(recorder.Named("glColor3f").empty());
    EXPECT_TRUE(recorder.Named("glColor4f").empty());
    // Face (0,0,0), (0,0,1), (1,0,0) faces +y: n = (0, 1, 0) gives (0, 0).
    EXPECT_EQ(recorder.Named("glTexCoord2f")[0].Args, (std::vector<double>{0, 0}));
    EXPECT_EQ(recorder.Named("glBegin").size(), 1u);
  }
  {
    Recorder recorder;
    render::DrawSceneObjectNormalMapped(s, 1, 0, render::NormalSet::A);  // set A belongs to object 0
    render::DrawSceneObjectNormalMapped(s, 0, 0, render::NormalSet::C);  // set C never built
    s.Objects[0].Vertex.push_back({3, 3, 3});
    s.Objects[0].VertexCount = 4;
    render::DrawSceneObjectNormalMapped(s, 0, 0, render::NormalSet::A);  // vertices changed
    EXPECT_TRUE(recorder.Calls().empty());
  }
}

TEST_F(VariantsTest, WireTriangleDrawsThreeEdgesInTheTintColour) {
  scene::Scene s = MakeScene();
  AddTriangle(s, AddMaterial(s, 0, 0, 0, 0), {-40, 100, -30}, {40, 100, -30}, {0, 100, 40});
  render::SetSceneTint(1, 0.5f, 0);
  render::SetPassColour(0.25f, 0.25f, 0.25f);
  render::RenderScene(s, 0);  // camera and projection; the pass draws it too
  render::ClearFrame();
  Recorder recorder;
  render::DrawSceneObjectWire(s, 0, 0);
  auto begin = recorder.Named("glBegin");
  ASSERT_EQ(begin.size(), 1u);
  EXPECT_EQ(begin[0].Args[0], GL_LINES);
  auto vertices = recorder.Named("glVertex3f");
  ASSERT_EQ(vertices.size(), 6u);
  const std::vector<std::vector<double>> corners = {{-40, 100, -30}, {40, 100, -30}, {40, 100, -30},
                                                    {0, 100, 40},    {0, 100, 40},    {-40, 100, -30}};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(vertices[i].Args, corners[i]);
  auto colours = recorder.Named("glColor3f");
  ASSERT_EQ(colours.size(), 2u);
  EXPECT_EQ(colours[1].Args, (std::vector<double>{1, 0.5, 0}));
  // The bottom edge (row 210) is a line in the tint colour, untextured; the
  // inside stays clear.
  bool edgeFound = false;
  for (int y = 205; y <= 215; ++y) {
    auto p = ReadPixel(400, y);
    if (p[0] >= 254 && p[1] >= 127 && p[1] <= 129 && p[2] == 0) edgeFound = true;
  }
  EXPECT_TRUE(edgeFound);
  EXPECT_EQ(ReadPixel(400, 300)[0], 0);
}

TEST_F(VariantsTest, AlphaVariantSendsAlphaWithEveryColour) {
  scene::Scene s = MakeScene();
  AddSquare(s, AddMaterial(s, 0, 0, 0, 0), 100, 0, 0, 5);
  s.Objects[0].CVertex = {{1, 0, 0}};
  s.Objects[0].CVertexCount = 1;
  s.Objects[0].HasColours = 1;
  s.Objects[0].CFACE = {{0, 0, 0}, {0, 0, 0}};
  Recorder recorder;
  render::DrawSceneObjectAlpha(s, 0, 0, 0.4f);
  EXPECT_TRUE(recorder.Named("glColor3f").empty());
  auto colours = recorder.Named("glColor4f");
  ASSERT_EQ(colours.size(), 8u);
  EXPECT_EQ(colours[0].Args, (std::vector<double>{1, 1, 1, static_cast<double>(0.4f)}));
  EXPECT_EQ(colours[1].Args, (std::vector<double>{1, 0, 0, static_cast<double>(0.4f)}));
}

TEST_F(VariantsTest, PairInterleavesFacesAndRefusesAShorterSecondObject) {
  scene::Scene s = MakeScene();
  const std::int32_t a = AddSquare(s, AddMaterial(s, 0, 0, 0, 21), 100, 0, 0, 5);
  const std::int32_t b = AddSquare(s, AddMaterial(s, 0, 0, 1, 22), 100, 0, 0, 5);
  const std::int32_t small = AddTriangle(s, AddMaterial(s, 0, 0, 0, 23), {0, 0, 0}, {1, 0, 0}, {0, 0, 1});
  s.Objects[a].Position = {{0, 1, 2, 3}};
  s.Objects[a].PositionCount = 1;
  s.Objects[b].Position = {{0, 7, 7, 7}};
  s.Objects[b].PositionCount = 1;
  Recorder recorder;
  render::DrawSceneObjectPair(s, a, b, 0);
  auto draws = recorder.Draws();
  ASSERT_EQ(draws.size(), 4u);
  const std::uint32_t textures[] = {21, 22, 21, 22};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(draws[i].Texture, textures[i]);
    EXPECT_EQ(draws[i].Faces, 1);
    EXPECT_EQ(draws[i].DepthWrite, i % 2 == 1);
    EXPECT_EQ(draws[i].Blend, i % 2 == 1);
  }
  auto translate = recorder.Named("glTranslatef");
  ASSERT_EQ(translate.size(), 1u);
  EXPECT_EQ(translate[0].Args, (std::vector<double>{1, 2, 3}));
  EXPECT_EQ(recorder.Named("glTexCoord2f").size(), 6u);  // b's textured material only

  recorder.Clear();
  render::DrawSceneObjectPair(s, a, small, 0);
  EXPECT_TRUE(recorder.Calls().empty());
  render::DrawSceneObjectPair(s, a, s.ObjectCount, 0);
  EXPECT_TRUE(recorder.Calls().empty());
}

TEST_F(VariantsTest, MirrorFadeAlphaGrowsWithDistanceFromTheOrigin) {
  scene::Scene s = MakeScene();
  AddTriangle(s, AddMaterial(s, 0, 0, 1, 0), {0, 0, 0}, {300, 400, 0}, {1200, 1600, 0});
  s.Objects[0].Position = {{0, 50, 50, 50}};
  s.Objects[0].PositionCount = 1;
  render::SetVertexOffset(1, 0, 0);
  Recorder recorder;
  render::DrawMirrorFade(s, 0, 10);
  auto colours = recorder.Named("glColor4f");
  ASSERT_EQ(colours.size(), 3u);
  EXPECT_EQ(colours[0].Args[3], 0);
  EXPECT_EQ(colours[1].Args[3], 0.25);
  EXPECT_EQ(colours[2].Args[3], 1.0);
  EXPECT_TRUE(recorder.Named("glTranslatef").empty());
  EXPECT_EQ(recorder.Named("glVertex3f")[1].Args, (std::vector<double>{301, 400, 0}));
}

TEST_F(VariantsTest, MirroredRenderDrawsTheWorldTwiceAndTheMirrorOnce) {
  scene::Scene s = MakeScene();
  AddSquare(s, AddMaterial(s, 0, 0, 0, 31), 100, -20, 10, 5);
  const std::int32_t mirror = AddSquare(s, AddMaterial(s, 0, 0, 0, 32), 100, 0, 0, 5);
  s.Objects[mirror].Visible = 0;  // drawn whatever its flag
  AddSquare(s, AddMaterial(s, 0.5f, 0, 0, 33), 100, 20, 10, 5);
  AddSquare(s, AddMaterial(s, 0, 0, 0, 34), 100, 40, 10, 5);
  s.Objects[3].Visible = 0;
  render::SetSceneTint(0.9f, 0.9f, 0.9f);
  Recorder recorder;
  render::RenderSceneMirrored(s, 0, 1, 1, -1, 0.5f, mirror);
  auto draws = recorder.Draws();
  ASSERT_EQ(draws.size(), 5u);
  const std::uint32_t textures[] = {31, 33, 32, 31, 33};
  const float colour[] = {0.5f, 0.5f, 1, 1, 1};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(draws[i].Texture, textures[i]);
    EXPECT_EQ(draws[i].FirstColour[0], colour[i]);
    EXPECT_EQ(draws[i].Blend, i == 2) << i;  // the mirror only; the fade follows it
  }
  EXPECT_EQ(recorder.Named("glColor4f").size(), 6u);  // the fade: three corners of two faces
  auto scales = recorder.Named("glScalef");
  ASSERT_EQ(scales.size(), 3u);
  EXPECT_EQ(scales[0].Args[0], static_cast<double>(1.0e-5f));
  EXPECT_EQ(scales[1].Args, (std::vector<double>{1, 1, -1}));
  EXPECT_EQ(scales[2].Args, (std::vector<double>{1, 1, -1}));
  EXPECT_EQ(render::SceneTint.Red, 1);
  // The reflected copy lands below the horizon at half brightness, the real
  // square above it at full.
  EXPECT_NEAR(ReadPixel(rendertest::PixelX(-20, 100), rendertest::PixelY(-10, 100))[0], 128, 1);
  EXPECT_EQ(ReadPixel(rendertest::PixelX(-20, 100), rendertest::PixelY(10, 100))[0], 255);
  EXPECT_EQ(ReadPixel(rendertest::PixelX(40, 100), rendertest::PixelY(10, 100))[0], 0);
}

TEST_F(VariantsTest, GivenCameraPassesPublishNothingAndPlaceObjectsAtTimeZero) {
  scene::Scene s = MakeScene();
  AddSquare(s, AddMaterial(s, 0, 0, 0, 0), 100, 0, 0, 5);
  s.Objects[0].Position = {{0, 0, 0, 0}, {100, 50, 0, 0}};
  s.Objects[0].PositionCount = 2;
  render::LastCameraEye = {7, 7, 7};
  render::LastCameraTarget = {8, 8, 8};
  {
    Recorder recorder;
    render::RenderSceneFromCamera(s, {0, 0, 0}, {0, 100, 0});
    EXPECT_EQ(recorder.Named("gluLookAt")[0].Args, (std::vector<double>{0, 0, 0, 0, 100, 0, 0, 0, 1}));
    EXPECT_EQ(recorder.Named("glTranslatef")[0].Args, (std::vector<double>{0, 0, 0}));
    EXPECT_EQ(recorder.Named("glScalef")[0].Args[0], static_cast<double>(1.0e-6f));
    EXPECT_EQ(ReadPixel(400, 300)[0], 255);
  }
  {
    Recorder recorder;
    render::SetupSceneCamera(s, 50);
    render::SetupSceneCameraAt(s, {1, 2, 3}, {4, 5, 6});
    EXPECT_TRUE(recorder.Named("glBegin").empty());
    auto scales = recorder.Named("glScalef");
    ASSERT_EQ(scales.size(), 2u);
    EXPECT_EQ(scales[0].Args[0], static_cast<double>(1.0e-5f));
    EXPECT_EQ(recorder.Named("gluLookAt")[1].Args, (std::vector<double>{1, 2, 3, 4, 5, 6, 0, 0, 1}));
    GLint mode = 0;
    gl::glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_PROJECTION);
  }
  EXPECT_EQ(render::LastCameraEye.X, 7);
  EXPECT_EQ(render::LastCameraTarget.Z, 8);
}

void PrintBox(const char* text, const char* caption, bool) { std::printf("box[%s][%s]\n", text, caption); }

TEST(VariantsRefusal, GivenCameraStillNeedsCameraKeys) {
  for (int entry = 0; entry < 3; ++entry) {
    auto result = testsupport::RunInChild([entry] {
      platform::SetMessageBoxHandler(PrintBox);
      scene::Scene s = MakeScene();
      s.CamTargetCount = 0;
      if (entry == 0) render::RenderSceneFromCamera(s, {0, 0, 0}, {0, 1, 0});
      if (entry == 1) render::SetupSceneCameraAt(s, {0, 0, 0}, {0, 1, 0});
      if (entry == 2) render::RenderSceneMirrored(s, 0, 1, 1, -1, 0.5f, 0);
    });
    EXPECT_EQ(result.exitCode, 1) << entry;
    EXPECT_EQ(result.out,
              "box[Rendering error][Scene not renderable without camera animation target and position track]\n");
  }
}

}  // namespace
