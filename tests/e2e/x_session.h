#pragma once
// What the end-to-end tests share: an X server of the test's own, one run of
// the real quillon binary in it, and a few xdotool look-ups.
#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace e2e {

// The folder holding the generated data set.
std::string DataDir();
bool Have(const char* command);

// An X server of the test's own, stopped by its pid. The display number is
// one with neither a socket nor a lock file, from :90 upward (from a place
// that depends on the pid, so tests that start together rarely try the same
// one); a server that dies or takes no client is stopped and the next number
// tried. It runs with -noreset: otherwise it starts over whenever its last
// client leaves, and a client that connects just then (the show, while
// xdotool looks for its window) is turned away.
class Xvfb {
 public:
  explicit Xvfb(const std::string& screen = "1024x768x24");
  ~Xvfb();
  Xvfb(const Xvfb&) = delete;
  Xvfb& operator=(const Xvfb&) = delete;
  const std::string& display() const { return display_; }

 private:
  bool Reachable(const std::string& name);
  void Stop();
  pid_t pid_ = -1;
  std::string display_;
};

// One run of the show in workDir, its output kept in outDir; killed by its
// pid if a test leaves it running. It runs with SDL's dummy audio driver and
// without dialogs; environment adds variables or replaces those.
class Show {
 public:
  using Environment = std::vector<std::pair<std::string, std::string>>;
  Show(const std::string& display, const std::string& workDir, const std::string& outDir,
       const Environment& environment = {});
  ~Show();
  Show(const Show&) = delete;
  Show& operator=(const Show&) = delete;
  bool Running();
  // The exit code, or -2 when it did not end within the limit.
  int Wait(int limitSeconds);
  std::string Out() const;
  std::string Err() const;

 private:
  pid_t pid_ = -1;
  bool ended_ = false;
  int exitCode_ = -1;
  std::string out_, err_;
};

// A command's standard output in the given display, empty when it failed.
std::string X(const std::string& display, const std::string& command);
// The id of the show window once it is there, empty after the limit.
std::string WaitForWindow(const std::string& display, Show& show, int limitSeconds = 15);

}  // namespace e2e
