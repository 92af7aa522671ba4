#include <cstdio>
#include <filesystem>
#include <new>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/files.h"
#include "platform/out_of_memory.h"
#include "platform/present.h"
#include "platform/process.h"
#include "platform/window.h"
#include "shell/command_line.h"
#include "shell/main_loop.h"
#include "shell/startup.h"

namespace {

// A folder name as the program holds it (UTF-8) for the file system.
std::filesystem::path FolderPath(const std::string& name) {
  return std::filesystem::path(std::u8string(name.begin(), name.end()));
}

}  // namespace

int main(int argc, char** argv) {
  // Started again as the helper that shows a message box: only that.
  if (int helper = platform::ServeMessageBox(argc, argv); helper >= 0) return helper;

  std::vector<std::string_view> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  const shell::ParsedCommandLine parsed = shell::ParseCommandLine(arguments);
  if (!parsed.error.empty()) {
    std::fprintf(stderr, "%s\n", parsed.error.c_str());
    return 2;
  }
  const shell::CommandLine& options = parsed.options;
  if (options.help) {
    std::fputs(shell::UsageText().c_str(), stdout);
    return 0;
  }
  if (options.version) {
    std::fputs(shell::VersionLine().c_str(), stdout);
    return 0;
  }

  // The show reads its files by their bare names from the folder it runs
  // in; a folder without any of them is refused before a window opens,
  // rather than with one box per missing file.
  std::error_code error;
  const std::filesystem::path working = std::filesystem::current_path(error);
  const shell::DataFolder data = shell::ChooseDataFolder(
      options.data, error ? std::string(".") : working.string(), platform::ExecutablePath());
  if (data.folder.empty()) {
    std::fprintf(stderr, "%s\n", data.error.c_str());
    return 2;
  }
  std::filesystem::current_path(FolderPath(data.folder), error);
  if (error) {
    std::fprintf(stderr, "quillon: cannot enter '%s': %s\n", data.folder.c_str(), error.message().c_str());
    return 2;
  }

  platform::SwapIntervalRequest = static_cast<int>(options.pacing);
  shell::ShowOptions show;
  show.window = options.window;
  show.noSound = options.noSound;
  show.start = options.start;
  shell::LoopShow = options.loop;

  // Before any thread starts, so every thread shares the handlers.
  platform::InstallStopRequests();
  platform::InstallOutOfMemoryReport();
  try {
    return shell::RunShow(show);
  } catch (const std::bad_alloc&) {
    // A refusal the report did not see first (one thrown as an exception
    // rather than by operator new) ends the same way.
    platform::RaiseOutOfMemory();
  }
}
