#pragma once
// The main loop on the music clock: messages, the frame clock, the clear, the
// body of the segment the music position falls in, the end of the show and
// the presented frame.
#include <cstdint>

namespace shell {

// The music position read once per frame, right after the message pump.
extern float FrameClock;

inline constexpr std::uint32_t ShowEnd = 13'900'000;

// Segment boundaries on the music position; each segment holds its lower
// bound and ends before its upper one.
inline constexpr std::uint32_t SegmentBStart = 2'190'000;
inline constexpr std::uint32_t SegmentCStart = 4'350'000;
inline constexpr std::uint32_t SegmentDStart = 6'520'000;
inline constexpr std::uint32_t SegmentEStart = 8'740'000;
inline constexpr std::uint32_t SegmentFStart = 10'900'000;
inline constexpr std::uint32_t SegmentFEnd = 30'900'000;
// Where segments A to F begin.
inline constexpr std::uint32_t SegmentStarts[6] = {0, SegmentBStart, SegmentCStart, SegmentDStart, SegmentEStart,
                                                   SegmentFStart};

// Set: at the end of the show it starts again from the beginning, until
// the viewer ends it.
extern bool LoopShow;

// How a run of the loop ended.
enum class LoopEnd {
  QuitMessage,    // the pump took the quit message; sound and window closed
  ShowEnded,      // a reading passed ShowEnd; sound and window closed, the frame not presented
  QuitRequested,  // the loop condition; the exit handler tears down
  Stopped,        // a hook asked to stop; nothing closed
};

// What a caller that renders the show without a viewer (the offline capture)
// hooks into the show. afterFrame runs after every presented frame with the
// frame's clock reading (FrameClock as read); returning false ends the loop
// with LoopEnd::Stopped. loadingFrame runs with every loading-progress frame
// of the start-up, drawn and not yet presented, with its number of blocks.
// The clock itself is replaced through sound::SetMusicPositionSource, and
// frames are presented through the platform's present target when no show
// window exists.
struct LoopHooks {
  bool (*afterFrame)(std::uint32_t framePosition, void* context) = nullptr;
  void (*loadingFrame)(std::int32_t blocks, void* context) = nullptr;
  void* context = nullptr;
};

// The bodies the loop draws for segments A to F. They start out as the
// timeline's and the finale's own; a test puts recorders in their place to
// see which segment a position selects.
struct SegmentBodies {
  void (*A)(float frameClock);
  void (*B)(float frameClock);
  void (*C)(float frameClock);
  void (*D)(float frameClock);
  void (*E)(float frameClock);
  void (*F)(float u, float scroll);
};
extern SegmentBodies Segments;

// Runs frames until the show ends one of the ways of LoopEnd.
LoopEnd RunMainLoop(const LoopHooks* hooks = nullptr);

// Clears colour and depth for the next frame.
void ClearFrame();

// The segment bodies whose ranges hold fresh readings, in the order A to F.
void DrawSegments();

}  // namespace shell
