#pragma once
// The show window and its OpenGL context: opening, the viewport, the window
// procedure, presenting frames, the fatal error report and the teardown that
// runs once on every way out of the program.
#include <cstdint>

#include "platform/window.h"

namespace shell {

// Set when the window is closed or Escape is typed; never cleared.
extern bool QuitRequested;
// On entry to OpenShellWindow the fullscreen request; from then on, whether a
// switched display mode is in force and must be restored. Starts out true,
// so a teardown before the switch still restores the stored mode.
extern bool Fullscreen;
extern std::int32_t ScreenWidth;
extern std::int32_t ScreenHeight;
// When set, the viewport is a centred band of aspect 16:9.
extern bool Letterbox;
extern platform::WindowHandle ShellWindow;
extern platform::DeviceContext ShellDC;
extern platform::RenderContext ShellRC;
// The handler for abnormal ends (std::terminate) that was in force before the
// shell put its own in place; the shell's handler hands over to it.
using ExitHandler = void (*)();
extern ExitHandler PreviousExitHandler;

// Opens the window of width x height (outer size, at (0, 0)) with a context
// of bits for colour and depth, switches the display when fullscreen, and
// sets the viewport. Every failure is a FatalError.
platform::WindowHandle OpenShellWindow(std::int32_t width, std::int32_t height, std::int32_t bits, bool letterbox,
                                       bool fullscreen);
// The teardown: display mode restored, context released, quit message
// posted, cursor shown. Only the first call after OpenShellWindow does work.
void CloseShellWindow();
// Teardown, the "Error ..." box with the text, exit code 1.
[[noreturn]] void FatalError(const char* text);
// Presents the back buffer of the show window; without one (offline
// rendering) presents whatever the platform's present target is.
void SwapFrame();
std::intptr_t ShellWindowProc(platform::WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                              std::intptr_t lParam);
void ApplyViewport();
std::int32_t ViewportHeight();
std::int32_t ViewportTop();

// The steps of opening and closing, each on its own.
void SetupRenderContext(platform::WindowHandle window, std::int32_t bits);
void ReleaseRenderContext(platform::WindowHandle window);
void EnterFullscreen(std::int32_t width, std::int32_t height, std::int32_t bits);
void LeaveFullscreen();
// Between fullscreen (the display-mode switch, or the window over the
// display) and a framed, resizable window of the show's size; false when
// no window is open or the window system cannot.
bool ToggleFullscreen();
// Runs at every end of the program once OpenShellWindow has begun, before
// the exit handlers registered earlier; only in the process that opened the
// window, never in a forked copy of it.
void ShellExitHandler();

}  // namespace shell
