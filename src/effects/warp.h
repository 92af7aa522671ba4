#pragma once
// The lens-warped texture grid: a 40 x 30 grid of quads over an 800 x 600
// space whose texture coordinates are pushed apart around five lens points
// that wander on sums of three sine waves each.

namespace effects {

inline constexpr int kLensCount = 5;
inline constexpr int kWaveCount = 3;
inline constexpr int kGridColumns = 41;  // points, that is 40 cells
inline constexpr int kGridRows = 31;     // points, that is 30 cells

// The wave tables, [lens][wave], each value a draw of 0..1022 over 1024.
extern float WarpFreqX[kLensCount][kWaveCount];
extern float WarpFreqY[kLensCount][kWaveCount];
extern float WarpAmpX[kLensCount][kWaveCount];
extern float WarpAmpY[kLensCount][kWaveCount];
// The lens points of the latest update, in texture-coordinate units.
extern float LensX[kLensCount];
extern float LensY[kLensCount];
// Texture coordinates of every grid point, [column][row].
extern float GridS[kGridColumns][kGridRows];
extern float GridT[kGridColumns][kGridRows];

// Draws the four wave tables from the shared generator; always true.
bool InitWarpTable();
// Moves the lenses to the given time, then recomputes the grid.
void UpdateWarpGrid(float time);
// Recomputes GridS and GridT from the current LensX and LensY.
void ComputeWarpGrid();
// Draws the grid additively, half transparent, with the bound texture under
// the caller's texture matrix; resets the texture matrix afterwards.
void DrawWarpGrid();

}  // namespace effects
