#include "support/temp_dir.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace testsupport {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quillon-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) std::abort();
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

namespace {
std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}
}  // namespace

ChildResult RunInChild(const std::function<void()>& body) {
  TempDir dir;
  std::string outPath = dir.File("out"), errPath = dir.File("err");
  std::fflush(stdout);
  std::fflush(stderr);
  pid_t pid = fork();
  if (pid == 0) {
    if (!std::freopen(outPath.c_str(), "w", stdout) || !std::freopen(errPath.c_str(), "w", stderr)) _exit(120);
    body();
    std::exit(0);
  }
  ChildResult result;
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  result.out = Slurp(outPath);
  result.err = Slurp(errPath);
  return result;
}

ChildResult RunCommand(const std::string& command) {
  TempDir dir;
  std::string full = command + " >" + dir.File("out") + " 2>" + dir.File("err");
  int status = std::system(full.c_str());
  ChildResult result;
  if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  result.out = Slurp(dir.File("out"));
  result.err = Slurp(dir.File("err"));
  return result;
}

std::string Join(std::initializer_list<std::string_view> parts) {
  std::size_t size = 0;
  for (std::string_view part : parts) size += part.size();
  std::string joined;
  joined.reserve(size);
  for (std::string_view part : parts) joined.append(part);
  return joined;
}

std::string SourceDir() {
  const char* s = std::getenv("QUILLON_SOURCE_DIR");
  return s ? s : QUILLON_SOURCE_DIR_DEFAULT;
}

std::string BinaryDir() {
  const char* s = std::getenv("QUILLON_BINARY_DIR");
  return s ? s : QUILLON_BINARY_DIR_DEFAULT;
}

}  // namespace testsupport
