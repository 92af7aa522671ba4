#pragma once
// The music play list, its stream and the show's clock: the playback
// position in bytes of decoded audio.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace sound {

struct MusicEntry {
  std::uint8_t fromMemory = 0;
  // The module's own copy of the file name, or the caller's data. A copy is
  // never released, so a pointer GetMusicSource gave stays valid for the
  // life of the process, whatever happens to the list.
  const void* source = nullptr;
  std::uint32_t length = 0;
};

inline constexpr int kMusicCapacity = 32;
// Names are counted strings: longer ones are refused by the add operations.
inline constexpr std::size_t kMaxNameLength = 255;

// Threads: the operations below are the main thread's. The end handler
// runs on the audio library's notice thread; it reads the list and starts
// streams under the module's lock, which the list's edits and PlayMusic take
// too. The values both threads read outside that lock are atomic.
extern std::atomic<bool> SoundFailed;
extern MusicEntry MusicList[kMusicCapacity];
extern std::int32_t MusicLast;
extern std::atomic<std::int32_t> MusicCurrent;
extern std::atomic<std::uint32_t> MusicStream;
extern std::atomic<std::int32_t> RepeatMode;

// 0 ready, 1 wrong library version, 2 the library refused (or no device).
std::int32_t InitSound(std::uint16_t device, void* window);
void CloseSound();
std::int32_t AddMusicFile(std::string_view name);     // -1 when refused
std::int32_t AddMusicMemory(const void* data, std::uint32_t length);
const void* GetMusicSource(std::uint32_t index);
void ClearMusicList();
void SetRepeatMode(std::int32_t mode);
bool PlayMusic(std::uint32_t index);
// Acts only on the end of the stream that is still MusicStream: a notice
// that was on its way while PlayMusic replaced the stream has nothing to
// restart.
void OnMusicEnd(std::uint32_t handle, std::uint32_t channel, std::uint32_t data, void* user);
std::uint32_t GetMusicPosition();
// Starts the silent clock from now, as a music file that cannot be played
// does: for a show run without an audio device.
void StartSilentClock();
// The player's controls, on the music stream itself when one plays (the
// next samples heard are those at that position) and on the silent clock
// otherwise. A seek at or past the music's end is refused (false).
bool SeekMusic(std::uint32_t position);
// Pauses (true) or resumes (false) the music and the clock with it.
void PauseMusic(bool pause);
bool MusicPaused();
std::uint32_t GetMusicLevel();

// Offline rendering replaces the clock: while a source is set,
// GetMusicPosition returns its value. Null restores the music's own clock.
using PositionSource = std::uint32_t (*)();
void SetMusicPositionSource(PositionSource source);

}  // namespace sound
