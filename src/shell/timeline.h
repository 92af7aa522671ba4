#pragma once
// The bodies of segments A to E, each given the frame clock.
#include <cstdint>

namespace shell {

void DrawSegmentA(float frameClock);
void DrawSegmentB(float frameClock);
void DrawSegmentC(float frameClock);
void DrawSegmentD(float frameClock);
void DrawSegmentE(float frameClock);

// The picture of the video animation at segment E's local time u: u / 2
// rounded to the nearest integer (halves to even), modulo 100.
int VideoFrameIndex(float u);

// True while the camera tracks prepared last are the video scene's, so that
// the flight prepares its own again before it renders.
extern bool VideoTracksPrepared;

}  // namespace shell
