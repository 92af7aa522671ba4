// The show's drawing speed per segment in a headless context on the
// system's OpenGL (Mesa's llvmpipe here): the whole show on the simulated
// clock at 10 frames a second of music, every frame finished before it is
// timed, one line per segment. bench/web-vs-native runs it beside the same
// measurement in headless Chromium and prints the two side by side.
// Usage: bench_segment_rate [DATA_DIR] (default: the generated set of this
// build tree).
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "shell/offline.h"
#include "support/temp_dir.h"

int main(int argc, char** argv) {
  const std::string data = argc > 1 ? argv[1] : testsupport::BinaryDir() + "/show";
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  setenv("QUILLON_NO_DIALOGS", "1", 1);
  if (chdir(data.c_str()) != 0) {
    std::fprintf(stderr, "bench_segment_rate: no data set in %s\n", data.c_str());
    return 1;
  }
  shell::SegmentRates rates;
  shell::ShowOptions show;
  show.headless = true;
  if (!shell::MeasureSegmentRates(10, show, rates)) {
    std::fprintf(stderr, "bench_segment_rate: the show ended early\n");
    return 1;
  }
  for (int i = 0; i < 6; ++i) {
    std::printf("segment %c: %.1f frames per second (%d frames)\n", 'A' + i, rates.FramesPerSecond(i),
                rates.frames[i]);
  }
  return 0;
}
