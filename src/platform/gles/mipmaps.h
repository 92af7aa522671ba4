#pragma once
// The mipmaps gluBuild2DMipmaps makes, made on the CPU: each side brought to
// the nearest power of two (3 x 2^k rounds up) and halved together while
// either is larger than the implementation takes; the picture scaled to that
// size by a box filter weighted by the area each source pixel covers, the
// sum truncated; then each level the rounded mean of the 2 x 2 texels above
// it, or the truncated mean of 2 once a side is 1. Private to the layer.
#include <cstdint>
#include <vector>

namespace platform::gles {

struct MipLevel {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> bytes;  // width x height x components, rows tightly packed
};

// The power of two GLU rounds a side to; 0 for a side below 1.
int NearestPowerOfTwo(int side);

// Every level from 0 down to 1 x 1 of a picture of width x height pixels
// of components bytes each, its rows rowStride bytes apart.
std::vector<MipLevel> BuildMipLevels(int width, int height, int components, const std::uint8_t* pixels,
                                     std::size_t rowStride, int maxSide);

// The box filter alone, exposed for the layer's tests: scales a tightly
// packed picture to outWidth x outHeight.
std::vector<std::uint8_t> ScalePicture(int width, int height, int components, const std::uint8_t* pixels,
                                       std::size_t rowStride, int outWidth, int outHeight);

}  // namespace platform::gles
