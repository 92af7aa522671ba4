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

// Error codes of txGetErrorCode; 0 after a call that succeeded.
inline constexpr std::int32_t kImageFileNotFound = -1000;
// The file exists but holds no picture that can be decoded (unknown format,
// corrupt or truncated data, larger than 8192 on a side).
inline constexpr std::int32_t kImageUnsupported = -1001;
// The name exists but cannot be read (a folder, no permission, a read error).
inline constexpr std::int32_t kImageUnreadable = -1002;
inline constexpr std::int32_t kImageOutOfMemory = -1003;

// Decodes TGA, JPEG, PNG and BMP pictures into 8-bit RGBA, top row first, in
// a record with LibraryOwned 1 that txFree gives back. HasAlphaChannel is 1
// when the file carries an alpha channel of its own; otherwise every alpha
// byte is 255. A backslash in the name is a path separator. Null when the
// picture cannot be loaded; txGetErrorCode then tells why. Safe to call from
// several threads at once: the error code is kept per thread.
TextureImage* txLoad(std::int32_t zero, const char* fileName, std::int32_t zero2);
std::int32_t txGetErrorCode();
std::int32_t txFree(TextureImage* image);

}  // namespace platform
