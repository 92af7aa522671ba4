#include "shell/main_loop.h"

#include "platform/process.h"
#include "platform/window.h"
#include "render/render_pass.h"
#include "shell/finale.h"
#include "shell/overlay.h"
#include "shell/player.h"
#include "shell/timeline.h"
#include "shell/window.h"
#include "sound/music.h"

namespace shell {

float FrameClock = 0.0f;
bool LoopShow = false;
SegmentBodies Segments = {DrawSegmentA, DrawSegmentB, DrawSegmentC, DrawSegmentD, DrawSegmentE, DrawFinale};

namespace {

// Every range test takes its own reading: the position moves on while a
// segment draws, and each test sees where the music is at that moment.
bool PositionIn(std::uint32_t lower, std::uint32_t upper) {
  std::uint32_t p = sound::GetMusicPosition();
  return p >= lower && p < upper;
}

bool PositionBelow(std::uint32_t upper) { return sound::GetMusicPosition() < upper; }

// A stop request from outside (Ctrl+C, SIGTERM, a hang-up) reaches the window
// procedure once, as the close message of the window, and from there takes
// the same way out as a closed window.
bool stopDelivered = false;

// True to go on; false when the quit message was taken.
bool PumpMessages() {
  platform::WindowSystem& windows = platform::Windows();
  if (!stopDelivered && platform::StopRequested()) {
    stopDelivered = true;
    ShellWindowProc(ShellWindow, platform::kWmClose, 0, 0);
  }
  platform::Message message;
  while (windows.PeekMessage(message)) {
    if (windows.GetMessage(message) == 0) return false;
    windows.DispatchMessage(message);
  }
  return true;
}

}  // namespace

void ClearFrame() { render::ClearFrame(); }

void DrawSegments() {
  if (PositionBelow(SegmentBStart)) Segments.A(FrameClock);
  if (PositionIn(SegmentBStart, SegmentCStart)) Segments.B(FrameClock);
  if (PositionIn(SegmentCStart, SegmentDStart)) Segments.C(FrameClock);
  if (PositionIn(SegmentDStart, SegmentEStart)) Segments.D(FrameClock);
  if (PositionIn(SegmentEStart, SegmentFStart)) Segments.E(FrameClock);
  if (PositionIn(SegmentFStart, SegmentFEnd)) {
    double since = static_cast<double>(FrameClock) - SegmentFStart;
    Segments.F(static_cast<float>(since / 8000.0), static_cast<float>(0.41 - since / 3'200'000.0));
  }
}

LoopEnd RunMainLoop(const LoopHooks* hooks) {
  while (!QuitRequested) {
    if (!PumpMessages()) {
      sound::CloseSound();
      CloseShellWindow();
      return LoopEnd::QuitMessage;
    }
    std::uint32_t framePosition = sound::GetMusicPosition();
    FrameClock = static_cast<float>(framePosition);
    ClearFrame();
    DrawSegments();
    if (sound::GetMusicPosition() > ShowEnd && LoopShow && JumpTo(0)) {
      // The next pass begins at once; this frame is still shown.
    } else if (sound::GetMusicPosition() > ShowEnd) {
      sound::CloseSound();
      CloseShellWindow();
      return LoopEnd::ShowEnded;
    }
    DrawOverlay();
    SwapFrame();
    if (hooks && hooks->afterFrame && !hooks->afterFrame(framePosition, hooks->context)) return LoopEnd::Stopped;
  }
  return LoopEnd::QuitRequested;
}

}  // namespace shell
