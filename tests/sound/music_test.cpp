// The music list, its stream and the show's clock, against the real audio
// layer on SDL's dummy driver.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/audio.h"
#include "platform/random.h"
#include "sound/music.h"
#include "sound/samples.h"
#include "support/mp3_fixture.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"

namespace {

using namespace std::chrono_literals;

using testsupport::WaitFor;

// Puts the module back at its start-up values, so the cases also pass when
// they all run in one process.
void ResetSoundModule() {
  sound::SoundFailed = false;
  sound::ClearMusicList();
  sound::MusicLast = -1;
  sound::MusicCurrent = -1;
  sound::MusicStream = 0;
  sound::RepeatMode = 1;
  sound::ClearSampleTable();
  sound::SampleLast = -1;
  sound::SetMusicPositionSource(nullptr);
}

class MusicTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    ResetSoundModule();
  }
  void TearDown() override {
    sound::CloseSound();
    ResetSoundModule();
  }
  testsupport::TempDir dir_;
};

TEST_F(MusicTest, PlayOnTheEmptyListCallsNothingBeforeAndAfterSetUp) {
  std::uint64_t calls = platform::AudioCallCount();
  EXPECT_FALSE(sound::PlayMusic(0));
  EXPECT_EQ(platform::AudioCallCount(), calls);
  ASSERT_EQ(sound::InitSound(0, nullptr), 0);
  calls = platform::AudioCallCount();
  EXPECT_FALSE(sound::PlayMusic(0));
  EXPECT_EQ(platform::AudioCallCount(), calls);
  EXPECT_EQ(sound::MusicCurrent.load(), -1);
}

TEST_F(MusicTest, IndexBeyondTheListLeavesThePlayingStreamAlone) {
  std::string path = dir_.File("music.mp3");
  testsupport::WriteTestMp3(path, 1.0, 44100, 2);
  ASSERT_EQ(sound::InitSound(0, nullptr), 0);
  ASSERT_EQ(sound::AddMusicFile(dir_.path() + "\\music.mp3"), 0) << "a backslash separates folders";
  ASSERT_TRUE(sound::PlayMusic(0));
  std::uint32_t stream = sound::MusicStream;
  ASSERT_NE(stream, 0u);
  std::uint64_t calls = platform::AudioCallCount();
  EXPECT_FALSE(sound::PlayMusic(1));
  EXPECT_FALSE(sound::PlayMusic(0xFFFFFFFFu));
  EXPECT_EQ(platform::AudioCallCount(), calls);
  EXPECT_EQ(sound::MusicStream.load(), stream);
  EXPECT_EQ(sound::MusicCurrent.load(), 0);
  EXPECT_EQ(platform::ChannelIsActive(stream), platform::kChannelPlaying);
}

TEST_F(MusicTest, MusicThatEndsStartsAgainAndThePositionFallsBack) {
  std::string path = dir_.File("music.mp3");
  std::vector<std::int16_t> pcm = testsupport::WriteTestMp3(path, 0.4, 44100, 2);
  const std::uint32_t length = static_cast<std::uint32_t>(pcm.size() * 2);
  ASSERT_EQ(sound::InitSound(0, nullptr), 0);
  ASSERT_EQ(sound::AddMusicFile(path), 0);
  ASSERT_TRUE(sound::PlayMusic(0));
  const std::uint32_t first = sound::MusicStream;
  std::uint32_t highest = 0;
  ASSERT_TRUE(WaitFor([&] {
    highest = std::max(highest, sound::GetMusicPosition());
    return sound::MusicStream.load() != first;
  }));
  EXPECT_NE(sound::MusicStream.load(), 0u);
  EXPECT_EQ(sound::MusicCurrent.load(), 0);
  EXPECT_EQ(platform::ChannelGetPosition(first), length) << "the first playback ran to its end";
  EXPECT_GT(highest, length / 2);
  EXPECT_LT(sound::GetMusicPosition(), length / 2) << "the clock starts again from the beginning";
  // And once more: every end restarts it.
  const std::uint32_t second = sound::MusicStream;
  ASSERT_TRUE(WaitFor([&] { return sound::MusicStream.load() != second; }));
}

TEST_F(MusicTest, RepeatModeZeroLetsTheMusicEnd) {
  std::string path = dir_.File("music.wav");
  testsupport::WriteTestWav(path, testsupport::TestTone(0.1, 44100, 1), 44100, 1);
  ASSERT_EQ(sound::InitSound(0, nullptr), 0);
  sound::SetRepeatMode(0);
  ASSERT_EQ(sound::AddMusicFile(path), 0);
  ASSERT_TRUE(sound::PlayMusic(0));
  std::uint32_t stream = sound::MusicStream;
  ASSERT_TRUE(WaitFor([&] { return platform::ChannelIsActive(stream) == platform::kChannelStopped; }));
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(sound::MusicStream.load(), stream);
  EXPECT_EQ(sound::GetMusicPosition(), 4410u * 2) << "the clock stays at the end";
}

TEST_F(MusicTest, FailedSetUpMakesCloseSoundCallNothing) {
  auto result = testsupport::RunInChild([] {
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    if (sound::InitSound(0, nullptr) != 2 || !sound::SoundFailed) std::exit(3);
    std::uint64_t calls = platform::AudioCallCount();
    sound::CloseSound();
    if (sound::AddMusicFile("music.mp3") != -1 || sound::PlayMusic(0)) std::exit(4);
    sound::SetRepeatMode(0);
    if (sound::RepeatMode != 1) std::exit(5);
    if (platform::AudioCallCount() != calls) std::exit(6);
    std::exit(0);
  });
  EXPECT_EQ(result.exitCode, 0);
}

TEST_F(MusicTest, MissingMusicRunsTheSilentClockFromTheFailedStart) {
  ASSERT_EQ(sound::InitSound(0, nullptr), 0);
  ASSERT_EQ(sound::AddMusicFile(dir_.File("music.mp3")), 0);
  EXPECT_EQ(sound::GetMusicPosition(), 0u) << "nothing should have started yet";
  auto started = std::chrono::steady_clock::now();
  EXPECT_FALSE(sound::PlayMusic(0));
  EXPECT_EQ(sound::MusicStream.load(), 0u);
  EXPECT_EQ(sound::MusicCurrent.load(), -1);
  std::uint32_t a = sound::GetMusicPosition();
  std::this_thread::sleep_for(30ms);
  std::uint32_t b = sound::GetMusicPosition();
  double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  EXPECT_GT(b, a);
  EXPECT_GE(b, 176400u * 30 / 1000) << "at least the time slept";
  EXPECT_LE(b, static_cast<std::uint32_t>(elapsed * 176400.0) + 1) << "never ahead of the time passed";
}

TEST_F(MusicTest, SilentClockStopsWhenMusicPlaysAgain) {
  std::string good = dir_.File("good.wav");
  testsupport::WriteTestWav(good, testsupport::TestTone(1.0, 44100, 1), 44100, 1);
  ASSERT_EQ(sound::InitSound(0, nullptr), 0);
  ASSERT_EQ(sound::AddMusicFile(dir_.File("missing.mp3")), 0);
  ASSERT_EQ(sound::AddMusicFile(good), 1);
  EXPECT_FALSE(sound::PlayMusic(0));
  std::this_thread::sleep_for(20ms);
  ASSERT_GT(sound::GetMusicPosition(), 0u);
  ASSERT_TRUE(sound::PlayMusic(1));
  EXPECT_LT(sound::GetMusicPosition(), 176400u / 10) << "the stream's own clock, from its start";
}

TEST_F(MusicTest, TheListHoldsThirtyTwoEntriesAndCountedNames) {
  ASSERT_EQ(sound::InitSound(0, nullptr), 0);
  for (int i = 0; i < sound::kMusicCapacity; ++i) {
    ASSERT_EQ(sound::AddMusicFile(testsupport::Join({"m", std::to_string(i), ".mp3"})), i);
  }
  EXPECT_EQ(sound::AddMusicFile("one-too-many.mp3"), -1);
  EXPECT_EQ(sound::AddMusicMemory("x", 1), -1);
  EXPECT_EQ(sound::MusicLast, 31);
  EXPECT_STREQ(static_cast<const char*>(sound::GetMusicSource(31)), "m31.mp3");
  EXPECT_EQ(sound::GetMusicSource(32), nullptr);

  sound::ClearMusicList();
  EXPECT_EQ(sound::MusicLast, -1);
  EXPECT_EQ(sound::GetMusicSource(0), nullptr);
  std::string longest(255, 'a');
  ASSERT_EQ(sound::AddMusicFile(longest), 0);
  EXPECT_EQ(std::string(static_cast<const char*>(sound::GetMusicSource(0))), longest) << "reaches the library whole";
  EXPECT_EQ(sound::AddMusicFile(std::string(256, 'b')), -1);
  EXPECT_EQ(sound::MusicLast, 0);
  EXPECT_EQ(sound::AddMusicFile(""), 1);
  EXPECT_EQ(sound::GetMusicSource(1), nullptr) << "an empty name has no copy";
  EXPECT_FALSE(sound::PlayMusic(1));
}

TEST_F(MusicTest, MusicFromMemoryIsTheCallersBlock) {
  std::vector<unsigned char> mp3 = testsupport::EncodeTestMp3(testsupport::TestTone(0.5, 22050, 1), 22050, 1);
  ASSERT_EQ(sound::InitSound(0, nullptr), 0);
  ASSERT_EQ(sound::AddMusicMemory(mp3.data(), static_cast<std::uint32_t>(mp3.size())), 0);
  EXPECT_EQ(sound::GetMusicSource(0), mp3.data());
  EXPECT_EQ(sound::MusicList[0].fromMemory, 1);
  ASSERT_TRUE(sound::PlayMusic(0));
  // The level word follows the tone (a third of full scale) once it sounds.
  ASSERT_TRUE(WaitFor([] { return (sound::GetMusicLevel() & 0xFFFF) > 5000; }));
  EXPECT_LE(sound::GetMusicLevel() & 0xFFFF, 12000u);
}

TEST_F(MusicTest, RandomRepeatEndsWhenNothingCanBePlayed) {
  ASSERT_EQ(sound::InitSound(0, nullptr), 0);
  for (int i = 0; i < 4; ++i) sound::AddMusicFile(dir_.File("gone" + std::to_string(i) + ".mp3"));
  sound::SetRepeatMode(2);
  sound::MusicCurrent = 2;
  std::uint64_t calls = platform::AudioCallCount();
  sound::OnMusicEnd(0, 0, 0, nullptr);  // returns: the test would hang otherwise
  // Each of the three other entries was tried exactly once (start, create).
  EXPECT_EQ(platform::AudioCallCount() - calls, 3u * 3u);
  EXPECT_EQ(sound::MusicCurrent.load(), 2);

  // A single entry is played again, even in this mode.
  sound::ClearMusicList();
  std::string path = dir_.File("only.wav");
  testsupport::WriteTestWav(path, testsupport::TestTone(1.0, 44100, 1), 44100, 1);
  ASSERT_EQ(sound::AddMusicFile(path), 0);
  sound::MusicCurrent = 0;
  sound::OnMusicEnd(0, 0, 0, nullptr);
  EXPECT_NE(sound::MusicStream.load(), 0u);
  EXPECT_EQ(platform::ChannelIsActive(sound::MusicStream), platform::kChannelPlaying);
}

TEST_F(MusicTest, RandomRepeatPicksAnotherEntryThatPlays) {
  std::string path = dir_.File("other.wav");
  testsupport::WriteTestWav(path, testsupport::TestTone(1.0, 44100, 1), 44100, 1);
  ASSERT_EQ(sound::InitSound(0, nullptr), 0);
  sound::AddMusicFile(dir_.File("missing-a.mp3"));
  sound::AddMusicFile(dir_.File("current.mp3"));
  sound::AddMusicFile(path);
  sound::AddMusicFile(dir_.File("missing-b.mp3"));
  sound::SetRepeatMode(2);
  sound::MusicCurrent = 1;
  sound::OnMusicEnd(0, 0, 0, nullptr);
  EXPECT_EQ(sound::MusicCurrent.load(), 2);
  EXPECT_NE(sound::MusicStream.load(), 0u);
}

TEST_F(MusicTest, ANoticeForAStreamAlreadyReplacedRestartsNothing) {
  std::string path = dir_.File("long.wav");
  testsupport::WriteTestWav(path, testsupport::TestTone(2.0, 44100, 1), 44100, 1);
  ASSERT_EQ(sound::InitSound(0, nullptr), 0);
  ASSERT_EQ(sound::AddMusicFile(path), 0);
  ASSERT_EQ(sound::AddMusicFile(path), 1);
  ASSERT_TRUE(sound::PlayMusic(0));
  const std::uint32_t replaced = sound::MusicStream;
  ASSERT_TRUE(sound::PlayMusic(1));
  const std::uint32_t current = sound::MusicStream;
  // The old stream's notice arrives after PlayMusic replaced it.
  for (std::int32_t mode : {1, 2}) {
    sound::SetRepeatMode(mode);
    sound::OnMusicEnd(0, replaced, 0, nullptr);
    EXPECT_EQ(sound::MusicStream.load(), current) << "mode " << mode;
    EXPECT_EQ(sound::MusicCurrent.load(), 1);
  }
  // The current stream's own notice restarts it.
  sound::SetRepeatMode(1);
  sound::OnMusicEnd(0, current, 0, nullptr);
  EXPECT_NE(sound::MusicStream.load(), current);
  EXPECT_EQ(sound::MusicCurrent.load(), 1);
}

TEST_F(MusicTest, PositionSourceReplacesTheClock) {
  sound::SetMusicPositionSource([]() -> std::uint32_t { return 2190000; });
  EXPECT_EQ(sound::GetMusicPosition(), 2190000u);
  sound::SetMusicPositionSource(nullptr);
  EXPECT_EQ(sound::GetMusicPosition(), 0u);
}

TEST_F(MusicTest, SetUpZeroFillsTheListsButKeepsTheirLastIndices) {
  ASSERT_EQ(sound::InitSound(0, nullptr), 0);
  sound::AddMusicFile("a.mp3");
  sound::LoadSample(dir_.File("none.wav"));
  sound::CloseSound();
  ASSERT_EQ(sound::InitSound(0, nullptr), 0);
  EXPECT_EQ(sound::MusicLast, 0);
  EXPECT_EQ(sound::MusicList[0].source, nullptr);
  EXPECT_EQ(sound::SampleLast, 0);
  EXPECT_EQ(sound::SampleList[0].path, nullptr);
}

TEST_F(MusicTest, SourcesStayReadableAfterTheListIsClearedOrSetUpAgain) {
  ASSERT_EQ(sound::InitSound(0, nullptr), 0);
  ASSERT_EQ(sound::AddMusicFile("first.mp3"), 0);
  ASSERT_EQ(sound::AddMusicFile("second.mp3"), 1);
  const char* first = static_cast<const char*>(sound::GetMusicSource(0));
  const char* second = static_cast<const char*>(sound::GetMusicSource(1));
  sound::ClearMusicList();
  EXPECT_EQ(sound::GetMusicSource(0), nullptr);
  ASSERT_EQ(sound::AddMusicFile("third.mp3"), 0);
  sound::CloseSound();
  ASSERT_EQ(sound::InitSound(0, nullptr), 0);
  EXPECT_EQ(sound::MusicList[0].source, nullptr) << "set-up empties the entries";
  // Nothing the module handed out is ever given back.
  for (int i = 0; i < 200; ++i) sound::AddMusicFile(std::string(40, static_cast<char>('a' + i % 26)));
  EXPECT_STREQ(first, "first.mp3");
  EXPECT_STREQ(second, "second.mp3");
}

// Mixes on a thread of its own as fast as it can, as a device would that
// never waits; stopped and joined however the test ends.
class Pump {
 public:
  Pump() : thread_([this] {
      std::vector<std::int16_t> out(512 * 2);
      while (running_.load()) platform::MixOffline(out.data(), 512);
    }) {}
  ~Pump() { Stop(); }
  void Stop() {
    running_ = false;
    if (thread_.joinable()) thread_.join();
  }

 private:
  std::atomic<bool> running_{true};
  std::thread thread_;
};

// End notices arrive on the audio layer's thread while the main thread
// changes the repeat mode, edits the list, starts entries, reads sources and
// draws its own random numbers, and finally closes the library with notices
// still coming. A pump thread mixes as fast as it can, so a stream of a few
// milliseconds ends and is restarted hundreds of times. The sanitizers see
// the races; the test sees the outcome.
TEST_F(MusicTest, EndNoticesRaceModeChangesListEditsStartsAndClosing) {
  const std::string a = dir_.File("a.wav"), b = dir_.File("b.wav");
  testsupport::WriteTestWav(a, testsupport::TestTone(0.002, 44100, 1), 44100, 1);
  testsupport::WriteTestWav(b, testsupport::TestTone(0.003, 22050, 2), 22050, 2);
  const std::vector<unsigned char> inMemory =
      testsupport::EncodeTestWav(testsupport::TestTone(0.002, 44100, 1), 44100, 1);

  // The numbers the main thread draws when no music plays at all.
  constexpr int kDraws = 2000;
  platform::ResetRandom();
  std::vector<std::uint32_t> quiet;
  for (int i = 0; i < kDraws; ++i) quiet.push_back(platform::Random(1000));
  platform::ResetRandom();
  std::vector<std::uint32_t> drawn;

  constexpr int kRounds = 3;
  constexpr std::uint32_t kRestartsPerRound = 120;
  std::uint32_t restarts = 0;
  for (int round = 0; round < kRounds; ++round) {
    ASSERT_EQ(sound::InitSound(0, nullptr), 0);
    sound::SetRepeatMode(1);
    sound::ClearMusicList();
    ASSERT_EQ(sound::AddMusicFile(a), 0);
    ASSERT_EQ(sound::AddMusicFile(b), 1);
    ASSERT_EQ(sound::AddMusicMemory(inMemory.data(), static_cast<std::uint32_t>(inMemory.size())), 2);
    const char* kept = static_cast<const char*>(sound::GetMusicSource(0));
    Pump pump;
    ASSERT_TRUE(sound::PlayMusic(0));
    // Every start, by a notice or by this thread, makes a stream and its
    // notice: two handles. What this thread starts is taken off.
    const std::uint32_t firstHandle = sound::MusicStream;
    std::uint32_t ownStarts = 0;
    auto endRestarts = [&] {
      const std::uint32_t handles = sound::MusicStream.load() - firstHandle;
      return handles / 2 > ownStarts ? handles / 2 - ownStarts : 0;
    };
    auto deadline = std::chrono::steady_clock::now() + 60s;
    for (int step = 0; endRestarts() < kRestartsPerRound; ++step) {
      ASSERT_LT(std::chrono::steady_clock::now(), deadline)
          << "round " << round << ": only " << endRestarts() << " restarts";
      switch (step % 10) {
        case 0: sound::SetRepeatMode(2); break;
        case 1: sound::SetRepeatMode(1); break;
        case 2:
          sound::ClearMusicList();
          sound::AddMusicFile(a);
          sound::AddMusicFile(b);
          sound::AddMusicMemory(inMemory.data(), static_cast<std::uint32_t>(inMemory.size()));
          break;
        case 3:
          if (sound::PlayMusic(static_cast<std::uint32_t>(step / 10 % 4))) ++ownStarts;
          break;
        case 4: ASSERT_STREQ(kept, a.c_str()) << "a source handed out before the list was cleared"; break;
        case 5: sound::SetRepeatMode(0); break;
        case 6: sound::GetMusicPosition(); break;
        case 7:
          sound::SetRepeatMode(step / 10 % 2 + 1);
          if (sound::PlayMusic(1)) ++ownStarts;
          break;
        default:
          if (drawn.size() < quiet.size()) drawn.push_back(platform::Random(1000));
          std::this_thread::sleep_for(50us);
          break;
      }
    }
    restarts += endRestarts();
    sound::CloseSound();  // notices may still be queued or running
    pump.Stop();
    EXPECT_EQ(sound::MusicStream.load(), 0u);
  }
  EXPECT_GE(restarts, kRounds * kRestartsPerRound);
  ASSERT_FALSE(drawn.empty());
  EXPECT_TRUE(std::equal(drawn.begin(), drawn.end(), quiet.begin()))
      << "the music's random choices never change the main thread's numbers";

  // Afterwards the module still restarts its music as before.
  ASSERT_EQ(sound::InitSound(0, nullptr), 0);
  sound::SetRepeatMode(1);
  sound::ClearMusicList();
  ASSERT_EQ(sound::AddMusicFile(b), 0);
  ASSERT_TRUE(sound::PlayMusic(0));
  const std::uint32_t stream = sound::MusicStream;
  ASSERT_TRUE(WaitFor([&] { return sound::MusicStream.load() != stream; }));
  EXPECT_EQ(sound::MusicCurrent.load(), 0);
}

}  // namespace
