#pragma once
// A headless OpenGL context: EGL on Mesa's surfaceless platform with a
// pbuffer surface, a compatibility profile with a real default framebuffer,
// so copies from and reads of the back buffer behave as on a window. Used by
// the capture tool, the benchmarks and the rendering tests.
//
// With QUILLON_GL_LAYER=gles in the environment it is an OpenGL ES 3.0
// context instead, and the GL table is the fixed-function layer of
// platform/gles drawing on it, as in the browser build (no scaled frame).

namespace platform {

// Creates the context of width x height, makes it current, binds the GL table
// and becomes the present target. False (with a line on standard error) when
// no headless context can be made.
bool OpenOffscreen(int width, int height);
void CloseOffscreen();
bool OffscreenOpen();

// An OpenGL entry point of the headless context by name (eglGetProcAddress).
void* OffscreenProcAddress(const char* name);

// Makes every later OpenOffscreen stand for a screen of screenWidth x
// screenHeight that the frame does not fit: its surface takes the screen's
// size, the frame of width x height is drawn into a framebuffer of its own
// and presenting scales it onto the surface as the show window does on a
// large display (platform/scaled_frame.h). 0 x 0, the start, opens the frame
// as the surface itself. For measuring and testing the scaled presentation.
void SetOffscreenScreen(int screenWidth, int screenHeight);

}  // namespace platform
