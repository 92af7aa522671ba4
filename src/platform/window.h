#pragma once
// The show window and its OpenGL context, offered operation by operation in
// the roles the shell was written against: a window class, a window of a
// given outer size, a display-mode switch, a pixel format, a rendering
// context, a buffer swap and a message queue with a quit message.
//
// Every operation goes through the table returned by Windows(), which starts
// out filled with the implementation of the build's backend: SDL2 on Linux,
// user32, gdi32 and WGL on Windows. A test can save the table, put a
// recorder in its place and restore it, exactly as with the OpenGL table.
#include <cstdint>

namespace platform {

struct WindowRecord;
struct DeviceContextRecord;
struct RenderContextRecord;
using WindowHandle = WindowRecord*;
using DeviceContext = DeviceContextRecord*;
using RenderContext = RenderContextRecord*;

// The message numbers the window procedure distinguishes.
inline constexpr std::uint32_t kWmNull = 0x0000;
inline constexpr std::uint32_t kWmDestroy = 0x0002;
inline constexpr std::uint32_t kWmClose = 0x0010;
inline constexpr std::uint32_t kWmQuit = 0x0012;
inline constexpr std::uint32_t kWmKeyDown = 0x0100;
inline constexpr std::uint32_t kWmChar = 0x0102;

// The key numbers of kWmKeyDown's wParam that the player answers (the
// letters and digits are their capitals' codes).
inline constexpr std::uintptr_t kKeySpace = 0x20;
inline constexpr std::uintptr_t kKeyPageUp = 0x21;
inline constexpr std::uintptr_t kKeyPageDown = 0x22;
inline constexpr std::uintptr_t kKeyHome = 0x24;
inline constexpr std::uintptr_t kKeyLeft = 0x25;
inline constexpr std::uintptr_t kKeyRight = 0x27;
inline constexpr std::uintptr_t kKey1 = 0x31;  // to kKey1 + 5 for the 6
inline constexpr std::uintptr_t kKeyF = 0x46;
inline constexpr std::uintptr_t kKeyH = 0x48;

using WindowProc = std::intptr_t (*)(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                     std::intptr_t lParam);

struct Message {
  WindowHandle window = nullptr;
  std::uint32_t message = kWmNull;
  std::uintptr_t wParam = 0;
  std::intptr_t lParam = 0;
};

struct WindowClass {
  const char* className = nullptr;
  WindowProc procedure = nullptr;
};

// Double buffer, RGBA, with the given colour and depth bits.
struct PixelFormatRequest {
  int colorBits = 32;
  int depthBits = 32;
  bool doubleBuffer = true;
};

// The window of the show: outer size width x height at (0, 0); a popup has
// no frame and no title bar. SDL fixes the surface format of an OpenGL window
// when it makes the window, so the pixel format the window will be asked for
// travels with the request; ChoosePixelFormat later names that surface.
struct WindowRequest {
  const char* className = nullptr;
  const char* title = nullptr;
  int width = 0;
  int height = 0;
  bool popup = true;
  PixelFormatRequest pixelFormat;
};

struct DisplayMode {
  int width = 0;
  int height = 0;
  int bits = 0;
};

struct WindowSystem {
  // True when the class could be registered.
  bool (*RegisterWindowClass)(const WindowClass& windowClass);
  // Null when no window can be made (for one, where no display exists).
  WindowHandle (*CreateShowWindow)(const WindowRequest& request);
  // Shows the window, brings it to the front and gives it the keyboard.
  void (*ShowWindow)(WindowHandle window);
  void (*ShowCursor)(bool show);
  // A temporary switch of the display to the mode; a null mode returns the
  // display to its own mode. True when the display took the request.
  bool (*ChangeDisplayMode)(const DisplayMode* mode);
  // Gives the window a frame and a title bar, resizable, at the size it was
  // made with (windowed true), or makes it a popup of that size at (0, 0)
  // again, ready for ChangeDisplayMode (false). The display mode is left
  // alone.
  void (*SetWindowed)(WindowHandle window, bool windowed);
  DeviceContext (*GetDeviceContext)(WindowHandle window);
  // A format number for the request, 0 when none fits.
  int (*ChoosePixelFormat)(DeviceContext dc, const PixelFormatRequest& request);
  bool (*SetPixelFormat)(DeviceContext dc, int format, const PixelFormatRequest& request);
  RenderContext (*CreateRenderContext)(DeviceContext dc);
  // A null context releases the current one.
  bool (*MakeCurrent)(DeviceContext dc, RenderContext rc);
  bool (*DeleteRenderContext)(RenderContext rc);
  void (*ReleaseDeviceContext)(WindowHandle window, DeviceContext dc);
  void (*SwapBuffers)(DeviceContext dc);
  // Queues the quit message, which the queue hands out after every message
  // already waiting.
  void (*PostQuitMessage)(int exitCode);
  // True when a message waits; it stays in the queue.
  bool (*PeekMessage)(Message& message);
  // Takes the next message, waiting for one; 0 for the quit message.
  int (*GetMessage)(Message& message);
  // Hands the message to the procedure of its window's class.
  std::intptr_t (*DispatchMessage)(const Message& message);
  // What the window system does with a message the procedure does not want.
  std::intptr_t (*DefWindowProc)(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                 std::intptr_t lParam);
  WindowHandle (*GetForegroundWindow)();
};

// The swap interval a context gets when it is made current: -1 leaves the
// driver's own default (on most systems one frame per refresh), 0 presents
// unpaced, 1 paces frames to the display. Set before the window opens.
inline int SwapIntervalRequest = -1;

// The table in force.
WindowSystem& Windows();
// The backend's implementation, for tests that fill a recorder from it: each
// build has one of the three.
WindowSystem SdlWindowSystem();
WindowSystem Win32WindowSystem();
WindowSystem WebWindowSystem();
WindowSystem SaveWindowSystem();
void RestoreWindowSystem(const WindowSystem& table);

}  // namespace platform
