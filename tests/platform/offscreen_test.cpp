#include <gtest/gtest.h>

#include "platform/gl.h"
#include "support/gl_context.h"

namespace {

using testsupport::GlTest;
using testsupport::ReadPixel;

TEST_F(GlTest, HeadlessContextClearsAndReadsBackTheBackBuffer) {
  gl::glClearColor(1, 0, 0, 1);
  gl::glClear(GL_COLOR_BUFFER_BIT);
  auto p = ReadPixel(10, 10);
  EXPECT_EQ(p[0], 255);
  EXPECT_EQ(p[1], 0);
  EXPECT_EQ(p[2], 0);
}

TEST_F(GlTest, CopyTexImageTakesTheBackBuffer) {
  gl::glClearColor(0, 1, 0, 1);
  gl::glClear(GL_COLOR_BUFFER_BIT);
  GLuint texture = 0;
  gl::glGenTextures(1, &texture);
  gl::glBindTexture(GL_TEXTURE_2D, texture);
  gl::glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 0, 0, 16, 16, 0);
  std::vector<unsigned char> texels(16 * 16 * 4);
  gl::glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
  EXPECT_EQ(texels[1], 255);
  EXPECT_EQ(texels[0], 0);
}

}  // namespace
