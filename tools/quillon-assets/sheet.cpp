#include "sheet.h"

#include <algorithm>
#include <cmath>

#include "platform/files.h"
#include "platform/image_write.h"
#include "text.h"

namespace assetgen {

Thumbnail MakeThumbnail(const Picture& picture, int maxWidth, int maxHeight) {
  Thumbnail t;
  t.name = picture.name;
  t.alpha = picture.channels == 4;
  const Image& src = picture.image;
  float k = std::min(static_cast<float>(maxWidth) / src.width, static_cast<float>(maxHeight) / src.height);
  k = std::min(k, 1.0f);
  int w = std::max(1, static_cast<int>(std::lround(src.width * k)));
  int h = std::max(1, static_cast<int>(std::lround(src.height * k)));
  t.image = Image(w, h);
  // Box filter over the source pixels that fall into each thumbnail pixel.
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      int sx0 = x * src.width / w, sx1 = std::max(sx0 + 1, (x + 1) * src.width / w);
      int sy0 = y * src.height / h, sy1 = std::max(sy0 + 1, (y + 1) * src.height / h);
      float sum[3] = {0, 0, 0};
      for (int sy = sy0; sy < sy1; ++sy)
        for (int sx = sx0; sx < sx1; ++sx) {
          const float* p = src.At(sx, sy);
          // Captions carry premultiplied colour, so over black they show as stored.
          for (int c = 0; c < 3; ++c) sum[c] += Clamp01(p[c]);
        }
      float n = static_cast<float>((sx1 - sx0) * (sy1 - sy0));
      t.image.Set(x, y, {sum[0] / n, sum[1] / n, sum[2] / n});
    }
  return t;
}

namespace {

void Blit(Image& dst, const Image& src, int left, int top) {
  for (int y = 0; y < src.height; ++y)
    for (int x = 0; x < src.width; ++x) {
      int dx = left + x, dy = top + y;
      if (dx < 0 || dy < 0 || dx >= dst.width || dy >= dst.height) continue;
      const float* p = src.At(x, y);
      dst.Set(dx, dy, {p[0], p[1], p[2]});
    }
}

void Label(Image& dst, const std::string& text, float size, Weight weight, Colour c, int left, int baseline) {
  TextMask m = SetLine(weight, text, size);
  for (int y = 0; y < m.height; ++y)
    for (int x = 0; x < m.width; ++x) {
      float a = m.coverage[static_cast<std::size_t>(y) * m.width + x];
      if (a > 0) Over(dst, left + x, baseline - m.baseline + y, c, a);
    }
}

void Frame(Image& dst, int left, int top, int w, int h, Colour c) {
  for (int x = left - 1; x <= left + w; ++x) Over(dst, x, top - 1, c, 1), Over(dst, x, top + h, c, 1);
  for (int y = top - 1; y <= top + h; ++y) Over(dst, left - 1, y, c, 1), Over(dst, left + w, y, c, 1);
}

}  // namespace

void WriteSheet(const std::string& path, const std::vector<Thumbnail>& large, const std::vector<Thumbnail>& frames) {
  const int width = 1280, margin = 24, cellW = 196, cellH = 150, labelH = 22;
  const int columns = (width - 2 * margin) / cellW;
  const int rowsLarge = (static_cast<int>(large.size()) + columns - 1) / columns;
  const int frameCell = 60, frameColumns = (width - 2 * margin) / frameCell;
  const int rowsFrames = (static_cast<int>(frames.size()) + frameColumns - 1) / frameColumns;
  const int height = margin + 56 + rowsLarge * (cellH + labelH) + 44 + rowsFrames * (frameCell + 4) + margin;
  Image sheet(width, height);
  const Colour background{0.085f, 0.09f, 0.13f};
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) sheet.Set(x, y, background);
  const Colour ink{0.92f, 0.92f, 0.95f}, dim{0.6f, 0.63f, 0.72f}, edge{0.22f, 0.24f, 0.32f};
  Label(sheet, "QUILLON  \xC2\xB7  the show's data set", 26, Weight::Bold, ink, margin, margin + 26);
  int y0 = margin + 56;
  for (std::size_t i = 0; i < large.size(); ++i) {
    const Thumbnail& t = large[i];
    int cx = margin + static_cast<int>(i % columns) * cellW;
    int cy = y0 + static_cast<int>(i / columns) * (cellH + labelH);
    // Pictures stand on a common line with their names right under them.
    int left = cx + (cellW - 12 - t.image.width) / 2, top = cy + (cellH - 6 - t.image.height);
    Blit(sheet, t.image, left, top);
    Frame(sheet, left, top, t.image.width, t.image.height, edge);
    Label(sheet, t.name + (t.alpha ? "  (RGBA)" : ""), 12, Weight::Regular, dim, left, cy + cellH + 10);
  }
  int fy = y0 + rowsLarge * (cellH + labelH) + 8;
  Label(sheet, "video frames 0.jpg \xE2\x80\xA6 99.jpg (a seamless loop)", 16, Weight::Bold, ink, margin, fy + 18);
  fy += 36;
  for (std::size_t i = 0; i < frames.size(); ++i) {
    int cx = margin + static_cast<int>(i % frameColumns) * frameCell;
    int cy = fy + static_cast<int>(i / frameColumns) * (frameCell + 4);
    Blit(sheet, frames[i].image, cx, cy);
  }
  std::vector<std::uint8_t> bytes = ToBytes(sheet, 3);
  if (!platform::WritePng(path, width, height, 3, bytes.data()))
    platform::RaiseUnhandledError("Cannot encode the contact sheet");
}

}  // namespace assetgen
