// The music clock during real playback (SDL's dummy driver on Linux, waveOut
// on Windows): the position is read about every millisecond for 3 s. Prints the number of decreases (goal
// 0), the largest step between readings in milliseconds of audio (goal at
// most 5) and the position's advance over the wall time (goal 1.00 +- 0.01).
// The step is also given less the wall time between the two readings, which
// a loaded machine stretches.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "sound/music.h"
#include "support/mp3_fixture.h"
#include "support/temp_dir.h"

int main() {
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  testsupport::TempDir dir;
  const std::string path = dir.File("music.mp3");
  testsupport::WriteTestMp3(path, 4.0, 44100, 2);
  if (sound::InitSound(0, nullptr) != 0) {
    std::fprintf(stderr, "audio_clock: no audio output (set SDL_AUDIODRIVER=dummy)\n");
    return 1;
  }
  sound::AddMusicFile(path);
  if (!sound::PlayMusic(0)) {
    std::fprintf(stderr, "audio_clock: the music did not start\n");
    sound::CloseSound();
    return 1;
  }
  constexpr double kBytesPerSecond = 176400.0;  // 16-bit stereo at 44,100 Hz
  using Clock = std::chrono::steady_clock;

  // The clock is judged from the moment sound first goes out.
  std::uint32_t first = 0;
  while ((first = sound::GetMusicPosition()) == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
  Clock::time_point start = Clock::now();
  std::uint32_t last = first;
  long readings = 0, decreases = 0;
  std::uint32_t largestStep = 0;
  double largestGap = 0, largestJump = 0;  // wall time between readings; step beyond it
  Clock::time_point now = start;
  while (now - start < std::chrono::seconds(3)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::uint32_t p = sound::GetMusicPosition();
    Clock::time_point before = now;
    now = Clock::now();
    double gap = std::chrono::duration<double>(now - before).count();
    ++readings;
    largestGap = std::max(largestGap, gap);
    if (p < last) {
      ++decreases;
    } else {
      largestStep = std::max(largestStep, p - last);
      largestJump = std::max(largestJump, (p - last) / kBytesPerSecond - gap);
    }
    last = p;
  }
  double wall = std::chrono::duration<double>(now - start).count();
  double advance = (static_cast<double>(last) - first) / kBytesPerSecond;
  sound::CloseSound();

  std::printf("readings                         %ld\n", readings);
  std::printf("decreases                        %ld   (goal 0)\n", decreases);
  std::printf("largest step (ms of audio)       %.2f   (goal <= 5)\n", largestStep / kBytesPerSecond * 1000.0);
  std::printf("largest wall gap between readings %.2f ms (a busy machine makes the steps above larger)\n",
              largestGap * 1000.0);
  std::printf("largest step beyond that gap     %.2f ms\n", largestJump * 1000.0);
  std::printf("position advance / wall time     %.4f   (goal 1 +- 0.01)\n", advance / wall);
  return 0;
}
