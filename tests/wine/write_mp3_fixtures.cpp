// Writes the MP3 fixtures of the Windows suite into a folder: LAME's encoding
// of every test tone that suite decodes, named by Mp3FixtureName. The suite
// is cross-built without LAME and finds them through QUILLON_MP3_FIXTURES.
// A Windows test or benchmark that encodes a new tone adds it here.
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "support/mp3_fixture.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: write_mp3_fixtures FOLDER\n");
    return 2;
  }
  struct Tone {
    double seconds;
    int rate;
    int channels;
  };
  const Tone tones[] = {
      // the audio library's decoding and clock tests, and the framing tests
      {0.5, 44100, 2}, {0.3137, 44100, 1}, {0.41, 22050, 2}, {0.05, 32000, 1}, {0.6, 44100, 2},
      // the waveOut device tests
      {1.5, 44100, 2},
      // bench/audio_clock
      {4.0, 44100, 2},
  };
  std::filesystem::create_directories(argv[1]);
  for (const Tone& tone : tones) {
    std::vector<std::int16_t> pcm = testsupport::TestTone(tone.seconds, tone.rate, tone.channels);
    std::vector<unsigned char> mp3 = testsupport::EncodeTestMp3(pcm, tone.rate, tone.channels);
    std::string path = std::string(argv[1]) + "/" + testsupport::Mp3FixtureName(pcm, tone.rate, tone.channels);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(mp3.data()), static_cast<std::streamsize>(mp3.size()));
    if (!out) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
