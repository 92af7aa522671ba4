#include "platform/image_write.h"

#include <mutex>

#include "platform/files.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wunused-function"
#endif
#include <stb/stb_image_write.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace platform {
namespace {

// The encoder keeps its options (run-length TGA, PNG compression) in globals;
// one lock keeps a caller on another thread from changing them mid-encode.
std::mutex& EncoderLock() {
  static std::mutex lock;
  return lock;
}

void Append(void* context, void* data, int size) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(context);
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  out->insert(out->end(), bytes, bytes + size);
}

bool Encodable(int width, int height, int channels, const std::uint8_t* pixels) {
  // The TGA and PNG headers hold 16- and 31-bit sizes; the JPEG header 16 bits.
  return pixels != nullptr && width > 0 && height > 0 && width <= 65535 && height <= 65535 &&
         channels >= 1 && channels <= 4;
}

}  // namespace

std::vector<std::uint8_t> EncodeTga(int width, int height, int channels, const std::uint8_t* pixels,
                                    bool runLength) {
  std::vector<std::uint8_t> out;
  if (!Encodable(width, height, channels, pixels)) return out;
  std::lock_guard<std::mutex> guard(EncoderLock());
  stbi_flip_vertically_on_write(0);
  stbi_write_tga_with_rle = runLength ? 1 : 0;
  if (!stbi_write_tga_to_func(Append, &out, width, height, channels, pixels)) out.clear();
  return out;
}

std::vector<std::uint8_t> EncodeJpeg(int width, int height, int channels, const std::uint8_t* pixels,
                                     int quality) {
  std::vector<std::uint8_t> out;
  if (!Encodable(width, height, channels, pixels) || quality < 1 || quality > 100) return out;
  std::lock_guard<std::mutex> guard(EncoderLock());
  stbi_flip_vertically_on_write(0);
  if (!stbi_write_jpg_to_func(Append, &out, width, height, channels, pixels, quality)) out.clear();
  return out;
}

std::vector<std::uint8_t> EncodePng(int width, int height, int channels, const std::uint8_t* pixels) {
  std::vector<std::uint8_t> out;
  if (!Encodable(width, height, channels, pixels)) return out;
  std::lock_guard<std::mutex> guard(EncoderLock());
  stbi_flip_vertically_on_write(0);
  stbi_write_png_compression_level = 8;
  stbi_write_force_png_filter = -1;
  if (!stbi_write_png_to_func(Append, &out, width, height, channels, pixels, width * channels)) out.clear();
  return out;
}

namespace {
bool WriteEncoded(std::string_view path, const std::vector<std::uint8_t>& bytes) {
  if (bytes.empty()) return false;
  WriteWholeFile(path, bytes.data(), bytes.size());
  return true;
}
}  // namespace

bool WriteTga(std::string_view path, int width, int height, int channels, const std::uint8_t* pixels,
              bool runLength) {
  return WriteEncoded(path, EncodeTga(width, height, channels, pixels, runLength));
}

bool WriteJpeg(std::string_view path, int width, int height, int channels, const std::uint8_t* pixels,
               int quality) {
  return WriteEncoded(path, EncodeJpeg(width, height, channels, pixels, quality));
}

bool WritePng(std::string_view path, int width, int height, int channels, const std::uint8_t* pixels) {
  return WriteEncoded(path, EncodePng(width, height, channels, pixels));
}

}  // namespace platform
