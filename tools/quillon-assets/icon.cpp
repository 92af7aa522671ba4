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
#include "sheet.h"

namespace assetgen {

namespace {

bool MakeFolder(const std::string& path) {
  if (mkdir(path.c_str(), 0777) == 0 || errno == EEXIST) return true;
  std::fprintf(stderr, "quillon-assets: %s: %s\n", path.c_str(), std::strerror(errno));
  return false;
}

// The icon at `size` pixels: the first cell of the environment picture of
// the finale's mesh (one lit glass ball on its tile), reduced as the contact
// sheet reduces pictures, as a tile with rounded corners whose edge is
// antialiased in the alpha channel.
std::vector<std::uint8_t> MakeIcon(const Picture& cell, int size) {
  Image icon = MakeThumbnail(cell, size, size).image;
  const float radius = 0.18f * size;  // of the rounded corners
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      // Distance outside the corner's circle, for pixels in a corner square.
      const float cx = std::clamp(x + 0.5f, radius, size - radius);
      const float cy = std::clamp(y + 0.5f, radius, size - radius);
      icon.At(x, y)[3] = Clamp01(0.5f - std::hypot(x + 0.5f - cx, y + 0.5f - cy) + radius);
    }
  return ToBytes(icon, 4);
}

}  // namespace

bool WriteIcons(const std::string& directory) {
  const Picture source = MakeBallEnv();
  const int cellSize = source.image.width / 4;
  Picture cell{"quillon.png", Image(cellSize, cellSize), 3};
  for (int y = 0; y < cellSize; ++y)
    for (int x = 0; x < cellSize; ++x) std::copy_n(source.image.At(x, y), 4, cell.image.At(x, y));
  if (!MakeFolder(directory)) return false;
  for (int size : kIconSizes) {
    const std::string sizeDir = directory + "/" + std::to_string(size) + "x" + std::to_string(size);
    if (!MakeFolder(sizeDir) || !MakeFolder(sizeDir + "/apps")) return false;
    const std::string path = sizeDir + "/apps/quillon.png";
    const std::vector<std::uint8_t> pixels = MakeIcon(cell, size);
    if (!platform::WritePng(path, size, size, 4, pixels.data())) {
      std::fprintf(stderr, "quillon-assets: %s: cannot be written\n", path.c_str());
      return false;
    }
  }
  return true;
}

}  // namespace assetgen
