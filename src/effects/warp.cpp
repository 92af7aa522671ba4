#include "effects/warp.h"

#include <cmath>

#include "platform/gl.h"
#include "platform/random.h"

namespace effects {

float WarpFreqX[kLensCount][kWaveCount] = {};
float WarpFreqY[kLensCount][kWaveCount] = {};
float WarpAmpX[kLensCount][kWaveCount] = {};
float WarpAmpY[kLensCount][kWaveCount] = {};
float LensX[kLensCount] = {};
float LensY[kLensCount] = {};
float GridS[kGridColumns][kGridRows] = {};
float GridT[kGridColumns][kGridRows] = {};

namespace {
constexpr float kRadius = 0.4f;
constexpr float kStrength = 0.7f;

float DrawWave() { return static_cast<float>(platform::Random(1023)) / 1024.0f; }
}  // namespace

bool InitWarpTable() {
  // The draw order (frequency x, frequency y, amplitude x, amplitude y per
  // wave) decides the table, since every module shares the one generator.
  for (int i = 0; i < kLensCount; ++i) {
    for (int j = 0; j < kWaveCount; ++j) {
      WarpFreqX[i][j] = DrawWave();
      WarpFreqY[i][j] = DrawWave();
      WarpAmpX[i][j] = DrawWave();
      WarpAmpY[i][j] = DrawWave();
    }
  }
  return true;
}

void UpdateWarpGrid(float time) {
  for (int i = 0; i < kLensCount; ++i) {
    LensX[i] = 0.5f * WarpAmpX[i][0] * std::sin(time * WarpFreqX[i][0]) +
               0.125f * WarpAmpX[i][1] * std::sin(1.3f * time * WarpFreqX[i][1]) +
               0.1f * WarpAmpX[i][2] * std::sin(2.4f * time * WarpFreqX[i][2]);
    LensY[i] = 0.5f * WarpAmpY[i][0] * std::sin(time * WarpFreqY[i][0]) +
               0.14f * WarpAmpY[i][1] * std::sin(1.2f * time * WarpFreqY[i][1]) +
               0.1f * WarpAmpY[i][2] * std::sin(2.5f * time * WarpFreqY[i][2]);
  }
  ComputeWarpGrid();
}

void ComputeWarpGrid() {
  const float radiusSquared = kRadius * kRadius;
  for (int r = 0; r < kGridRows; ++r) {
    for (int c = 0; c < kGridColumns; ++c) {
      float s = static_cast<float>(c - 20) / 40.0f;
      float t = static_cast<float>(r - 15) / 40.0f;
      // Each lens pushes the coordinates that the lenses before it left.
      for (int i = 0; i < kLensCount; ++i) {
        const float dx = s - LensX[i];
        const float dy = t - LensY[i];
        const float d2 = dx * dx + dy * dy;
        if (d2 < radiusSquared) {
          const float falloff = 1.0f - d2 / radiusSquared;
          const float w = falloff * falloff;
          s += kStrength * dx * w;
          t += kStrength * dy * w;
        }
      }
      GridS[c][r] = s;
      GridT[c][r] = t;
    }
  }
}

void DrawWarpGrid() {
  gl::glMatrixMode(GL_PROJECTION);
  gl::glLoadIdentity();
  gl::gluOrtho2D(0, 800, 600, 0);
  gl::glMatrixMode(GL_MODELVIEW);
  gl::glLoadIdentity();
  gl::glEnable(GL_TEXTURE_2D);
  gl::glEnable(GL_BLEND);
  gl::glBlendFunc(GL_SRC_ALPHA, GL_ONE);
  gl::glDisable(GL_DEPTH_TEST);
  for (int r = 0; r < kGridRows - 1; ++r) {
    for (int c = 0; c < kGridColumns - 1; ++c) {
      static constexpr int kCorners[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
      gl::glBegin(GL_QUADS);
      for (const auto& corner : kCorners) {
        const int cc = c + corner[0];
        const int rr = r + corner[1];
        gl::glColor4f(1, 1, 1, 0.5f);
        gl::glTexCoord2f(GridS[cc][rr], GridT[cc][rr]);
        gl::glVertex2f(static_cast<float>(cc * 800 / 40), static_cast<float>(rr * 600 / 30));
      }
      gl::glEnd();
    }
  }
  gl::glMatrixMode(GL_TEXTURE);
  gl::glLoadIdentity();
}

}  // namespace effects
