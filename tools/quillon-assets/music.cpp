#include "music.h"

#include <lame/lame.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "music_synth.h"

namespace assetgen {

namespace {

// Encodes interleaved stereo PCM. The first frame LAME writes is a placeholder
// that the finished Info tag overwrites: it carries the frame count and the
// encoder delay and padding that a gapless decoder trims.
bool EncodeMp3(const std::vector<int16_t>& pcm, std::vector<unsigned char>& mp3) {
  lame_global_flags* gf = lame_init();
  if (gf == nullptr) return false;
  lame_set_in_samplerate(gf, music::kRate);
  lame_set_out_samplerate(gf, music::kRate);
  lame_set_num_channels(gf, 2);
  lame_set_mode(gf, JOINT_STEREO);
  lame_set_VBR(gf, vbr_off);
  lame_set_brate(gf, 192);
  lame_set_quality(gf, 5);
  lame_set_bWriteVbrTag(gf, 1);
  lame_set_write_id3tag_automatic(gf, 0);
  if (lame_init_params(gf) < 0) {
    lame_close(gf);
    return false;
  }
  const int frames = static_cast<int>(pcm.size() / 2);
  constexpr int kChunk = 8192;
  std::vector<unsigned char> buffer(static_cast<size_t>(kChunk * 5 / 4 + 7200));
  std::vector<short> chunk(2 * kChunk);
  mp3.clear();
  bool ok = true;
  for (int at = 0; at < frames && ok; at += kChunk) {
    const int count = std::min(kChunk, frames - at);
    // LAME wants a writable buffer of its own sample type.
    std::copy(pcm.begin() + 2 * static_cast<size_t>(at), pcm.begin() + 2 * static_cast<size_t>(at + count), chunk.begin());
    const int written =
        lame_encode_buffer_interleaved(gf, chunk.data(), count, buffer.data(), static_cast<int>(buffer.size()));
    if (written < 0) ok = false;
    else mp3.insert(mp3.end(), buffer.begin(), buffer.begin() + written);
  }
  if (ok) {
    const int written = lame_encode_flush(gf, buffer.data(), static_cast<int>(buffer.size()));
    if (written < 0) ok = false;
    else mp3.insert(mp3.end(), buffer.begin(), buffer.begin() + written);
  }
  if (ok) {
    unsigned char tag[8192];
    const size_t size = lame_get_lametag_frame(gf, tag, sizeof(tag));
    if (size == 0 || size > sizeof(tag) || size > mp3.size()) ok = false;
    else std::copy(tag, tag + size, mp3.begin());
  }
  lame_close(gf);
  return ok;
}

}  // namespace

bool WriteMusicMp3(const std::string& path) {
  const std::vector<int16_t> pcm = music::RenderPiece();
  std::vector<unsigned char> mp3;
  if (!EncodeMp3(pcm, mp3)) return false;
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool wrote = std::fwrite(mp3.data(), 1, mp3.size(), file) == mp3.size();
  const bool closed = std::fclose(file) == 0;
  return wrote && closed;
}

}  // namespace assetgen
