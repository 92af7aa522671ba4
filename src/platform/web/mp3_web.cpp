// MP3 decoding by the browser (decodeAudioData), which trims the encoder's
// delay and padding from the LAME tag as a gapless decoder does. The whole
// file is decoded when it is opened; the loop waits for it (ASYNCIFY). The
// latest file's samples are kept: a seek opens the same file again, and
// decoding it anew would take seconds while the music plays on from where
// it was.
#include <emscripten.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/audio_decode.h"
#include "platform/out_of_memory.h"

namespace {

// Decodes size bytes at data into interleaved 16-bit samples in a block of
// malloc'd memory; writes its address, frame count, rate and channel count
// to out[0..3]. A block of zero frames when the browser cannot decode it; a
// null block with its frame count when the program's memory cannot hold it.
EM_ASYNC_JS(void, DecodeInBrowser, (const void* data, int size, int* out), {
  HEAP32[(out >> 2)] = 0;
  HEAP32[(out >> 2) + 1] = 0;
  try {
    const bytes = HEAPU8.slice(data, data + size).buffer;
    const context = new OfflineAudioContext(2, 1, 44100);
    const decoded = await context.decodeAudioData(bytes);
    const channels = Math.min(2, decoded.numberOfChannels);
    const frames = decoded.length;
    const block = _malloc(Math.max(1, frames * channels * 2));
    if (!block) {
      HEAP32[(out >> 2) + 1] = frames;
      return;
    }
    for (let c = 0; c < channels; ++c) {
      const samples = decoded.getChannelData(c);
      let at = (block >> 1) + c;
      for (let i = 0; i < frames; ++i, at += channels) {
        const v = Math.max(-1, Math.min(1, samples[i]));
        HEAP16[at] = Math.round(v < 0 ? v * 32768 : v * 32767);
      }
    }
    HEAP32[(out >> 2)] = block;
    HEAP32[(out >> 2) + 1] = frames;
    HEAP32[(out >> 2) + 2] = decoded.sampleRate;
    HEAP32[(out >> 2) + 3] = channels;
  } catch (e) {
  }
});

// A file's bytes and their samples.
struct DecodedMusic {
  std::vector<unsigned char> file;
  std::int16_t* samples = nullptr;  // malloc'd by DecodeInBrowser
  std::size_t frames = 0;
  int rate = 0;
  int channels = 0;
  ~DecodedMusic() { std::free(samples); }
};

std::shared_ptr<const DecodedMusic> latest;

}  // namespace

namespace platform::audio_detail {

struct Mp3Stream {
  std::shared_ptr<const DecodedMusic> music;
  std::size_t next = 0;  // the next frame to hand out
};

Mp3Stream* OpenMp3(ByteSource& io, int& rate, int& channels) {
  if (io.size == 0 || io.size > 0x7FFFFFFF || !SeekBytes(io, 0)) return nullptr;
  std::vector<unsigned char> bytes(static_cast<std::size_t>(io.size));
  if (ReadBytes(io, bytes.data(), bytes.size()) != bytes.size()) return nullptr;
  if (!latest || latest->file != bytes) {
    int out[4] = {0, 0, 0, 0};
    DecodeInBrowser(bytes.data(), static_cast<int>(bytes.size()), out);
    // The whole music is decoded at once here, where a desktop decodes a
    // little at a time: no room for it is running out of memory, reported
    // as every other allocation's, not a show gone silent.
    if (out[0] == 0 && out[1] > 0) platform::RaiseOutOfMemory();
    if (out[0] == 0 || out[1] <= 0 || out[2] <= 0 || out[3] < 1) {
      std::free(reinterpret_cast<void*>(static_cast<std::uintptr_t>(out[0])));
      return nullptr;
    }
    auto music = std::make_shared<DecodedMusic>();
    music->samples = reinterpret_cast<std::int16_t*>(static_cast<std::uintptr_t>(out[0]));
    music->frames = static_cast<std::size_t>(out[1]);
    music->rate = out[2];
    music->channels = out[3];
    music->file = std::move(bytes);
    latest = std::move(music);
  }
  rate = latest->rate;
  channels = latest->channels;
  auto* mp3 = new Mp3Stream;
  mp3->music = latest;
  return mp3;
}

std::size_t DecodeMp3(Mp3Stream& mp3, std::vector<std::int16_t>& out, std::size_t maxFrames) {
  const DecodedMusic& music = *mp3.music;
  const std::size_t frames = std::min(maxFrames, music.frames - mp3.next);
  const std::size_t channels = static_cast<std::size_t>(music.channels);
  const std::int16_t* from = music.samples + mp3.next * channels;
  out.insert(out.end(), from, from + frames * channels);
  mp3.next += frames;
  return frames;
}

bool RewindMp3(Mp3Stream& mp3) {
  mp3.next = 0;
  return true;
}

void CloseMp3(Mp3Stream* mp3) { delete mp3; }

}  // namespace platform::audio_detail
