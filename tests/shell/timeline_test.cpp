// The segment bodies on headless OpenGL, with small stand-in assets: titles
// and captions at their strict thresholds, the video frame index and the
// material it sets, the emitter hidden for good, the lens and dream layers,
// and the flight's own camera after the timeline has started over.
#include <gtest/gtest.h>

#include <vector>

#include "platform/gl.h"
#include "render/state.h"
#include "scene/camera.h"
#include "shell/main_loop.h"
#include "shell/particles.h"
#include "shell/show_assets.h"
#include "shell/timeline.h"
#include "effects/warp.h"
#include "sound/music.h"
#include "show_fixture.h"
#include "support/gl_context.h"

namespace {

using namespace shell;

using showtest::CameraScene;
using showtest::Solid;

class Timeline : public showtest::ShowTest {
 protected:
  // Caption rows in the -1..1 overlay: centre x 0.5, rows at y 0.66, 0, -0.66.
  static int CaptionLevel(int row) {
    static const int y[3] = {498, 300, 102};
    return testsupport::ReadPixel(600, y[row])[0];
  }
};

TEST_F(Timeline, TheSecondTitleAppearsStrictlyAfter730000AndTheThirdAfter1460000) {
  gl::glMatrixMode(GL_PROJECTION);
  gl::glLoadIdentity();
  Frame(730000, DrawSegmentA);
  EXPECT_GT(testsupport::ReadPixel(400, 500)[0], 0) << "the first title";
  EXPECT_EQ(testsupport::ReadPixel(400, 300)[1], 0) << "no second title yet";
  EXPECT_EQ(testsupport::ReadPixel(400, 100)[2], 0);
  Frame(730001, DrawSegmentA);
  EXPECT_GT(testsupport::ReadPixel(400, 300)[1], 200);
  EXPECT_EQ(testsupport::ReadPixel(400, 100)[2], 0);
  Frame(1460000, DrawSegmentA);
  EXPECT_EQ(testsupport::ReadPixel(400, 100)[2], 0);
  Frame(1460001, DrawSegmentA);
  EXPECT_GT(testsupport::ReadPixel(400, 100)[2], 200);
  // The echoes add up: the title's middle is brighter than one copy of the
  // dimmed tenth pass, and the frame outside all echoes stays black.
  EXPECT_EQ(testsupport::ReadPixel(2, 2)[0], 0);
}

TEST_F(Timeline, FlightCaptionsAreDrawnOnlyAboveTheirThresholds) {
  Frame(2730000, DrawSegmentB);
  EXPECT_EQ(CaptionLevel(0), 0) << "follow1.tga is not drawn at 2,730,000";
  Frame(2730001, DrawSegmentB);
  EXPECT_EQ(CaptionLevel(0), 255) << "follow1.tga is drawn at 2,730,001";
  EXPECT_EQ(CaptionLevel(1), 0);
  Frame(3270001, DrawSegmentB);
  EXPECT_EQ(CaptionLevel(1), 255);
  EXPECT_EQ(CaptionLevel(2), 0);
  Frame(3810001, DrawSegmentB);
  EXPECT_EQ(CaptionLevel(2), 255);
}

TEST_F(Timeline, LensAndVideoCaptionsAreHalfGrey) {
  Frame(7075000, DrawSegmentD);
  EXPECT_GE(CaptionLevel(0), 250) << "two half passes of the white lens picture";
  BallEnvTexture = Solid(0, 0, 0);
  Frame(8185000, DrawSegmentD);
  EXPECT_EQ(CaptionLevel(2), 0);
  EXPECT_NEAR(CaptionLevel(1), 128, 2);
  Frame(8185001, DrawSegmentD);
  EXPECT_NEAR(CaptionLevel(2), 128, 2);
  Frame(9280001, DrawSegmentE);
  EXPECT_NEAR(CaptionLevel(0), 128, 2);
  EXPECT_EQ(CaptionLevel(1), 0);
}

TEST_F(Timeline, DreamLayersAddEightTranslucentCopiesAndTheirCaptions) {
  Frame(4350000, DrawSegmentC);
  // Eight copies at alpha 0.125 of a white picture add up to (almost) white.
  EXPECT_GE(testsupport::ReadPixel(100, 100)[0], 248);
  Frame(4892500, DrawSegmentC);
  EXPECT_EQ(CaptionLevel(0), 255);  // already white underneath; the test below is strict
  Dreams07Texture = Solid(0, 0, 0);
  Frame(4892500, DrawSegmentC);
  EXPECT_EQ(CaptionLevel(0), 0);
  Frame(4892501, DrawSegmentC);
  EXPECT_EQ(CaptionLevel(0), 255);
}

// A 512 x 512 mipmapped picture whose full-size level is red and whose
// smaller levels are green: green on screen means a smaller level was read.
GLuint RedOverGreenMipmaps() {
  GLuint name = 0;
  gl::glGenTextures(1, &name);
  gl::glBindTexture(GL_TEXTURE_2D, name);
  for (int level = 0, side = 512; side >= 1; ++level, side /= 2) {
    std::vector<std::uint8_t> texels(static_cast<std::size_t>(side) * side * 4, 0);
    for (std::size_t i = 0; i < texels.size(); i += 4) {
      texels[i + (level == 0 ? 0 : 1)] = 255;
      texels[i + 3] = 255;
    }
    gl::glTexImage2D(GL_TEXTURE_2D, level, 4, side, side, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
  }
  gl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  gl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
  return name;
}

TEST_F(Timeline, DreamLayersReadSmallerLevelsOnlyWhereTheyShrinkThePicture) {
  Dreams07Texture = RedOverGreenMipmaps();
  auto minFilter = [] {
    GLint filter = 0;
    gl::glBindTexture(GL_TEXTURE_2D, Dreams07Texture);
    gl::glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filter);
    return filter;
  };
  // s = 3 pi / 2: every layer is drawn smaller than 1:1 on the picture
  // (scales 0.2 to 0.9), so every pixel magnifies: the full-size level only.
  Frame(4350000 + 471239, DrawSegmentC);
  auto p = testsupport::ReadPixel(400, 300);
  EXPECT_GE(p[0], 248);
  EXPECT_EQ(p[1], 0) << "a magnified layer never reads the smaller levels";
  EXPECT_EQ(minFilter(), GL_LINEAR_MIPMAP_LINEAR) << "the picture keeps its own filter";
  // s = pi / 2: the outer layers grow to scales 1.6 to 1.8, so the picture
  // shrinks on screen there and its smaller levels show through.
  Frame(4350000 + 157080, DrawSegmentC);
  p = testsupport::ReadPixel(400, 300);
  EXPECT_GT(p[1], 2) << "shrunk layers are filtered across the mipmap levels";
  EXPECT_GE(p[0], 150);
  EXPECT_EQ(minFilter(), GL_LINEAR_MIPMAP_LINEAR);
}

TEST_F(Timeline, VideoFrameIndexRoundsHalvesToEvenAndWrapsAt100) {
  EXPECT_EQ(VideoFrameIndex(3.0f), 2);
  EXPECT_EQ(VideoFrameIndex(5.0f), 2);
  EXPECT_EQ(VideoFrameIndex(200.0f), 0);
  EXPECT_EQ(VideoFrameIndex(1.0f), 0);
  EXPECT_EQ(VideoFrameIndex(7.0f), 4);
  EXPECT_EQ(VideoFrameIndex(199.0f), 0);
  EXPECT_EQ(VideoFrameIndex(201.0f), 0);
  EXPECT_EQ(VideoFrameIndex(203.0f), 2);
  EXPECT_EQ(VideoFrameIndex(719.9f), 60);
}

TEST_F(Timeline, TheVideoSceneShowsTheFrameOfItsTimeOnItsSecondMaterial) {
  Frame(8740000 + 3 * 3000, DrawSegmentE);
  EXPECT_EQ(VideoScene.Materials[1].TextureName, VideoFrames[2]);
  EXPECT_EQ(VideoScene.Materials[0].TextureName, 0u);
  Frame(8740000 + 200 * 3000, DrawSegmentE);
  EXPECT_EQ(VideoScene.Materials[1].TextureName, VideoFrames[0]);
  // A scene with a single material: the step is skipped.
  VideoScene.Materials.resize(1);
  VideoScene.MaterialCount = 1;
  Frame(8740000 + 9 * 3000, DrawSegmentE);
  EXPECT_EQ(render::LastCameraEye.X, scene::EvaluateCamera(VideoScene, 9.0f).Eye.X);
}

TEST_F(Timeline, TheEmitterStaysHiddenAndTheFlightGetsItsOwnCameraBackAfterARestart) {
  ASSERT_EQ(FlightScene.Objects[1].Visible, 1);
  // One pass through the show and a music restart, through the main loop's
  // own dispatch: B, E, then A and B again.
  static const std::uint32_t positions[] = {2190000, 3000000, 9000000, 10000000, 1000, 2190000 + 25000 * 40};
  static std::size_t next = 0;
  static std::vector<std::uint8_t> emitterVisible;
  static std::vector<float> eyeX;
  next = 0;
  emitterVisible.clear();
  eyeX.clear();
  showtest::ClockValue = positions[0];
  LoopHooks hooks;
  hooks.afterFrame = [](std::uint32_t, void*) {
    emitterVisible.push_back(FlightScene.Objects[1].Visible);
    eyeX.push_back(render::LastCameraEye.X);
    if (++next >= std::size(positions)) return false;
    showtest::ClockValue = positions[next];
    return true;
  };
  EXPECT_EQ(RunMainLoop(&hooks), LoopEnd::Stopped);
  ASSERT_EQ(emitterVisible.size(), std::size(positions));
  for (std::uint8_t v : emitterVisible) EXPECT_EQ(v, 0);
  EXPECT_EQ(eyeX[0], 0.0f) << "the flight's first key";
  EXPECT_GT(eyeX[2], 5000.0f) << "segment E shows the video scene's camera";
  // t = 40 of the flight's keys 0..100: a tenth of the way along x would be
  // its own tracks; the video scene's (0..1000) would give far less.
  scene::Scene reference = CameraScene(0, 100);
  scene::PrepareCameraTracks(reference);
  EXPECT_FLOAT_EQ(eyeX[5], scene::EvaluateCamera(reference, 40.0f).Eye.X);
  EXPECT_GT(eyeX[5], 100.0f);
}

}  // namespace
