#include "shell/timeline.h"

#include <cmath>

#include "platform/gl.h"
#include "render/render_pass.h"
#include "render/state.h"
#include "scene/camera.h"
#include "shell/particles.h"
#include "shell/show_assets.h"
#include "shell/sprites.h"
#include "effects/warp.h"
#include "sound/music.h"

namespace shell {

bool VideoTracksPrepared = false;

namespace {

constexpr std::uint32_t kFlightStart = 2190000;
constexpr float kDreamStart = 4350000.0f;
constexpr float kLensStart = 6520000.0f;
constexpr float kVideoStart = 8740000.0f;

// The emitter of the flight and the animated material of the video scene.
constexpr std::size_t kEmitterObject = 1;
constexpr std::size_t kVideoMaterial = 1;

enum class Overlay { B, C, D, E };

// What a dream layer needs to know to tell whether every one of its pixels
// magnifies the bound picture: the texture's own filters, and how many
// texels the widest step of one pixel covers at layer scale 1. The layer
// spans texture coordinates 0..1 across the viewport's width and 0..0.75
// down its height, and a rotation moves that step between the picture's
// axes, so the larger side of the picture counts.
struct DreamFootprint {
  GLint minFilter = GL_LINEAR;
  double perUnitScale = HUGE_VAL;
  // Only a mipmapping texture that magnifies linearly gains anything.
  bool CanSkipMipmaps() const {
    return minFilter == GL_LINEAR_MIPMAP_LINEAR || minFilter == GL_LINEAR_MIPMAP_NEAREST;
  }
};

DreamFootprint MeasureDreamFootprint() {
  DreamFootprint footprint;
  GLint magFilter = 0;
  gl::glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &footprint.minFilter);
  gl::glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &magFilter);
  GLint viewport[4] = {0, 0, 0, 0};
  gl::glGetIntegerv(GL_VIEWPORT, viewport);
  GLint width = 0, height = 0;
  gl::glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
  gl::glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
  if (magFilter != GL_LINEAR || viewport[2] <= 0 || viewport[3] <= 0 || width <= 0 || height <= 0) return footprint;
  const double step = std::fmax(1.0 / viewport[2], 0.75 / viewport[3]);
  footprint.perUnitScale = step * std::fmax(width, height);
  return footprint;
}

struct Captions {
  std::uint32_t threshold[3];
  std::uint32_t* texture[3];
  float grey;
};

const Captions& CaptionsOf(Overlay segment) {
  static const Captions b{{2730000, 3270000, 3810000}, {&Follow1Texture, &Follow2Texture, &Follow3Texture}, 1.0f};
  static const Captions c{{4892500, 5435000, 5977500}, {&Fo1Texture, &Fo2Texture, &Fo3Texture}, 1.0f};
  static const Captions d{{7075000, 7630000, 8185000}, {&Fo21Texture, &Fo22Texture, &Fo23Texture}, 0.5f};
  static const Captions e{{9280000, 9820000, 10360000}, {&PartyTexture, &CodeTexture, &FeelTexture}, 0.5f};
  switch (segment) {
    case Overlay::B: return b;
    case Overlay::C: return c;
    case Overlay::D: return d;
    case Overlay::E: return e;
  }
  return b;
}

// Three captions that appear one after the other; each threshold is tested
// strictly against its own fresh reading of the clock.
void DrawCaptionOverlay(Overlay segment) {
  const Captions& captions = CaptionsOf(segment);
  gl::glEnable(GL_DEPTH_TEST);
  if (segment != Overlay::B) {
    gl::glMatrixMode(GL_TEXTURE);
    gl::glLoadIdentity();
  }
  gl::glMatrixMode(GL_MODELVIEW);
  gl::glLoadIdentity();
  gl::glMatrixMode(GL_PROJECTION);
  gl::glLoadIdentity();
  gl::glOrtho(-1, 1, -1, 1, -10, 10);
  if (segment == Overlay::E) {
    gl::glEnable(GL_BLEND);
    gl::glBlendFunc(GL_ONE, GL_ONE);
  }
  gl::glColor3f(captions.grey, captions.grey, captions.grey);
  static constexpr float kRowY[3] = {0.66f, 0.0f, -0.66f};
  for (int row = 0; row < 3; ++row) {
    if (sound::GetMusicPosition() > captions.threshold[row]) {
      DrawSprite(0.5f, kRowY[row], 0, 0.32f, 0.12f, *captions.texture[row]);
    }
  }
  gl::glDepthMask(GL_TRUE);
}

// One echo of a title: pass i is larger, further out along a slowly turning
// direction and dimmer than pass i - 1.
void DrawTitleEcho(std::uint32_t texture, int i, float frameClock, double period, float offsetY) {
  const double angle = static_cast<double>(frameClock) / period;
  const float x = static_cast<float>(std::sin(angle) / 7.0 * i / 20.0);
  const float y = static_cast<float>(std::cos(angle) / 7.0 * i / 20.0) + offsetY;
  const float grow = 1.0f + static_cast<float>(i) / 30.0f;
  DrawSprite(x, y, 0, 0.64f * grow, 0.24f * grow, texture);
}

}  // namespace

int VideoFrameIndex(float u) {
  // nearbyint under the default rounding mode rounds halves to even.
  const long long f = static_cast<long long>(std::nearbyint(static_cast<double>(u) / 2.0));
  return static_cast<int>(((f % kVideoFrameCount) + kVideoFrameCount) % kVideoFrameCount);
}

void DrawSegmentA(float frameClock) {
  gl::glEnable(GL_BLEND);
  gl::glDisable(GL_DEPTH_TEST);
  gl::glBlendFunc(GL_ONE, GL_ONE);
  // Passes 11 to 20 have a negative colour that clamps to black and add
  // exactly nothing under (one, one) blending; they are left out, which
  // halves the fill work of the segment without changing a pixel. The state
  // the segment leaves stays the same too: the same texture is bound last,
  // and the colour of pass 20, which OpenGL keeps unclamped, is set below.
  for (int i = 0; i <= 10; ++i) {
    const float c = 1.0f - static_cast<float>(i) / 10.0f;
    gl::glColor3f(c, c, c);
    DrawTitleEcho(Start1Texture, i, frameClock, 50000.0, 0.66f);
    if (frameClock > 730000.0f) DrawTitleEcho(Start2Texture, i, frameClock, 60000.0, 0.0f);
    if (frameClock > 1460000.0f) DrawTitleEcho(Start3Texture, i, frameClock, 40000.0, -0.66f);
  }
  const float last = 1.0f - 20.0f / 10.0f;
  gl::glColor3f(last, last, last);
}

void DrawSegmentB(float) {
  const std::uint32_t position = sound::GetMusicPosition();
  const float t = static_cast<float>(position - kFlightStart) / 25000.0f;
  gl::glEnable(GL_DEPTH_TEST);
  gl::glDisable(GL_BLEND);
  if (FlightScene.Objects.size() > kEmitterObject) FlightScene.Objects[kEmitterObject].Visible = 0;
  if (VideoTracksPrepared) {
    scene::PrepareCameraTracks(FlightScene);
    VideoTracksPrepared = false;
  }
  render::SetSceneTint(1, 1, 1);
  gl::glEnable(GL_TEXTURE_2D);
  render::RenderScene(FlightScene, t);
  gl::glColor3f(1, 1, 1);
  gl::glEnable(GL_TEXTURE_2D);
  const Vec3 eye{render::LastCameraEye.X, render::LastCameraEye.Y, render::LastCameraEye.Z};
  const Vec3 target{render::LastCameraTarget.X, render::LastCameraTarget.Y, render::LastCameraTarget.Z};
  gl::glDepthFunc(GL_LEQUAL);
  gl::glDisable(GL_BLEND);
  gl::glDisable(GL_ALPHA_TEST);
  gl::glEnable(GL_BLEND);
  gl::glBlendFunc(GL_ONE, GL_ONE);
  gl::glDepthMask(GL_FALSE);
  EmitParticles(eye, target);
  DrawParticles(eye, target);
  DrawCaptionOverlay(Overlay::B);
}

void DrawSegmentC(float frameClock) {
  const float s = (frameClock - kDreamStart) * 0.00001f;
  gl::glDisable(GL_DEPTH_TEST);
  gl::glEnable(GL_BLEND);
  gl::glBlendFunc(GL_SRC_ALPHA, GL_ONE);
  gl::glEnable(GL_TEXTURE_2D);
  gl::glBindTexture(GL_TEXTURE_2D, Dreams07Texture);
  gl::glMatrixMode(GL_PROJECTION);
  gl::glLoadIdentity();
  gl::gluOrtho2D(0, 800, 600, 0);
  gl::glMatrixMode(GL_MODELVIEW);
  gl::glLoadIdentity();
  const DreamFootprint footprint = MeasureDreamFootprint();
  GLint minFilter = footprint.minFilter;
  for (int k = 1; k <= 8; ++k) {
    const float a = 0.1f * static_cast<float>(k) * std::sin(s);
    const float b = 0.1f * static_cast<float>(k) * std::cos(0.71f * s);
    // A layer that every pixel magnifies samples the picture's full-size
    // level alone, whatever the minifying filter: it is drawn with plain
    // linear filtering, which gives the same picture for far less work. The
    // bound on the footprint holds for every rotation of the layer.
    const bool magnified = footprint.CanSkipMipmaps() && footprint.perUnitScale * std::fabs(1 + a) <= 1.0;
    const GLint wanted = magnified ? GL_LINEAR : footprint.minFilter;
    if (wanted != minFilter) {
      gl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, wanted);
      minFilter = wanted;
    }
    gl::glMatrixMode(GL_TEXTURE);
    gl::glLoadIdentity();
    gl::glTranslatef((s + 0.01f * a) * 0.01f, (s - 0.01f * a) * 0.0125f, -0.0476f * s);
    gl::glRotatef((s + 4.0f * b) * 7.0f, 0, 0, 1);
    gl::glTranslatef(-1, -1, 0);
    gl::glScalef(1 + a, 1 + a, 1 + a);
    gl::glBegin(GL_QUADS);
    gl::glColor4f(1, 1, 1, 0.125f);
    gl::glTexCoord2f(0, 0);
    gl::glVertex2f(0, 0);
    gl::glTexCoord2f(1, 0);
    gl::glVertex2f(800, 0);
    gl::glTexCoord2f(1, 0.75f);
    gl::glVertex2f(800, 600);
    gl::glTexCoord2f(0, 0.75f);
    gl::glVertex2f(0, 600);
    gl::glEnd();
  }
  if (minFilter != footprint.minFilter) gl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, footprint.minFilter);
  DrawCaptionOverlay(Overlay::C);
}

void DrawSegmentD(float frameClock) {
  const float u = (frameClock - kLensStart) / 4000.0f;
  effects::UpdateWarpGrid(u * 0.2f);
  gl::glMatrixMode(GL_TEXTURE);
  gl::glLoadIdentity();
  gl::glTranslatef(-0.02f * u, 0.006f * u, 0.0054f * u);
  gl::glRotatef(2.4f * u, 0, 0, 1);
  gl::glScalef(0.4f, 0.4f, 0.4f);
  gl::glBindTexture(GL_TEXTURE_2D, BallEnvTexture);
  effects::DrawWarpGrid();
  gl::glMatrixMode(GL_TEXTURE);
  gl::glLoadIdentity();
  gl::glTranslatef(0.0093f * u, -0.004f * u, 0.00303f * u);
  gl::glRotatef(-0.914f * u, 0, 0, 1);
  gl::glScalef(0.3f, 0.3f, 0.3f);
  effects::DrawWarpGrid();
  DrawCaptionOverlay(Overlay::D);
}

void DrawSegmentE(float frameClock) {
  const float u = (frameClock - kVideoStart) / 3000.0f;
  gl::glEnable(GL_DEPTH_TEST);
  gl::glDisable(GL_BLEND);
  // The flight scene was prepared last during start-up, and camera
  // evaluation follows the tracks prepared most recently.
  scene::PrepareCameraTracks(VideoScene);
  VideoTracksPrepared = true;
  if (VideoScene.Materials.size() > kVideoMaterial) {
    VideoScene.Materials[kVideoMaterial].TextureName = VideoFrames[VideoFrameIndex(u)];
  }
  render::SetSceneTint(2, 2, 2);
  gl::glEnable(GL_TEXTURE_2D);
  render::RenderScene(VideoScene, u);
  DrawCaptionOverlay(Overlay::E);
}

}  // namespace shell
