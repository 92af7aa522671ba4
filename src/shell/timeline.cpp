#include "shell/timeline.h"

namespace shell {

// The segment bodies draw nothing yet; the main loop's dispatch is complete.
void DrawSegmentA(float) {}
void DrawSegmentB(float) {}
void DrawSegmentC(float) {}
void DrawSegmentD(float) {}
void DrawSegmentE(float) {}

}  // namespace shell
