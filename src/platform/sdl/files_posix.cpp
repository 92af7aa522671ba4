// Folder searches, replacing files, standard input and file sizes on POSIX
// systems.
#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

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

std::FILE* OpenStandardInput() {
  const int descriptor = dup(fileno(stdin));
  if (descriptor < 0) return nullptr;
  std::FILE* file = fdopen(descriptor, "rb");
  if (!file) close(descriptor);
  return file;
}

bool SizeKnownInAdvance(std::FILE* file, std::uint64_t& size) {
  struct stat info {};
  if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  size = static_cast<std::uint64_t>(info.st_size);
  return true;
}

}  // namespace backend
std::string ExecutablePath() {
  // The link names the file even when the program was started through a
  // relative path or another link.
  std::string path(4096, '\0');
  const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
  if (length <= 0 || static_cast<std::size_t>(length) >= path.size()) return {};
  path.resize(static_cast<std::size_t>(length));
  return path;
}

}  // namespace platform
