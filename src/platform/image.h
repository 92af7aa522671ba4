#pragma once
// The image library: decodes a picture file into 8-bit RGBA, top row first.
#include <cstdint>

namespace platform {

struct TextureImage {
  std::int32_t Width = 0;
  std::int32_t Height = 0;
  std::int32_t LibraryField = 0;
  std::int32_t DataSize = 0;
  std::uint8_t* Pixels = nullptr;
  std::uint8_t HasAlphaChannel = 0;
  std::int32_t LibraryOwned = 0;
};

// The error code of a missing file.
inline constexpr std::int32_t kImageFileNotFound = -1000;

// Null when the picture cannot be loaded; txGetErrorCode then tells why.
TextureImage* txLoad(std::int32_t zero, const char* fileName, std::int32_t zero2);
std::int32_t txGetErrorCode();
std::int32_t txFree(TextureImage* image);

}  // namespace platform
