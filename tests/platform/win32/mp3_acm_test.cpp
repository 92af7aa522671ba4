// The Audio Compression Manager as strict as Windows' own may be: a header
// prepared or a conversion asked for with an empty source is refused (and
// counted) before the call reaches msacm32. Defined here, these two take the
// place of the import library's for the whole suite, so every MP3 test of it
// decodes against the stricter manager; this test checks that no decode
// asked for an empty source, the final one that empties the codec included.
#include <gtest/gtest.h>
#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>
#include <msacm.h>

#include <atomic>
#include <fstream>
#include <vector>

#include "platform/audio.h"
#include "platform/mp3_frames.h"
#include "support/mp3_fixture.h"
#include "support/temp_dir.h"

namespace {

std::atomic<int> emptySources{0};

template <typename Function>
Function Msacm32(const char* name) {
  static HMODULE library = LoadLibraryA("msacm32.dll");
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

bool Refused(const ACMSTREAMHEADER* header) {
  if (!header || header->cbSrcLength != 0) return false;
  ++emptySources;
  return true;
}

}  // namespace

extern "C" MMRESULT ACMAPI acmStreamPrepareHeader(HACMSTREAM stream, LPACMSTREAMHEADER header, DWORD flags) {
  if (Refused(header)) return MMSYSERR_INVALPARAM;
  using Prepare = MMRESULT(WINAPI*)(HACMSTREAM, LPACMSTREAMHEADER, DWORD);
  static const Prepare real = Msacm32<Prepare>("acmStreamPrepareHeader");
  return real(stream, header, flags);
}

extern "C" MMRESULT ACMAPI acmStreamConvert(HACMSTREAM stream, LPACMSTREAMHEADER header, DWORD flags) {
  if (Refused(header)) return MMSYSERR_INVALPARAM;
  using Convert = MMRESULT(WINAPI*)(HACMSTREAM, LPACMSTREAMHEADER, DWORD);
  static const Convert real = Msacm32<Convert>("acmStreamConvert");
  return real(stream, header, flags);
}

namespace {

// Tagged and untagged, stereo and mono, MPEG-1 and MPEG-2: the decoded
// length is the encoded one (tagged) or every frame's (untagged), and no
// call had an empty source.
TEST(AcmCodec, DecodesToTheEndWithoutAnEmptySource) {
  testsupport::TempDir dir;
  struct Case {
    double seconds;
    int rate, channels;
  };
  for (Case c : {Case{0.5, 44100, 2}, Case{0.3137, 44100, 1}, Case{0.41, 22050, 2}}) {
    SCOPED_TRACE(testing::Message() << c.seconds << " s " << c.rate << " Hz " << c.channels << " ch");
    const std::vector<std::int16_t> pcm = testsupport::TestTone(c.seconds, c.rate, c.channels);
    std::vector<unsigned char> mp3 = testsupport::EncodeTestMp3(pcm, c.rate, c.channels);
    platform::audio_detail::Mp3FrameHeader info;
    ASSERT_TRUE(platform::audio_detail::ParseMp3FrameHeader(mp3.data(), info));
    for (bool tagged : {true, false}) {
      const std::string path = dir.File(tagged ? "tagged.mp3" : "untagged.mp3");
      const std::size_t from = tagged ? 0 : static_cast<std::size_t>(info.bytes);
      std::ofstream(path, std::ios::binary)
          .write(reinterpret_cast<const char*>(mp3.data() + from), static_cast<std::streamsize>(mp3.size() - from));
      std::vector<std::int16_t> decoded;
      int rate = 0, channels = 0;
      emptySources = 0;
      ASSERT_TRUE(platform::DecodeAudioFile(path, decoded, rate, channels));
      if (tagged) {
        EXPECT_EQ(decoded.size(), pcm.size());
      } else {
        EXPECT_GT(decoded.size(), pcm.size()) << "the encoder's delay and padding come out too";
      }
      EXPECT_EQ(emptySources.load(), 0) << (tagged ? "tagged" : "untagged");
    }
  }
}

}  // namespace
