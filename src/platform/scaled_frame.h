#pragma once
// The show's frame on a screen larger than the frame: where the display
// cannot be switched to the show's own mode, the window covers the whole
// display and the frame is drawn at its own size into an offscreen
// framebuffer (colour and depth). Each buffer swap then draws that frame into
// the largest centred rectangle of the frame's aspect on the screen, with
// linear filtering and black beside it, and makes the framebuffer current
// again for the next frame. Everything above the platform layer (viewports,
// copies from the frame, pixel reads) sees the frame at its own size.
//
// Shared by every window backend. The framebuffer entry points are not part
// of OpenGL 1.1, so the backend passes the function that looks them up by
// name in its context (SDL_GL_GetProcAddress, wglGetProcAddress, ...). One
// scaled frame exists at a time, on the context that was current when it was
// opened.

namespace platform {

// Looks an OpenGL entry point up by name in the current context; null when
// the context has none of that name.
using GlProcAddressFn = void* (*)(const char* name);

// A rectangle of the screen in OpenGL window coordinates: x from the left,
// y from the bottom, in pixels.
struct ScreenRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// The largest rectangle of the frame's aspect that fits the screen, centred
// (an odd pixel left over goes to the right or the top). The whole screen
// when the aspects agree; empty when a size is not positive.
ScreenRect FitFrameToScreen(int frameWidth, int frameHeight, int screenWidth, int screenHeight);

// Makes the framebuffer of frameWidth x frameHeight (8-bit RGB, and depth of
// depthBits where the driver has it, else the most it has, at least 24) and
// makes it current for drawing and reading; the viewport is left to the
// caller. Needs OpenGL 3.0, GL_ARB_framebuffer_object, or
// GL_EXT_framebuffer_object with GL_EXT_framebuffer_blit. False when the
// driver cannot: nothing is left behind and ScaledFrameRefusal says why.
bool OpenScaledFrame(int frameWidth, int frameHeight, int depthBits, GlProcAddressFn getProcAddress);
bool ScaledFrameOpen();

// What a window backend does once its context is current: where the window's
// drawable (drawableWidth x drawableHeight pixels) is not the frame's size,
// opens the scaled frame; where that fails, says so in one line on standard
// output ("Cannot fill the screen (why): the show plays at W x H"), and the
// backend gives its window the frame's size again.
enum class ScaledFrameStart { NotNeeded, Opened, Refused };
ScaledFrameStart StartScaledFrame(int frameWidth, int frameHeight, int depthBits, GlProcAddressFn getProcAddress,
                                  int drawableWidth, int drawableHeight);
// Why the last OpenScaledFrame failed, in a few words; empty after success.
const char* ScaledFrameRefusal();
// Depth bits of the framebuffer made; 0 while none is open.
int ScaledFrameDepthBits();

// Presents the frame on a screen of screenWidth x screenHeight pixels (the
// window's own framebuffer, 0): the frame into FitFrameToScreen's rectangle
// with linear filtering (1:1 where the sizes agree), black beside it; then
// swap(context) with the window's framebuffer current for drawing and
// reading, and the frame's framebuffer current again. Every other piece of
// OpenGL state it touches is as it was before.
using SwapFn = void (*)(void* context);
void PresentScaledFrame(int screenWidth, int screenHeight, SwapFn swap, void* context);

// Deletes the framebuffer and makes the window's own current. With
// contextCurrent false the context that held it is gone or not current:
// nothing is called, the names went with the context.
void CloseScaledFrame(bool contextCurrent = true);

}  // namespace platform
