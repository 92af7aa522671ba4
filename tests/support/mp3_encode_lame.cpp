// MP3 fixtures encoded with LAME at test time.
#include <lame/lame.h>

#include <algorithm>
#include <stdexcept>

#include "support/mp3_fixture.h"

namespace testsupport {

std::vector<unsigned char> EncodeTestMp3(const std::vector<std::int16_t>& pcm, int rate, int channels) {
  lame_global_flags* lame = lame_init();
  if (!lame) throw std::runtime_error("lame_init failed");
  lame_set_num_channels(lame, channels);
  lame_set_in_samplerate(lame, rate);
  lame_set_out_samplerate(lame, rate);
  lame_set_mode(lame, channels == 1 ? MONO : JOINT_STEREO);
  lame_set_brate(lame, 128);
  lame_set_quality(lame, 5);
  lame_set_bWriteVbrTag(lame, 1);  // the Info tag carries delay and padding
  if (lame_init_params(lame) < 0) {
    lame_close(lame);
    throw std::runtime_error("lame_init_params failed");
  }
  const int frames = static_cast<int>(pcm.size() / static_cast<std::size_t>(channels));
  std::vector<unsigned char> out(static_cast<std::size_t>(frames) * 5 / 4 + 7200 + 16384);
  int written = 0;
  if (frames > 0) {
    if (channels == 2) {
      written = lame_encode_buffer_interleaved(lame, const_cast<short*>(pcm.data()), frames, out.data(),
                                               static_cast<int>(out.size()));
    } else {
      written = lame_encode_buffer(lame, pcm.data(), pcm.data(), frames, out.data(), static_cast<int>(out.size()));
    }
  }
  if (written < 0) {
    lame_close(lame);
    throw std::runtime_error("lame_encode_buffer failed");
  }
  int flushed = lame_encode_flush(lame, out.data() + written, static_cast<int>(out.size()) - written);
  if (flushed < 0) {
    lame_close(lame);
    throw std::runtime_error("lame_encode_flush failed");
  }
  out.resize(static_cast<std::size_t>(written + flushed));
  // The encoder left room for the tag in the first frame; fill it in now
  // that the totals are known.
  unsigned char tag[2880];
  std::size_t tagSize = lame_get_lametag_frame(lame, tag, sizeof tag);
  lame_close(lame);
  if (tagSize == 0 || tagSize > out.size()) throw std::runtime_error("no LAME tag");
  std::copy(tag, tag + tagSize, out.begin());
  return out;
}

}  // namespace testsupport
