#pragma once
// The program's main body: the start-up in its fixed order, then the main
// loop.
#include "shell/main_loop.h"

namespace shell {

// How the show is run. The defaults are the show itself: the fullscreen
// window and the real music clock.
struct ShowOptions {
  // Renders into a headless 800 x 600 context instead of the show window
  // (offline capture, benchmarks); messages, cursor and display mode are
  // left alone. The clock is whatever sound::GetMusicPosition reports, so a
  // caller that wants a simulated clock sets sound::SetMusicPositionSource.
  bool headless = false;
  // Passed to the main loop (called after every presented frame).
  const LoopHooks* hooks = nullptr;
  // An 800 x 600 window instead of fullscreen.
  bool window = false;
  // No audio device is opened: the show runs on the silent clock, as it
  // does without its music file.
  bool noSound = false;
  // The music position the show begins at, 0 for its beginning.
  std::uint32_t start = 0;
};

// Returns the program's exit code for its ordinary ends; the failures of the
// start-up end the program themselves (FatalError, the file errors).
int RunShow();
int RunShow(const ShowOptions& options);

// How the latest RunShow left its main loop.
extern LoopEnd LastLoopEnd;

// Gives the loading-progress frame its two pictures, made in code: a dark
// background in the show's colours and a glowing block.
void CreateProgressTextures();

}  // namespace shell
