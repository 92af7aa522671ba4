#pragma once
// A temporary folder per test, removed with its contents afterwards, and a
// helper that runs a piece of code in a child process to check how the
// program ends (exit code and what it printed).
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

namespace testsupport {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

struct ChildResult {
  int exitCode = -1;      // -1 when killed by a signal
  int signal = 0;
  std::string out;        // standard output
  std::string err;        // standard error
};

// Forks, runs body in the child (which exits 0 if body returns) and collects
// how it ended. Exit handlers of the child run as in the real program.
ChildResult RunInChild(const std::function<void()>& body);

// Runs a command line through /bin/sh and collects its output and exit code.
ChildResult RunCommand(const std::string& command);

// The parts one after the other. gcc 12 at -O3 warns falsely (-Wrestrict)
// inside std::string when a literal is put before a temporary string
// ("p" + std::to_string(i)); appending to a reserved string never meets it.
std::string Join(std::initializer_list<std::string_view> parts);

// Folders given by the build: the source tree and the build tree.
std::string SourceDir();
std::string BinaryDir();

}  // namespace testsupport
