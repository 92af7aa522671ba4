// The feedback finale: the texture it starts from, the mirrored and enlarged
// copy carried from frame to frame, the mesh in the feedback area, the
// composition with its black bars and the end scroller.
#include <gtest/gtest.h>

#include <vector>

#include "platform/gl.h"
#include "shell/finale.h"
#include "shell/show_assets.h"
#include "support/gl_context.h"

namespace {

using namespace shell;

// A pixel of the 800 x 600 frame, y counted from the top.
std::array<std::uint8_t, 4> At(int x, int yFromTop) { return testsupport::ReadPixel(x, 599 - yFromTop); }

GLuint RowsTexture(int width, const std::vector<std::array<std::uint8_t, 3>>& rows) {
  std::vector<std::uint8_t> texels;
  for (const auto& row : rows) {
    for (int x = 0; x < width; ++x) texels.insert(texels.end(), {row[0], row[1], row[2], 255});
  }
  GLuint name = 0;
  gl::glGenTextures(1, &name);
  gl::glBindTexture(GL_TEXTURE_2D, name);
  gl::glTexImage2D(GL_TEXTURE_2D, 0, 4, width, static_cast<GLsizei>(rows.size()), 0, GL_RGBA, GL_UNSIGNED_BYTE,
                   texels.data());
  gl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  gl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  return name;
}

class Finale : public testsupport::GlTest {
 protected:
  void SetUp() override {
    testsupport::GlTest::SetUp();
    FinaleMesh = assets::Mesh{};
    Env2Texture = 0;
    // Four bands, top to bottom: red, green, blue, yellow.
    EndScrollTexture = RowsTexture(1, {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}});
    CreateFeedbackTexture();
  }
  // The feedback texture's picture: its first 128 rows red, the rest blue.
  void PaintFeedback() {
    std::vector<std::uint8_t> texels(256 * 256 * 4);
    for (int row = 0; row < 256; ++row) {
      for (int x = 0; x < 256; ++x) {
        std::uint8_t* t = &texels[(row * 256 + x) * 4];
        t[0] = row < 128 ? 255 : 0;
        t[2] = row < 128 ? 0 : 255;
        t[3] = 255;
      }
    }
    gl::glBindTexture(GL_TEXTURE_2D, FeedbackTexture);
    gl::glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 256, 256, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
  }
};

TEST_F(Finale, TheFeedbackTextureIsA256SquareWithLinearFilteringLeftBound) {
  GLint bound = 0, w = 0, h = 0;
  gl::glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  EXPECT_EQ(static_cast<std::uint32_t>(bound), FeedbackTexture);
  EXPECT_NE(FeedbackTexture, 0u);
  EXPECT_TRUE(gl::glIsEnabled(GL_TEXTURE_2D));
  gl::glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
  gl::glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
  EXPECT_EQ(w, 256);
  EXPECT_EQ(h, 256);
  std::vector<std::uint8_t> pixels(256 * 256 * 4, 7);
  gl::glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  for (std::size_t i = 0; i < pixels.size(); i += 997) EXPECT_EQ(pixels[i], 0) << "starts black";
}

TEST_F(Finale, TheFirstFrameShowsTheInitialPictureAndTheSecondThePreviousArea) {
  PaintFeedback();
  DrawFinale(0.0f, 0.41f);
  // Composed row r of the feedback picture (screen y = 44 + 2r) is area row r
  // from the bottom, which showed the texture at t = 0.9 (255.5 - r) / 256:
  // blue (the picture's lower rows) near the top, red near the bottom.
  EXPECT_EQ(At(100, 60)[2], 255);
  EXPECT_EQ(At(100, 60)[0], 0);
  EXPECT_EQ(At(300, 540)[0], 255);
  EXPECT_EQ(At(300, 540)[2], 0);
  // The edge lies where t = 0.5: r = 113, screen y = 270.
  EXPECT_EQ(At(256, 262)[2], 255);
  EXPECT_EQ(At(256, 278)[0], 255);

  DrawFinale(1.0f, 0.41f);
  // Now the area shows the first frame's copy, mirrored again: red on top.
  EXPECT_EQ(At(100, 60)[0], 255);
  EXPECT_EQ(At(100, 60)[2], 0);
  EXPECT_EQ(At(300, 540)[2], 255);
  EXPECT_EQ(At(300, 540)[0], 0);
}

TEST_F(Finale, BlackBarsOf44PixelsAboveAndBelowAndTheScrollerOnTheRight) {
  PaintFeedback();
  for (int frame = 0; frame < 3; ++frame) DrawFinale(static_cast<float>(frame), 0.41f);
  for (int x : {0, 100, 511, 512, 700, 799}) {
    for (int y : {0, 20, 43, 556, 580, 599}) {
      auto p = At(x, y);
      EXPECT_EQ(p[0] + p[1] + p[2], 0) << x << "," << y;
    }
    auto top = At(x, 44), bottom = At(x, 555);
    EXPECT_GT(top[0] + top[1] + top[2], 0) << x;
    EXPECT_GT(bottom[0] + bottom[1] + bottom[2], 0) << x;
  }
  // scroll 0.41: the band runs from t = -0.41 to -0.01, that is 0.59 to 0.99
  // of the picture: its third band (blue) at the top, the fourth (yellow) below.
  auto top = At(650, 60), bottom = At(650, 540);
  EXPECT_EQ(top[2], 255);
  EXPECT_EQ(top[0], 0);
  EXPECT_EQ(bottom[0], 255);
  EXPECT_EQ(bottom[1], 255);
  // At the end of the show (scroll -0.5275) the band is 0.5275 to 0.9275.
  DrawFinale(375.0f, -0.5275f);
  EXPECT_EQ(At(650, 60)[2], 255);
  EXPECT_EQ(At(650, 540)[1], 255);
  EXPECT_EQ(At(650, 540)[0], 255);
}

TEST_F(Finale, TheMeshLeavesATrailThroughTheFeedbackLoop) {
  // A flat square in the middle of the -1..1 area, drawn white (no texture).
  FinaleMesh.vertexCount = 4;
  FinaleMesh.faceCount = 2;
  FinaleMesh.vertices = {{-0.2f, -0.2f, 0}, {0.2f, -0.2f, 0}, {0.2f, 0.2f, 0}, {-0.2f, 0.2f, 0}};
  FinaleMesh.vertexInfo.resize(4);
  FinaleMesh.faces = {{0, 1, 2}, {0, 2, 3}};
  DrawFinale(0.0f, 0.41f);
  // The area's centre (128, 128) appears at twice the size around (256, 300).
  auto centre = At(256, 300);
  EXPECT_EQ(centre[0], 255);
  EXPECT_EQ(centre[1], 255);
  EXPECT_EQ(At(40, 80)[0], 0) << "outside the mesh the black start shows";
  // With the mesh gone, the previous copy still shows it, enlarged about the
  // texture origin and mirrored.
  FinaleMesh = assets::Mesh{};
  DrawFinale(0.0f, 0.41f);
  int lit = 0;
  for (int y = 100; y < 500; y += 4) lit += At(256, y)[0] > 200 ? 1 : 0;
  EXPECT_GT(lit, 10);
}

}  // namespace
