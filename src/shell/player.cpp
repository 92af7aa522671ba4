#include "shell/player.h"

#include <cstdio>
#include <cstdlib>

#include "platform/window.h"
#include "shell/finale.h"
#include "shell/main_loop.h"
#include "shell/overlay.h"
#include "shell/particles.h"
#include "shell/window.h"
#include "sound/music.h"

namespace shell {

namespace {

// 16-bit stereo at 44,100 Hz: five seconds of the music position.
constexpr std::uint32_t kFiveSeconds = 5 * 176'400;
// Page Up within this of a segment's start goes to the one before it, so
// that pressing it twice steps back twice.
constexpr std::uint32_t kBackSlack = 176'400;

}  // namespace

std::int64_t SeekTarget(std::uintptr_t key, std::uint32_t position) {
  switch (key) {
    case platform::kKeyHome: return 0;
    case platform::kKeyLeft: return position > kFiveSeconds ? position - kFiveSeconds : 0;
    case platform::kKeyRight: return static_cast<std::int64_t>(position) + kFiveSeconds;
    case platform::kKeyPageUp: {
      std::uint32_t target = 0;
      for (std::uint32_t start : SegmentStarts) {
        if (start + kBackSlack <= position) target = start;
      }
      return target;
    }
    case platform::kKeyPageDown:
      for (std::uint32_t start : SegmentStarts) {
        if (start > position) return start;
      }
      return -1;
    default:
      if (key >= platform::kKey1 && key < platform::kKey1 + 6) return SegmentStarts[key - platform::kKey1];
      return -1;
  }
}

bool JumpTo(std::uint32_t position) {
  // Past the end of the show there is nothing to seek to.
  if (position > ShowEnd || !sound::SeekMusic(position)) return false;
  // What builds up over frames starts again from nothing at the new
  // position, as at the start of the show.
  RestartParticleList();
  ClearFeedbackTexture();
  return true;
}

bool HandlePlayerKey(std::uintptr_t key) {
  const std::uint32_t before = sound::GetMusicPosition();
  if (key == platform::kKeySpace) {
    sound::PauseMusic(!sound::MusicPaused());
  } else if (key == platform::kKeyF) {
    ToggleFullscreen();
  } else if (key == platform::kKeyH) {
    OverlayShown = !OverlayShown;
  } else {
    const std::int64_t target = SeekTarget(key, before);
    if (target < 0) return false;
    if (target <= ShowEnd) JumpTo(static_cast<std::uint32_t>(target));
  }
  if (std::getenv("QUILLON_POSITION_LOG")) {
    std::printf("key %u: %u -> %u\n", static_cast<unsigned>(key), before, sound::GetMusicPosition());
    std::fflush(stdout);
  }
  return true;
}

}  // namespace shell
