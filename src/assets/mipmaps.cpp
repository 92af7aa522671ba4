#include "assets/mipmaps.h"

namespace assets {

namespace {

bool PowerOfTwo(std::int32_t v) { return v > 0 && (v & (v - 1)) == 0; }

void Halve(const MipmapLevel& from, const std::uint8_t* src, MipmapLevel& to) {
  to.Width = from.Width > 1 ? from.Width / 2 : 1;
  to.Height = from.Height > 1 ? from.Height / 2 : 1;
  to.Pixels.resize(static_cast<std::size_t>(to.Width) * static_cast<std::size_t>(to.Height) * 4);
  std::uint8_t* d = to.Pixels.data();
  const std::size_t row = static_cast<std::size_t>(from.Width) * 4;
  if (from.Width > 1 && from.Height > 1) {
    for (std::int32_t y = 0; y < to.Height; ++y) {
      const std::uint8_t* a = src + static_cast<std::size_t>(2 * y) * row;
      const std::uint8_t* b = a + row;
      for (std::int32_t x = 0; x < to.Width; ++x, a += 8, b += 8, d += 4)
        for (int c = 0; c < 4; ++c) d[c] = static_cast<std::uint8_t>((a[c] + a[c + 4] + b[c] + b[c + 4] + 2) / 4);
    }
    return;
  }
  // A single row or column: neighbours along it, 4 bytes apart in a row,
  // one row apart in a column (which is also 4 bytes, as a row is 1 wide).
  const std::size_t count = static_cast<std::size_t>(to.Width) * static_cast<std::size_t>(to.Height);
  for (std::size_t i = 0; i < count; ++i, src += 8, d += 4)
    for (int c = 0; c < 4; ++c) d[c] = static_cast<std::uint8_t>((src[c] + src[c + 4]) / 2);
}

}  // namespace

bool HasOwnMipmapSize(std::int32_t width, std::int32_t height, std::int32_t maxSide) {
  return PowerOfTwo(width) && PowerOfTwo(height) && width <= maxSide && height <= maxSide;
}

std::vector<MipmapLevel> BuildMipmapLevels(std::int32_t width, std::int32_t height, const std::uint8_t* rgba) {
  MipmapLevel top;
  top.Width = width;
  top.Height = height;
  std::size_t count = 0;
  for (std::int32_t w = width, h = height; w > 1 || h > 1; w = w > 1 ? w / 2 : 1, h = h > 1 ? h / 2 : 1) ++count;
  std::vector<MipmapLevel> levels(count);
  for (std::size_t i = 0; i < count; ++i) {
    if (i == 0)
      Halve(top, rgba, levels[0]);
    else
      Halve(levels[i - 1], levels[i - 1].Pixels.data(), levels[i]);
  }
  return levels;
}

}  // namespace assets
