#include "sheet.h"

#include <algorithm>

#include "shell/dot_font.h"

namespace capture {

namespace {

constexpr int kThumbWidth = 200;
constexpr int kThumbHeight = 150;
constexpr int kGap = 8;
constexpr int kLabelHeight = 22;
constexpr int kScale = 2;  // font pixels per glyph dot

void DrawText(std::vector<std::uint8_t>& image, int width, int height, int x, int y, const std::string& text) {
  shell::ForEachDot(text, [&](int column, int row) {
    for (int dy = 0; dy < kScale; ++dy) {
      for (int dx = 0; dx < kScale; ++dx) {
        const int px = x + column * kScale + dx, py = y + row * kScale + dy;
        if (px < 0 || py < 0 || px >= width || py >= height) continue;
        std::uint8_t* p = &image[(static_cast<std::size_t>(py) * width + px) * 3];
        p[0] = 235;
        p[1] = 225;
        p[2] = 200;
      }
    }
  });
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
    DrawText(image, width, height, left + kThumbWidth - shell::kDotCellWidth * kScale - 2, top + kThumbHeight + 4,
             std::string(1, SegmentOf(position)));
  }
  return image;
}

}  // namespace capture
