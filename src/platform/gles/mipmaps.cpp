#include "platform/gles/mipmaps.h"

#include <algorithm>
#include <cmath>

namespace platform::gles {

namespace {

// One axis of the box filter: for each output pixel, the source pixels it
// covers and how much of each. GLU steps its bounds in float.
struct Span {
  int first = 0;
  std::vector<float> weights;
};

std::vector<Span> Spans(int in, int out) {
  std::vector<Span> spans(static_cast<std::size_t>(out));
  const float step = static_cast<float>(in) / static_cast<float>(out);
  for (int o = 0; o < out; ++o) {
    const float low = static_cast<float>(o) * step, high = static_cast<float>(o + 1) * step;
    Span& s = spans[static_cast<std::size_t>(o)];
    s.first = std::min(static_cast<int>(std::floor(low)), in - 1);
    for (int i = s.first; i < in && static_cast<float>(i) < high; ++i) {
      const float covered = std::min(high, static_cast<float>(i + 1)) - std::max(low, static_cast<float>(i));
      s.weights.push_back(std::max(covered, 0.0f));
    }
  }
  return spans;
}

MipLevel Halve(const MipLevel& from, int components) {
  MipLevel to;
  to.width = from.width > 1 ? from.width / 2 : 1;
  to.height = from.height > 1 ? from.height / 2 : 1;
  to.bytes.resize(static_cast<std::size_t>(to.width) * static_cast<std::size_t>(to.height) *
                  static_cast<std::size_t>(components));
  const std::size_t pixel = static_cast<std::size_t>(components);
  const std::size_t row = static_cast<std::size_t>(from.width) * pixel;
  std::uint8_t* d = to.bytes.data();
  if (from.width > 1 && from.height > 1) {
    for (int y = 0; y < to.height; ++y) {
      const std::uint8_t* a = from.bytes.data() + static_cast<std::size_t>(2 * y) * row;
      const std::uint8_t* b = a + row;
      for (int x = 0; x < to.width; ++x, a += 2 * pixel, b += 2 * pixel) {
        for (std::size_t c = 0; c < pixel; ++c, ++d) {
          *d = static_cast<std::uint8_t>((a[c] + a[c + pixel] + b[c] + b[c + pixel] + 2) / 4);
        }
      }
    }
    return to;
  }
  // A single row or column: its pixels are neighbours in memory either way.
  const std::uint8_t* s = from.bytes.data();
  for (int i = 0; i < to.width * to.height; ++i, s += 2 * pixel) {
    for (std::size_t c = 0; c < pixel; ++c, ++d) *d = static_cast<std::uint8_t>((s[c] + s[c + pixel]) / 2);
  }
  return to;
}

}  // namespace

int NearestPowerOfTwo(int side) {
  if (side < 1) return 0;
  int power = 1;
  for (unsigned v = static_cast<unsigned>(side);; v >>= 1, power *= 2) {
    if (v == 1) return power;
    if (v == 3) return power * 4;
  }
}

std::vector<std::uint8_t> ScalePicture(int width, int height, int components, const std::uint8_t* pixels,
                                       std::size_t rowStride, int outWidth, int outHeight) {
  const std::size_t pixel = static_cast<std::size_t>(components);
  std::vector<std::uint8_t> out(static_cast<std::size_t>(outWidth) * static_cast<std::size_t>(outHeight) * pixel);
  const std::vector<Span> xs = Spans(width, outWidth), ys = Spans(height, outHeight);
  const float area = (static_cast<float>(width) / static_cast<float>(outWidth)) *
                     (static_cast<float>(height) / static_cast<float>(outHeight));
  std::uint8_t* d = out.data();
  float totals[4];
  for (const Span& sy : ys) {
    for (const Span& sx : xs) {
      std::fill(totals, totals + 4, 0.0f);
      for (std::size_t j = 0; j < sy.weights.size(); ++j) {
        const std::uint8_t* row = pixels + (static_cast<std::size_t>(sy.first) + j) * rowStride;
        for (std::size_t i = 0; i < sx.weights.size(); ++i) {
          const float w = sy.weights[j] * sx.weights[i];
          const std::uint8_t* p = row + (static_cast<std::size_t>(sx.first) + i) * pixel;
          for (std::size_t c = 0; c < pixel && c < 4; ++c) totals[c] += static_cast<float>(p[c]) * w;
        }
      }
      for (std::size_t c = 0; c < pixel && c < 4; ++c, ++d) {
        *d = static_cast<std::uint8_t>(std::min(totals[c] / area, 255.0f));
      }
    }
  }
  return out;
}

std::vector<MipLevel> BuildMipLevels(int width, int height, int components, const std::uint8_t* pixels,
                                     std::size_t rowStride, int maxSide) {
  int w = NearestPowerOfTwo(width), h = NearestPowerOfTwo(height);
  while ((w > maxSide || h > maxSide) && (w > 1 || h > 1)) {
    w = w > 1 ? w / 2 : 1;
    h = h > 1 ? h / 2 : 1;
  }
  std::vector<MipLevel> levels(1);
  MipLevel& top = levels[0];
  top.width = w;
  top.height = h;
  if (w == width && h == height) {
    const std::size_t row = static_cast<std::size_t>(width) * static_cast<std::size_t>(components);
    top.bytes.resize(row * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
      std::copy_n(pixels + static_cast<std::size_t>(y) * rowStride, row,
                  top.bytes.data() + static_cast<std::size_t>(y) * row);
    }
  } else {
    top.bytes = ScalePicture(width, height, components, pixels, rowStride, w, h);
  }
  while (levels.back().width > 1 || levels.back().height > 1) {
    MipLevel next = Halve(levels.back(), components);
    levels.push_back(std::move(next));
  }
  return levels;
}

}  // namespace platform::gles
