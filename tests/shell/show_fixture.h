#pragma once
// The show's assets as small stand-ins on a headless context, for the tests
// that draw segments: one solid texture per picture, a scene per segment
// with a camera that moves, the particle list and the lens table, and a
// music position the test sets.
#include <cstdint>

#include "platform/gl.h"
#include "scene/model.h"
#include "support/gl_context.h"

namespace showtest {

// The music position the sound module reports while a ShowTest runs.
extern std::uint32_t ClockValue;

// A 1 x 1 opaque texture of the given colour with nearest filtering.
GLuint Solid(std::uint8_t r, std::uint8_t g, std::uint8_t b);

// A scene of two empty objects and two materials whose camera moves along x
// from eyeX over keys at times 0 and lastTime, looking along +y.
scene::Scene CameraScene(float eyeX, std::int32_t lastTime);

class ShowTest : public testsupport::GlTest {
 protected:
  void SetUp() override;
  void TearDown() override;
  // The scenes, the particle list, the feedback texture and the lens table
  // back to how the start-up leaves them.
  void ResetShow();
  // One frame of a segment body at the given position, after a clear.
  void Frame(std::uint32_t position, void (*body)(float));
};

}  // namespace showtest
