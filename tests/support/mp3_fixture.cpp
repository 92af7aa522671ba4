#include "support/mp3_fixture.h"

#include <lame/lame.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace testsupport {
namespace {

void Put16(std::vector<unsigned char>& out, unsigned v) {
  out.push_back(static_cast<unsigned char>(v & 0xFF));
  out.push_back(static_cast<unsigned char>((v >> 8) & 0xFF));
}
void Put32(std::vector<unsigned char>& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}
void PutTag(std::vector<unsigned char>& out, const char* tag) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(tag[i]));
}

void WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) throw std::runtime_error("cannot write " + path);
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  ok = std::fclose(file) == 0 && ok;
  if (!ok) throw std::runtime_error("cannot write " + path);
}

}  // namespace

std::vector<std::int16_t> TestTone(double seconds, int rate, int channels) {
  const std::size_t frames = static_cast<std::size_t>(std::llround(seconds * rate));
  std::vector<std::int16_t> pcm(frames * static_cast<std::size_t>(channels));
  const double pi = 3.14159265358979323846;
  for (std::size_t i = 0; i < frames; ++i) {
    double t = static_cast<double>(i) / rate;
    for (int c = 0; c < channels; ++c) {
      double f = c == 0 ? 440.0 : 660.0;
      pcm[i * channels + c] = static_cast<std::int16_t>(std::lround(10000.0 * std::sin(2.0 * pi * f * t)));
    }
  }
  return pcm;
}

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

std::vector<std::int16_t> WriteTestMp3(const std::string& path, double seconds, int rate, int channels) {
  std::vector<std::int16_t> pcm = TestTone(seconds, rate, channels);
  WriteBytes(path, EncodeTestMp3(pcm, rate, channels));
  return pcm;
}

std::vector<unsigned char> EncodeTestWav(const std::vector<std::int16_t>& samples, int rate, int channels) {
  std::vector<unsigned char> out;
  const std::uint32_t dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
  PutTag(out, "RIFF");
  Put32(out, 36 + dataBytes);
  PutTag(out, "WAVE");
  PutTag(out, "fmt ");
  Put32(out, 16);
  Put16(out, 1);
  Put16(out, static_cast<unsigned>(channels));
  Put32(out, static_cast<std::uint32_t>(rate));
  Put32(out, static_cast<std::uint32_t>(rate * channels * 2));
  Put16(out, static_cast<unsigned>(channels * 2));
  Put16(out, 16);
  PutTag(out, "data");
  Put32(out, dataBytes);
  for (std::int16_t s : samples) Put16(out, static_cast<std::uint16_t>(s));
  return out;
}

void WriteTestWav(const std::string& path, const std::vector<std::int16_t>& samples, int rate, int channels) {
  WriteBytes(path, EncodeTestWav(samples, rate, channels));
}

}  // namespace testsupport
