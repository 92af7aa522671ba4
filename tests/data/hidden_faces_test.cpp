// The flight as the build generates it against the same flight generated
// with every tower face kept: the faces left out are a large share of the
// towers', they are whole faces of the full scene, and no frame of the
// flight shows a pixel or a depth of them.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "assets/texture.h"
#include "platform/files.h"
#include "platform/gl.h"
#include "render/render_pass.h"
#include "render/state.h"
#include "scene/loader.h"
#include "support/gl_context.h"
#include "support/temp_dir.h"

namespace {

const std::string kShow = QUILLON_SHOW_DIR;
const std::string kTool = QUILLON_ASSETS_TOOL;

// The scenes written with every face kept, made once for all tests; their
// textures are the build's.
const testsupport::TempDir& FullSet() {
  static std::unique_ptr<testsupport::TempDir> dir;
  if (!dir) {
    dir = std::make_unique<testsupport::TempDir>();
    auto run = testsupport::RunCommand("'" + kTool + "' '" + dir->path() + "' --keep-hidden-faces --scenes-only");
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("wrote the scenes"), std::string::npos) << run.out;
  }
  return *dir;
}

scene::Scene Load(const std::string& path) {
  scene::Scene s;
  scene::LoadScene(s, path);
  return s;
}

bool IsFacade(const scene::Scene& s, const scene::SceneObject& o) {
  return s.Materials[static_cast<std::size_t>(o.MaterialIndex)].Name == "facade";
}

bool SameVec(const scene::Vec3f& a, const scene::Vec3f& b) { return a.X == b.X && a.Y == b.Y && a.Z == b.Z; }

// Face f of an object, corner k: position, texture coordinate and colour.
bool SameCorner(const scene::SceneObject& a, std::size_t fa, const scene::SceneObject& b, std::size_t fb, int k) {
  auto at = [k](const scene::FaceIndices& f) { return static_cast<std::size_t>(k == 0 ? f.A : k == 1 ? f.B : f.C); };
  if (!SameVec(a.Vertex[at(a.FACE[fa])], b.Vertex[at(b.FACE[fb])])) return false;
  if (a.HasTexcoords) {
    const scene::TexCoord &ta = a.TEXCOORD[at(a.TFACE[fa])], &tb = b.TEXCOORD[at(b.TFACE[fb])];
    if (ta.U != tb.U || ta.V != tb.V) return false;
  }
  return !a.HasColours || SameVec(a.CVertex[at(a.CFACE[fa])], b.CVertex[at(b.CFACE[fb])]);
}

bool SameFace(const scene::SceneObject& a, std::size_t fa, const scene::SceneObject& b, std::size_t fb) {
  return SameCorner(a, fa, b, fb, 0) && SameCorner(a, fa, b, fb, 1) && SameCorner(a, fa, b, fb, 2);
}

TEST(HiddenFaces, TheFlightKeepsEveryObjectAndLeavesOutMostTowerFacesWhole) {
  const scene::Scene full = Load(FullSet().File("cam.3dw"));
  const scene::Scene culled = Load(kShow + "/cam.3dw");
  ASSERT_EQ(culled.ObjectCount, full.ObjectCount);
  ASSERT_EQ(culled.MaterialCount, full.MaterialCount);
  long facadeFull = 0, facadeKept = 0, emptied = 0;
  for (std::size_t i = 0; i < full.Objects.size(); ++i) {
    const scene::SceneObject &a = full.Objects[i], &b = culled.Objects[i];
    ASSERT_EQ(a.Name, b.Name);
    ASSERT_EQ(a.MaterialIndex, b.MaterialIndex);
    EXPECT_EQ(a.HasTexcoords, b.HasTexcoords) << a.Name;
    EXPECT_EQ(a.HasColours, b.HasColours) << a.Name;
    // The box's corners stay, so the object still spans its building.
    ASSERT_EQ(a.VertexCount, b.VertexCount) << a.Name;
    for (std::size_t v = 0; v < a.Vertex.size(); ++v) EXPECT_TRUE(SameVec(a.Vertex[v], b.Vertex[v])) << a.Name;
    if (!IsFacade(full, a)) {
      // Nothing else loses a face.
      ASSERT_EQ(a.FaceCount, b.FaceCount) << a.Name;
      for (std::size_t f = 0; f < a.FACE.size(); ++f) EXPECT_TRUE(SameFace(a, f, b, f)) << a.Name << " face " << f;
      continue;
    }
    facadeFull += a.FaceCount;
    facadeKept += b.FaceCount;
    emptied += b.FaceCount == 0;
    // The kept faces are the full object's faces in their order.
    std::size_t f = 0;
    for (std::size_t g = 0; g < b.FACE.size(); ++g) {
      while (f < a.FACE.size() && !SameFace(a, f, b, g)) ++f;
      ASSERT_LT(f, a.FACE.size()) << b.Name << " face " << g << " is not one of the full object's faces in order";
      ++f;
    }
    // No texture coordinate or colour is left that no face names.
    if (b.HasTexcoords) {
      EXPECT_LE(b.TexcoordCount, 3 * b.FaceCount) << b.Name;
    }
    if (b.HasColours) {
      EXPECT_LE(b.CVertexCount, 3 * b.FaceCount) << b.Name;
    }
  }
  ASSERT_GT(facadeFull, 1000);
  // Most of the towers' walls stand behind nearer towers all through the flight.
  EXPECT_LT(static_cast<double>(facadeKept), 0.5 * static_cast<double>(facadeFull))
      << facadeKept << " of " << facadeFull << " facade faces kept";
  EXPECT_GT(emptied, 0) << "some tower is hidden all through the flight";
  // The other scene is the same.
  EXPECT_TRUE(platform::ReadWholeFile(FullSet().File("pkode.3dw")) == platform::ReadWholeFile(kShow + "/pkode.3dw"));
  // Only the scenes were written.
  EXPECT_EQ(platform::FindFiles(FullSet().path(), "*").size(), 2u);
}

TEST(HiddenFaces, TheGeneratorsHelpNamesItsSceneOptions) {
  auto help = testsupport::RunCommand("'" + kTool + "' --help");
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("--keep-hidden-faces"), std::string::npos) << help.out;
  EXPECT_NE(help.out.find("--scenes-only"), std::string::npos) << help.out;
  auto both = testsupport::RunCommand("'" + kTool + "' /tmp/x --scenes-only --sheet /tmp/x.png");
  EXPECT_EQ(both.exitCode, 2) << both.err;
}

class HiddenFacesFrames : public testsupport::GlTest {};

struct Frame {
  std::vector<std::uint8_t> colour;
  std::vector<std::uint32_t> depth;
};

Frame Render(scene::Scene& s, float t) {
  gl::glClearColor(0, 0, 0, 0);
  render::ClearFrame();
  render::SetSceneTint(1, 1, 1);
  gl::glEnable(GL_TEXTURE_2D);
  render::RenderScene(s, t);
  Frame frame;
  frame.colour = testsupport::ReadFrame(800, 600);
  frame.depth.resize(800 * 600);
  gl::glPixelStorei(GL_PACK_ALIGNMENT, 1);
  gl::glReadPixels(0, 0, 800, 600, GL_DEPTH_COMPONENT, GL_UNSIGNED_INT, frame.depth.data());
  return frame;
}

TEST_F(HiddenFacesFrames, TheFlightDrawsTheSamePixelsAndDepthsWithoutTheHiddenFaces) {
  scene::Scene full = Load(FullSet().File("cam.3dw"));
  assets::LoadSceneTextures(full, kShow);
  scene::Scene culled = Load(kShow + "/cam.3dw");
  assets::LoadSceneTextures(culled, kShow);
  // Over the dive, along the avenue and up the climb; mostly between the
  // camera's keys and off any regular grid of times.
  for (float t : {0.0f, 2.7f, 7.31f, 12.05f, 17.6f, 23.93f, 31.4f, 38.77f, 46.2f, 53.51f, 60.08f, 66.6f, 72.45f,
                  79.3f, 86.4f}) {
    const Frame a = Render(full, t);
    const Frame b = Render(culled, t);
    std::size_t lit = 0, differ = 0, depthDiffer = 0, drawn = 0;
    for (std::size_t i = 0; i < a.colour.size(); i += 4) {
      lit += (a.colour[i] | a.colour[i + 1] | a.colour[i + 2]) != 0;
      differ += a.colour[i] != b.colour[i] || a.colour[i + 1] != b.colour[i + 1] || a.colour[i + 2] != b.colour[i + 2];
    }
    for (std::size_t i = 0; i < a.depth.size(); ++i) {
      drawn += a.depth[i] != 0xFFFFFFFFu;
      depthDiffer += a.depth[i] != b.depth[i];
    }
    EXPECT_GT(lit, a.colour.size() / 4 / 10) << "the flight at t = " << t << " is (almost) black";
    EXPECT_GT(drawn, a.depth.size() / 10) << "the flight at t = " << t << " draws (almost) no depth";
    EXPECT_EQ(differ, 0u) << "pixels differ at t = " << t;
    EXPECT_EQ(depthDiffer, 0u) << "depths differ at t = " << t;
  }
}

}  // namespace
