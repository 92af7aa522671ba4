#pragma once
// What the end-to-end tests share: an X server of the test's own, one run of
// the real quillon binary in it, and a few xdotool look-ups.
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace e2e {

// The folder holding the generated data set.
std::string DataDir();
bool Have(const char* command);
// Makes folder one that holds some of the show's files but none of its
// pictures (an empty "music.mp3"): the show reads it and meets the missing
// files one by one, where a folder with nothing of the show is refused.
void MakeFolderWithoutPictures(const std::string& folder);

// The show's display-mode switch, made visible: the server offers 800 x 600
// beside its own size, so the show's fullscreen changes the current mode and
// its teardown changes it back. Needs xrandr.
bool OfferShowMode(const std::string& display);
// The current mode as "WIDTHxHEIGHT", empty when xrandr cannot tell.
std::string CurrentMode(const std::string& display);

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

// How a run of the show is started. By default message boxes go to standard
// error (QUILLON_NO_DIALOGS) and the show stays in the test's process group.
struct ShowOptions {
  // The program with its arguments; empty: the quillon binary.
  std::vector<std::string> command;
  bool dialogs = false;  // real message boxes in the X server
  // A process group of its own, as a terminal or a service manager starts a
  // program: a signal can go to all of it, and what is left of it afterwards
  // can be counted.
  bool ownGroup = false;
  std::vector<std::pair<std::string, std::string>> environment;  // set on top
};

// One run of the show in workDir, its output kept in outDir; killed by its
// pid (and its group, when it has one) if a test leaves it running.
class Show {
 public:
  Show(const std::string& display, const std::string& workDir, const std::string& outDir,
       const ShowOptions& options = {});
  ~Show();
  Show(const Show&) = delete;
  Show& operator=(const Show&) = delete;
  bool Running();
  // The exit code, -1 when a signal ended it, or -2 when it did not end
  // within the limit.
  int Wait(int limitSeconds);
  // Wait with a limit in milliseconds.
  int WaitMs(int limitMs);
  // The signal that ended it, 0 when it exited.
  int TermSignal() const { return termSignal_; }
  std::string Out() const;
  std::string Err() const;
  pid_t Pid() const { return pid_; }
  // Sends sig to the show alone, or to its whole process group.
  void Signal(int sig, bool wholeGroup);
  // True when no process of the show's group is left (the show reaped, its
  // helpers gone), waiting up to limitMs for it.
  bool GroupGoneWithin(int limitMs);

 private:
  pid_t pid_ = -1;
  bool ownGroup_ = false;
  bool ended_ = false;
  int exitCode_ = -1;
  int termSignal_ = 0;
  std::string out_, err_;
};

// A command's standard output in the given display, empty when it failed.
std::string X(const std::string& display, const std::string& command);
// The id of the show window once it is there, empty after the limit.
std::string WaitForWindow(const std::string& display, Show& show, int limitSeconds = 15);
// True once a top-level window of that title is there (a message box), false
// after the limit or when the show ended.
bool WaitForTitle(const std::string& display, Show& show, const std::string& title, int limitSeconds = 15);
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
