#include "shell/command_line.h"

#include <filesystem>

#include "quillon_version.h"
#include "shell/main_loop.h"
#include "shell/show_assets.h"

namespace shell {

namespace {

// Every option with its line of the usage text; options that take a value
// name it in the usage.
struct OptionRow {
  const char* name;
  const char* value;  // null: a flag
  const char* help;
};

constexpr OptionRow kOptions[] = {
    {"--help", nullptr, "print this help and exit"},
    {"--version", nullptr, "print the version and exit"},
    {"--window", nullptr, "play in an 800 x 600 window instead of fullscreen"},
    {"--fullscreen", nullptr, "play fullscreen (the default)"},
    {"--no-sound", nullptr, "open no audio device; the show runs on its silent clock"},
    {"--data", "DIR", "read the show's files from DIR"},
    {"--start", "POSITION", "begin at that music position (bytes of decoded music)"},
    {"--segment", "A-F", "begin at the start of that segment"},
    {"--loop", nullptr, "at the end start again from the beginning, until Escape"},
    {"--vsync", nullptr, "pace frames to the display"},
    {"--no-vsync", nullptr, "draw frames unpaced (default: the driver's own setting)"},
};

}  // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string_view>& arguments) {
  ParsedCommandLine parsed;
  CommandLine& options = parsed.options;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string_view argument = arguments[i];
    if (argument == "--help" || argument == "-h") {
      options.help = true;
    } else if (argument == "--version") {
      options.version = true;
    } else if (argument == "--window") {
      options.window = true;
    } else if (argument == "--fullscreen") {
      options.window = false;
    } else if (argument == "--no-sound") {
      options.noSound = true;
    } else if (argument == "--vsync") {
      options.pacing = Pacing::Display;
    } else if (argument == "--no-vsync") {
      options.pacing = Pacing::Unpaced;
    } else if (argument == "--loop") {
      options.loop = true;
    } else if (argument == "--start" || argument == "--segment") {
      if (i + 1 >= arguments.size()) {
        parsed.error = "quillon: " + std::string(argument) + " needs a value (see --help)";
        return parsed;
      }
      const std::string_view value = arguments[++i];
      std::optional<std::uint32_t> position;
      if (argument == "--segment") {
        if (value.size() == 1 && ((value[0] >= 'A' && value[0] <= 'F') || (value[0] >= 'a' && value[0] <= 'f'))) {
          const int index = (value[0] | 0x20) - 'a';
          position = SegmentStarts[index];
        }
      } else {
        std::uint64_t number = 0;
        bool digits = !value.empty() && value.size() <= 10;
        for (char c : value) {
          digits = digits && c >= '0' && c <= '9';
          if (digits) number = number * 10 + static_cast<std::uint64_t>(c - '0');
        }
        if (digits && number <= ShowEnd) position = static_cast<std::uint32_t>(number);
      }
      if (!position) {
        parsed.error = "quillon: bad value '" + std::string(value) + "' for " + std::string(argument) +
                       (argument == "--segment" ? " (A to F)" : " (0 to " + std::to_string(ShowEnd) + ")");
        return parsed;
      }
      options.start = *position;
    } else if (argument == "--data" || argument.starts_with("--data=")) {
      std::string_view value;
      if (argument == "--data") {
        if (i + 1 >= arguments.size()) {
          parsed.error = "quillon: --data needs a folder (see --help)";
          return parsed;
        }
        value = arguments[++i];
      } else {
        value = argument.substr(7);
      }
      if (value.empty()) {
        parsed.error = "quillon: --data needs a folder (see --help)";
        return parsed;
      }
      options.data = std::string(value);
    } else {
      parsed.error = "quillon: unknown option '" + std::string(argument) + "' (see --help)";
      return parsed;
    }
  }
  return parsed;
}

std::string UsageText() {
  std::string text =
      "Usage: quillon [OPTION]...\n"
      "Plays the Quillon demo: about 79 seconds of effects in time with its music.\n"
      "\nOptions:\n";
  for (const OptionRow& row : kOptions) {
    std::string left = std::string("  ") + row.name + (row.value ? std::string(" ") + row.value : "");
    if (left.size() < 20) left.resize(20, ' ');
    text += left + row.help + "\n";
  }
  text +=
      "\nKeys:\n"
      "  Escape            end the show\n"
      "  Space             pause and resume\n"
      "  Left, Right       seek 5 seconds back, forward\n"
      "  Page Up, Down     the previous, the next segment's start\n"
      "  1 to 6            the start of segment A to F\n"
      "  Home              start again from the beginning\n"
      "  F                 switch between fullscreen and a window\n"
      "  H                 show or hide the position, segment, frame rate and keys\n"
      "\nWithout --data the show reads the working folder when it holds the show's\n"
      "files, else the set installed with it (../share/games/quillon/show beside\n"
      "the program). Exit status: 0 at the end of the show, 2 for a bad option or\n"
      "no show data, 217 for a missing or damaged file.\n";
  return text;
}

std::string VersionLine() { return std::string("quillon ") + QUILLON_VERSION + "\n"; }

bool HoldsShowData(const std::string& folder) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path base(folder.empty() ? "." : folder);
  auto has = [&](const std::string& name) { return fs::is_regular_file(base / name, error); };
  for (const PictureEntry& picture : TitlePictures) {
    if (has(picture.fileName)) return true;
  }
  for (int i = 0; i < kVideoFrameCount; ++i) {
    if (has(std::to_string(i) + ".jpg")) return true;
  }
  for (const char* name : {"ballenv.tga", "env2.tga", "dreams07.tga", "pkode.3dw", "cam.3dw", "ize._3d",
                           "music.mp3"}) {
    if (has(name)) return true;
  }
  return false;
}

DataFolder ChooseDataFolder(const std::string& requested, const std::string& workingFolder,
                            const std::string& executable) {
  if (!requested.empty()) {
    if (HoldsShowData(requested)) return {requested, {}};
    return {{}, "quillon: no show data in '" + requested + "'"};
  }
  if (HoldsShowData(workingFolder)) return {workingFolder, {}};
  std::string error = "quillon: no show data in '" + workingFolder + "'";
  if (!executable.empty()) {
    const std::filesystem::path installed =
        std::filesystem::path(executable).parent_path() / ".." / "share" / "games" / "quillon" / "show";
    const std::string installedName = installed.lexically_normal().string();
    if (HoldsShowData(installedName)) return {installedName, {}};
    error += " nor in '" + installedName + "'";
  }
  return {{}, error + " (give the folder with --data DIR)"};
}

}  // namespace shell
