#include "raster.h"

#include <algorithm>
#include <cmath>

#include "platform/files.h"
#include "platform/image_write.h"

namespace assetgen {

Colour operator+(Colour a, Colour b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
Colour operator-(Colour a, Colour b) { return {a.r - b.r, a.g - b.g, a.b - b.b}; }
Colour operator*(Colour a, float k) { return {a.r * k, a.g * k, a.b * k}; }
Colour operator*(Colour a, Colour b) { return {a.r * b.r, a.g * b.g, a.b * b.b}; }
Colour Mix(Colour a, Colour b, float t) { return a + (b - a) * t; }

float Clamp01(float v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }

float SmoothStep(float e0, float e1, float x) {
  float t = Clamp01((x - e0) / (e1 - e0));
  return t * t * (3 - 2 * t);
}

std::uint32_t HashInt(std::uint32_t a, std::uint32_t b, std::uint32_t seed) {
  std::uint32_t h = a * 0x8da6b343u ^ b * 0xd8163841u ^ seed * 0xcb1ab31fu;
  h ^= h >> 16;
  h *= 0x7feb352du;
  h ^= h >> 15;
  h *= 0x846ca68bu;
  h ^= h >> 16;
  return h;
}

float Hash(int x, int y, int seed) {
  return static_cast<float>(HashInt(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y),
                                    static_cast<std::uint32_t>(seed)) >>
                            8) *
         (1.0f / 16777216.0f);
}

namespace {
int Wrap(int v, int period) {
  int m = v % period;
  return m < 0 ? m + period : m;
}
}  // namespace

float TileNoise(float x, float y, int period, int seed) {
  float fx = std::floor(x), fy = std::floor(y);
  int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
  float tx = x - fx, ty = y - fy;
  tx = tx * tx * tx * (tx * (tx * 6 - 15) + 10);
  ty = ty * ty * ty * (ty * (ty * 6 - 15) + 10);
  int x0 = Wrap(ix, period), x1 = Wrap(ix + 1, period);
  int y0 = Wrap(iy, period), y1 = Wrap(iy + 1, period);
  float a = Hash(x0, y0, seed), b = Hash(x1, y0, seed);
  float c = Hash(x0, y1, seed), d = Hash(x1, y1, seed);
  float top = a + (b - a) * tx, bottom = c + (d - c) * tx;
  return top + (bottom - top) * ty;
}

float TileFbm(float x, float y, int period, int octaves, int seed) {
  float sum = 0, weight = 0.5f, total = 0;
  for (int o = 0; o < octaves; ++o) {
    sum += weight * TileNoise(x, y, period, seed + o * 101);
    total += weight;
    x *= 2, y *= 2, period *= 2;
    weight *= 0.5f;
  }
  return sum / total;
}

void AddLight(Image& image, int x, int y, Colour c, float weight) {
  if (x < 0 || y < 0 || x >= image.width || y >= image.height) return;
  float* p = image.At(x, y);
  p[0] += c.r * weight, p[1] += c.g * weight, p[2] += c.b * weight;
  p[3] = std::max(p[3], Clamp01(weight));
}

void Over(Image& image, int x, int y, Colour c, float a) {
  if (x < 0 || y < 0 || x >= image.width || y >= image.height) return;
  float* p = image.At(x, y);
  p[0] += (c.r - p[0]) * a, p[1] += (c.g - p[1]) * a, p[2] += (c.b - p[2]) * a;
  p[3] = p[3] + (1 - p[3]) * a;
}

std::vector<std::uint8_t> ToBytes(const Image& image, int channels) {
  std::vector<std::uint8_t> out(static_cast<std::size_t>(image.width) * image.height * channels);
  std::size_t n = static_cast<std::size_t>(image.width) * image.height;
  for (std::size_t i = 0; i < n; ++i)
    for (int c = 0; c < channels; ++c)
      out[i * channels + c] = static_cast<std::uint8_t>(std::lround(Clamp01(image.rgba[i * 4 + c]) * 255.0f));
  return out;
}

void SavePicture(const std::string& directory, const std::string& name, const Image& image, int channels) {
  std::string path = directory + "/" + name;
  bool jpeg = name.size() > 4 && name.compare(name.size() - 4, 4, ".jpg") == 0;
  if (jpeg) channels = 3;
  std::vector<std::uint8_t> bytes = ToBytes(image, channels);
  bool written = jpeg ? platform::WriteJpeg(path, image.width, image.height, 3, bytes.data(), 92)
                      : platform::WriteTga(path, image.width, image.height, channels, bytes.data(), false);
  if (!written) platform::RaiseUnhandledError(("Cannot encode " + name).c_str());
}

}  // namespace assetgen
