#include "platform/audio_decode.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/files.h"

namespace platform::audio_detail {
namespace {

bool OpenByteSource(ByteSource& io, const SourceSpec& spec) {
  io = ByteSource{};
  if (spec.fromMemory) {
    if (!spec.memory || spec.length <= spec.offset) return false;
    io.memory = static_cast<const unsigned char*>(spec.memory);
    io.start = spec.offset;
    io.size = spec.length - spec.offset;
    return true;
  }
  if (spec.fileName.empty()) return false;
  std::FILE* file = std::fopen(NativePath(spec.fileName).c_str(), "rb");
  if (!file) return false;
  if (std::fseek(file, 0, SEEK_END) != 0) {
    std::fclose(file);
    return false;
  }
  long end = std::ftell(file);
  if (end < 0 || static_cast<std::uint64_t>(end) <= spec.offset) {
    std::fclose(file);
    return false;
  }
  std::uint64_t available = static_cast<std::uint64_t>(end) - spec.offset;
  io.file = file;
  io.start = spec.offset;
  io.size = spec.length ? std::min<std::uint64_t>(spec.length, available) : available;
  if (std::fseek(file, static_cast<long>(io.start), SEEK_SET) != 0) {
    std::fclose(file);
    io.file = nullptr;
    return false;
  }
  return true;
}

void CloseByteSource(ByteSource& io) {
  if (io.file) std::fclose(io.file);
  io = ByteSource{};
}

}  // namespace

std::size_t ReadBytes(ByteSource& io, void* destination, std::size_t n) {
  std::uint64_t left = io.size - std::min(io.pos, io.size);
  std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(n, left));
  if (count == 0) return 0;
  if (io.memory) {
    std::memcpy(destination, io.memory + io.start + io.pos, count);
  } else {
    count = std::fread(destination, 1, count, io.file);
  }
  io.pos += count;
  return count;
}

bool SeekBytes(ByteSource& io, std::uint64_t pos) {
  if (pos > io.size) return false;
  if (io.file && std::fseek(io.file, static_cast<long>(io.start + pos), SEEK_SET) != 0) return false;
  io.pos = pos;
  return true;
}

namespace {

std::uint32_t LittleEndian32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint16_t LittleEndian16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

// PCM (8, 16, 24, 32 bits) and 32-bit float WAV, converted to 16-bit. The
// data chunk is cut to what the file really holds.
bool ReadWav(ByteSource& io, Pcm& pcm) {
  unsigned char header[12];
  if (ReadBytes(io, header, 12) != 12) return false;
  if (std::memcmp(header, "RIFF", 4) != 0 || std::memcmp(header + 8, "WAVE", 4) != 0) return false;
  int format = 0, channels = 0, bits = 0;
  std::uint32_t rate = 0;
  bool haveFormat = false;
  for (;;) {
    unsigned char chunk[8];
    if (ReadBytes(io, chunk, 8) != 8) return false;
    std::uint32_t size = LittleEndian32(chunk + 4);
    std::uint64_t next = io.pos + size + (size & 1);
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      unsigned char fmt[40] = {};
      std::size_t want = std::min<std::size_t>(size, sizeof fmt);
      if (size < 16 || ReadBytes(io, fmt, want) != want) return false;
      format = LittleEndian16(fmt);
      channels = LittleEndian16(fmt + 2);
      rate = LittleEndian32(fmt + 4);
      bits = LittleEndian16(fmt + 14);
      if (format == 0xFFFE && size >= 40) format = LittleEndian16(fmt + 24);  // extensible: sub-format
      haveFormat = true;
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      if (!haveFormat || channels < 1 || channels > 8 || rate < 1000 || rate > 384000) return false;
      bool integer = format == 1 && (bits == 8 || bits == 16 || bits == 24 || bits == 32);
      bool floating = format == 3 && bits == 32;
      if (!integer && !floating) return false;
      std::size_t frameBytes = static_cast<std::size_t>(channels) * (bits / 8);
      std::uint64_t bytes = std::min<std::uint64_t>(size, io.size - io.pos);
      std::uint64_t frames = bytes / frameBytes;
      std::vector<unsigned char> raw(static_cast<std::size_t>(frames * frameBytes));
      if (ReadBytes(io, raw.data(), raw.size()) != raw.size()) return false;
      pcm.rate = static_cast<int>(rate);
      pcm.channels = channels;
      pcm.samples.resize(static_cast<std::size_t>(frames) * channels);
      const unsigned char* p = raw.data();
      for (std::int16_t& out : pcm.samples) {
        if (floating) {
          float value;
          std::memcpy(&value, p, 4);
          value = std::clamp(value, -1.0f, 1.0f);
          out = static_cast<std::int16_t>(std::clamp(value * 32768.0f, -32768.0f, 32767.0f));
          p += 4;
        } else if (bits == 8) {
          out = static_cast<std::int16_t>((p[0] - 128) * 256);
          p += 1;
        } else {
          // The top 16 bits of a little-endian sample are its last two bytes.
          int bytesPer = bits / 8;
          out = static_cast<std::int16_t>(LittleEndian16(p + bytesPer - 2));
          p += bytesPer;
        }
      }
      return true;
    }
    if (!SeekBytes(io, next)) return false;
  }
}

}  // namespace

bool IsOpen(const Decoder& decoder) { return decoder.mp3 != nullptr || decoder.pcm != nullptr; }

bool OpenDecoder(Decoder& decoder, const SourceSpec& spec) {
  CloseDecoder(decoder);
  auto io = std::make_unique<ByteSource>();
  if (!OpenByteSource(*io, spec)) return false;
  unsigned char magic[12] = {};
  std::size_t got = ReadBytes(*io, magic, sizeof magic);
  bool wav = got == 12 && std::memcmp(magic, "RIFF", 4) == 0 && std::memcmp(magic + 8, "WAVE", 4) == 0;
  if (!SeekBytes(*io, 0)) {
    CloseByteSource(*io);
    return false;
  }
  if (wav) {
    auto pcm = std::make_shared<Pcm>();
    bool ok = ReadWav(*io, *pcm);
    CloseByteSource(*io);
    if (!ok) return false;
    OpenPcmDecoder(decoder, std::move(pcm));
    return true;
  }
  Mp3Stream* mp3 = OpenMp3(*io, decoder.rate, decoder.channels);
  if (!mp3) {
    CloseByteSource(*io);
    decoder.rate = decoder.channels = 0;
    return false;
  }
  decoder.mp3 = mp3;
  decoder.io = std::move(io);
  return true;
}

void OpenPcmDecoder(Decoder& decoder, std::shared_ptr<const Pcm> pcm) {
  CloseDecoder(decoder);
  decoder.rate = pcm->rate;
  decoder.channels = pcm->channels;
  decoder.pcm = std::move(pcm);
  decoder.pcmFrame = 0;
}

std::size_t DecodeFrames(Decoder& decoder, std::vector<std::int16_t>& out, std::size_t maxFrames) {
  const std::size_t channels = static_cast<std::size_t>(decoder.channels);
  if (decoder.pcm) {
    std::size_t total = decoder.pcm->samples.size() / channels;
    std::size_t n = std::min(maxFrames, total - std::min(decoder.pcmFrame, total));
    const std::int16_t* from = decoder.pcm->samples.data() + decoder.pcmFrame * channels;
    out.insert(out.end(), from, from + n * channels);
    decoder.pcmFrame += n;
    return n;
  }
  if (!decoder.mp3) return 0;
  return DecodeMp3(*decoder.mp3, out, maxFrames);
}

bool RewindDecoder(Decoder& decoder) {
  if (decoder.pcm) {
    decoder.pcmFrame = 0;
    return true;
  }
  if (!decoder.mp3) return false;
  return RewindMp3(*decoder.mp3);
}

void CloseDecoder(Decoder& decoder) {
  if (decoder.mp3) {
    CloseMp3(decoder.mp3);
    decoder.mp3 = nullptr;
  }
  if (decoder.io) {
    CloseByteSource(*decoder.io);
    decoder.io.reset();
  }
  decoder.pcm.reset();
  decoder.pcmFrame = 0;
  decoder.rate = 0;
  decoder.channels = 0;
}

bool DecodeWhole(const SourceSpec& spec, Pcm& pcm) {
  Decoder decoder;
  if (!OpenDecoder(decoder, spec)) return false;
  if (decoder.pcm) {
    pcm = *decoder.pcm;
    CloseDecoder(decoder);
    return true;
  }
  pcm.rate = decoder.rate;
  pcm.channels = decoder.channels;
  pcm.samples.clear();
  while (DecodeFrames(decoder, pcm.samples, 65536) > 0) {
  }
  CloseDecoder(decoder);
  return true;
}

}  // namespace platform::audio_detail
