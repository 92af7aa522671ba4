#pragma once
// Audio fixtures made at test time: a known tone, encoded to MP3 with LAME
// (with the Info/LAME tag, so a gapless decoder gives back exactly as many
// samples as went in), and 16-bit WAV files.
#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// Interleaved 16-bit PCM: a 440 Hz tone on the left (and mono), 660 Hz on
// the right, at a third of full scale.
std::vector<std::int16_t> TestTone(double seconds, int rate, int channels);

// Encodes interleaved PCM (1 or 2 channels) as a CBR MP3 with its Info tag.
// LAME does it on Linux. The Windows suite has no LAME: it takes the same
// bytes from the folder that QUILLON_MP3_FIXTURES names, written there by
// the Linux build's write_mp3_fixtures under Mp3FixtureName.
std::vector<unsigned char> EncodeTestMp3(const std::vector<std::int16_t>& pcm, int rate, int channels);

// The file name of the encoding of pcm in that folder.
std::string Mp3FixtureName(const std::vector<std::int16_t>& pcm, int rate, int channels);

// Writes TestTone(seconds, rate, channels) as an MP3 and returns that PCM.
std::vector<std::int16_t> WriteTestMp3(const std::string& path, double seconds, int rate, int channels);

// A 16-bit PCM WAV file.
void WriteTestWav(const std::string& path, const std::vector<std::int16_t>& samples, int rate, int channels);
std::vector<unsigned char> EncodeTestWav(const std::vector<std::int16_t>& samples, int rate, int channels);

}  // namespace testsupport
