#include "shell/overlay.h"

#include <chrono>
#include <cstdio>
#include <iterator>

#include "platform/gl.h"
#include "shell/main_loop.h"
#include "shell/window.h"
#include "sound/music.h"

namespace shell {

bool OverlayShown = false;

namespace {

// A 5 x 7 font: seven rows per character, the leftmost column in bit 4.
struct Glyph {
  char c;
  std::uint8_t rows[7];
};
constexpr Glyph kFont[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'A', {0x0E, 0x11, 0x11, 0x11, 0x1F, 0x11, 0x11}}, {'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}}, {'D', {0x1C, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1C}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}}, {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}},
    {'G', {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}}, {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}}, {'J', {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C}},
    {'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}}, {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
    {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}}, {'N', {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}},
    {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}},
    {'Q', {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D}}, {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}}, {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
    {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}},
    {'W', {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}}, {'X', {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}},
    {'Y', {0x11, 0x11, 0x11, 0x0A, 0x04, 0x04, 0x04}}, {'Z', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}},
    {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}}, {'/', {0x00, 0x01, 0x02, 0x04, 0x08, 0x10, 0x00}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}}, {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}},
};

const Glyph* FindGlyph(char c) {
  for (const Glyph& glyph : kFont) {
    if (glyph.c == c) return &glyph;
  }
  return nullptr;  // a space, or a character the font lacks: left blank
}

// Each font pixel is a square of this many frame pixels; a character cell
// is one column and two rows wider than its glyph.
constexpr float kScale = 2.0f;
constexpr float kCellWidth = 6 * kScale;
constexpr float kCellHeight = 9 * kScale;
constexpr float kMargin = 8.0f;

void Rect(float x0, float y0, float x1, float y1) {
  gl::glVertex2f(x0, y0);
  gl::glVertex2f(x1, y0);
  gl::glVertex2f(x1, y1);
  gl::glVertex2f(x0, y1);
}

// The lit pixels of the text, top-left at (x, y) in frame pixels counted
// from the top; inside glBegin(GL_QUADS).
void Text(const std::string& text, float x, float y) {
  float penX = x;
  for (char c : text) {
    if (c == '\n') {
      penX = x;
      y += kCellHeight;
      continue;
    }
    if (const Glyph* glyph = FindGlyph(c)) {
      for (int row = 0; row < 7; ++row) {
        for (int column = 0; column < 5; ++column) {
          if (!(glyph->rows[row] & (0x10 >> column))) continue;
          const float px = penX + column * kScale;
          const float py = y + row * kScale;
          Rect(px, py, px + kScale, py + kScale);
        }
      }
    }
    penX += kCellWidth;
  }
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
