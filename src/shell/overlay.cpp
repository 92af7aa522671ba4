#include "shell/overlay.h"

#include <chrono>
#include <cstdio>
#include <iterator>

#include "platform/gl.h"
#include "shell/dot_font.h"
#include "shell/main_loop.h"
#include "shell/window.h"
#include "sound/music.h"

namespace shell {

bool OverlayShown = false;

namespace {

// Each dot of the font is a square of this many frame pixels.
constexpr float kScale = 2.0f;
constexpr float kCellWidth = kDotCellWidth * kScale;
constexpr float kCellHeight = kDotCellHeight * kScale;
constexpr float kMargin = 8.0f;

void Rect(float x0, float y0, float x1, float y1) {
  gl::glVertex2f(x0, y0);
  gl::glVertex2f(x1, y0);
  gl::glVertex2f(x1, y1);
  gl::glVertex2f(x0, y1);
}

// The lit dots of the text, top-left at (x, y) in frame pixels counted
// from the top; inside glBegin(GL_QUADS).
void Text(const std::string& text, float x, float y) {
  ForEachDot(text, [&](int column, int row) {
    const float px = x + column * kScale;
    const float py = y + row * kScale;
    Rect(px, py, px + kScale, py + kScale);
  });
}

// Frames counted over the last half second or more, and the rate they
// gave.
struct FrameRate {
  std::chrono::steady_clock::time_point since{};
  int frames = 0;
  int perSecond = 0;
};
FrameRate rate;

void CountFrame() {
  const auto now = std::chrono::steady_clock::now();
  if (rate.frames == 0 && rate.since == std::chrono::steady_clock::time_point{}) rate.since = now;
  ++rate.frames;
  const double seconds = std::chrono::duration<double>(now - rate.since).count();
  if (seconds >= 0.5) {
    rate.perSecond = static_cast<int>(rate.frames / seconds + 0.5);
    rate.frames = 0;
    rate.since = now;
  }
}

// The capabilities the overlay turns on or off, put back afterwards.
constexpr GLenum kCapabilities[] = {GL_DEPTH_TEST, GL_TEXTURE_2D, GL_LIGHTING, GL_FOG,
                                    GL_CULL_FACE,  GL_ALPHA_TEST, GL_BLEND};

}  // namespace

std::string OverlayText(std::uint32_t position, int framesPerSecond, bool paused) {
  char segment = 'A';
  for (int i = 0; i < 6; ++i) {
    if (position >= SegmentStarts[i]) segment = static_cast<char>('A' + i);
  }
  char first[96];
  std::snprintf(first, sizeof first, "POSITION %u  SEGMENT %c  %d FPS%s\n", position, segment, framesPerSecond,
                paused ? "  PAUSED" : "");
  return std::string(first) +
         "SPACE PAUSE  LEFT/RIGHT 5 S  PGUP/PGDN SEGMENT\n"
         "1-6 SEGMENT A-F  HOME RESTART  F FULLSCREEN\n"
         "H OVERLAY  ESC END\n";
}

void DrawOverlay() {
  CountFrame();
  if (!OverlayShown || !ShellDC) return;
  const std::string text = OverlayText(sound::GetMusicPosition(), rate.perSecond, sound::MusicPaused());

  GLboolean enabled[std::size(kCapabilities)];
  for (std::size_t i = 0; i < std::size(kCapabilities); ++i) enabled[i] = gl::glIsEnabled(kCapabilities[i]);
  GLint blendSource = GL_ONE, blendDestination = GL_ZERO;
  gl::glGetIntegerv(GL_BLEND_SRC, &blendSource);
  gl::glGetIntegerv(GL_BLEND_DST, &blendDestination);
  GLfloat colour[4] = {1, 1, 1, 1};
  gl::glGetFloatv(GL_CURRENT_COLOR, colour);
  GLint matrixMode = GL_MODELVIEW;
  gl::glGetIntegerv(GL_MATRIX_MODE, &matrixMode);

  for (GLenum capability : kCapabilities) gl::glDisable(capability);
  gl::glEnable(GL_BLEND);
  gl::glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  // Frame pixels, y downwards, over the whole frame whatever the show's
  // viewport.
  gl::glViewport(0, 0, ScreenWidth, ScreenHeight);
  gl::glMatrixMode(GL_PROJECTION);
  gl::glPushMatrix();
  gl::glLoadIdentity();
  gl::glOrtho(0, ScreenWidth, ScreenHeight, 0, -1, 1);
  gl::glMatrixMode(GL_MODELVIEW);
  gl::glPushMatrix();
  gl::glLoadIdentity();

  int lines = 0, columns = 0, column = 0;
  for (char c : text) {
    column = c == '\n' ? 0 : column + 1;
    lines += c == '\n';
    if (column > columns) columns = column;
  }
  gl::glBegin(GL_QUADS);
  gl::glColor4f(0.0f, 0.0f, 0.0f, 0.6f);
  Rect(kMargin, kMargin, kMargin * 3 + columns * kCellWidth, kMargin * 3 + lines * kCellHeight);
  gl::glColor4f(1.0f, 1.0f, 0.85f, 1.0f);
  Text(text, kMargin * 2, kMargin * 2);
  gl::glEnd();

  gl::glPopMatrix();
  gl::glMatrixMode(GL_PROJECTION);
  gl::glPopMatrix();
  gl::glMatrixMode(static_cast<GLenum>(matrixMode));
  ApplyViewport();
  gl::glBlendFunc(static_cast<GLenum>(blendSource), static_cast<GLenum>(blendDestination));
  for (std::size_t i = 0; i < std::size(kCapabilities); ++i) {
    if (enabled[i]) {
      gl::glEnable(kCapabilities[i]);
    } else {
      gl::glDisable(kCapabilities[i]);
    }
  }
  gl::glColor4f(colour[0], colour[1], colour[2], colour[3]);
}

}  // namespace shell
