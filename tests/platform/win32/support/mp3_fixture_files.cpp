// MP3 fixtures for the Windows suite: the bytes LAME made for the same PCM on
// Linux, read from the folder QUILLON_MP3_FIXTURES names.
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "support/mp3_fixture.h"

namespace testsupport {

std::vector<unsigned char> EncodeTestMp3(const std::vector<std::int16_t>& pcm, int rate, int channels) {
  const char* folder = std::getenv("QUILLON_MP3_FIXTURES");
  const std::string name = Mp3FixtureName(pcm, rate, channels);
  if (!folder) throw std::runtime_error("QUILLON_MP3_FIXTURES is not set; " + name + " cannot be found");
  const std::string path = std::string(folder) + "/" + name;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    throw std::runtime_error("no MP3 fixture " + path + ": add the tone to tests/wine/write_mp3_fixtures.cpp");
  }
  std::vector<unsigned char> bytes;
  unsigned char chunk[65536];
  std::size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
  std::fclose(file);
  return bytes;
}

}  // namespace testsupport
