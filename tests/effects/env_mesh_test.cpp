// The environment-mapped mesh on screen: the picture of a plain mesh, its
// turning and depth clipping, and the texture turning with it. The matrices
// and state it leaves are checked by the effects' state table.
#include <gtest/gtest.h>

#include <cmath>

#include "effects/env_mesh.h"
#include "platform/gl.h"
#include "support/gl_context.h"

namespace {

class EnvMesh : public testsupport::GlTest {};

assets::Mesh Triangle(float z) {
  assets::Mesh mesh;
  mesh.vertexCount = 3;
  mesh.faceCount = 1;
  mesh.vertices = {{0.1f, 0.1f, z}, {0.9f, 0.1f, z}, {0.1f, 0.9f, z}};
  mesh.vertexInfo.resize(3);
  for (auto& info : mesh.vertexInfo) info.normal = {0, 0, 1};
  mesh.faces = {{0, 1, 2}};
  return mesh;
}

TEST_F(EnvMesh, UnturnedMeshIsDrawnAsStoredWithXRightAndYUp) {
  gl::glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  gl::glDisable(GL_TEXTURE_2D);
  effects::DrawEnvMesh(Triangle(0), 0, 0, 0, 1, 0, 0, 1, 1, 1, 0, 0, 0, true);
  // The triangle covers the lower-left corner of the upper-right quadrant.
  auto inside = testsupport::ReadPixel(400 + 100, 300 + 80);
  EXPECT_EQ(inside[0], 255);
  EXPECT_EQ(inside[1], 0);
  for (auto [x, y] : {std::pair{200, 150}, {200, 450}, {600, 150}, {760, 560}}) {
    EXPECT_EQ(testsupport::ReadPixel(x, y)[0], 0) << x << "," << y;
  }
}

TEST_F(EnvMesh, TurningAndDepthClipping) {
  gl::glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  gl::glDisable(GL_TEXTURE_2D);
  // Turned 180 degrees about z the triangle lands in the lower-left quadrant.
  effects::DrawEnvMesh(Triangle(0), 0, 0, 180, 0, 1, 0, 1, 1, 1, 0, 0, 0, false);
  EXPECT_EQ(testsupport::ReadPixel(400 - 100, 300 - 80)[1], 255);
  EXPECT_EQ(testsupport::ReadPixel(400 + 100, 300 + 80)[1], 0);

  gl::glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  effects::DrawEnvMesh(Triangle(20), 0, 0, 0, 1, 1, 1, 1, 1, 1, 0, 0, 0, false);
  EXPECT_EQ(testsupport::ReadPixel(500, 380)[0], 0) << "depth outside -10..10 is clipped";
  gl::glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  effects::DrawEnvMesh(Triangle(9.5f), 0, 0, 0, 1, 1, 1, 1, 1, 1, 0, 0, 0, false);
  EXPECT_EQ(testsupport::ReadPixel(500, 380)[0], 255);
}

TEST_F(EnvMesh, TheTextureFollowsTheNormalsTurnedWithTheMesh) {
  // A 2 x 1 texture: left texel red, right texel blue, nearest filtering, so
  // the colour tells which s the normal gave.
  GLuint name = 0;
  gl::glGenTextures(1, &name);
  gl::glBindTexture(GL_TEXTURE_2D, name);
  const std::uint8_t texels[8] = {255, 0, 0, 255, 0, 0, 255, 255};
  gl::glTexImage2D(GL_TEXTURE_2D, 0, 4, 2, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels);
  gl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  gl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  gl::glEnable(GL_TEXTURE_2D);

  assets::Mesh mesh = Triangle(0);
  for (auto& info : mesh.vertexInfo) info.normal = {0.25f, 0, 0};  // s = 0.25: the red texel
  gl::glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  effects::DrawEnvMesh(mesh, 0, 0, 0, 1, 1, 1, 1, 1, 1, 0, 0, 0, true);
  auto p = testsupport::ReadPixel(500, 380);
  EXPECT_EQ(p[0], 255);
  EXPECT_EQ(p[2], 0);

  // Turned 180 degrees about y with the texture, the normal's s becomes -0.25,
  // which wraps to 0.75: the blue texel. The mesh itself faces away but is
  // still drawn (no culling); it mirrors into the upper-left quadrant.
  gl::glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  effects::DrawEnvMesh(mesh, 0, 180, 0, 1, 1, 1, 1, 1, 1, 0, 0, 0, true);
  p = testsupport::ReadPixel(300, 380);
  EXPECT_EQ(p[2], 255);
  EXPECT_EQ(p[0], 0);
  // Without turning the texture the surface keeps its red.
  gl::glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  effects::DrawEnvMesh(mesh, 0, 180, 0, 1, 1, 1, 1, 1, 1, 0, 0, 0, false);
  p = testsupport::ReadPixel(300, 380);
  EXPECT_EQ(p[0], 255);
}

}  // namespace
