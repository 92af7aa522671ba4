// The audio library on waveOut and the Audio Compression Manager: which
// outputs open, stopping the output stops its pulls (and the clock), and an
// MP3 played again from its start decodes the same samples.
#include <gtest/gtest.h>
#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "platform/audio.h"
#include "support/mp3_fixture.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"

namespace {

using namespace std::chrono_literals;

using testsupport::WaitFor;

class WaveOutTest : public ::testing::Test {
 protected:
  void TearDown() override { platform::AudioFree(); }
  testsupport::TempDir dir_;
};

TEST_F(WaveOutTest, TheDefaultOutputAndListedOnesOpenOthersDoNot) {
  const std::uint32_t listed = waveOutGetNumDevs();
  ASSERT_GE(listed, 1u) << "Wine's ALSA output, or a sound card";
  EXPECT_FALSE(platform::AudioInit(listed + 1, 44100, platform::kAudioDeviceMono, nullptr));
  EXPECT_TRUE(platform::AudioInit(listed, 44100, platform::kAudioDeviceMono, nullptr));
  platform::AudioFree();
  EXPECT_TRUE(platform::AudioInit(0, 44100, 0, nullptr));
  EXPECT_EQ(platform::AudioDeviceChannels(), 2);
}

TEST_F(WaveOutTest, StoppedOutputPullsNothingAndItsClockStands) {
  const std::string path = dir_.File("tone.mp3");
  testsupport::WriteTestMp3(path, 1.5, 44100, 2);
  ASSERT_TRUE(platform::AudioInit(0, 44100, platform::kAudioDeviceMono, nullptr));
  std::uint32_t stream = platform::StreamCreateFile(false, path.c_str(), 0, 0, 0);
  ASSERT_NE(stream, 0u);
  ASSERT_TRUE(platform::StreamPlay(stream, true, 0));
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(platform::ChannelGetPosition(stream), 0u) << "the output starts stopped";

  platform::AudioStart();
  ASSERT_TRUE(WaitFor([&] { return platform::ChannelGetPosition(stream) > 44100u; }));
  platform::AudioStop();
  // What was handed out before the stop may still count; then it stands.
  std::this_thread::sleep_for(300ms);
  std::uint32_t stopped = platform::ChannelGetPosition(stream);
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(platform::ChannelGetPosition(stream), stopped);
  // With the device stopped, only the caller pulls.
  std::vector<std::int16_t> out(441);
  ASSERT_TRUE(platform::MixOffline(out.data(), 441));
  EXPECT_TRUE(WaitFor([&] { return platform::ChannelGetPosition(stream) == stopped + 441u * 4; }));

  platform::AudioStart();
  ASSERT_TRUE(WaitFor([&] { return platform::ChannelGetPosition(stream) > stopped + 44100u; }));
}

// Played from the start while it plays (the decoder goes back to its first
// frame), and again after its end (the decoder is opened again): the same
// samples both times, lined up with the tone that was encoded.
TEST_F(WaveOutTest, Mp3PlayedAgainMidwayOrAfterItsEndDecodesTheSameSamples) {
  const std::string path = dir_.File("tone.mp3");
  std::vector<std::int16_t> pcm = testsupport::WriteTestMp3(path, 0.5, 44100, 2);
  ASSERT_TRUE(platform::AudioInit(0, 44100, 0, nullptr));
  std::uint32_t stream = platform::StreamCreateFile(false, path.c_str(), 0, 0, 0);
  ASSERT_NE(stream, 0u);
  const int frames = static_cast<int>(pcm.size() / 2);
  auto mix = [](int count) {
    std::vector<std::int16_t> out(static_cast<std::size_t>(count) * 2);
    EXPECT_TRUE(platform::MixOffline(out.data(), count));
    return out;
  };
  ASSERT_TRUE(platform::StreamPlay(stream, true, 0));
  mix(frames / 3);
  ASSERT_TRUE(platform::StreamPlay(stream, true, 0));
  std::vector<std::int16_t> rewound = mix(frames + 100);
  mix(10);
  EXPECT_EQ(platform::ChannelIsActive(stream), platform::kChannelStopped) << "it ended";
  EXPECT_EQ(platform::ChannelGetPosition(stream), static_cast<std::uint32_t>(pcm.size() * 2));
  ASSERT_TRUE(platform::StreamPlay(stream, true, 0));
  std::vector<std::int16_t> reopened = mix(frames + 100);
  EXPECT_EQ(rewound, reopened);
  double sum = 0;
  for (std::size_t i = 0; i < pcm.size(); ++i) {
    sum += (double(reopened[i]) - pcm[i]) * (double(reopened[i]) - pcm[i]);
  }
  EXPECT_LT(std::sqrt(sum / static_cast<double>(pcm.size())), 1000.0);
}

}  // namespace
