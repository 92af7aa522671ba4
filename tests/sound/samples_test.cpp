// The sample bank and the reverb presets, against the real audio layer on
// SDL's dummy driver; the mixer is rendered offline with the output stopped.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/audio.h"
#include "platform/files.h"
#include "sound/music.h"
#include "sound/samples.h"
#include "support/mp3_fixture.h"
#include "support/temp_dir.h"

namespace {

class SampleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    Reset();
    ASSERT_EQ(sound::InitSound(0, nullptr), 0);
    platform::AudioStop();  // only MixOffline pulls from here on
  }
  void TearDown() override {
    sound::CloseSound();
    Reset();
  }
  static void Reset() {
    sound::SoundFailed = false;
    sound::ClearSampleTable();
    sound::SampleLast = -1;
  }
  std::vector<std::int16_t> Mix(int frames) {
    std::vector<std::int16_t> out(static_cast<std::size_t>(frames) * platform::AudioDeviceChannels());
    EXPECT_TRUE(platform::MixOffline(out.data(), frames));
    return out;
  }
  std::string Wav(const std::string& name, std::int16_t value, int frames) {
    std::string path = dir_.File(name);
    testsupport::WriteTestWav(path, std::vector<std::int16_t>(static_cast<std::size_t>(frames), value), 44100, 1);
    return path;
  }
  testsupport::TempDir dir_;
};

TEST_F(SampleTest, FolderOfThreeWavFilesGivesThreeEntriesInSearchOrder) {
  Wav("kick.wav", 100, 10);
  Wav("snare.wav", 200, 10);
  Wav("HAT.WAV", 300, 10);
  Wav("notes.txt", 0, 10);
  std::vector<std::string> order = platform::FindFiles(dir_.path(), "*.wav");
  ASSERT_EQ(order.size(), 3u);
  sound::LoadSampleDir(dir_.path());
  ASSERT_EQ(sound::SampleLast, 2) << "a name in capitals is a WAV file too";
  for (int i = 0; i < 3; ++i) {
    ASSERT_NE(sound::SampleList[i].path, nullptr);
    EXPECT_EQ(std::string(sound::SampleList[i].path), dir_.path() + "\\" + order[static_cast<std::size_t>(i)]);
    EXPECT_NE(sound::SampleList[i].sample, 0u) << "loaded through the backslash path";
  }
  EXPECT_EQ(sound::SampleList[3].path, nullptr);

  testsupport::TempDir empty;
  sound::LoadSampleDir(empty.path());
  EXPECT_EQ(sound::SampleLast, 2) << "no match loads nothing";
  sound::LoadSampleDir(std::string(256, 'd'));
  EXPECT_EQ(sound::SampleLast, 2);
}

TEST_F(SampleTest, NameInCapitalsFindsTheEntryInSmallLetters) {
  Wav("boom.wav", 500, 100);
  sound::LoadSampleDir(dir_.path());
  ASSERT_EQ(sound::SampleLast, 0);
  EXPECT_TRUE(sound::PlaySampleNamed("BOOM.WAV"));
  EXPECT_EQ(platform::ChannelIsActive(sound::SampleList[0].sample), platform::kChannelPlaying);
  EXPECT_FALSE(sound::PlaySampleNamed("BOOM"));
  EXPECT_FALSE(sound::PlaySampleNamed("oom.wav"));
  EXPECT_FALSE(sound::PlaySampleNamed(dir_.path() + "\\boom.wav")) << "a name, not a path";

  // The name part follows the last '/', ':' or '\'.
  std::int32_t colon = sound::LoadSample("c:zap.wav");
  EXPECT_EQ(sound::SampleList[colon].sample, 0u);
  EXPECT_FALSE(sound::PlaySampleNamed("ZAP.WAV")) << "found, but it could not be loaded";
}

TEST_F(SampleTest, ActiveSampleIsStoppedBeforeItPlaysAgain) {
  std::int32_t index = sound::LoadSample(Wav("tone.wav", 1000, 20000));
  ASSERT_EQ(index, 0);
  ASSERT_TRUE(sound::PlaySample(0));
  Mix(500);
  ASSERT_EQ(platform::ChannelIsActive(sound::SampleList[0].sample), platform::kChannelPlaying);
  ASSERT_TRUE(sound::PlaySample(0));
  // Two playbacks would add up to 2000 here.
  std::vector<std::int16_t> out = Mix(100);
  EXPECT_EQ(out[0], 1000);
  EXPECT_EQ(out[99], 1000);
}

TEST_F(SampleTest, IndexBeyondTheBankAndFailedLoadsPlayNothing) {
  EXPECT_FALSE(sound::PlaySample(0)) << "empty bank";
  sound::LoadSample(Wav("ok.wav", 10, 100));
  EXPECT_FALSE(sound::PlaySample(1));
  EXPECT_FALSE(sound::PlaySample(0xFFFFFFFFu));

  std::string broken = dir_.File("broken.wav");
  platform::WriteWholeFile(broken, "RIFF\x04\0\0\0WAVE", 12);
  EXPECT_EQ(sound::LoadSample(broken), 1) << "a failed load still takes its entry";
  EXPECT_EQ(sound::SampleList[1].sample, 0u);
  EXPECT_EQ(std::string(sound::SampleList[1].path), broken);
  EXPECT_EQ(sound::LoadSample(dir_.File("absent.wav")), 2);
  EXPECT_FALSE(sound::PlaySample(1));
  EXPECT_FALSE(sound::PlaySample(2));
  EXPECT_TRUE(sound::PlaySample(0));
}

TEST_F(SampleTest, BankHoldsOneHundredTwentyEightEntriesAndCountedPaths) {
  EXPECT_EQ(sound::LoadSample(std::string(256, 'p')), -1);
  EXPECT_EQ(sound::SampleLast, -1);
  for (int i = 0; i < sound::kSampleCapacity; ++i) {
    ASSERT_EQ(sound::LoadSample(dir_.File(testsupport::Join({"s", std::to_string(i), ".wav"}))), i);
  }
  EXPECT_EQ(sound::LoadSample(dir_.File("extra.wav")), -1);
  EXPECT_EQ(sound::SampleLast, 127);
  EXPECT_EQ(sound::LoadSample(""), -1);
  EXPECT_FALSE(sound::PlaySampleNamed("extra.wav"));
}

TEST(ReverbPresets, TheStandardEnvironmentsAndOff) {
  struct Row {
    int number;
    float volume, decay, damping;
  };
  const Row rows[] = {
      {0, 0.5f, 1.493f, 0.5f},     {1, 0.25f, 0.1f, 0.0f},      {2, 0.417f, 0.4f, 0.666f},
      {3, 0.653f, 1.499f, 0.166f}, {4, 0.208f, 0.478f, 0.0f},   {5, 0.5f, 2.309f, 0.888f},
      {6, 0.403f, 4.279f, 0.5f},   {7, 0.5f, 3.961f, 0.5f},     {8, 0.5f, 2.886f, 1.304f},
      {9, 0.361f, 7.284f, 0.332f}, {10, 0.5f, 10.0f, 0.3f},     {11, 0.153f, 0.259f, 2.0f},
      {12, 0.361f, 1.493f, 0.0f},  {13, 0.444f, 2.697f, 0.638f}, {14, 0.25f, 1.752f, 0.776f},
      {15, 0.111f, 3.145f, 0.472f}, {16, 0.111f, 2.767f, 0.224f}, {17, 0.194f, 7.841f, 0.472f},
      {18, 1.0f, 1.499f, 0.5f},    {19, 0.097f, 2.767f, 0.224f}, {20, 0.208f, 1.652f, 1.5f},
      {21, 0.652f, 2.886f, 0.25f}, {22, 1.0f, 1.499f, 0.0f},    {23, 0.875f, 8.392f, 1.388f},
      {24, 0.139f, 17.234f, 0.666f}, {25, 0.486f, 7.563f, 0.806f},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.number);
    sound::ReverbPreset p = sound::GetReverbPreset(static_cast<std::int16_t>(row.number));
    EXPECT_EQ(p.environment, row.number);
    EXPECT_FLOAT_EQ(p.volume, row.volume);
    EXPECT_FLOAT_EQ(p.decay, row.decay);
    EXPECT_FLOAT_EQ(p.damping, row.damping);
  }
  for (std::int16_t other : {std::int16_t{26}, std::int16_t{-1}, std::int16_t{-32768}, std::int16_t{32767}}) {
    sound::ReverbPreset p = sound::GetReverbPreset(other);
    EXPECT_EQ(p.environment, -1);
    EXPECT_EQ(p.volume, 0.0f);
    EXPECT_EQ(p.decay, -1.0f);
    EXPECT_EQ(p.damping, -1.0f);
  }
}

TEST_F(SampleTest, PresetsReachTheLibraryAndOffKeepsTheOtherSettings) {
  sound::SetReverbPreset(25);
  platform::ReverbSettings r = platform::GetEAXParameters();
  EXPECT_EQ(r.environment, 25);
  EXPECT_FLOAT_EQ(r.volume, 0.486f);
  EXPECT_FLOAT_EQ(r.decay, 7.563f);
  EXPECT_FLOAT_EQ(r.damping, 0.806f);
  sound::SetReverbPreset(99);
  r = platform::GetEAXParameters();
  EXPECT_EQ(r.volume, 0.0f);
  EXPECT_EQ(r.environment, 25);
  EXPECT_FLOAT_EQ(r.decay, 7.563f);
  EXPECT_FLOAT_EQ(r.damping, 0.806f);
}

double TailEnergy(const std::vector<std::int16_t>& out, std::size_t from) {
  double sum = 0;
  for (std::size_t i = from; i < out.size(); ++i) sum += static_cast<double>(out[i]) * out[i];
  return sum;
}

TEST_F(SampleTest, ReverbAudiblyLengthensAClick) {
  std::vector<std::int16_t> click(64, 0);
  for (int i = 0; i < 16; ++i) click[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(i % 2 ? -20000 : 20000);
  std::string path = dir_.File("click.wav");
  testsupport::WriteTestWav(path, click, 44100, 1);
  ASSERT_EQ(sound::LoadSample(path), 0);
  const int frames = 44100;  // one second: the click, then its tail
  const std::size_t tailFrom = 200;

  sound::SetReverbPreset(-1);
  ASSERT_TRUE(sound::PlaySample(0));
  std::vector<std::int16_t> dry = Mix(frames);
  sound::SetReverbPreset(0);
  ASSERT_TRUE(sound::PlaySample(0));
  std::vector<std::int16_t> wet = Mix(frames);

  EXPECT_EQ(dry[0], 20000);
  EXPECT_EQ(TailEnergy(dry, tailFrom), 0.0) << "without reverb the click is all there is";
  EXPECT_GT(TailEnergy(wet, tailFrom), 1e6) << "the tail that the reverb adds";
  // A tail that decays: the last tenth carries much less than the first.
  double early = TailEnergy(std::vector<std::int16_t>(wet.begin() + 2000, wet.begin() + 6410), 0);
  double late = TailEnergy(std::vector<std::int16_t>(wet.end() - 4410, wet.end()), 0);
  EXPECT_GT(early, late * 4);

  // Switching it off again: no tail even though it had been ringing.
  sound::SetReverbPreset(-1);
  ASSERT_TRUE(sound::PlaySample(0));
  EXPECT_EQ(TailEnergy(Mix(frames), tailFrom), 0.0);
}

}  // namespace
