#include "sheet.h"

#include <algorithm>

namespace capture {

namespace {

constexpr int kThumbWidth = 200;
constexpr int kThumbHeight = 150;
constexpr int kGap = 8;
constexpr int kLabelHeight = 22;
constexpr int kScale = 2;  // font pixels per glyph dot

// A 5 x 7 dot font for the characters a label needs; each row is five bits,
// the highest bit on the left.
struct Glyph {
  char c;
  std::uint8_t rows[7];
};
constexpr Glyph kGlyphs[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {',', {0x00, 0x00, 0x00, 0x00, 0x0C, 0x04, 0x08}}, {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}}, {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}},
    {'D', {0x1C, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1C}}, {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}},
    {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}},
};

const Glyph* Find(char c) {
  for (const Glyph& g : kGlyphs) {
    if (g.c == c) return &g;
  }
  return nullptr;
}

void DrawText(std::vector<std::uint8_t>& image, int width, int height, int x, int y, const std::string& text) {
  for (char c : text) {
    if (const Glyph* g = Find(c)) {
      for (int row = 0; row < 7; ++row) {
        for (int col = 0; col < 5; ++col) {
          if (!(g->rows[row] & (0x10 >> col))) continue;
          for (int dy = 0; dy < kScale; ++dy) {
            for (int dx = 0; dx < kScale; ++dx) {
              const int px = x + col * kScale + dx, py = y + row * kScale + dy;
              if (px < 0 || py < 0 || px >= width || py >= height) continue;
              std::uint8_t* p = &image[(static_cast<std::size_t>(py) * width + px) * 3];
              p[0] = 235;
              p[1] = 225;
              p[2] = 200;
            }
          }
        }
      }
    }
    x += 6 * kScale;
  }
}

}  // namespace

char SegmentOf(std::uint32_t position) {
  if (position < 2190000) return 'A';
  if (position < 4350000) return 'B';
  if (position < 6520000) return 'C';
  if (position < 8740000) return 'D';
  if (position < 10900000) return 'E';
  return 'F';
}

std::string GroupedDigits(std::uint32_t value) {
  std::string digits = std::to_string(value);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

std::vector<std::uint8_t> ComposeSheet(const std::vector<Frame>& frames, int& width, int& height) {
  const int count = static_cast<int>(frames.size());
  const int columns = std::max(1, std::min(4, count));
  const int rows = std::max(1, (count + columns - 1) / columns);
  width = kGap + columns * (kThumbWidth + kGap);
  height = kGap + rows * (kThumbHeight + kLabelHeight + kGap);
  std::vector<std::uint8_t> image(static_cast<std::size_t>(width) * height * 3);
  for (std::size_t i = 0; i < image.size(); i += 3) {
    image[i] = 18;
    image[i + 1] = 16;
    image[i + 2] = 28;
  }
  constexpr int kStep = kFrameWidth / kThumbWidth;  // 4 x 4 frame pixels per thumbnail pixel
  for (int i = 0; i < count; ++i) {
    const int left = kGap + (i % columns) * (kThumbWidth + kGap);
    const int top = kGap + (i / columns) * (kThumbHeight + kLabelHeight + kGap);
    const std::vector<std::uint8_t>& rgb = frames[static_cast<std::size_t>(i)].rgb;
    for (int y = 0; y < kThumbHeight; ++y) {
      for (int x = 0; x < kThumbWidth; ++x) {
        unsigned sum[3] = {0, 0, 0};
        for (int sy = 0; sy < kStep; ++sy) {
          for (int sx = 0; sx < kStep; ++sx) {
            const std::uint8_t* s =
                &rgb[(static_cast<std::size_t>(y * kStep + sy) * kFrameWidth + x * kStep + sx) * 3];
            for (int c = 0; c < 3; ++c) sum[c] += s[c];
          }
        }
        std::uint8_t* d = &image[(static_cast<std::size_t>(top + y) * width + left + x) * 3];
        for (int c = 0; c < 3; ++c) d[c] = static_cast<std::uint8_t>((sum[c] + kStep * kStep / 2) / (kStep * kStep));
      }
    }
    const std::uint32_t position = frames[static_cast<std::size_t>(i)].position;
    DrawText(image, width, height, left + 2, top + kThumbHeight + 4, GroupedDigits(position));
    DrawText(image, width, height, left + kThumbWidth - 6 * kScale - 2, top + kThumbHeight + 4,
             std::string(1, SegmentOf(position)));
  }
  return image;
}

}  // namespace capture
