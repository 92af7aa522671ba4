// quillon-sound: loads the ".wav" files of a folder into the sample bank and
// plays one of them by name, with a reverb preset, until it has ended.
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/audio.h"
#include "platform/files.h"
#include "sound/music.h"
#include "sound/samples.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

void PrintUsage(std::FILE* to) {
  std::fprintf(to,
               "usage: quillon-sound play DIR NAME [PRESET]\n"
               "       quillon-sound --help\n"
               "\n"
               "Loads every .wav file of DIR into the sample bank, plays the one called\n"
               "NAME (a file name, letters a-z in any case) and waits until it has ended.\n"
               "PRESET is a reverb environment from 0 to 25 (0 generic, 1 padded cell,\n"
               "2 room, 3 bathroom, 4 living room, 5 stone room, 6 auditorium, 7 concert\n"
               "hall, 8 cave, 9 arena, 10 hangar, 11 carpeted hallway, 12 hallway,\n"
               "13 stone corridor, 14 alley, 15 forest, 16 city, 17 mountains, 18 quarry,\n"
               "19 plain, 20 parking lot, 21 sewer pipe, 22 underwater, 23 drugged,\n"
               "24 dizzy, 25 psychotic); any other number, or none, plays it dry.\n"
               "\n"
               "A WAV file whose data is shorter than its header says is refused.\n"
               "\n"
               "Exit codes: 0 played, 1 no audio output, DIR missing or without .wav files,\n"
               "no file called NAME (the names there are are listed) or a file that cannot\n"
               "be played, 2 wrong arguments. Each failure is one line on standard error.\n");
}

bool ParsePreset(const char* text, std::int16_t& preset) {
  char* end = nullptr;
  long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value < -32768 || value > 32767) return false;
  preset = static_cast<std::int16_t>(value);
  return true;
}

std::uint32_t Little32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// Why a WAV file is not whole, or "" when its chunks (the data chunk above
// all) fit in the file. A cut file would otherwise play as a click.
std::string WhyNotWholeWav(const std::string& path) {
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec) return ec.message();
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return std::strerror(errno);
  std::vector<unsigned char> bytes(static_cast<std::size_t>(size));
  const bool read = std::fread(bytes.data(), 1, bytes.size(), f) == bytes.size();
  std::fclose(f);
  if (!read) return "cannot be read";
  if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 || std::memcmp(&bytes[8], "WAVE", 4) != 0) {
    return "not a WAV file";
  }
  std::size_t at = 12;
  while (at + 8 <= bytes.size()) {
    const std::uint64_t length = Little32(&bytes[at + 4]);
    if (at + 8 + length > bytes.size()) {
      return "cut short: its \"" + std::string(reinterpret_cast<const char*>(&bytes[at]), 4) + "\" chunk needs " +
             std::to_string(length) + " bytes, " + std::to_string(bytes.size() - at - 8) + " remain";
    }
    if (std::memcmp(&bytes[at], "data", 4) == 0) return "";
    at += 8 + length + (length & 1);
  }
  return "no \"data\" chunk";
}

int Play(const std::string& dir, const std::string& name, std::int16_t preset) {
  std::int32_t result = sound::InitSound(0, nullptr);
  if (result != 0) {
    std::fprintf(stderr, "quillon-sound: no audio output (BASS init error ( %d ))\n", result);
    return kExitFailed;
  }
  sound::LoadSampleDir(dir);
  if (sound::SampleLast < 0) {
    std::fprintf(stderr, "quillon-sound: %s: no .wav files in this folder\n", dir.c_str());
    sound::CloseSound();
    return kExitFailed;
  }
  std::int32_t index = sound::FindSampleNamed(name);
  if (index < 0) {
    std::string names;
    for (std::int32_t i = 0; i <= sound::SampleLast; ++i) {
      const std::string path = platform::NativePath(sound::SampleList[i].path);
      names += (i ? ", " : "") + std::filesystem::path(path).filename().string();
    }
    std::fprintf(stderr, "quillon-sound: %s: no file called \"%s\"; there are %s\n", dir.c_str(), name.c_str(),
                 names.c_str());
    sound::CloseSound();
    return kExitFailed;
  }
  const std::string path = platform::NativePath(sound::SampleList[index].path);
  const std::string whyNot = WhyNotWholeWav(path);
  if (!whyNot.empty()) {
    std::fprintf(stderr, "quillon-sound: %s: %s\n", path.c_str(), whyNot.c_str());
    sound::CloseSound();
    return kExitFailed;
  }
  sound::SetReverbPreset(preset);
  if (!sound::PlaySample(static_cast<std::uint32_t>(index))) {
    std::fprintf(stderr, "quillon-sound: %s: cannot be played (not a readable WAV file)\n", path.c_str());
    sound::CloseSound();
    return kExitFailed;
  }
  auto started = std::chrono::steady_clock::now();
  std::uint32_t sample = sound::SampleList[index].sample;
  while (platform::ChannelIsActive(sample) == platform::kChannelPlaying) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  // The reverb's tail outlasts the sound itself; let it die away (at most a
  // few seconds, however long the environment's decay).
  platform::ReverbSettings reverb = platform::GetEAXParameters();
  if (reverb.volume > 0.0f) {
    double tail = std::min(3.0, static_cast<double>(reverb.decay));
    std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<int>(tail * 1000)));
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  sound::CloseSound();
  std::printf("played %s (%.2f s)\n", path.c_str(), seconds);
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    PrintUsage(stdout);
    return kExitOk;
  }
  if (argc < 2 || std::strcmp(argv[1], "play") != 0 || argc < 4 || argc > 5) {
    PrintUsage(stderr);
    return kExitUsage;
  }
  std::int16_t preset = -1;
  if (argc == 5 && !ParsePreset(argv[4], preset)) {
    std::fprintf(stderr, "quillon-sound: PRESET must be a whole number, not \"%s\"\n", argv[4]);
    return kExitUsage;
  }
  std::error_code ec;
  if (!std::filesystem::is_directory(argv[2], ec)) {
    std::fprintf(stderr, "quillon-sound: %s: %s\n", argv[2],
                 std::filesystem::exists(argv[2], ec) ? "not a folder" : "no such folder");
    return kExitFailed;
  }
  return Play(argv[2], argv[3], preset);
}
