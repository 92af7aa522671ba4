#pragma once
// Picture and mesh files built byte by byte for the asset tests.
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace assettest {

using Bytes = std::vector<std::uint8_t>;

inline void Put16(Bytes& b, int v) {
  b.push_back(static_cast<std::uint8_t>(v & 255));
  b.push_back(static_cast<std::uint8_t>((v >> 8) & 255));
}
inline void Put32(Bytes& b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>((v >> (8 * i)) & 255));
}
inline void PutFloat(Bytes& b, float f) {
  std::uint32_t v;
  std::memcpy(&v, &f, 4);
  Put32(b, v);
}

inline void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// An 18-byte TGA header followed by the given pixel data, exactly as stored.
inline Bytes TgaFile(int imageType, int bitsPerPixel, int descriptor, int width, int height, const Bytes& data,
                     const std::string& id = "") {
  Bytes b;
  b.push_back(static_cast<std::uint8_t>(id.size()));
  b.push_back(0);  // no colour map
  b.push_back(static_cast<std::uint8_t>(imageType));
  for (int i = 0; i < 5; ++i) b.push_back(0);  // colour map description (first entry, length, entry size)
  Put16(b, 0);
  Put16(b, 0);
  Put16(b, width);
  Put16(b, height);
  b.push_back(static_cast<std::uint8_t>(bitsPerPixel));
  b.push_back(static_cast<std::uint8_t>(descriptor));
  b.insert(b.end(), id.begin(), id.end());
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

// A 24-bit uncompressed TGA whose stored rows are given top row first in
// RGB; bottomUp stores them in the usual bottom-left order.
inline Bytes Tga24(int width, int height, const Bytes& rgbTopFirst, bool bottomUp) {
  Bytes data;
  for (int r = 0; r < height; ++r) {
    int source = bottomUp ? height - 1 - r : r;
    for (int c = 0; c < width; ++c) {
      const std::uint8_t* p = &rgbTopFirst[(static_cast<std::size_t>(source) * width + c) * 3];
      data.push_back(p[2]);
      data.push_back(p[1]);
      data.push_back(p[0]);
    }
  }
  return TgaFile(2, 24, bottomUp ? 0 : 0x20, width, height, data);
}

// A Windows BMP: file header, a 40-byte information header (compression 3,
// "bit fields", when masks are given, which follow the header), the palette
// (four bytes an entry), then the pixel rows exactly as stored. A negative
// height stores the rows top row first.
inline Bytes BmpFile(int width, int height, int bitsPerPixel, const Bytes& rows, const Bytes& palette = {},
                     const std::vector<std::uint32_t>& masks = {}) {
  const auto pixelsAt = static_cast<std::uint32_t>(14 + 40 + 4 * masks.size() + palette.size());
  Bytes b = {'B', 'M'};
  Put32(b, pixelsAt + static_cast<std::uint32_t>(rows.size()));
  Put32(b, 0);
  Put32(b, pixelsAt);
  Put32(b, 40);
  Put32(b, static_cast<std::uint32_t>(width));
  Put32(b, static_cast<std::uint32_t>(height));
  Put16(b, 1);
  Put16(b, bitsPerPixel);
  Put32(b, masks.empty() ? 0 : 3);
  Put32(b, static_cast<std::uint32_t>(rows.size()));
  Put32(b, 2835);
  Put32(b, 2835);
  Put32(b, static_cast<std::uint32_t>(palette.size() / 4));
  Put32(b, 0);
  for (std::uint32_t mask : masks) Put32(b, mask);
  b.insert(b.end(), palette.begin(), palette.end());
  b.insert(b.end(), rows.begin(), rows.end());
  return b;
}

// A "._3d" mesh file: counts, vertices, faces.
struct MeshData {
  std::vector<float> xyz;
  std::vector<std::int32_t> abc;
};
inline Bytes MeshFile(const MeshData& m) {
  Bytes b;
  Put32(b, static_cast<std::uint32_t>(m.xyz.size() / 3));
  Put32(b, static_cast<std::uint32_t>(m.abc.size() / 3));
  for (float f : m.xyz) PutFloat(b, f);
  for (std::int32_t i : m.abc) Put32(b, static_cast<std::uint32_t>(i));
  return b;
}

}  // namespace assettest
