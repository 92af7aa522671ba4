#include "support/gl_context.h"

#include "platform/offscreen.h"

namespace testsupport {

void GlTest::SetUp() {
  if (!platform::OpenOffscreen(Width(), Height())) GTEST_SKIP() << "no headless OpenGL context";
}

void GlTest::TearDown() { platform::CloseOffscreen(); }

std::array<std::uint8_t, 4> ReadPixel(int x, int y) {
  std::array<std::uint8_t, 4> rgba{};
  gl::glPixelStorei(GL_PACK_ALIGNMENT, 1);
  gl::glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
  return rgba;
}

std::vector<std::uint8_t> ReadFrame(int width, int height) {
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * 4);
  gl::glPixelStorei(GL_PACK_ALIGNMENT, 1);
  gl::glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  return pixels;
}

}  // namespace testsupport
