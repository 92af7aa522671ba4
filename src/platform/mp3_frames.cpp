#include "platform/mp3_frames.h"

#include <cstring>

namespace platform::audio_detail {

namespace {
// kbit/s by index 1..14 for layer III.
constexpr int kBitratesMpeg1[15] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
constexpr int kBitratesMpeg2[15] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
constexpr int kRatesMpeg1[3] = {44100, 48000, 32000};

std::uint32_t BigEndian32(const unsigned char* p) {
  return (static_cast<std::uint32_t>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}
}  // namespace

bool ParseMp3FrameHeader(const unsigned char* p, Mp3FrameHeader& header) {
  if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return false;
  const int versionBits = (p[1] >> 3) & 3;  // 0 MPEG-2.5, 1 reserved, 2 MPEG-2, 3 MPEG-1
  const int layerBits = (p[1] >> 1) & 3;    // 1 is layer III
  const int bitrateIndex = p[2] >> 4;
  const int rateIndex = (p[2] >> 2) & 3;
  if (versionBits == 1 || layerBits != 1 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3) return false;
  Mp3FrameHeader h;
  h.version = versionBits == 3 ? 10 : versionBits == 2 ? 20 : 25;
  const bool mpeg1 = h.version == 10;
  h.bitrate = (mpeg1 ? kBitratesMpeg1 : kBitratesMpeg2)[bitrateIndex] * 1000;
  h.rate = kRatesMpeg1[rateIndex] / (mpeg1 ? 1 : h.version == 20 ? 2 : 4);
  h.channels = (p[3] >> 6) == 3 ? 1 : 2;
  h.crc = (p[1] & 1) == 0;
  const int padding = (p[2] >> 1) & 1;
  h.samples = mpeg1 ? 1152 : 576;
  h.bytes = (mpeg1 ? 144 : 72) * h.bitrate / h.rate + padding;
  h.sideInfoBytes = mpeg1 ? (h.channels == 1 ? 17 : 32) : (h.channels == 1 ? 9 : 17);
  header = h;
  return true;
}

std::size_t Id3v2TagSize(const unsigned char* p, std::size_t size) {
  if (size < 10 || std::memcmp(p, "ID3", 3) != 0) return 0;
  // The size is stored in four 7-bit bytes.
  if ((p[6] | p[7] | p[8] | p[9]) & 0x80) return 0;
  std::size_t body = (static_cast<std::size_t>(p[6]) << 21) | (p[7] << 14) | (p[8] << 7) | p[9];
  const bool footer = (p[5] & 0x10) != 0;
  return 10 + body + (footer ? 10 : 0);
}

Mp3InfoFrame ReadMp3InfoFrame(const unsigned char* frame, std::size_t size, const Mp3FrameHeader& header) {
  Mp3InfoFrame info;
  std::size_t at = 4 + (header.crc ? 2 : 0) + static_cast<std::size_t>(header.sideInfoBytes);
  if (at + 8 > size) return info;
  if (std::memcmp(frame + at, "Xing", 4) != 0 && std::memcmp(frame + at, "Info", 4) != 0) return info;
  info.present = true;
  const std::uint32_t flags = BigEndian32(frame + at + 4);
  at += 8;
  if (flags & 1) {
    if (at + 4 > size) return info;
    info.frames = BigEndian32(frame + at);
    at += 4;
  }
  if (flags & 2) at += 4;    // byte count
  if (flags & 4) at += 100;  // seek table
  if (flags & 8) at += 4;    // quality
  // The LAME extension: nine bytes naming the encoder, twelve more fields,
  // then the delay and the padding in twelve bits each.
  if (at + 24 > size) return info;
  const unsigned char* lame = frame + at;
  if (std::memcmp(lame, "LAME", 4) != 0 && std::memcmp(lame, "Lavc", 4) != 0 && std::memcmp(lame, "Lavf", 4) != 0) {
    return info;
  }
  info.delay = (lame[21] << 4) | (lame[22] >> 4);
  info.padding = ((lame[22] & 0x0F) << 8) | lame[23];
  info.gapless = true;
  return info;
}

}  // namespace platform::audio_detail
