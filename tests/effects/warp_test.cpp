// The lens grid: the wave table from the shared generator, the lens paths
// and the pinch of the lenses one after another at times inside the lens
// section, the edge of a lens, and what one pass adds to the frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>

#include "effects/warp.h"
#include "platform/gl.h"
#include "platform/random.h"
#include "support/gl_context.h"

namespace {

using namespace effects;

float RegularS(int c) { return static_cast<float>(c - 20) / 40.0f; }
float RegularT(int r) { return static_cast<float>(r - 15) / 40.0f; }

void PutLensesFarAway() {
  for (int i = 0; i < kLensCount; ++i) {
    LensX[i] = 50.0f;
    LensY[i] = 50.0f;
  }
}

TEST(WarpTable, DrawsTheFourTablesInOrderFromTheSharedGenerator) {
  platform::ResetRandom();
  ASSERT_TRUE(InitWarpTable());
  float fx[kLensCount][kWaveCount], fy[kLensCount][kWaveCount], ax[kLensCount][kWaveCount],
      ay[kLensCount][kWaveCount];
  platform::ResetRandom();
  for (int i = 0; i < kLensCount; ++i) {
    for (int j = 0; j < kWaveCount; ++j) {
      fx[i][j] = static_cast<float>(platform::Random(1023)) / 1024.0f;
      fy[i][j] = static_cast<float>(platform::Random(1023)) / 1024.0f;
      ax[i][j] = static_cast<float>(platform::Random(1023)) / 1024.0f;
      ay[i][j] = static_cast<float>(platform::Random(1023)) / 1024.0f;
    }
  }
  bool anyDifferent = false;
  for (int i = 0; i < kLensCount; ++i) {
    for (int j = 0; j < kWaveCount; ++j) {
      EXPECT_EQ(WarpFreqX[i][j], fx[i][j]);
      EXPECT_EQ(WarpFreqY[i][j], fy[i][j]);
      EXPECT_EQ(WarpAmpX[i][j], ax[i][j]);
      EXPECT_EQ(WarpAmpY[i][j], ay[i][j]);
      for (float v : {WarpFreqX[i][j], WarpFreqY[i][j], WarpAmpX[i][j], WarpAmpY[i][j]}) {
        EXPECT_GE(v, 0.0f);
        EXPECT_LE(v, 1022.0f / 1024.0f);
      }
      anyDifferent = anyDifferent || WarpFreqX[i][j] != WarpFreqX[0][0];
    }
  }
  EXPECT_TRUE(anyDifferent) << "a table of one repeated value is no random table";
}

TEST(WarpGrid, IsRegularWhereNoLensIsNear) {
  PutLensesFarAway();
  ComputeWarpGrid();
  for (int c = 0; c < kGridColumns; ++c) {
    for (int r = 0; r < kGridRows; ++r) {
      EXPECT_EQ(GridS[c][r], RegularS(c)) << c << "," << r;
      EXPECT_EQ(GridT[c][r], RegularT(r)) << c << "," << r;
    }
  }
  EXPECT_EQ(GridS[0][0], -0.5f);
  EXPECT_EQ(GridS[40][30], 0.5f);
  EXPECT_EQ(GridT[0][0], -0.375f);
  EXPECT_EQ(GridT[40][30], 0.375f);
}

TEST(WarpGrid, APointAtALensOrExactlyAtItsRadiusStaysAndPointsBetweenArePushedOut) {
  PutLensesFarAway();
  LensX[2] = RegularS(24);  // exactly on grid point (24, 15)
  LensY[2] = 0.0f;
  ComputeWarpGrid();
  EXPECT_EQ(GridS[24][15], RegularS(24));
  EXPECT_EQ(GridT[24][15], 0.0f);
  // Inside the radius the coordinates move away from the lens.
  EXPECT_GT(GridS[26][15], RegularS(26));
  EXPECT_LT(GridS[22][15], RegularS(22));
  EXPECT_GT(GridT[24][17], RegularT(17));
  // Far from it nothing moves.
  EXPECT_EQ(GridS[0][15], RegularS(0));

  PutLensesFarAway();
  LensX[0] = 0.0f;
  LensY[0] = 0.0f;
  ComputeWarpGrid();
  // (36, 15) lies at 16 / 40 = 0.4 from the lens: on the edge, not inside.
  EXPECT_EQ(GridS[36][15], 0.4f);
  EXPECT_EQ(GridT[36][15], 0.0f);
  EXPECT_EQ(GridS[4][15], -0.4f);
  EXPECT_GT(GridS[35][15], RegularS(35));
  // The weight is (1 - d^2 / R^2)^2 and the push K = 0.7 times it.
  const float d = RegularS(30);
  const float w = (1.0f - d * d / (0.4f * 0.4f)) * (1.0f - d * d / (0.4f * 0.4f));
  EXPECT_FLOAT_EQ(GridS[30][15], d + 0.7f * d * w);
}

TEST(WarpGrid, AtTimeZeroEveryLensSitsAtTheCentrePoint) {
  platform::ResetRandom();
  InitWarpTable();
  UpdateWarpGrid(0.0f);
  for (int i = 0; i < kLensCount; ++i) {
    EXPECT_EQ(LensX[i], 0.0f);
    EXPECT_EQ(LensY[i], 0.0f);
  }
  EXPECT_EQ(GridS[20][15], 0.0f);
  EXPECT_EQ(GridT[20][15], 0.0f);
  // Later the lenses wander off the centre along their sine sums.
  UpdateWarpGrid(17.0f);
  bool moved = false;
  for (int i = 0; i < kLensCount; ++i) moved = moved || LensX[i] != 0.0f || LensY[i] != 0.0f;
  EXPECT_TRUE(moved);
  for (int i = 0; i < kLensCount; ++i) {
    EXPECT_LE(std::fabs(LensX[i]), 0.725f);
    EXPECT_LE(std::fabs(LensY[i]), 0.74f);
  }
}

// The lens points of the table at time tau, from the wave sums in double
// precision.
void ReferenceLenses(double tau, double (&x)[kLensCount], double (&y)[kLensCount]) {
  for (int i = 0; i < kLensCount; ++i) {
    x[i] = 0.5 * WarpAmpX[i][0] * std::sin(tau * WarpFreqX[i][0]) +
           0.125 * WarpAmpX[i][1] * std::sin(1.3 * tau * WarpFreqX[i][1]) +
           0.1 * WarpAmpX[i][2] * std::sin(2.4 * tau * WarpFreqX[i][2]);
    y[i] = 0.5 * WarpAmpY[i][0] * std::sin(tau * WarpFreqY[i][0]) +
           0.14 * WarpAmpY[i][1] * std::sin(1.2 * tau * WarpFreqY[i][1]) +
           0.1 * WarpAmpY[i][2] * std::sin(2.5 * tau * WarpFreqY[i][2]);
  }
}

// One grid point pushed by the lenses in the given order; sequential: each
// lens starts from what the lenses before it left, else from the plain grid.
std::pair<double, double> ReferencePoint(int c, int r, const int (&order)[kLensCount], bool sequential) {
  const double radius = 0.4f, strength = 0.7f;
  const double s0 = (c - 20) / 40.0, t0 = (r - 15) / 40.0;
  double s = s0, t = t0;
  for (int i : order) {
    const double dx = (sequential ? s : s0) - LensX[i], dy = (sequential ? t : t0) - LensY[i];
    const double d2 = dx * dx + dy * dy;
    if (d2 >= radius * radius) continue;
    const double w = (1 - d2 / (radius * radius)) * (1 - d2 / (radius * radius));
    s += strength * dx * w;
    t += strength * dy * w;
  }
  return {s, t};
}

// The times of the lens section at three music positions well inside it:
// 0.2 (P - 6,520,000) / 4000.
constexpr float kSectionTimes[] = {0.2f * (6900000 - 6520000) / 4000.0f, 0.2f * (7700000 - 6520000) / 4000.0f,
                                   0.2f * (8739999 - 6520000) / 4000.0f};

TEST(WarpGrid, LensesFollowTheirWaveSumsThroughTheSection) {
  platform::ResetRandom();
  InitWarpTable();
  for (float tau : kSectionTimes) {
    UpdateWarpGrid(tau);
    double x[kLensCount], y[kLensCount];
    ReferenceLenses(tau, x, y);
    for (int i = 0; i < kLensCount; ++i) {
      // A float time of up to 111 turned into phases of up to 280 radians
      // carries about 3e-5 of rounding; a changed constant moves far more.
      EXPECT_NEAR(LensX[i], x[i], 2e-4) << "lens " << i << " at time " << tau;
      EXPECT_NEAR(LensY[i], y[i], 2e-4) << "lens " << i << " at time " << tau;
    }
  }
}

TEST(WarpGrid, LensesPushOneAfterAnotherInTheirOrderAtLaterTimes) {
  platform::ResetRandom();
  InitWarpTable();
  const int forward[kLensCount] = {0, 1, 2, 3, 4};
  const int backward[kLensCount] = {4, 3, 2, 1, 0};
  for (float tau : kSectionTimes) {
    UpdateWarpGrid(tau);
    double worst = 0, orderMatters = 0, chainMatters = 0;
    for (int c = 0; c < kGridColumns; ++c) {
      for (int r = 0; r < kGridRows; ++r) {
        const auto [s, t] = ReferencePoint(c, r, forward, true);
        worst = std::max({worst, std::fabs(GridS[c][r] - s), std::fabs(GridT[c][r] - t)});
        const auto [bs, bt] = ReferencePoint(c, r, backward, true);
        orderMatters = std::max({orderMatters, std::fabs(bs - s), std::fabs(bt - t)});
        const auto [ps, pt] = ReferencePoint(c, r, forward, false);
        chainMatters = std::max({chainMatters, std::fabs(ps - s), std::fabs(pt - t)});
      }
    }
    EXPECT_LT(worst, 1e-5) << "at time " << tau;
    // The lenses overlap at these times, so the order and the chaining
    // change the grid well beyond the tolerance above.
    EXPECT_GT(orderMatters, 1e-2) << "at time " << tau;
    EXPECT_GT(chainMatters, 1e-2) << "at time " << tau;
  }
}

class WarpDraw : public testsupport::GlTest {};

GLuint WhiteTexture() {
  GLuint name = 0;
  gl::glGenTextures(1, &name);
  gl::glBindTexture(GL_TEXTURE_2D, name);
  static const std::uint8_t white[4 * 4 * 4] = {
      255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
      255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
      255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
      255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255};
  gl::glTexImage2D(GL_TEXTURE_2D, 0, 4, 4, 4, 0, GL_RGBA, GL_UNSIGNED_BYTE, white);
  gl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  gl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  return name;
}

TEST_F(WarpDraw, EachPassAddsHalfTheTexelOverTheWholeFrame) {
  WhiteTexture();
  platform::ResetRandom();
  InitWarpTable();
  UpdateWarpGrid(3.0f);
  gl::glClearColor(0, 0, 0, 0);
  gl::glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  gl::glMatrixMode(GL_TEXTURE);
  gl::glScalef(0.4f, 0.4f, 0.4f);
  DrawWarpGrid();
  for (auto [x, y] : {std::pair{1, 1}, {400, 300}, {798, 598}, {10, 590}, {790, 5}}) {
    auto p = testsupport::ReadPixel(x, y);
    EXPECT_NEAR(p[0], 128, 2) << x << "," << y;
    EXPECT_NEAR(p[1], 128, 2);
  }
  // The texture matrix was reset after the first pass, so the second one
  // draws the picture untransformed; over white it adds the other half.
  DrawWarpGrid();
  auto p = testsupport::ReadPixel(400, 300);
  EXPECT_GE(p[0], 253);
}

}  // namespace
