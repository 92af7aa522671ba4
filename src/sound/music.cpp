#include "sound/music.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <set>
#include <string>

#include "platform/audio.h"
#include "platform/random.h"
#include "sound/samples.h"

namespace sound {

std::atomic<bool> SoundFailed{false};
MusicEntry MusicList[kMusicCapacity] = {};
std::int32_t MusicLast = -1;
std::atomic<std::int32_t> MusicCurrent{-1};
std::atomic<std::uint32_t> MusicStream{0};
std::atomic<std::int32_t> RepeatMode{1};

namespace {

constexpr std::uint32_t kOutputRate = 44100;
// 16-bit stereo at 44,100 Hz: what the show's positions were laid out in.
constexpr double kSilentUnitsPerSecond = 176400.0;

std::atomic<PositionSource> gPositionSource{nullptr};

// While the music that should be playing could not be started, the show runs
// on this clock from the moment it should have started; 0 = not running.
std::atomic<std::int64_t> gSilentSince{0};
// The silent clock's reading while the player holds it paused; -1 running.
std::atomic<std::int64_t> gSilentHeld{-1};
std::atomic<bool> gPaused{false};

// Stop, free, create, register and play form one step: the end handler on
// the audio thread and the main thread must not interleave them, or a
// stream would be lost while still playing. The list's edits take it too, so
// that the handler sees the list whole, and so does the handler's own
// generator.
std::mutex gPlayMutex;

// The file names the list has held, one copy of each, kept for the life of
// the process (the set is never destroyed, so exit handlers may still read
// them). A list cleared and filled again with the same names takes no more
// memory.
std::set<std::string>& FileNames() {
  static auto* names = new std::set<std::string>;
  return *names;
}

const char* KeepFileName(std::string_view name) {
  return FileNames().emplace(name).first->c_str();
}

// The end handler's random choices come from a generator of its own: the
// main thread's sequence must not depend on when the music happens to end.
platform::RandomGenerator gEndRandom;

std::int64_t SteadyNow() {
  auto now = std::chrono::steady_clock::now().time_since_epoch();
  std::int64_t ns = std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
  return ns == 0 ? 1 : ns;
}

std::int32_t AddEntry(std::uint8_t fromMemory, const void* source, std::uint32_t length) {
  if (MusicLast + 1 >= kMusicCapacity) return -1;
  ++MusicLast;
  MusicEntry& entry = MusicList[MusicLast];
  entry.fromMemory = fromMemory;
  entry.source = source;
  entry.length = length;
  return MusicLast;
}

bool PlayMusicLocked(std::uint32_t index) {
  if (SoundFailed) return false;
  if (MusicLast < 0 || index > static_cast<std::uint32_t>(MusicLast)) return false;
  std::uint32_t stream = MusicStream.load();
  if (static_cast<std::int16_t>(platform::ChannelIsActive(stream) & 0xFFFF) > 0) {
    platform::AudioStop();
    platform::StreamFree(stream);
  }
  platform::AudioStart();
  const MusicEntry& entry = MusicList[index];
  stream = platform::StreamCreateFile(entry.fromMemory != 0, entry.source, 0, entry.length, 0);
  MusicStream.store(stream);
  if (stream == 0) {
    gSilentSince.store(SteadyNow());
    return false;
  }
  platform::ChannelSetSync(stream, platform::kSyncEnd, 0, OnMusicEnd, nullptr);
  platform::StreamPlay(stream, true, 0);
  gSilentSince.store(0);
  MusicCurrent.store(static_cast<std::int32_t>(index));
  return true;
}

}  // namespace

std::int32_t InitSound(std::uint16_t device, void* window) {
  if (SoundFailed) return 2;
  {
    std::lock_guard<std::mutex> lock(gPlayMutex);
    for (MusicEntry& entry : MusicList) entry = MusicEntry{};
  }
  ClearSampleTable();
  if (platform::AudioGetVersion() != platform::kAudioVersion) {
    SoundFailed = true;
    return 1;
  }
  if (!platform::AudioInit(device, kOutputRate, platform::kAudioDeviceMono, window)) {
    SoundFailed = true;
    return 2;
  }
  platform::AudioStart();
  return 0;
}

void CloseSound() {
  if (SoundFailed) return;
  platform::AudioStop();
  // Waits for an end handler that is running; a notice still queued is
  // dropped with the library.
  platform::AudioFree();
  // Freeing the library released the stream with it, and a restart that the
  // closing cut short is no reason for the silent clock.
  MusicStream.store(0);
  gSilentSince.store(0);
}

std::int32_t AddMusicFile(std::string_view name) {
  if (SoundFailed) return -1;
  // Names are counted strings of at most 255 characters; a longer one is
  // refused rather than cut into the name of some other file.
  if (name.size() > kMaxNameLength) return -1;
  std::lock_guard<std::mutex> lock(gPlayMutex);
  if (MusicLast + 1 >= kMusicCapacity) return -1;
  return AddEntry(0, name.empty() ? nullptr : KeepFileName(name), 0);
}

std::int32_t AddMusicMemory(const void* data, std::uint32_t length) {
  if (SoundFailed) return -1;
  std::lock_guard<std::mutex> lock(gPlayMutex);
  return AddEntry(1, data, length);
}

const void* GetMusicSource(std::uint32_t index) {
  if (SoundFailed) return nullptr;
  std::lock_guard<std::mutex> lock(gPlayMutex);
  if (MusicLast < 0 || index > static_cast<std::uint32_t>(MusicLast)) return nullptr;
  return MusicList[index].source;
}

void ClearMusicList() {
  if (SoundFailed) return;
  std::lock_guard<std::mutex> lock(gPlayMutex);
  for (std::int32_t i = 0; i <= MusicLast && i < kMusicCapacity; ++i) MusicList[i].source = nullptr;
  MusicLast = -1;
}

void SetRepeatMode(std::int32_t mode) {
  if (!SoundFailed) RepeatMode = mode;
}

bool PlayMusic(std::uint32_t index) {
  std::lock_guard<std::mutex> lock(gPlayMutex);
  return PlayMusicLocked(index);
}

void OnMusicEnd(std::uint32_t, std::uint32_t channel, std::uint32_t, void*) {
  std::lock_guard<std::mutex> lock(gPlayMutex);
  if (channel != MusicStream.load()) return;
  const std::int32_t mode = RepeatMode.load();
  if (mode == 1) {
    PlayMusicLocked(static_cast<std::uint32_t>(MusicCurrent.load()));
    return;
  }
  if (mode != 2) return;
  // Redraw after every failure, but never an entry that has already failed:
  // when nothing plays, this ends once every other entry has been tried.
  const std::int32_t current = MusicCurrent.load();
  const std::int32_t count = MusicLast + 1;
  bool failed[kMusicCapacity] = {};
  for (;;) {
    std::int32_t candidate = current;
    if (count > 1) {
      int others = 0;
      for (std::int32_t i = 0; i < count; ++i) others += (i != current && !failed[i]) ? 1 : 0;
      if (others == 0) return;
      do {
        candidate = static_cast<std::int32_t>(platform::Random(gEndRandom, static_cast<std::uint32_t>(count)));
      } while (candidate == current || failed[candidate]);
    }
    if (PlayMusicLocked(static_cast<std::uint32_t>(candidate))) return;
    if (count <= 1 || candidate < 0 || candidate >= kMusicCapacity) return;
    failed[candidate] = true;
  }
}

void StartSilentClock() { gSilentSince.store(SteadyNow()); }

namespace {

// Sets the silent clock so that it reads position now; never 0, which
// means the clock is not running.
void SetSilentClock(std::uint32_t position) {
  const auto offset = static_cast<std::int64_t>(static_cast<double>(position) / kSilentUnitsPerSecond * 1e9);
  gSilentSince.store(std::max<std::int64_t>(1, SteadyNow() - offset));
  if (gSilentHeld.load() >= 0) gSilentHeld.store(position);
}

}  // namespace

bool SeekMusic(std::uint32_t position) {
  std::lock_guard<std::mutex> lock(gPlayMutex);
  if (gSilentSince.load() != 0) {
    SetSilentClock(position);
    return true;
  }
  const std::uint32_t stream = MusicStream.load();
  if (!platform::ChannelSetPosition(stream, position)) return false;
  // A stream that had reached its end plays again from there, unless the
  // player holds it paused.
  if (!gPaused.load()) platform::ChannelResume(stream);
  return true;
}

void PauseMusic(bool pause) {
  std::lock_guard<std::mutex> lock(gPlayMutex);
  if (pause == gPaused.load()) return;
  gPaused.store(pause);
  if (gSilentSince.load() != 0) {
    if (pause) {
      const std::int64_t since = gSilentSince.load();
      gSilentHeld.store(static_cast<std::int64_t>(static_cast<double>(SteadyNow() - since) * 1e-9 *
                                                  kSilentUnitsPerSecond));
    } else {
      const std::int64_t held = gSilentHeld.exchange(-1);
      if (held >= 0) SetSilentClock(static_cast<std::uint32_t>(held));
    }
    return;
  }
  if (pause) {
    platform::ChannelPause(MusicStream.load());
  } else {
    platform::ChannelResume(MusicStream.load());
  }
}

bool MusicPaused() { return gPaused.load(); }

std::uint32_t GetMusicPosition() {
  if (PositionSource source = gPositionSource.load()) return source();
  if (const std::int64_t held = gSilentHeld.load(); held >= 0) return static_cast<std::uint32_t>(held);
  std::int64_t since = gSilentSince.load();
  if (since != 0) {
    double seconds = static_cast<double>(SteadyNow() - since) * 1e-9;
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(seconds * kSilentUnitsPerSecond));
  }
  return platform::ChannelGetPosition(MusicStream.load());
}

std::uint32_t GetMusicLevel() { return platform::ChannelGetLevel(MusicStream.load()); }

void SetMusicPositionSource(PositionSource source) { gPositionSource.store(source); }

}  // namespace sound
