// Folder searches and replacing files on POSIX systems.
#include <dirent.h>
#include <fnmatch.h>

#include <cstdio>
#include <cstring>

#include "platform/backend.h"
#include "platform/files.h"

namespace platform {

std::vector<std::string> FindFiles(std::string_view directory, std::string_view pattern) {
  std::vector<std::string> names;
  std::string dir = NativePath(directory.empty() ? std::string_view(".") : directory);
  DIR* listing = opendir(dir.c_str());
  if (!listing) return names;
  std::string glob(pattern);
  while (dirent* entry = readdir(listing)) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    // Names match whatever their letter case, as the folder searches of the
    // system this was written for do: "KICK.WAV" is one of "*.wav".
    if (fnmatch(glob.c_str(), entry->d_name, FNM_CASEFOLD) == 0) names.emplace_back(entry->d_name);
  }
  closedir(listing);
  return names;
}

namespace backend {

// rename replaces the target in one step.
bool MoveOver(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace backend
}  // namespace platform
