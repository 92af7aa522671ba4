#pragma once
// The mipmap chain of an 8-bit RGBA picture whose sides are powers of two,
// level by level down to 1 x 1, made the way GLU's gluBuild2DMipmaps makes
// it (each texel of a level the rounded mean of the 2 x 2 texels above it;
// once a side is 1, the truncated mean of 2), so that a texture built from
// it holds the same bytes. Pure computation: any thread may build one.
#include <cstdint>
#include <vector>

namespace assets {

struct MipmapLevel {
  std::int32_t Width = 0;
  std::int32_t Height = 0;
  std::vector<std::uint8_t> Pixels;  // Width x Height x 4 bytes, top row first
};

// True when both sides are powers of two from 1 to maxSide: such a picture
// is uploaded as it stands, with no rescaling.
bool HasOwnMipmapSize(std::int32_t width, std::int32_t height, std::int32_t maxSide);

// Levels 1 and below of the picture (level 0 is the picture itself); empty
// for a 1 x 1 picture. The sides must satisfy HasOwnMipmapSize.
std::vector<MipmapLevel> BuildMipmapLevels(std::int32_t width, std::int32_t height, const std::uint8_t* rgba);

}  // namespace assets
