#include "show_fixture.h"

#include "effects/warp.h"
#include "platform/random.h"
#include "scene/camera.h"
#include "shell/finale.h"
#include "shell/particles.h"
#include "shell/show_assets.h"
#include "shell/timeline.h"
#include "sound/music.h"

namespace showtest {

std::uint32_t ClockValue = 0;

namespace {
std::uint32_t Clock() { return ClockValue; }
}  // namespace

GLuint Solid(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  const std::uint8_t texel[4] = {r, g, b, 255};
  GLuint name = 0;
  gl::glGenTextures(1, &name);
  gl::glBindTexture(GL_TEXTURE_2D, name);
  gl::glTexImage2D(GL_TEXTURE_2D, 0, 4, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texel);
  gl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  gl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  return name;
}

scene::Scene CameraScene(float eyeX, std::int32_t lastTime) {
  scene::Scene s;
  s.FieldOfView = 1.0f;
  s.NearDistance = 0.00001f;
  s.FarDistance = 0.01f;
  s.MaterialCount = 2;
  s.Materials.resize(2);
  s.ObjectCount = 2;
  s.Objects.resize(2);
  for (auto& o : s.Objects) o.MaterialIndex = 0;
  s.CamPositionCount = 2;
  s.CamTargetCount = 2;
  s.CamPosition = {{0, eyeX, -1000, 0}, {lastTime, eyeX + 1000, -1000, 0}};
  s.CamTarget = {{0, eyeX, 0, 0}, {lastTime, eyeX + 1000, 0, 0}};
  s.CamPositionTangents.resize(2);
  s.CamTargetTangents.resize(2);
  return s;
}

void ShowTest::SetUp() {
  testsupport::GlTest::SetUp();
  if (IsSkipped()) return;
  sound::SetMusicPositionSource(Clock);
  using namespace shell;
  Start1Texture = Solid(255, 0, 0);
  Start2Texture = Solid(0, 255, 0);
  Start3Texture = Solid(0, 0, 255);
  for (std::uint32_t* t : {&Follow1Texture, &Follow2Texture, &Follow3Texture, &Fo1Texture, &Fo2Texture,
                           &Fo3Texture, &Fo21Texture, &Fo22Texture, &Fo23Texture, &PartyTexture, &CodeTexture,
                           &FeelTexture, &EndScrollTexture, &Env2Texture}) {
    *t = Solid(255, 255, 255);
  }
  HundTexture = Solid(0, 0, 0);
  Dreams07Texture = Solid(255, 255, 255);
  BallEnvTexture = Solid(255, 255, 255);
  for (int i = 0; i < kVideoFrameCount; ++i) VideoFrames[i] = 1000 + static_cast<std::uint32_t>(i);
  ResetShow();
}

void ShowTest::TearDown() {
  sound::SetMusicPositionSource(nullptr);
  testsupport::GlTest::TearDown();
}

void ShowTest::ResetShow() {
  using namespace shell;
  VideoScene = CameraScene(5000, 1000);
  FlightScene = CameraScene(0, 100);
  scene::PrepareCameraTracks(VideoScene);
  scene::PrepareCameraTracks(FlightScene);
  VideoTracksPrepared = false;
  FinaleMesh = assets::Mesh{};
  CreateParticleList();
  platform::ResetRandom();
  effects::InitWarpTable();
}

void ShowTest::Frame(std::uint32_t position, void (*body)(float)) {
  ClockValue = position;
  gl::glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  body(static_cast<float>(position));
}

}  // namespace showtest
