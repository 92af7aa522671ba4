// What the effects draw with and leave behind: the lens grid and the
// environment-mapped mesh, each from two opposite starting states, checked
// item by item (enables, blending, depth, matrices, colour, textures).
#include <gtest/gtest.h>

#include "effects/env_mesh.h"
#include "effects/warp.h"
#include "platform/gl.h"
#include "platform/random.h"
#include "support/gl_context.h"
#include "support/gl_state.h"

namespace {

using testsupport::IdentityMatrix;
using testsupport::MatrixOf;
using testsupport::RunExpect;
using testsupport::StateChanges;
using testsupport::StepRow;

class EffectsState : public testsupport::GlTest {
 protected:
  void SetUp() override {
    testsupport::GlTest::SetUp();
    if (IsSkipped()) return;
    gl::glGenTextures(1, &picture_);
    gl::glBindTexture(GL_TEXTURE_2D, picture_);
    const std::uint8_t texel[4] = {255, 255, 255, 255};
    gl::glTexImage2D(GL_TEXTURE_2D, 0, 4, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texel);
    platform::ResetRandom();
    effects::InitWarpTable();
  }
  GLuint picture_ = 0;
};

// Two faces of a small mesh, each with its own normals.
assets::Mesh TwoFaces() {
  assets::Mesh mesh;
  mesh.vertexCount = 4;
  mesh.faceCount = 2;
  mesh.vertices = {{-0.5f, -0.5f, 0}, {0.5f, -0.5f, 0}, {0.5f, 0.5f, 0.2f}, {-0.5f, 0.5f, 0.2f}};
  mesh.vertexInfo.resize(4);
  for (auto& info : mesh.vertexInfo) info.normal = {0, 0.37f, 0.93f};
  mesh.faces = {{0, 1, 2}, {0, 2, 3}};
  return mesh;
}

TEST_F(EffectsState, EveryStepSetsWhatItNeedsAndLeavesTheRest) {
  const assets::Mesh mesh = TwoFaces();
  const assets::Mesh empty;
  // The caller's texture transform under the grid: a turned, scaled picture.
  const auto callerTextureMatrix = [] {
    gl::glMatrixMode(GL_TEXTURE);
    gl::glLoadIdentity();
    gl::glTranslatef(-0.3f, 0.1f, 0.05f);
    gl::glRotatef(40, 0, 0, 1);
    gl::glScalef(0.4f, 0.4f, 0.4f);
  };
  const auto ortho800 = [] { return MatrixOf([] { gl::gluOrtho2D(0, 800, 600, 0); }); };
  const auto gridDraws = [&] {
    return StateChanges()
        .Projection(ortho800())
        .Modelview(IdentityMatrix())
        .MatrixMode(GL_MODELVIEW)
        .Enable(GL_TEXTURE_2D)
        .Enable(GL_BLEND)
        .BlendFunc(GL_SRC_ALPHA, GL_ONE)
        .Disable(GL_DEPTH_TEST)
        .Colour(1, 1, 1, 0.5f);
  };
  const auto meshOrtho = [] { return MatrixOf([] { gl::glOrtho(-1, 1, -1, 1, -10, 10); }); };
  const auto turn = [] {
    gl::glRotatef(20, 1, 0, 0);
    gl::glRotatef(35, 0, 1, 0);
    gl::glRotatef(50, 0, 0, 1);
  };
  const auto meshModelview = [&] {
    return MatrixOf([&] {
      gl::glScalef(1.5f, 0.5f, 2);
      gl::glTranslatef(0.1f, -0.2f, 0.3f);
      turn();
    });
  };
  const auto meshDraws = [&](bool turnTexture) {
    return StateChanges()
        .Projection(meshOrtho())
        .Modelview(meshModelview())
        .TextureMatrix(turnTexture ? MatrixOf(turn) : IdentityMatrix())
        .MatrixMode(GL_TEXTURE)
        .Colour(0.2f, 0.4f, 0.6f);
  };
  const auto drawMesh = [&](const assets::Mesh& m, bool turnTexture) {
    effects::DrawEnvMesh(m, 20, 35, 50, 0.2f, 0.4f, 0.6f, 1.5f, 0.5f, 2, 0.1f, -0.2f, 0.3f, turnTexture);
  };

  const std::vector<StepRow> rows = {
      {"lens grid update", nullptr, [] { effects::UpdateWarpGrid(13.7f); },
       [](auto&) { return std::vector<RunExpect>{}; }, [](auto&) { return StateChanges(); }},
      {"lens grid draw, under the caller's texture matrix",
       [&] {
         gl::glBindTexture(GL_TEXTURE_2D, picture_);
         callerTextureMatrix();
       },
       [] {
         effects::UpdateWarpGrid(13.7f);
         effects::DrawWarpGrid();
       },
       // Every cell is drawn through the caller's texture matrix, which the
       // step resets only afterwards.
       [&](auto&) { return std::vector<RunExpect>{{gridDraws(), 1200}}; },
       [&](auto&) { return gridDraws().TextureMatrix(IdentityMatrix()).MatrixMode(GL_TEXTURE); }},
      {"environment-mapped mesh, texture turned", [&] { gl::glBindTexture(GL_TEXTURE_2D, picture_); },
       [&] { drawMesh(mesh, true); }, [&](auto&) { return std::vector<RunExpect>{{meshDraws(true), 2}}; },
       [&](auto&) { return meshDraws(true); }},
      {"environment-mapped mesh, texture still", [&] { gl::glBindTexture(GL_TEXTURE_2D, picture_); },
       [&] { drawMesh(mesh, false); }, [&](auto&) { return std::vector<RunExpect>{{meshDraws(false), 2}}; },
       [&](auto&) { return meshDraws(false); }},
      {"environment-mapped mesh without faces", nullptr, [&] { drawMesh(empty, true); },
       [](auto&) { return std::vector<RunExpect>{}; },
       // Nothing is drawn, and the colour is set all the same.
       [&](auto&) { return meshDraws(true); }},
  };
  testsupport::CheckSteps(rows, nullptr, [&] { return std::vector<GLuint>{picture_}; });
}

}  // namespace
