#pragma once
// Output files of the tools: checked before any work starts, written under a
// temporary name beside the final one and moved into place only when whole,
// so that a failed run never leaves a half-written file under the name the
// user asked for. Header-only: each tool includes it from its own folder.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace tools {

// The one-line failure of a tool: "PROGRAM: FILE: reason".
[[noreturn]] inline void FailOn(const char* program, const std::string& file, const std::string& reason, int code) {
  std::fprintf(stderr, "%s: %s: %s\n", program, file.c_str(), reason.c_str());
  std::exit(code);
}

// The temporary name a file is written under before it is moved into place:
// hidden, in the same folder (so the move is a rename), unique to this
// process, and ending like the final name (ffmpeg picks its format by it).
inline std::string TemporaryName(const std::string& path) {
  const std::filesystem::path p(path);
  const std::string hidden = ".part-" + std::to_string(getpid()) + "-" + p.filename().string();
  return (p.parent_path() / hidden).string();
}

// Why a file cannot be written at `path`, or "" when it can. The check
// makes and removes the file's temporary name for real, so whatever would
// stop the write at the end (a missing folder, permissions, a read-only or
// special file system) stops the run before its work starts.
inline std::string WhyNotWritable(const std::string& path) {
  std::error_code ec;
  if (path.empty()) return "no file name";
  if (std::filesystem::is_directory(path, ec)) return "Is a directory";
  const std::string probe = TemporaryName(path);
  const int fd = open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return std::strerror(errno);
  close(fd);
  unlink(probe.c_str());
  return "";
}

// Moves a finished temporary file into place; "" or the reason it failed
// (the temporary file is removed then).
inline std::string MoveIntoPlace(const std::string& temporary, const std::string& path) {
  if (std::rename(temporary.c_str(), path.c_str()) == 0) return "";
  const std::string why = std::strerror(errno);
  std::remove(temporary.c_str());
  return why;
}

}  // namespace tools
