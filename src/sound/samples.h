#pragma once
// The sample bank: short sounds loaded from ".wav" files, played by index or
// by file name, and the reverb presets of the whole output. Shares the music
// module's set-up and its SoundFailed flag.
#include <cstdint>
#include <string_view>

namespace sound {

struct SampleEntry {
  const char* path = nullptr;  // the module's own copy; null for an empty path
  std::uint32_t sample = 0;    // the library's handle; 0 when loading failed
};

inline constexpr int kSampleCapacity = 128;

extern SampleEntry SampleList[kSampleCapacity];
extern std::int32_t SampleLast;

// The index of the new entry; -1 when the bank is full, the path is longer
// than 255 characters or set-up failed. A file that cannot be loaded still
// takes an entry, with sample 0.
std::int32_t LoadSample(std::string_view path);
// Every match of directory + "\*.wav", joined to the directory with one
// backslash, in the order the directory search gives them.
void LoadSampleDir(std::string_view directory);
bool PlaySample(std::uint32_t index);
// name is a file name without directory, compared ignoring the case of a-z
// with the part of each path after its last '/', ':' or '\'.
bool PlaySampleNamed(std::string_view name);
// The first entry whose file name matches as for PlaySampleNamed; -1 if none.
std::int32_t FindSampleNamed(std::string_view name);
// 0..25: the standard environment presets; anything else turns the reverb off.
void SetReverbPreset(std::int16_t preset);

struct ReverbPreset {
  std::int32_t environment;
  float volume;
  float decay;
  float damping;
};
// What SetReverbPreset passes to the library for a preset number.
ReverbPreset GetReverbPreset(std::int16_t preset);

// Zero-fills the table (set-up does this); SampleLast keeps its value.
void ClearSampleTable();

}  // namespace sound
