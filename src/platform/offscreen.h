#pragma once
// A headless OpenGL context: EGL on Mesa's surfaceless platform with a
// pbuffer surface, a compatibility profile with a real default framebuffer,
// so copies from and reads of the back buffer behave as on a window. Used by
// the capture tool, the benchmarks and the rendering tests.

namespace platform {

// Creates the context of width x height, makes it current, binds the GL table
// and becomes the present target. False (with a line on standard error) when
// no headless context can be made.
bool OpenOffscreen(int width, int height);
void CloseOffscreen();
bool OffscreenOpen();

}  // namespace platform
