// The audio library on SDL's dummy driver: decoding, the mixer (rendered
// offline with the device stopped), the position clock during real playback
// and the end notification.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>
#include <regex>
#include <thread>
#include <vector>

#include "platform/audio.h"
#include "platform/mp3_frames.h"
#include "platform/out_of_memory.h"
#include "support/mp3_fixture.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"

namespace {

using namespace std::chrono_literals;

double RmsDifference(const std::vector<std::int16_t>& a, const std::vector<std::int16_t>& b) {
  double sum = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    double d = static_cast<double>(a[i]) - b[i];
    sum += d * d;
  }
  return std::sqrt(sum / static_cast<double>(a.size()));
}

using testsupport::WaitFor;

class AudioTest : public ::testing::Test {
 protected:
  void SetUp() override { setenv("SDL_AUDIODRIVER", "dummy", 0); }
  void TearDown() override { platform::AudioFree(); }
  // The device stays stopped, so only MixOffline pulls audio.
  void OpenStopped(std::uint32_t flags) {
    ASSERT_TRUE(platform::AudioInit(0, 44100, flags, nullptr));
    ASSERT_EQ(platform::AudioDeviceRate(), 44100);
  }
  std::vector<std::int16_t> Mix(int frames) {
    std::vector<std::int16_t> out(static_cast<std::size_t>(frames) * platform::AudioDeviceChannels());
    EXPECT_TRUE(platform::MixOffline(out.data(), frames));
    return out;
  }
  testsupport::TempDir dir_;
};

// ---- decoding ----

TEST_F(AudioTest, Mp3DecodesToTheEncodedLengthToTheSample) {
  struct Case {
    double seconds;
    int rate;
    int channels;
  };
  for (Case c : {Case{0.5, 44100, 2}, Case{0.3137, 44100, 1}, Case{0.41, 22050, 2}, Case{0.05, 32000, 1}}) {
    SCOPED_TRACE(testing::Message() << c.seconds << " s " << c.rate << " Hz " << c.channels << " ch");
    std::string path = dir_.File("tone.mp3");
    std::vector<std::int16_t> pcm = testsupport::WriteTestMp3(path, c.seconds, c.rate, c.channels);
    std::vector<std::int16_t> decoded;
    int rate = 0, channels = 0;
    ASSERT_TRUE(platform::DecodeAudioFile(path, decoded, rate, channels));
    EXPECT_EQ(rate, c.rate);
    EXPECT_EQ(channels, c.channels);
    ASSERT_EQ(decoded.size(), pcm.size());
    // Lined up with what went in: a decoder that kept the encoder's delay
    // would be shifted by over a thousand samples and far off the tone.
    EXPECT_LT(RmsDifference(decoded, pcm), 1000.0);
  }
}

// Without its Info frame nothing says how long the audio is: every frame's
// samples come out, the codec's last ones included (which it gives back only
// when told that the data has ended), as many as libmpg123 gives.
TEST_F(AudioTest, Mp3WithoutItsInfoFrameDecodesEveryFrame) {
  using platform::audio_detail::Mp3FrameHeader;
  std::vector<unsigned char> mp3 = testsupport::EncodeTestMp3(testsupport::TestTone(0.5, 44100, 2), 44100, 2);
  Mp3FrameHeader header;
  ASSERT_TRUE(platform::audio_detail::ParseMp3FrameHeader(mp3.data(), header));
  mp3.erase(mp3.begin(), mp3.begin() + header.bytes);
  std::size_t frames = 0;
  for (std::size_t at = 0; at + 4 <= mp3.size() && platform::audio_detail::ParseMp3FrameHeader(&mp3[at], header);
       at += static_cast<std::size_t>(header.bytes)) {
    frames += static_cast<std::size_t>(header.samples);
  }
  ASSERT_GT(frames, 0u);
  const std::string path = dir_.File("untagged.mp3");
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(mp3.data()),
                                              static_cast<std::streamsize>(mp3.size()));
  std::vector<std::int16_t> decoded;
  int rate = 0, channels = 0;
  ASSERT_TRUE(platform::DecodeAudioFile(path, decoded, rate, channels));
  EXPECT_EQ(decoded.size(), frames * 2);
}

TEST_F(AudioTest, WavDecodesExactlyAndOtherSampleFormatsBecome16Bit) {
  std::vector<std::int16_t> pcm = {0, 1, -1, 32767, -32768, 1234, -4321, 7};
  std::string path = dir_.File("a.wav");
  testsupport::WriteTestWav(path, pcm, 22050, 2);
  std::vector<std::int16_t> decoded;
  int rate = 0, channels = 0;
  ASSERT_TRUE(platform::DecodeAudioFile(path, decoded, rate, channels));
  EXPECT_EQ(decoded, pcm);
  EXPECT_EQ(rate, 22050);
  EXPECT_EQ(channels, 2);

  // 8-bit unsigned, with a data chunk that claims more than the file holds.
  std::vector<unsigned char> wav = testsupport::EncodeTestWav({0, 0}, 8000, 1);
  wav[34] = 8;                                  // bits per sample
  wav[32] = 1;                                  // block align
  wav[40] = 0xFF;                               // data size far beyond the end
  wav.resize(44);
  wav.insert(wav.end(), {0x80, 0xFF, 0x00});
  EXPECT_FALSE(platform::DecodeAudioFile(dir_.File("b.wav"), decoded, rate, channels)) << "missing";
  std::FILE* f = std::fopen(dir_.File("b.wav").c_str(), "wb");
  std::fwrite(wav.data(), 1, wav.size(), f);
  std::fclose(f);
  ASSERT_TRUE(platform::DecodeAudioFile(dir_.File("b.wav"), decoded, rate, channels));
  EXPECT_EQ(decoded, (std::vector<std::int16_t>{0, 127 * 256, -128 * 256}));
}

TEST_F(AudioTest, UnreadableSourcesMakeNoStream) {
  std::uint32_t before = platform::StreamCreateFile(false, dir_.File("x.mp3").c_str(), 0, 0, 0);
  EXPECT_EQ(before, 0u) << "no stream before set-up";
  OpenStopped(0);
  EXPECT_EQ(platform::StreamCreateFile(false, dir_.File("missing.mp3").c_str(), 0, 0, 0), 0u);
  EXPECT_EQ(platform::StreamCreateFile(false, nullptr, 0, 0, 0), 0u);
  std::vector<unsigned char> noise(5000);
  for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<unsigned char>(i * 7 % 13);
  EXPECT_EQ(platform::StreamCreateFile(true, noise.data(), 0, static_cast<std::uint32_t>(noise.size()), 0), 0u);
  std::vector<unsigned char> badWav = testsupport::EncodeTestWav({1, 2, 3}, 44100, 1);
  badWav[20] = 85;  // a compressed format tag
  EXPECT_EQ(platform::StreamCreateFile(true, badWav.data(), 0, static_cast<std::uint32_t>(badWav.size()), 0), 0u);
  EXPECT_EQ(platform::ChannelGetPosition(0), 0u);
  EXPECT_EQ(platform::ChannelIsActive(0), platform::kChannelStopped);
}

TEST_F(AudioTest, SetUpIsRefusedWhileSetUpAndTheVersionWordIsOnePointFive) {
  EXPECT_EQ(platform::AudioGetVersion() & 0xFFFF, 1u);
  EXPECT_EQ(platform::AudioGetVersion() >> 16, 5u);
  OpenStopped(0);
  EXPECT_FALSE(platform::AudioInit(0, 44100, 0, nullptr));
  platform::AudioFree();
  EXPECT_TRUE(platform::AudioInit(0, 44100, platform::kAudioDeviceMono, nullptr));
  EXPECT_EQ(platform::AudioDeviceChannels(), 1);
}

TEST(AudioNoDevice, SetUpFailsWithoutAnAudioDriver) {
  auto result = testsupport::RunInChild([] {
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    std::exit(platform::AudioInit(0, 44100, platform::kAudioDeviceMono, nullptr) ? 3 : 4);
  });
  EXPECT_EQ(result.exitCode, 4);
}

// ---- the mixer ----

TEST_F(AudioTest, StreamReachesTheOutputUnchangedAndEndsOnceAfterItsLastFrame) {
  OpenStopped(0);
  std::vector<std::int16_t> pcm(2 * 3000);
  for (std::size_t i = 0; i < pcm.size(); ++i) pcm[i] = static_cast<std::int16_t>((i * 37) % 20000 - 10000);
  std::vector<unsigned char> wav = testsupport::EncodeTestWav(pcm, 44100, 2);
  std::uint32_t stream = platform::StreamCreateFile(true, wav.data(), 0, static_cast<std::uint32_t>(wav.size()), 0);
  ASSERT_NE(stream, 0u);
  static std::atomic<int> ends{0};
  ends = 0;
  ASSERT_NE(platform::ChannelSetSync(stream, platform::kSyncEnd, 0,
                                     [](std::uint32_t, std::uint32_t, std::uint32_t, void*) { ++ends; }, nullptr),
            0u);
  EXPECT_EQ(platform::ChannelIsActive(stream), platform::kChannelStopped);
  ASSERT_TRUE(platform::StreamPlay(stream, true, 0));
  EXPECT_EQ(platform::ChannelGetPosition(stream), 0u) << "nothing handed out yet";

  std::vector<std::int16_t> first = Mix(2000);
  EXPECT_LE(platform::ChannelGetPosition(stream), 2000u * 4) << "never ahead of what went out";
  std::vector<std::int16_t> second = Mix(2000);
  EXPECT_TRUE(std::equal(first.begin(), first.end(), pcm.begin()));
  EXPECT_TRUE(std::equal(second.begin(), second.begin() + 2000, pcm.begin() + 4000));
  EXPECT_TRUE(std::all_of(second.begin() + 2000, second.end(), [](std::int16_t s) { return s == 0; }));
  EXPECT_EQ(platform::ChannelIsActive(stream), platform::kChannelPlaying) << "its last frames are still sounding";
  EXPECT_EQ(ends.load(), 0);

  Mix(100);
  EXPECT_EQ(platform::ChannelIsActive(stream), platform::kChannelStopped);
  EXPECT_EQ(platform::ChannelGetPosition(stream), 3000u * 4);
  ASSERT_TRUE(WaitFor([] { return ends.load() == 1; }));
  Mix(100);
  Mix(100);
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(ends.load(), 1) << "one notice per end";

  // Played again from the beginning: the position starts over, and a new
  // end is reported.
  ASSERT_TRUE(platform::StreamPlay(stream, true, 0));
  EXPECT_EQ(platform::ChannelGetPosition(stream), 0u);
  std::vector<std::int16_t> again = Mix(1000);
  EXPECT_TRUE(std::equal(again.begin(), again.end(), pcm.begin()));
  Mix(3000);
  Mix(10);
  ASSERT_TRUE(WaitFor([] { return ends.load() == 2; }));
  EXPECT_TRUE(platform::StreamFree(stream));
  EXPECT_FALSE(platform::StreamFree(stream));
}

TEST_F(AudioTest, MonoOutputAveragesTheChannelsAndTheLevelWordCarriesEachSide) {
  OpenStopped(platform::kAudioDeviceMono);
  std::vector<std::int16_t> pcm;
  for (int i = 0; i < 500; ++i) {
    pcm.push_back(1000);
    pcm.push_back(-3000);
  }
  pcm.push_back(-32768);  // full scale on the left reads 32768
  pcm.push_back(0);
  std::vector<unsigned char> wav = testsupport::EncodeTestWav(pcm, 44100, 2);
  std::uint32_t stream = platform::StreamCreateFile(true, wav.data(), 0, static_cast<std::uint32_t>(wav.size()), 0);
  ASSERT_NE(stream, 0u);
  EXPECT_EQ(platform::ChannelGetLevel(stream), 0u) << "not playing";
  platform::StreamPlay(stream, true, 0);
  std::vector<std::int16_t> out = Mix(400);
  ASSERT_EQ(out.size(), 400u);
  EXPECT_EQ(out[0], -1000);
  EXPECT_EQ(out[399], -1000);
  EXPECT_EQ(platform::ChannelGetLevel(stream), 1000u | (3000u << 16));
  Mix(200);
  EXPECT_EQ(platform::ChannelGetLevel(stream), 32768u | (3000u << 16));
}

TEST_F(AudioTest, SlowerStreamIsResampledAndCountsItsOwnBytes) {
  OpenStopped(platform::kAudioDeviceMono);
  std::vector<std::int16_t> pcm(1000);
  for (std::size_t i = 0; i < pcm.size(); ++i) pcm[i] = static_cast<std::int16_t>(i * 20);
  std::vector<unsigned char> wav = testsupport::EncodeTestWav(pcm, 22050, 1);
  std::uint32_t stream = platform::StreamCreateFile(true, wav.data(), 0, static_cast<std::uint32_t>(wav.size()), 0);
  ASSERT_NE(stream, 0u);
  platform::StreamPlay(stream, true, 0);
  std::vector<std::int16_t> out = Mix(1000);
  // Every other output frame is a source frame, the ones between lie halfway.
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[1], 10);
  EXPECT_EQ(out[2], 20);
  EXPECT_EQ(out[999], 9990);
  EXPECT_LE(platform::ChannelGetPosition(stream), 500u * 2);
  Mix(1000);
  Mix(10);
  EXPECT_EQ(platform::ChannelIsActive(stream), platform::kChannelStopped);
  EXPECT_EQ(platform::ChannelGetPosition(stream), 1000u * 2) << "bytes of the stream, not of the output";
}

TEST_F(AudioTest, SamplePlaybacksAreBoundedAndStoppedTogether) {
  OpenStopped(platform::kAudioDeviceMono);
  std::string path = dir_.File("s.wav");
  testsupport::WriteTestWav(path, std::vector<std::int16_t>(4000, 100), 44100, 1);
  EXPECT_EQ(platform::SampleLoad(false, dir_.File("none.wav").c_str(), 0, 0, 5, 0), 0u);
  std::uint32_t sample = platform::SampleLoad(false, path.c_str(), 0, 0, 2, 0);
  ASSERT_NE(sample, 0u);
  EXPECT_EQ(platform::ChannelIsActive(sample), platform::kChannelStopped);
  EXPECT_EQ(platform::SamplePlay(0), 0u);
  std::uint32_t a = platform::SamplePlay(sample);
  std::uint32_t b = platform::SamplePlay(sample);
  EXPECT_NE(a, 0u);
  EXPECT_NE(b, 0u);
  EXPECT_NE(a, b);
  EXPECT_EQ(platform::SamplePlay(sample), 0u) << "two playbacks at most";
  EXPECT_EQ(platform::ChannelIsActive(sample), platform::kChannelPlaying);
  EXPECT_EQ(Mix(10)[5], 200) << "both playbacks are mixed";
  EXPECT_TRUE(platform::SampleStop(sample));
  EXPECT_EQ(platform::ChannelIsActive(sample), platform::kChannelStopped);
  EXPECT_EQ(Mix(10)[5], 0);
  // A playback that runs out leaves room for another.
  ASSERT_NE(platform::SamplePlay(sample), 0u);
  Mix(4000);
  Mix(10);
  EXPECT_EQ(platform::ChannelIsActive(sample), platform::kChannelStopped);
  EXPECT_NE(platform::SamplePlay(sample), 0u);
}

// Memory refused on the end-notice thread: that thread goes on (no
// terminate, no teardown there), and the main thread's next call into the
// library is the out-of-memory report and 217.
TEST_F(AudioTest, MemoryRefusedToAnEndHandlerIsReportedByTheMainThread) {
  auto result = testsupport::RunInChild([&] {
    platform::InstallOutOfMemoryReport();
    // The report's exit runs the exit handlers, as the show's does: the
    // sound is closed there and its threads joined.
    std::atexit([] { platform::AudioFree(); });
    OpenStopped(0);
    std::vector<unsigned char> wav = testsupport::EncodeTestWav(std::vector<std::int16_t>(2 * 100, 100), 44100, 2);
    const std::uint32_t stream = platform::StreamCreateFile(true, wav.data(), 0, static_cast<std::uint32_t>(wav.size()), 0);
    static std::atomic<bool> refused{false};
    platform::ChannelSetSync(stream, platform::kSyncEnd, 0,
                             [](std::uint32_t, std::uint32_t, std::uint32_t, void*) {
                               refused = true;
                               throw std::bad_alloc();
                             },
                             nullptr);
    platform::StreamPlay(stream, true, 0);
    Mix(200);
    Mix(200);
    if (!WaitFor([] { return refused.load(); })) std::exit(3);
    // Returns only when no call reports it.
    WaitFor([] {
      platform::AudioGetVersion();
      return false;
    }, std::chrono::seconds(5));
    std::exit(4);
  });
  EXPECT_EQ(result.signal, 0);
  EXPECT_EQ(result.exitCode, 217) << result.out << result.err;
  EXPECT_TRUE(std::regex_search(result.out, std::regex("An unhandled exception occurred at 0x[0-9A-F]{8} :\nOut of memory\n")))
      << result.out;
}

// ---- real playback on the dummy device ----

TEST_F(AudioTest, PositionNeverDecreasesAndEndsAtTheDecodedLength) {
  std::string path = dir_.File("clock.mp3");
  std::vector<std::int16_t> pcm = testsupport::WriteTestMp3(path, 0.6, 44100, 2);
  const std::uint32_t length = static_cast<std::uint32_t>(pcm.size() * 2);
  ASSERT_TRUE(platform::AudioInit(0, 44100, platform::kAudioDeviceMono, nullptr));
  platform::AudioStart();
  std::uint32_t stream = platform::StreamCreateFile(false, path.c_str(), 0, 0, 0);
  ASSERT_NE(stream, 0u);
  static std::atomic<int> ends{0};
  ends = 0;
  platform::ChannelSetSync(stream, platform::kSyncEnd, 0,
                           [](std::uint32_t, std::uint32_t, std::uint32_t, void*) { ++ends; }, nullptr);
  platform::StreamPlay(stream, true, 0);
  std::uint32_t last = 0;
  int decreases = 0, readings = 0, distinct = 0;
  bool beyond = false;
  ASSERT_TRUE(WaitFor([&] {
    std::uint32_t p = platform::ChannelGetPosition(stream);
    if (p < last) ++decreases;
    if (p > length) beyond = true;
    if (p != last) ++distinct;
    last = p;
    ++readings;
    return ends.load() > 0;
  }));
  EXPECT_EQ(decreases, 0);
  EXPECT_FALSE(beyond);
  EXPECT_EQ(platform::ChannelGetPosition(stream), length);
  EXPECT_GT(distinct, 10) << "the position moves between device buffers";
  EXPECT_EQ(platform::ChannelIsActive(stream), platform::kChannelStopped);
}

// The handler restarts the output from the notifier thread: stop, free,
// create, play. A lock held around the handler would hang here.
std::string gRestartPath;
std::atomic<int> gRestarts{0};
std::atomic<std::uint32_t> gCurrent{0};

void Restart(std::uint32_t, std::uint32_t channel, std::uint32_t, void*) {
  platform::AudioStop();
  platform::StreamFree(channel);
  platform::AudioStart();
  std::uint32_t next = platform::StreamCreateFile(false, gRestartPath.c_str(), 0, 0, 0);
  platform::ChannelSetSync(next, platform::kSyncEnd, 0, Restart, nullptr);
  platform::StreamPlay(next, true, 0);
  gCurrent = next;
  ++gRestarts;
}

TEST_F(AudioTest, EndHandlerMayFreeCreateAndPlayStreams) {
  gRestartPath = dir_.File("short.wav");
  testsupport::WriteTestWav(gRestartPath, testsupport::TestTone(0.1, 44100, 1), 44100, 1);
  ASSERT_TRUE(platform::AudioInit(0, 44100, platform::kAudioDeviceMono, nullptr));
  platform::AudioStart();
  std::uint32_t first = platform::StreamCreateFile(false, gRestartPath.c_str(), 0, 0, 0);
  gRestarts = 0;
  platform::ChannelSetSync(first, platform::kSyncEnd, 0, Restart, nullptr);
  platform::StreamPlay(first, true, 0);
  ASSERT_TRUE(WaitFor([] { return gRestarts.load() >= 3; }));
  EXPECT_EQ(platform::ChannelIsActive(first), platform::kChannelStopped) << "freed by the handler";
  EXPECT_EQ(platform::ChannelGetPosition(first), 0u);
  platform::AudioFree();  // with the handler possibly running: no hang
}

}  // namespace

namespace {

// A seek in a real MP3 decode: from each position the next samples out are
// the whole decode's samples at that byte offset, in the middle of a frame
// of the format or on its edge, forwards and back, and the position reads
// that offset. A pause holds the position and the output silent; resuming
// goes on with the very next samples. Past the end nothing moves.
TEST_F(AudioTest, SeekLandsOnTheDecodesSamplesAndPauseHoldsThePosition) {
  OpenStopped(0);
  const std::string path = dir_.File("tone.mp3");
  testsupport::WriteTestMp3(path, 0.5, 44100, 2);
  std::vector<std::int16_t> whole;
  int rate = 0, channels = 0;
  ASSERT_TRUE(platform::DecodeAudioFile(path, whole, rate, channels));
  ASSERT_EQ(channels, 2);
  const std::uint32_t stream = platform::StreamCreateFile(false, path.c_str(), 0, 0, 0);
  ASSERT_NE(stream, 0u);
  ASSERT_TRUE(platform::StreamPlay(stream, true, 0));
  Mix(700);
  for (std::uint32_t frame : {10000u, 1152u, 0u, 1153u * 7, 20000u}) {
    SCOPED_TRACE(frame);
    ASSERT_TRUE(platform::ChannelSetPosition(stream, frame * 4));
    EXPECT_EQ(platform::ChannelGetPosition(stream), frame * 4);
    const std::vector<std::int16_t> out = Mix(600);
    EXPECT_TRUE(std::equal(out.begin(), out.end(), whole.begin() + frame * 2));
  }
  // At 20600 frames now.
  ASSERT_TRUE(platform::ChannelPause(stream));
  EXPECT_FALSE(platform::ChannelPause(stream));
  const std::uint32_t held = platform::ChannelGetPosition(stream);
  const std::vector<std::int16_t> silent = Mix(500);
  EXPECT_TRUE(std::all_of(silent.begin(), silent.end(), [](std::int16_t v) { return v == 0; }));
  EXPECT_EQ(platform::ChannelGetPosition(stream), held);
  ASSERT_TRUE(platform::ChannelResume(stream));
  EXPECT_FALSE(platform::ChannelResume(stream));
  const std::vector<std::int16_t> after = Mix(300);
  EXPECT_TRUE(std::equal(after.begin(), after.end(), whole.begin() + 20600 * 2));

  // Paused, so the position stands still while the refused seek is checked.
  ASSERT_TRUE(platform::ChannelPause(stream));
  const std::uint32_t before = platform::ChannelGetPosition(stream);
  EXPECT_FALSE(platform::ChannelSetPosition(stream, static_cast<std::uint32_t>(whole.size() * 2)));
  EXPECT_EQ(platform::ChannelGetPosition(stream), before);
  EXPECT_FALSE(platform::ChannelSetPosition(stream + 1000, 0));
}

}  // namespace
