#pragma once
// Decoders behind the audio library: encoded bytes from a file or from
// memory, read as MP3 (the backend's decoder, gapless) or WAV, delivered as
// interleaved 16-bit frames. Private to src/platform.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace platform::audio_detail {

// Where encoded bytes come from: a window [start, start + size) of a memory
// block or of an open file. pos is relative to start.
struct ByteSource {
  const unsigned char* memory = nullptr;
  std::FILE* file = nullptr;
  std::uint64_t start = 0;
  std::uint64_t size = 0;
  std::uint64_t pos = 0;
};

// What a stream was made from, kept so that it can be opened again.
struct SourceSpec {
  bool fromMemory = false;
  std::string fileName;  // for a file
  const void* memory = nullptr;
  std::uint32_t offset = 0;
  std::uint32_t length = 0;  // 0 for a file: up to its end
};

struct Pcm {
  std::vector<std::int16_t> samples;  // interleaved
  int rate = 0;
  int channels = 0;
};

// The MP3 decoder of the backend: libmpg123 on Linux, the Audio Compression
// Manager on Windows.
struct Mp3Stream;

struct Decoder {
  int rate = 0;
  int channels = 0;
  // MP3: the decoder reads through io, which must keep its address.
  Mp3Stream* mp3 = nullptr;
  std::unique_ptr<ByteSource> io;
  // WAV: decoded whole at open.
  std::shared_ptr<const Pcm> pcm;
  std::size_t pcmFrame = 0;
};

bool IsOpen(const Decoder& decoder);

// Opens and reads the format; false (and nothing held) when the bytes are
// neither a readable WAV nor an MP3 with at least one frame.
bool OpenDecoder(Decoder& decoder, const SourceSpec& spec);
// A decoder over an already decoded block (sample playbacks share it).
void OpenPcmDecoder(Decoder& decoder, std::shared_ptr<const Pcm> pcm);
// Appends up to maxFrames frames to out; the number appended, 0 at the end
// of the data or on a decoding error that ends it.
std::size_t DecodeFrames(Decoder& decoder, std::vector<std::int16_t>& out, std::size_t maxFrames);
// Back to the first frame; false when the source cannot seek.
bool RewindDecoder(Decoder& decoder);
void CloseDecoder(Decoder& decoder);

// The whole source decoded into one block; false when it cannot be opened.
bool DecodeWhole(const SourceSpec& spec, Pcm& pcm);

// Reading and positioning within a source, for the MP3 decoders: reads give
// fewer bytes only at the end of the window; a seek beyond it is refused.
std::size_t ReadBytes(ByteSource& io, void* destination, std::size_t n);
bool SeekBytes(ByteSource& io, std::uint64_t pos);

// ---- the MP3 decoder each backend provides (sdl/mp3_mpg123.cpp,
// win32/mp3_acm.cpp) ----

// Opens the MP3 that io holds from its current position, reading through io
// (which outlives the decoder), with its rate and channel count. Decoding is
// gapless: the encoder's delay and padding that the LAME/Info tag records
// are left out, so the decoded length is the length that was encoded. Null
// when the bytes hold no MP3 frame the decoder can read.
Mp3Stream* OpenMp3(ByteSource& io, int& rate, int& channels);
// Appends up to maxFrames 16-bit frames; the number appended, 0 at the end
// of the data. A decoding error, or a change of the channel count, ends the
// data where it happens.
std::size_t DecodeMp3(Mp3Stream& mp3, std::vector<std::int16_t>& out, std::size_t maxFrames);
// Back to the first frame; false when it cannot go back.
bool RewindMp3(Mp3Stream& mp3);
void CloseMp3(Mp3Stream* mp3);

}  // namespace platform::audio_detail
