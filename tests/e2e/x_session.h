#pragma once
// What the end-to-end tests share: an X server of the test's own, one run of
// the real quillon binary in it, and a few xdotool look-ups.
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace e2e {

// The folder holding the generated data set.
std::string DataDir();
bool Have(const char* command);

// An X server of the test's own, stopped by its pid; one screen of the given
// size ("WIDTHxHEIGHTxDEPTH"), or width x height at 24 bits. The display number is
// one with neither a socket nor a lock file, from :90 upward (from a place
// that depends on the pid, so tests that start together rarely try the same
// one); a server that dies or takes no client is stopped and the next number
// tried. It runs with -noreset: otherwise it starts over whenever its last
// client leaves, and a client that connects just then (the show, while
// xdotool looks for its window) is turned away.
class Xvfb {
 public:
  explicit Xvfb(const std::string& screen = "1024x768x24");
  Xvfb(int width, int height);
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

// What a run starts: the program with its arguments (none: the quillon
// binary) and variables set in its environment besides the usual ones.
struct Launch {
  std::vector<std::string> command;
  std::vector<std::string> environment;  // "NAME=value"
};

// One run of the show in workDir, its output kept in outDir; killed by its
// pid if a test leaves it running.
class Show {
 public:
  Show(const std::string& display, const std::string& workDir, const std::string& outDir,
       const Launch& launch = {});
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
// True once the run has printed text on its standard output.
bool WaitForOutput(Show& show, const std::string& text, int limitSeconds);

// A picture as RGB bytes, top row first.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;
  const std::uint8_t* At(int x, int y) const { return &rgb[(static_cast<std::size_t>(y) * width + x) * 3]; }
  bool Black(int x, int y) const {
    const std::uint8_t* p = At(x, y);
    return p[0] == 0 && p[1] == 0 && p[2] == 0;
  }
};
// A picture file (PNG, ...) through the show's image library; empty when it
// cannot be read.
Picture LoadPicture(const std::string& path);
// What the whole screen shows (the root window, ImageMagick's import), also
// kept in the file at path.
Picture GrabScreen(const std::string& display, const std::string& path);

}  // namespace e2e
