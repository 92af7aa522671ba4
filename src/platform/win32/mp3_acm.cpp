// MP3 decoding with the system's MP3 codec through the Audio Compression
// Manager. The codec takes whole layer III frames and gives 16-bit PCM; the
// frames are found here, the Xing/Info frame is left out, and the samples
// the encoder added before and after the audio (its LAME tag says how many)
// are cut, so the decoded length is the length that was encoded.
#include <windows.h>
#include <mmsystem.h>
// mmreg.h before msacm.h: the codec's format record lives there.
#include <mmreg.h>
#include <msacm.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/audio_decode.h"
#include "platform/mp3_frames.h"

namespace platform::audio_detail {

struct Mp3Stream {
  ByteSource* io = nullptr;
  Mp3FrameHeader format;          // of the first audio frame
  std::uint64_t firstFrame = 0;   // where the first audio frame starts in io
  HACMSTREAM acm = nullptr;
  bool started = false;           // the codec has had its first frames
  bool inputEnded = false;        // every frame has been read
  bool ended = false;

  // The samples handed out are the codec's output frames [begin, end).
  std::uint64_t begin = 0;
  std::uint64_t end = std::numeric_limits<std::uint64_t>::max();

  std::vector<unsigned char> input;   // frames read, not yet taken by the codec
  std::size_t heldBack = 0;           // the bytes of input's last frame, kept from the codec for now
  std::vector<std::int16_t> output;   // decoded, from outputFrame on
  std::size_t outputAt = 0;           // next sample of output to hand out
  std::uint64_t outputFrame = 0;      // codec frame index of output[0]

  // Working buffers, sized when the stream opens, so that decoding on the
  // sound thread does not allocate.
  std::vector<unsigned char> frame;
  std::vector<std::int16_t> decoded;
};

namespace {

// How far a search for the first frame, or for the next one after damage,
// reads before it gives up.
constexpr std::size_t kSyncSearch = 64 * 1024;
// Frames handed to the codec at a time.
constexpr int kFramesPerConversion = 8;
// The longest layer III frame: 320 kbit/s at 32 kHz (MPEG-1) or 160 kbit/s at
// 8 kHz (MPEG-2), with its padding byte.
constexpr std::size_t kMaxFrameBytes = 1441;

bool SameStream(const Mp3FrameHeader& a, const Mp3FrameHeader& b) {
  return a.version == b.version && a.rate == b.rate;
}

// The frame at io's position, or the next one of the stream within the
// search distance; its header and bytes, io after it. False at the end.
bool ReadFrame(ByteSource& io, const Mp3FrameHeader* stream, Mp3FrameHeader& header,
               std::vector<unsigned char>& frame) {
  unsigned char bytes[4];
  for (std::size_t skipped = 0; skipped < kSyncSearch; ++skipped) {
    std::uint64_t at = io.pos;
    if (ReadBytes(io, bytes, 4) != 4) return false;
    if (ParseMp3FrameHeader(bytes, header) && (!stream || SameStream(*stream, header))) {
      frame.assign(bytes, bytes + 4);
      frame.resize(static_cast<std::size_t>(header.bytes));
      std::size_t rest = frame.size() - 4;
      if (ReadBytes(io, frame.data() + 4, rest) != rest) return false;  // a frame cut short ends the data
      return true;
    }
    if (!SeekBytes(io, at + 1)) return false;
  }
  return false;
}

bool OpenCodec(Mp3Stream& s) {
  MPEGLAYER3WAVEFORMAT mp3{};
  mp3.wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
  mp3.wfx.nChannels = static_cast<WORD>(s.format.channels);
  mp3.wfx.nSamplesPerSec = static_cast<DWORD>(s.format.rate);
  mp3.wfx.nAvgBytesPerSec = static_cast<DWORD>(s.format.bitrate / 8);
  mp3.wfx.nBlockAlign = 1;
  mp3.wfx.wBitsPerSample = 0;
  mp3.wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
  mp3.wID = MPEGLAYER3_ID_MPEG;
  mp3.fdwFlags = MPEGLAYER3_FLAG_PADDING_ISO;
  // A frame's length without its padding byte: the codec reads the padding
  // bit of every frame itself.
  mp3.nBlockSize = static_cast<WORD>((s.format.version == 10 ? 144 : 72) * s.format.bitrate / s.format.rate);
  mp3.nFramesPerBlock = 1;
  mp3.nCodecDelay = 0;
  WAVEFORMATEX pcm{};
  pcm.wFormatTag = WAVE_FORMAT_PCM;
  pcm.nChannels = static_cast<WORD>(s.format.channels);
  pcm.nSamplesPerSec = static_cast<DWORD>(s.format.rate);
  pcm.wBitsPerSample = 16;
  pcm.nBlockAlign = static_cast<WORD>(2 * s.format.channels);
  pcm.nAvgBytesPerSec = pcm.nSamplesPerSec * pcm.nBlockAlign;
  return acmStreamOpen(&s.acm, nullptr, reinterpret_cast<WAVEFORMATEX*>(&mp3), &pcm, nullptr, 0, 0,
                       ACM_STREAMOPENF_NONREALTIME) == MMSYSERR_NOERROR;
}

void CloseCodec(Mp3Stream& s) {
  if (s.acm) acmStreamClose(s.acm, 0);
  s.acm = nullptr;
}

// Back to the first audio frame with a fresh codec and nothing decoded.
bool Restart(Mp3Stream& s) {
  CloseCodec(s);
  if (!SeekBytes(*s.io, s.firstFrame) || !OpenCodec(s)) return false;
  s.started = s.inputEnded = s.ended = false;
  s.input.clear();
  s.heldBack = 0;
  s.output.clear();
  s.outputAt = 0;
  s.outputFrame = 0;
  return true;
}

// Room for the codec's output of `inputBytes` of frames: its own estimate,
// and never less than the samples of a full conversion and then some.
std::size_t OutputSamplesFor(Mp3Stream& s, std::size_t inputBytes) {
  DWORD estimate = 0;
  if (acmStreamSize(s.acm, static_cast<DWORD>(std::max<std::size_t>(inputBytes, 1)), &estimate,
                    ACM_STREAMSIZEF_SOURCE) != MMSYSERR_NOERROR) {
    estimate = 0;
  }
  const std::size_t least = static_cast<std::size_t>(kFramesPerConversion + 4) * s.format.samples * s.format.channels;
  return std::max<std::size_t>(estimate / sizeof(std::int16_t), least);
}

// Sizes the working buffers for the largest conversion, so that playing
// allocates nothing more.
void ReserveBuffers(Mp3Stream& s) {
  const std::size_t inputBytes = (kFramesPerConversion + 2) * kMaxFrameBytes;
  s.frame.reserve(kMaxFrameBytes);
  s.input.reserve(inputBytes);
  s.decoded.resize(std::max(s.decoded.size(), OutputSamplesFor(s, inputBytes)));
  s.output.reserve(2 * s.decoded.size());
}

// Hands the codec the next frames and appends what it gives back. The last
// frame read is held back until another one follows it or the data ends:
// so the final frames go in with the end flag, and the codec gives back what
// it still holds in the same call. It never gets an empty source, which the
// system's codec may refuse, taking the last frame of the music with it.
// False once nothing more will come.
bool ConvertMore(Mp3Stream& s) {
  for (int i = 0; i < kFramesPerConversion && !s.inputEnded; ++i) {
    Mp3FrameHeader header;
    if (!ReadFrame(*s.io, &s.format, header, s.frame) || header.channels != s.format.channels) {
      // The end of the data; a stream that changes its channel count
      // midway cannot go on in one buffer and ends there too.
      s.inputEnded = true;
      break;
    }
    s.input.insert(s.input.end(), s.frame.begin(), s.frame.end());
    s.heldBack = s.frame.size();
  }
  const bool last = s.inputEnded;
  const std::size_t give = last ? s.input.size() : s.input.size() - std::min(s.heldBack, s.input.size());
  if (give == 0) return false;
  const std::size_t room = OutputSamplesFor(s, give);
  if (s.decoded.size() < room) s.decoded.resize(room);
  ACMSTREAMHEADER header{};
  header.cbStruct = sizeof header;
  header.pbSrc = s.input.data();
  header.cbSrcLength = static_cast<DWORD>(give);
  header.pbDst = reinterpret_cast<LPBYTE>(s.decoded.data());
  header.cbDstLength = static_cast<DWORD>(s.decoded.size() * sizeof(std::int16_t));
  if (acmStreamPrepareHeader(s.acm, &header, 0) != MMSYSERR_NOERROR) return false;
  DWORD flags = last ? ACM_STREAMCONVERTF_END : ACM_STREAMCONVERTF_BLOCKALIGN;
  if (!s.started) flags |= ACM_STREAMCONVERTF_START;
  MMRESULT result = acmStreamConvert(s.acm, &header, flags);
  const DWORD used = header.cbSrcLengthUsed;
  const DWORD made = header.cbDstLengthUsed;
  acmStreamUnprepareHeader(s.acm, &header, 0);
  if (result != MMSYSERR_NOERROR) return false;
  s.started = true;
  if (used == 0 && made == 0) return false;  // the codec takes nothing more
  s.input.erase(s.input.begin(), s.input.begin() + std::min<std::size_t>(used, give));
  // What was handed out is dropped before the new samples go in.
  const std::size_t channels = static_cast<std::size_t>(s.format.channels);
  s.outputFrame += s.outputAt / channels;
  s.output.erase(s.output.begin(), s.output.begin() + static_cast<std::ptrdiff_t>(s.outputAt));
  s.outputAt = 0;
  s.output.insert(s.output.end(), s.decoded.begin(), s.decoded.begin() + made / sizeof(std::int16_t));
  return true;
}

}  // namespace

Mp3Stream* OpenMp3(ByteSource& io, int& rate, int& channels) {
  std::uint64_t start = io.pos;
  unsigned char id3[10];
  std::size_t got = ReadBytes(io, id3, sizeof id3);
  std::size_t tag = Id3v2TagSize(id3, got);
  if (!SeekBytes(io, start + tag)) return nullptr;

  // The first frame, and a second one of the same stream right behind it,
  // so that stray bytes that only look like a header are not taken for MP3.
  Mp3FrameHeader first;
  std::vector<unsigned char> frame;
  if (!ReadFrame(io, nullptr, first, frame)) return nullptr;
  std::uint64_t firstAt = io.pos - frame.size();
  Mp3InfoFrame info = ReadMp3InfoFrame(frame.data(), frame.size(), first);
  Mp3FrameHeader audio = first;
  std::uint64_t audioAt = firstAt;
  if (info.present) {
    // The Info frame is silence written by the encoder; the audio follows.
    std::uint64_t next = io.pos;
    unsigned char bytes[4];
    if (ReadBytes(io, bytes, 4) != 4 || !ParseMp3FrameHeader(bytes, audio) || !SameStream(first, audio)) {
      return nullptr;
    }
    audioAt = next;
  } else {
    unsigned char bytes[4];
    Mp3FrameHeader second;
    std::size_t read = ReadBytes(io, bytes, 4);
    bool lone = read == 0;  // a file of exactly one frame
    if (!lone && (read != 4 || !ParseMp3FrameHeader(bytes, second) || !SameStream(first, second))) return nullptr;
  }

  auto* s = new Mp3Stream;
  s->io = &io;
  s->format = audio;
  s->firstFrame = audioAt;
  if (info.gapless) {
    // The codec's output starts with its own delay, then the encoder's.
    s->begin = static_cast<std::uint64_t>(info.delay) + kMp3DecoderDelay;
    if (info.frames > 0) {
      std::int64_t length = static_cast<std::int64_t>(info.frames) * audio.samples - info.delay - info.padding;
      s->end = s->begin + static_cast<std::uint64_t>(std::max<std::int64_t>(length, 0));
    }
  }
  if (!Restart(*s)) {
    CloseMp3(s);
    return nullptr;
  }
  ReserveBuffers(*s);
  rate = audio.rate;
  channels = audio.channels;
  return s;
}

std::size_t DecodeMp3(Mp3Stream& s, std::vector<std::int16_t>& out, std::size_t maxFrames) {
  const std::size_t channels = static_cast<std::size_t>(s.format.channels);
  std::size_t appended = 0;
  while (appended < maxFrames && !s.ended) {
    std::size_t available = (s.output.size() - s.outputAt) / channels;
    if (available == 0) {
      if (!ConvertMore(s)) s.ended = true;
      continue;
    }
    std::uint64_t frame = s.outputFrame + s.outputAt / channels;
    if (frame < s.begin) {
      // Before the audio: the delays.
      std::size_t skip = static_cast<std::size_t>(std::min<std::uint64_t>(s.begin - frame, available));
      s.outputAt += skip * channels;
      continue;
    }
    if (frame >= s.end) {
      s.ended = true;  // the encoder's padding
      break;
    }
    std::size_t take = std::min<std::size_t>(available, maxFrames - appended);
    take = static_cast<std::size_t>(std::min<std::uint64_t>(take, s.end - frame));
    const std::int16_t* from = s.output.data() + s.outputAt;
    out.insert(out.end(), from, from + take * channels);
    s.outputAt += take * channels;
    appended += take;
  }
  return appended;
}

bool RewindMp3(Mp3Stream& s) { return Restart(s); }

void CloseMp3(Mp3Stream* s) {
  if (!s) return;
  CloseCodec(*s);
  delete s;
}

}  // namespace platform::audio_detail
