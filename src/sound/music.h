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
  const void* source = nullptr;  // a heap copy of the file name, or the caller's data
  std::uint32_t length = 0;
};

inline constexpr int kMusicCapacity = 32;
// Names are counted strings: longer ones are refused by the add operations.
inline constexpr std::size_t kMaxNameLength = 255;

extern bool SoundFailed;
extern MusicEntry MusicList[kMusicCapacity];
extern std::int32_t MusicLast;
extern std::atomic<std::int32_t> MusicCurrent;
extern std::atomic<std::uint32_t> MusicStream;
extern std::int32_t RepeatMode;

// 0 ready, 1 wrong library version, 2 the library refused (or no device).
std::int32_t InitSound(std::uint16_t device, void* window);
void CloseSound();
std::int32_t AddMusicFile(std::string_view name);     // -1 when refused
std::int32_t AddMusicMemory(const void* data, std::uint32_t length);
const void* GetMusicSource(std::uint32_t index);
void ClearMusicList();
void SetRepeatMode(std::int32_t mode);
bool PlayMusic(std::uint32_t index);
void OnMusicEnd(std::uint32_t handle, std::uint32_t channel, std::uint32_t data, void* user);
std::uint32_t GetMusicPosition();
std::uint32_t GetMusicLevel();

// Offline rendering replaces the clock: while a source is set,
// GetMusicPosition returns its value. Null restores the music's own clock.
using PositionSource = std::uint32_t (*)();
void SetMusicPositionSource(PositionSource source);

}  // namespace sound
