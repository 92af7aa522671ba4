#pragma once
// The show's command line: the options a viewer gives the player, the usage
// text that lists them with the keys, and the folder the show reads.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace shell {

// -1 leaves the driver's own swap interval; 0 unpaced; 1 one frame per
// refresh.
enum class Pacing { DriverDefault = -1, Unpaced = 0, Display = 1 };

struct CommandLine {
  bool help = false;
  bool version = false;
  bool window = false;    // an 800 x 600 window instead of fullscreen
  bool noSound = false;   // no audio device: the silent clock
  Pacing pacing = Pacing::DriverDefault;
  std::string data;       // empty: the working folder, else the installed set
  std::uint32_t start = 0;  // music position to begin at
  bool loop = false;        // start again at the end, until Escape
};

// The options after the program name. An unknown option, a missing or bad
// value: the one-line message for standard error in error.
struct ParsedCommandLine {
  CommandLine options;
  std::string error;
};
ParsedCommandLine ParseCommandLine(const std::vector<std::string_view>& arguments);

// The usage text --help prints: every option and every key.
std::string UsageText();
// The one line --version prints.
std::string VersionLine();

// True when the folder holds any of the show's files.
bool HoldsShowData(const std::string& folder);
// The folder the show reads: --data when given; else the working folder when
// it holds any of the show's files; else the installed set beside the
// executable (<its folder>/../share/games/quillon/show). When none holds
// any, folder is empty and error is the one line that names where the show
// looked.
struct DataFolder {
  std::string folder;
  std::string error;
};
DataFolder ChooseDataFolder(const std::string& requested, const std::string& workingFolder,
                            const std::string& executable);

}  // namespace shell
