// Objects the scene pass leaves out because nothing of them can reach the
// frame: which ones (only those wholly outside one plane of the view), what
// still reaches the frame at its edges, and the state a left-out object
// leaves, which must be the state drawing it would have left.
#include <gtest/gtest.h>

#include <array>
#include <limits>
#include <string>
#include <vector>

#include "render/object.h"
#include "render/render_pass.h"
#include "render/state.h"
#include "render/view_volume.h"
#include "render_fixture.h"
#include "support/temp_dir.h"

namespace {

using rendertest::AddMaterial;
using rendertest::AddSquare;
using rendertest::MakeScene;
using rendertest::PixelY;
using rendertest::Recorder;
using testsupport::ReadPixel;

class ViewVolumeTest : public rendertest::RenderTest {};

// Each object gets a material of its own whose texture name tells its draw
// apart in the recorder; the materials are untextured, so the squares draw
// white.
struct Placed {
  std::string what;
  bool drawn;
};

TEST_F(ViewVolumeTest, OnlyObjectsWhollyOutsideOnePlaneAreLeftOut) {
  scene::Scene s = MakeScene();
  std::vector<Placed> placed;
  auto add = [&](const std::string& what, bool drawn, float d, float cx, float cz, float h) {
    const std::int32_t m = AddMaterial(s, 0, 0, 0, 100 + static_cast<std::uint32_t>(placed.size()));
    AddSquare(s, m, d, cx, cz, h, what);
    placed.push_back({what, drawn});
  };
  // At distance 100 the frame spans x -133.3 .. 133.3 and z -100 .. 100.
  add("in the middle", true, 100, 0, 0, 10);
  add("behind the eye", false, -100, 0, 0, 10);
  add("left of the frame", false, 100, -300, 0, 10);
  add("right of the frame", false, 100, 300, 0, 10);
  add("above the frame", false, 100, 0, 250, 10);
  add("below the frame", false, 100, 0, -250, 10);
  add("nearer than the near plane", false, 5, 0, 0, 1);
  add("beyond the far plane", false, 20000, 0, 0, 1000);
  add("over the left edge", true, 100, -133, 0, 10);
  add("one unit inside the top edge", true, 100, 0, 109, 10);
  // Its corners lie outside every side plane, but no plane has them all.
  add("larger than the frame", true, 100, 0, 0, 1000);
  // From the near plane to far behind the eye: crosses the near plane.
  {
    const std::int32_t m = AddMaterial(s, 0, 0, 0, 100 + static_cast<std::uint32_t>(placed.size()));
    rendertest::AddTriangle(s, m, {-5, 50, -5}, {5, 50, -5}, {0, -500, 5}, "through the near plane");
    placed.push_back({"through the near plane", true});
  }

  Recorder recorder;
  render::RenderScene(s, 0);
  const std::vector<rendertest::Draw> draws = recorder.Draws();
  ASSERT_EQ(draws.size(), placed.size()) << "every object still binds its texture";
  for (std::size_t i = 0; i < placed.size(); ++i) {
    EXPECT_EQ(draws[i].Texture, 100 + i);
    EXPECT_EQ(draws[i].Faces > 0, placed[i].drawn) << placed[i].what;
  }
  // What is kept reaches the frame at its edges.
  EXPECT_EQ(ReadPixel(0, 300)[0], 255) << "over the left edge";
  EXPECT_EQ(ReadPixel(400, PixelY(99.5f, 100))[0], 255) << "inside the top edge";
}

TEST_F(ViewVolumeTest, PositionTrackMovesTheObjectInAndOutOfView) {
  scene::Scene s = MakeScene();
  const std::int32_t m = AddMaterial(s, 0, 0, 0, 7);
  // Out of view where its vertices are, brought into view by its track.
  const std::int32_t in = AddSquare(s, m, 100, -300, 0, 10, "moved in");
  s.Objects[in].Position = {{0, 300, 0, 0}, {100, 300, 0, 0}};
  s.Objects[in].PositionCount = 2;
  // In view where its vertices are, taken out behind the eye.
  const std::int32_t out = AddSquare(s, m, 100, 0, 50, 10, "moved out");
  s.Objects[out].Position = {{0, 0, -300, 0}, {100, 0, -300, 0}};
  s.Objects[out].PositionCount = 2;

  Recorder recorder;
  render::RenderScene(s, 50);
  const std::vector<rendertest::Draw> draws = recorder.Draws();
  ASSERT_EQ(draws.size(), 2u);
  EXPECT_EQ(draws[0].Faces, 2);
  EXPECT_EQ(draws[1].Faces, 0);
  EXPECT_EQ(ReadPixel(400, 300)[0], 255);
  EXPECT_EQ(ReadPixel(400, PixelY(50, 100))[0], 0);
}

TEST_F(ViewVolumeTest, VertexOffsetCountsLikeATranslation) {
  scene::Scene s = MakeScene();
  AddSquare(s, AddMaterial(s, 0, 0, 0, 0), 100, 0, 0, 10);
  render::SetVertexOffset(0, -300, 0);  // behind the eye
  {
    Recorder recorder;
    render::RenderScene(s, 0);
    EXPECT_TRUE(recorder.Named("glBegin").empty());
  }
  // Vertices left of the frame, brought back into view by the offset.
  s.Objects[0].Vertex = {{-310, 100, -10}, {-290, 100, -10}, {-290, 100, 10}, {-310, 100, 10}};
  render::SetVertexOffset(300, 0, 0);
  Recorder recorder;
  render::RenderScene(s, 0);
  EXPECT_EQ(recorder.Named("glBegin").size(), 2u);
  EXPECT_EQ(ReadPixel(400, 300)[0], 255);
}

// The current colour, texture coordinate, texture switch and binding, matrix
// mode and modelview matrix after one object.
struct LeftState {
  std::array<float, 4> colour{};
  std::array<float, 4> texcoord{};
  GLint texture = -1;
  GLboolean texturing = GL_FALSE;
  GLint matrixMode = 0;
  std::array<float, 16> modelview{};
  bool operator==(const LeftState&) const = default;
};

LeftState ReadLeftState() {
  LeftState state;
  gl::glGetFloatv(GL_CURRENT_COLOR, state.colour.data());
  gl::glGetFloatv(GL_CURRENT_TEXTURE_COORDS, state.texcoord.data());
  gl::glGetIntegerv(GL_TEXTURE_BINDING_2D, &state.texture);
  state.texturing = gl::glIsEnabled(GL_TEXTURE_2D);
  gl::glGetIntegerv(GL_MATRIX_MODE, &state.matrixMode);
  gl::glGetFloatv(GL_MODELVIEW_MATRIX, state.modelview.data());
  return state;
}

// Starting state for both ways of handling the object: something unlike
// what the object leaves.
void ResetLeftState() {
  gl::glMatrixMode(GL_PROJECTION);
  gl::glColor4f(0.3f, 0.2f, 0.1f, 0.5f);
  gl::glTexCoord2f(0.7f, 0.9f);
  gl::glBindTexture(GL_TEXTURE_2D, 0);
  gl::glDisable(GL_TEXTURE_2D);
}

TEST_F(ViewVolumeTest, ObjectLeftOutLeavesTheStateItsDrawingWould) {
  struct Case {
    std::string what;
    bool colours, texcoords, textured, lastFaceBroken, moves;
  };
  const Case cases[] = {
      {"texture coordinates and vertex colours", true, true, true, false, false},
      {"face colour only", false, false, true, false, false},
      {"untextured material", true, true, false, false, false},
      {"last face names a missing colour", true, true, true, true, false},
      {"on a position track", false, true, true, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    scene::Scene s = MakeScene();
    render::SetPassColour(0.5f, 0.25f, 1);
    render::SetSceneTint(2, 2, 2);
    const std::int32_t m = AddMaterial(s, 0, 0, c.textured ? 1 : 0, 42);
    s.Materials[static_cast<std::size_t>(m)].UScale = 2;
    s.Materials[static_cast<std::size_t>(m)].VScale = 0.5f;
    const std::int32_t index = AddSquare(s, m, -100, 0, 0, 10);
    scene::SceneObject& o = s.Objects[static_cast<std::size_t>(index)];
    o.TEXCOORD = {{0.1f, 0.2f}, {0.3f, 0.4f}, {0.5f, 0.6f}, {0.7f, 0.8f}};
    o.HasTexcoords = c.texcoords ? 1 : 0;
    if (c.colours) {
      o.CVertex = {{0.1f, 0.2f, 0.3f}, {0.4f, 0.5f, 0.6f}, {0.7f, 0.8f, 0.9f}, {0.2f, 0.4f, 0.6f}};
      o.CFACE = {{0, 1, 2}, {1, 2, 3}};
      o.HasColours = 1;
    }
    if (c.lastFaceBroken) o.CFACE[1] = {1, 2, 9};
    if (c.moves) {
      o.Position = {{0, 1, 2, 3}, {100, 5, 6, 7}};
      o.PositionCount = 2;
    }
    // A volume that moves every point 1000 along x and keeps w = 1: the
    // object lies outside x > w.
    const double offToTheSide[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1000, 0, 0, 1};
    const render::ViewVolume nowhere(offToTheSide);
    ASSERT_FALSE(nowhere.MayShow(o, {0, 0, 0}));

    ResetLeftState();
    gl::glMatrixMode(GL_MODELVIEW);
    gl::glLoadIdentity();
    ResetLeftState();
    render::DrawSceneObject(s, index, 50);
    const LeftState drawn = ReadLeftState();

    ResetLeftState();
    Recorder recorder;
    render::DrawSceneObjectInView(s, index, 50, nowhere);
    EXPECT_TRUE(recorder.Named("glBegin").empty());
    EXPECT_TRUE(recorder.Named("glVertex3f").empty());
    EXPECT_TRUE(ReadLeftState() == drawn);
  }
}

TEST_F(ViewVolumeTest, BoxesWithoutVerticesOrWithNonFiniteCornersAreKept) {
  const double identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  const render::ViewVolume unit(identity);
  scene::SceneObject empty;
  EXPECT_TRUE(unit.MayShow(empty, {0, 0, 0}));
  scene::SceneObject far;
  far.Vertex = {{5, 5, 5}, {6, 6, 6}};
  EXPECT_FALSE(unit.MayShow(far, {0, 0, 0}));
  EXPECT_TRUE(unit.MayShow(far, {-5.5f, -5.5f, -5.5f})) << "moved onto the volume";
  far.Vertex.push_back({std::numeric_limits<float>::quiet_NaN(), 5, 5});
  EXPECT_TRUE(unit.MayShow(far, {0, 0, 0}));
  far.Vertex.back() = {std::numeric_limits<float>::infinity(), 5, 5};
  EXPECT_TRUE(unit.MayShow(far, {0, 0, 0}));
  // Within the rounding margin of a plane counts as inside.
  scene::SceneObject touching;
  touching.Vertex = {{1.00001f, 0, 0}, {1.00002f, 0.5f, 0.5f}};
  EXPECT_TRUE(unit.MayShow(touching, {0, 0, 0}));
  touching.Vertex = {{1.01f, 0, 0}, {1.02f, 0.5f, 0.5f}};
  EXPECT_FALSE(unit.MayShow(touching, {0, 0, 0}));
}

}  // namespace
