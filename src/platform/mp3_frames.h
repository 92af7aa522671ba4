#pragma once
// The framing of MPEG audio layer III files, for decoders that take whole
// frames (the Audio Compression Manager on Windows): frame headers, the
// ID3v2 tag before the first frame, and the Xing/Info frame with its LAME
// extension, which records the encoder's delay and padding so that a
// decoder can give back exactly the samples that were encoded. Private to
// src/platform.
#include <cstddef>
#include <cstdint>

namespace platform::audio_detail {

struct Mp3FrameHeader {
  int version = 0;     // 10 MPEG-1, 20 MPEG-2, 25 MPEG-2.5
  int bitrate = 0;     // bits per second
  int rate = 0;        // samples per second
  int channels = 0;    // 1 or 2
  int bytes = 0;       // the whole frame, header included
  int samples = 0;     // per channel: 1152 for MPEG-1, 576 otherwise
  bool crc = false;    // a 16-bit check follows the header
  int sideInfoBytes = 0;
};

// Reads the four header bytes at p: layer III, a known bit rate (free format
// is refused) and sample rate. False for anything else.
bool ParseMp3FrameHeader(const unsigned char* p, Mp3FrameHeader& header);

// The length of an ID3v2 tag at the start of the bytes (header, body and
// footer), 0 when there is none.
std::size_t Id3v2TagSize(const unsigned char* p, std::size_t size);

// What a Xing/Info frame says. Such a frame carries no audio: a decoder
// leaves it out.
struct Mp3InfoFrame {
  bool present = false;    // the frame is a Xing/Info frame
  bool gapless = false;    // it has the LAME extension with delay and padding
  std::uint32_t frames = 0;  // audio frames after it, 0 when not recorded
  int delay = 0;           // samples the encoder put before the audio
  int padding = 0;         // samples it put after
};
Mp3InfoFrame ReadMp3InfoFrame(const unsigned char* frame, std::size_t size, const Mp3FrameHeader& header);

// A layer III decoder's own delay: its first output samples come before the
// first sample the encoder was given, and LAME's delay does not count them.
inline constexpr int kMp3DecoderDelay = 529;

}  // namespace platform::audio_detail
