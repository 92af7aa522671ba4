// The show in its own window with the music clock held at one position: the
// real start-up, window, main loop and segment bodies, only the clock is the
// one the offline capture replaces too. End-to-end tests compare what the
// screen shows with a capture of the same position. After the third frame it
// prints "holding POSITION" and goes on drawing that position until Escape
// or closing ends it as they end the show.
// Usage: quillon-still-show POSITION (run in the data set's folder)
#include <cstdio>
#include <cstdlib>

#include "shell/main_loop.h"
#include "shell/startup.h"
#include "sound/music.h"

namespace {

std::uint32_t held = 0;
int frames = 0;

std::uint32_t HeldPosition() { return held; }

bool AfterFrame(std::uint32_t position, void*) {
  if (++frames == 3) {
    std::printf("holding %u\n", position);
    std::fflush(stdout);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  char* end = nullptr;
  const unsigned long position = argc == 2 ? std::strtoul(argv[1], &end, 10) : 0;
  if (argc != 2 || *end != '\0' || position > 0xFFFFFFFFul) {
    std::fprintf(stderr, "usage: quillon-still-show POSITION\n");
    return 2;
  }
  held = static_cast<std::uint32_t>(position);
  sound::SetMusicPositionSource(HeldPosition);
  shell::LoopHooks hooks;
  hooks.afterFrame = AfterFrame;
  shell::ShowOptions options;
  options.hooks = &hooks;
  return shell::RunShow(options);
}
