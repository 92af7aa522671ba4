#include "icon.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <vector>

#include "pictures.h"
#include "platform/image_write.h"
#include "raster.h"

namespace assetgen {

namespace {

bool MakeFolder(const std::string& path) {
  if (mkdir(path.c_str(), 0777) == 0 || errno == EEXIST) return true;
  std::fprintf(stderr, "quillon-assets: cannot create %s: %s\n", path.c_str(), std::strerror(errno));
  return false;
}

// The icon at `size` pixels: the first cell of the environment picture of
// the finale's mesh (one lit glass ball on its tile), box-filtered down, as a
// tile with rounded corners whose edge is antialiased in the alpha channel.
std::vector<std::uint8_t> MakeIcon(const Image& cell, int size) {
  Image icon(size, size);
  const float radius = 0.18f * size;  // of the rounded corners
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      const int sx0 = x * cell.width / size, sx1 = std::max(sx0 + 1, (x + 1) * cell.width / size);
      const int sy0 = y * cell.height / size, sy1 = std::max(sy0 + 1, (y + 1) * cell.height / size);
      Colour sum;
      for (int sy = sy0; sy < sy1; ++sy)
        for (int sx = sx0; sx < sx1; ++sx) {
          const float* p = cell.At(sx, sy);
          sum = sum + Colour{Clamp01(p[0]), Clamp01(p[1]), Clamp01(p[2])};
        }
      // Distance outside the corner's circle, for pixels in a corner square.
      const float cx = std::clamp(x + 0.5f, radius, size - radius);
      const float cy = std::clamp(y + 0.5f, radius, size - radius);
      const float outside = std::hypot(x + 0.5f - cx, y + 0.5f - cy) - radius;
      icon.Set(x, y, sum * (1.0f / static_cast<float>((sx1 - sx0) * (sy1 - sy0))), Clamp01(0.5f - outside));
    }
  return ToBytes(icon, 4);
}

}  // namespace

bool WriteIcons(const std::string& directory) {
  const Picture source = MakeBallEnv();
  const int cellSize = source.image.width / 4;
  Image cell(cellSize, cellSize);
  for (int y = 0; y < cellSize; ++y)
    for (int x = 0; x < cellSize; ++x) std::copy_n(source.image.At(x, y), 4, cell.At(x, y));
  if (!MakeFolder(directory)) return false;
  for (int size : kIconSizes) {
    const std::string sizeDir = directory + "/" + std::to_string(size) + "x" + std::to_string(size);
    if (!MakeFolder(sizeDir) || !MakeFolder(sizeDir + "/apps")) return false;
    const std::string path = sizeDir + "/apps/quillon.png";
    const std::vector<std::uint8_t> pixels = MakeIcon(cell, size);
    if (!platform::WritePng(path, size, size, 4, pixels.data())) {
      std::fprintf(stderr, "quillon-assets: cannot write %s\n", path.c_str());
      return false;
    }
  }
  return true;
}

}  // namespace assetgen
