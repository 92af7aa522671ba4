// Sprites and the vector helpers behind the billboards.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/gl.h"
#include "shell/sprites.h"
#include "shell/vec.h"
#include "support/gl_context.h"

namespace {

using namespace shell;

TEST(Vec, NormalizeLeavesTinyVectorsAndScalesTheRestToLengthOne) {
  Vec3 tiny{0, 0.00005f, 0};
  VecNormalize(tiny);
  EXPECT_EQ(tiny.x, 0);
  EXPECT_EQ(tiny.y, 0.00005f);
  EXPECT_EQ(tiny.z, 0);
  Vec3 v{3, 0, 4};
  VecNormalize(v);
  EXPECT_FLOAT_EQ(v.x, 0.6f);
  EXPECT_EQ(v.y, 0);
  EXPECT_FLOAT_EQ(v.z, 0.8f);
  Vec3 zero{0, 0, 0};
  VecNormalize(zero);
  EXPECT_EQ(zero.x, 0);
  // The float nearest to 0.0001 lies below the real number 0.0001: a vector
  // of exactly that length is too short; the next float up is long enough.
  ASSERT_LT(static_cast<double>(0.0001f), 0.0001);
  Vec3 atBound{0, 0, 0.0001f};
  VecNormalize(atBound);
  EXPECT_EQ(atBound.z, 0.0001f);
  const float above = std::nextafter(0.0001f, 1.0f);
  Vec3 longer{0, above, 0};
  VecNormalize(longer);
  EXPECT_EQ(longer.y, 1.0f);
}

TEST(Vec, CrossAndSubWorkInPlace) {
  Vec3 a{1, 0, 0};
  VecCross(a, a, Vec3{0, 1, 0});
  EXPECT_EQ(a.x, 0);
  EXPECT_EQ(a.y, 0);
  EXPECT_EQ(a.z, 1);
  Vec3 d;
  VecSub(d, Vec3{5, 7, 9}, Vec3{1, 2, 3});
  EXPECT_EQ(d.x, 4);
  EXPECT_EQ(d.y, 5);
  EXPECT_EQ(d.z, 6);
  VecScale(d, 0.5f);
  EXPECT_EQ(d.z, 3);
}

class Sprite : public testsupport::GlTest {};

TEST_F(Sprite, CoversItsCentreAndHalfExtentsWithTheTextureUpright) {
  // Two texels: the first row (the picture's top) red, the second blue.
  GLuint name = 0;
  gl::glGenTextures(1, &name);
  gl::glBindTexture(GL_TEXTURE_2D, name);
  const std::uint8_t texels[8] = {255, 0, 0, 255, 0, 0, 255, 255};
  gl::glTexImage2D(GL_TEXTURE_2D, 0, 4, 1, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels);
  gl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  gl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  gl::glBindTexture(GL_TEXTURE_2D, 0);
  gl::glClear(GL_COLOR_BUFFER_BIT);
  DrawSprite(0.5f, 0.66f, 0, 0.32f, 0.12f, name);
  // x 0.18 .. 0.82 is pixels 472 .. 728; y 0.54 .. 0.78 is rows 462 .. 534.
  auto lit = [](int x, int y) {
    auto p = testsupport::ReadPixel(x, y);
    return p[0] + p[2] > 0;
  };
  EXPECT_TRUE(lit(473, 463));
  EXPECT_TRUE(lit(727, 533));
  EXPECT_FALSE(lit(470, 500));
  EXPECT_FALSE(lit(730, 500));
  EXPECT_FALSE(lit(600, 460));
  EXPECT_FALSE(lit(600, 536));
  EXPECT_EQ(testsupport::ReadPixel(600, 530)[0], 255) << "the picture's top row at the upper edge";
  EXPECT_EQ(testsupport::ReadPixel(600, 466)[2], 255);
  GLint bound = 0;
  gl::glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  EXPECT_EQ(static_cast<GLuint>(bound), name);
  EXPECT_TRUE(gl::glIsEnabled(GL_TEXTURE_2D));
}

}  // namespace
