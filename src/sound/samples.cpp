#include "sound/samples.h"

#include <cstring>
#include <string>

#include "platform/audio.h"
#include "platform/files.h"
#include "sound/music.h"

namespace sound {

SampleEntry SampleList[kSampleCapacity] = {};
std::int32_t SampleLast = -1;

namespace {

constexpr std::uint32_t kMostPlaybacks = 65535;

// The standard EAX 2.0 environments: volume, decay time (s), damping.
constexpr ReverbPreset kPresets[26] = {
    {0, 0.5f, 1.493f, 0.5f},     // generic
    {1, 0.25f, 0.1f, 0.0f},      // padded cell
    {2, 0.417f, 0.4f, 0.666f},   // room
    {3, 0.653f, 1.499f, 0.166f}, // bathroom
    {4, 0.208f, 0.478f, 0.0f},   // living room
    {5, 0.5f, 2.309f, 0.888f},   // stone room
    {6, 0.403f, 4.279f, 0.5f},   // auditorium
    {7, 0.5f, 3.961f, 0.5f},     // concert hall
    {8, 0.5f, 2.886f, 1.304f},   // cave
    {9, 0.361f, 7.284f, 0.332f}, // arena
    {10, 0.5f, 10.0f, 0.3f},     // hangar
    {11, 0.153f, 0.259f, 2.0f},  // carpeted hallway
    {12, 0.361f, 1.493f, 0.0f},  // hallway
    {13, 0.444f, 2.697f, 0.638f},// stone corridor
    {14, 0.25f, 1.752f, 0.776f}, // alley
    {15, 0.111f, 3.145f, 0.472f},// forest
    {16, 0.111f, 2.767f, 0.224f},// city
    {17, 0.194f, 7.841f, 0.472f},// mountains
    {18, 1.0f, 1.499f, 0.5f},    // quarry
    {19, 0.097f, 2.767f, 0.224f},// plain
    {20, 0.208f, 1.652f, 1.5f},  // parking lot
    {21, 0.652f, 2.886f, 0.25f}, // sewer pipe
    {22, 1.0f, 1.499f, 0.0f},    // underwater
    {23, 0.875f, 8.392f, 1.388f},// drugged
    {24, 0.139f, 17.234f, 0.666f},// dizzy
    {25, 0.486f, 7.563f, 0.806f},// psychotic
};

// Volume 0 with every other setting left as it was.
constexpr ReverbPreset kReverbOff = {-1, 0.0f, -1.0f, -1.0f};

bool IsSeparator(char c) { return c == '/' || c == ':' || c == '\\'; }

std::string_view FileNamePart(std::string_view path) {
  for (std::size_t i = path.size(); i > 0; --i) {
    if (IsSeparator(path[i - 1])) return path.substr(i);
  }
  return path;
}

char FoldAtoZ(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldAtoZ(a[i]) != FoldAtoZ(b[i])) return false;
  }
  return true;
}

}  // namespace

void ClearSampleTable() {
  for (SampleEntry& entry : SampleList) {
    delete[] entry.path;
    entry = SampleEntry{};
  }
}

std::int32_t LoadSample(std::string_view path) {
  if (SoundFailed) return -1;
  if (SampleLast + 1 >= kSampleCapacity) return -1;
  if (path.size() > kMaxNameLength) return -1;
  ++SampleLast;
  SampleEntry& entry = SampleList[SampleLast];
  delete[] entry.path;
  entry = SampleEntry{};
  if (!path.empty()) {
    char* copy = new char[path.size() + 1];
    std::memcpy(copy, path.data(), path.size());
    copy[path.size()] = '\0';
    entry.path = copy;
  }
  // A failed load keeps its entry: indices stay those of the directory order.
  entry.sample = entry.path ? platform::SampleLoad(false, entry.path, 0, 0, kMostPlaybacks, 0) : 0;
  return SampleLast;
}

void LoadSampleDir(std::string_view directory) {
  if (SoundFailed) return;
  if (directory.size() > kMaxNameLength) return;
  std::string pattern(directory);
  pattern.append("\\*.wav");
  // The search pattern splits at its last separator into the folder to list
  // and the names to match; a pattern that starts with one lists the root.
  std::size_t split = pattern.find_last_of("/\\");
  std::string folder = split == 0 ? std::string(1, '/') : pattern.substr(0, split);
  std::string names = pattern.substr(split + 1);
  for (const std::string& name : platform::FindFiles(folder, names)) {
    std::string path(directory);
    path.push_back('\\');
    path.append(name);
    LoadSample(path);
  }
}

bool PlaySample(std::uint32_t index) {
  if (SoundFailed) return false;
  if (SampleLast < 0 || index > static_cast<std::uint32_t>(SampleLast)) return false;
  std::uint32_t sample = SampleList[index].sample;
  if (static_cast<std::int16_t>(platform::ChannelIsActive(sample) & 0xFFFF) > 0) {
    platform::SampleStop(sample);
  }
  return platform::SamplePlay(sample) != 0;
}

std::int32_t FindSampleNamed(std::string_view name) {
  for (std::int32_t i = 0; i <= SampleLast && i < kSampleCapacity; ++i) {
    const char* path = SampleList[i].path;
    if (SameIgnoringCase(FileNamePart(path ? std::string_view(path) : std::string_view()), name)) return i;
  }
  return -1;
}

bool PlaySampleNamed(std::string_view name) {
  if (SoundFailed) return false;
  std::int32_t index = FindSampleNamed(name);
  return index >= 0 && PlaySample(static_cast<std::uint32_t>(index));
}

ReverbPreset GetReverbPreset(std::int16_t preset) {
  if (preset >= 0 && preset <= 25) return kPresets[preset];
  return kReverbOff;
}

void SetReverbPreset(std::int16_t preset) {
  ReverbPreset p = GetReverbPreset(preset);
  platform::SetEAXParameters(p.environment, p.volume, p.decay, p.damping);
}

}  // namespace sound
