#pragma once
// Picture files written from 8-bit pixels, top row first: Truevision TGA
// (uncompressed or run-length encoded), baseline JPEG and PNG. The bytes
// depend only on the pixels and the options, so the same picture always
// gives the same file.
#include <cstdint>
#include <string_view>
#include <vector>

namespace platform {

// channels: 1 (grey), 2 (grey + alpha), 3 (RGB) or 4 (RGBA); rows are
// width * channels bytes with no gap. An encoding that the picture's size or
// channel count does not allow gives an empty result.
std::vector<std::uint8_t> EncodeTga(int width, int height, int channels, const std::uint8_t* pixels,
                                    bool runLength);
// quality 1 to 100; JPEG carries no alpha, so a second or fourth channel is dropped.
std::vector<std::uint8_t> EncodeJpeg(int width, int height, int channels, const std::uint8_t* pixels,
                                     int quality);
std::vector<std::uint8_t> EncodePng(int width, int height, int channels, const std::uint8_t* pixels);

// Encode and write the file. False when the picture cannot be encoded (nothing
// is written then); a failed write is the unhandled-error report.
bool WriteTga(std::string_view path, int width, int height, int channels, const std::uint8_t* pixels,
              bool runLength = false);
bool WriteJpeg(std::string_view path, int width, int height, int channels, const std::uint8_t* pixels,
               int quality = 90);
bool WritePng(std::string_view path, int width, int height, int channels, const std::uint8_t* pixels);

}  // namespace platform
