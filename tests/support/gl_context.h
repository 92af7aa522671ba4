#pragma once
// A fresh headless OpenGL context for rendering tests, and pixel read-back.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "platform/gl.h"

namespace testsupport {

// Opens an 800 x 600 (or the given size) headless context per test, with the
// OpenGL state of a new context.
class GlTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  virtual int Width() const { return 800; }
  virtual int Height() const { return 600; }
};

// RGBA of one pixel of the back buffer; x from the left, y from the bottom.
std::array<std::uint8_t, 4> ReadPixel(int x, int y);
// The whole back buffer, rows bottom first, RGBA.
std::vector<std::uint8_t> ReadFrame(int width, int height);

}  // namespace testsupport
