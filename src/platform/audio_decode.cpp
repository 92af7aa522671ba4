#include "platform/audio_decode.h"

#include <mpg123.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <mutex>

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

// mpg123 reads through these so that memory blocks, offsets and lengths all
// take the same path as plain files.
mpg123_ssize_t ReadForMpg123(void* handle, void* destination, size_t n) {
  return static_cast<mpg123_ssize_t>(ReadBytes(*static_cast<ByteSource*>(handle), destination, n));
}

off_t SeekForMpg123(void* handle, off_t offset, int whence) {
  auto& io = *static_cast<ByteSource*>(handle);
  std::int64_t base = 0;
  if (whence == SEEK_CUR) base = static_cast<std::int64_t>(io.pos);
  if (whence == SEEK_END) base = static_cast<std::int64_t>(io.size);
  std::int64_t target = base + static_cast<std::int64_t>(offset);
  if (target < 0 || !SeekBytes(io, static_cast<std::uint64_t>(target))) return -1;
  return static_cast<off_t>(io.pos);
}

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

// Takes io over only when the stream opens.
bool OpenMp3(Decoder& decoder, std::unique_ptr<ByteSource>& io) {
  int error = MPG123_OK;
  mpg123_handle* mh = mpg123_new(nullptr, &error);
  if (!mh) return false;
  // Gapless decoding honours the encoder's delay and padding from the
  // LAME/Info tag, so the decoded length is the length that was encoded.
  mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_GAPLESS | MPG123_QUIET, 0.0);
  mpg123_format_none(mh);
  const long* rates = nullptr;
  size_t rateCount = 0;
  mpg123_rates(&rates, &rateCount);
  for (size_t i = 0; i < rateCount; ++i) {
    mpg123_format(mh, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
  }
  long rate = 0;
  int channels = 0, encoding = 0;
  if (mpg123_replace_reader_handle(mh, ReadForMpg123, SeekForMpg123, nullptr) != MPG123_OK ||
      mpg123_open_handle(mh, io.get()) != MPG123_OK ||
      mpg123_getformat(mh, &rate, &channels, &encoding) != MPG123_OK || rate <= 0 ||
      channels < 1 || encoding != MPG123_ENC_SIGNED_16) {
    mpg123_delete(mh);
    return false;
  }
  decoder.mpg = mh;
  decoder.io = std::move(io);
  decoder.rate = static_cast<int>(rate);
  decoder.channels = channels;
  return true;
}

void InitMpg123Once() {
  static std::once_flag once;
  std::call_once(once, [] { mpg123_init(); });
}

}  // namespace

bool IsOpen(const Decoder& decoder) { return decoder.mpg != nullptr || decoder.pcm != nullptr; }

bool OpenDecoder(Decoder& decoder, const SourceSpec& spec) {
  CloseDecoder(decoder);
  InitMpg123Once();
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
  if (!OpenMp3(decoder, io)) {
    CloseByteSource(*io);
    return false;
  }
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
  if (!decoder.mpg) return 0;
  std::size_t appended = 0;
  while (appended < maxFrames) {
    std::size_t oldSize = out.size();
    std::size_t wantSamples = (maxFrames - appended) * channels;
    out.resize(oldSize + wantSamples);
    size_t done = 0;
    int result = mpg123_read(decoder.mpg, reinterpret_cast<unsigned char*>(out.data() + oldSize),
                             wantSamples * sizeof(std::int16_t), &done);
    std::size_t frames = done / (sizeof(std::int16_t) * channels);
    out.resize(oldSize + frames * channels);
    appended += frames;
    if (result == MPG123_NEW_FORMAT) {
      long rate = 0;
      int newChannels = 0, encoding = 0;
      mpg123_getformat(decoder.mpg, &rate, &newChannels, &encoding);
      // A stream that changes its channel count midway cannot go on in one
      // buffer; it ends where the change happens.
      if (newChannels != decoder.channels) return appended;
      continue;
    }
    if (result != MPG123_OK) break;  // MPG123_DONE or an error: the data ends here
    if (frames == 0) break;
  }
  return appended;
}

bool RewindDecoder(Decoder& decoder) {
  if (decoder.pcm) {
    decoder.pcmFrame = 0;
    return true;
  }
  if (!decoder.mpg) return false;
  return mpg123_seek(decoder.mpg, 0, SEEK_SET) == 0;
}

void CloseDecoder(Decoder& decoder) {
  if (decoder.mpg) {
    mpg123_close(decoder.mpg);
    mpg123_delete(decoder.mpg);
    decoder.mpg = nullptr;
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
