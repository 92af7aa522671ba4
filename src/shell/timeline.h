#pragma once
// The bodies of segments A to E, each given the frame clock.

namespace shell {

void DrawSegmentA(float frameClock);
void DrawSegmentB(float frameClock);
void DrawSegmentC(float frameClock);
void DrawSegmentD(float frameClock);
void DrawSegmentE(float frameClock);

}  // namespace shell
