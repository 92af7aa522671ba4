#pragma once
// Pictures in floating-point RGBA while they are drawn, and the few drawing
// tools every picture of the show shares: the palette, tileable noise, soft
// shapes and the conversion to the bytes a file carries.
#include <cstdint>
#include <string>
#include <vector>

namespace assetgen {

struct Colour {
  float r = 0, g = 0, b = 0;
};

Colour operator+(Colour a, Colour b);
Colour operator-(Colour a, Colour b);
Colour operator*(Colour a, float k);
Colour operator*(Colour a, Colour b);
Colour Mix(Colour a, Colour b, float t);

// The show's palette: a night of deep indigo, lit by one cool key light from
// the upper left and by warm amber and rose lamps, with cyan as the accent.
namespace palette {
inline constexpr Colour kNight{0.030f, 0.035f, 0.090f};
inline constexpr Colour kIndigo{0.100f, 0.110f, 0.300f};
inline constexpr Colour kViolet{0.380f, 0.200f, 0.620f};
inline constexpr Colour kCyan{0.250f, 0.850f, 1.000f};
inline constexpr Colour kRose{1.000f, 0.330f, 0.560f};
inline constexpr Colour kAmber{1.000f, 0.700f, 0.300f};
inline constexpr Colour kIvory{1.000f, 0.960f, 0.880f};
// Direction towards the key light in a picture: left, up, towards the viewer.
inline constexpr float kLightX = -0.55f, kLightY = 0.60f, kLightZ = 0.58f;
}  // namespace palette

struct Image {
  int width = 0;
  int height = 0;
  std::vector<float> rgba;  // four floats per pixel, top row first

  Image() = default;
  Image(int w, int h) : width(w), height(h), rgba(static_cast<std::size_t>(w) * h * 4, 0.0f) {}
  float* At(int x, int y) { return &rgba[(static_cast<std::size_t>(y) * width + x) * 4]; }
  const float* At(int x, int y) const { return &rgba[(static_cast<std::size_t>(y) * width + x) * 4]; }
  void Set(int x, int y, Colour c, float a = 1.0f) {
    float* p = At(x, y);
    p[0] = c.r, p[1] = c.g, p[2] = c.b, p[3] = a;
  }
};

float Clamp01(float v);
float SmoothStep(float e0, float e1, float x);

// Integer hash to [0, 1): the only source of variation in the data set, so
// every run gives the same pictures.
float Hash(int x, int y, int seed);
std::uint32_t HashInt(std::uint32_t a, std::uint32_t b, std::uint32_t seed);
// Value noise on a lattice that repeats every `period` cells in x and y, so
// a picture sampled over whole periods tiles without a seam.
float TileNoise(float x, float y, int period, int seed);
// Sum of octaves of TileNoise, each octave doubling the period; 0 to 1.
float TileFbm(float x, float y, int period, int octaves, int seed);

// Adds c * weight to the pixel (premultiplied light on black).
void AddLight(Image& image, int x, int y, Colour c, float weight);
// Lays c with coverage a over the pixel and raises the pixel's alpha.
void Over(Image& image, int x, int y, Colour c, float a);

// Bytes of the picture with 3 (RGB) or 4 (RGBA) channels, rounded and clamped.
std::vector<std::uint8_t> ToBytes(const Image& image, int channels);

// Writes the picture as TGA (by the name's ".tga") or JPEG, with the given
// channels (JPEG always 3).
void SavePicture(const std::string& directory, const std::string& name, const Image& image, int channels);

}  // namespace assetgen
