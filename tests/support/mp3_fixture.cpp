#include "support/mp3_fixture.h"

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

std::string Mp3FixtureName(const std::vector<std::int16_t>& pcm, int rate, int channels) {
  // FNV-1a over the samples, then the format.
  std::uint64_t hash = 14695981039346656037ull;
  auto mix = [&hash](std::uint32_t byte) {
    hash ^= byte & 0xFF;
    hash *= 1099511628211ull;
  };
  for (std::int16_t s : pcm) {
    mix(static_cast<std::uint16_t>(s));
    mix(static_cast<std::uint16_t>(s) >> 8);
  }
  for (int shift = 0; shift < 32; shift += 8) {
    mix(static_cast<std::uint32_t>(rate) >> shift);
    mix(static_cast<std::uint32_t>(channels) >> shift);
  }
  char name[64];
  std::snprintf(name, sizeof name, "%016llx-%d-%d.mp3", static_cast<unsigned long long>(hash), rate, channels);
  return name;
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
