#include "shell/window.h"

#include <cmath>
#include <cstdlib>
#include <exception>

#include "platform/gl.h"
#include "platform/present.h"
#include "platform/process.h"
#include "shell/player.h"

namespace shell {

bool QuitRequested = false;
bool Fullscreen = true;
std::int32_t ScreenWidth = 0;
std::int32_t ScreenHeight = 0;
bool Letterbox = false;
platform::WindowHandle ShellWindow = nullptr;
platform::DeviceContext ShellDC = nullptr;
platform::RenderContext ShellRC = nullptr;
ExitHandler PreviousExitHandler = nullptr;

namespace {

constexpr const char* kClassName = "Zelbrinwnd";
constexpr const char* kTitle = "Quillon";

// Armed by OpenShellWindow, spent by the first teardown, so the exit handler
// after an explicit teardown finds nothing to do.
bool teardownPending = false;
bool terminateInstalled = false;
bool presentTargetIsOurs = false;
// The colour bits the window was opened with, for the display mode the
// fullscreen key asks for.
std::int32_t windowBits = 32;
// The process that opened the window. A forked copy of it (the helper a
// library forks to show a message box, a test's child) inherits the exit
// handler but shares the display connection and owns no context: a teardown
// there would pull the window out from under the process that owns it.
std::uint64_t owningProcess = 0;

bool InOwningProcess() { return platform::CurrentProcessId() == owningProcess; }

void PresentShellWindow() {
  if (ShellDC) platform::Windows().SwapBuffers(ShellDC);
}

[[noreturn]] void ShellTerminate() {
  ShellExitHandler();
  if (PreviousExitHandler) PreviousExitHandler();
  std::abort();
}

// std::atexit runs handlers in reverse order of registration, so ours runs
// before every handler registered before this opening; a second opening
// registers it again on top (the teardown itself runs once however often
// the handler is called). An uncaught exception ends the program through
// std::terminate without exit handlers; the terminate handler gives the
// teardown its turn there too.
void InstallExitHandler() {
  owningProcess = platform::CurrentProcessId();
  if (!terminateInstalled) {
    PreviousExitHandler = std::set_terminate(ShellTerminate);
    terminateInstalled = true;
  }
  std::atexit(ShellExitHandler);
}

}  // namespace

void ShellExitHandler() {
  if (!InOwningProcess()) return;
  if (terminateInstalled) {
    std::set_terminate(PreviousExitHandler);
    terminateInstalled = false;
  }
  CloseShellWindow();
}

platform::WindowHandle OpenShellWindow(std::int32_t width, std::int32_t height, std::int32_t bits, bool letterbox,
                                       bool fullscreen) {
  platform::WindowSystem& windows = platform::Windows();
  // 1. From here on the teardown runs however the program ends.
  InstallExitHandler();
  teardownPending = true;
  // 2.
  Letterbox = letterbox;
  windowBits = bits;
  ScreenWidth = width;
  ScreenHeight = height;
  // 3.
  platform::WindowClass windowClass;
  windowClass.className = kClassName;
  windowClass.procedure = ShellWindowProc;
  if (!windows.RegisterWindowClass(windowClass)) FatalError("Fail: RegisterClass().");
  // 4. and 5. The outer size is the whole window: a popup has no frame.
  platform::WindowRequest request;
  request.className = kClassName;
  request.title = kTitle;
  request.width = width;
  request.height = height;
  request.popup = fullscreen;
  request.pixelFormat.colorBits = bits;
  request.pixelFormat.depthBits = bits;
  request.pixelFormat.doubleBuffer = true;
  platform::WindowHandle window = windows.CreateShowWindow(request);
  if (!window) FatalError("Fail: CreateWindowEx().");
  ShellWindow = window;
  // 6. and 7.
  windows.ShowWindow(window);
  windows.ShowCursor(false);
  // 8.
  if (fullscreen) EnterFullscreen(width, height, bits);
  // 9. and 10.
  SetupRenderContext(window, bits);
  gl::glViewport(0, ViewportTop(), width, ViewportHeight());
  return window;
}

void SetupRenderContext(platform::WindowHandle window, std::int32_t bits) {
  platform::WindowSystem& windows = platform::Windows();
  ShellDC = windows.GetDeviceContext(window);
  platform::PixelFormatRequest request;
  request.colorBits = bits;
  request.depthBits = bits;
  request.doubleBuffer = true;
  int format = windows.ChoosePixelFormat(ShellDC, request);
  if (format == 0) FatalError("Fail: ChoosePixelFormat.");
  if (!windows.SetPixelFormat(ShellDC, format, request)) FatalError("Fail: SetPixelFormat.");
  ShellRC = windows.CreateRenderContext(ShellDC);
  if (!ShellRC) FatalError("Fail: wglCreateContext.");
  if (!windows.MakeCurrent(ShellDC, ShellRC)) FatalError("Fail: wglMakeCurrent.");
  platform::SetPresentTarget(PresentShellWindow);
  presentTargetIsOurs = true;
}

void ReleaseRenderContext(platform::WindowHandle window) {
  platform::WindowSystem& windows = platform::Windows();
  if (ShellDC) {
    if (presentTargetIsOurs) {
      platform::SetPresentTarget(nullptr);
      presentTargetIsOurs = false;
    }
    if (ShellRC) {
      windows.MakeCurrent(ShellDC, nullptr);
      windows.DeleteRenderContext(ShellRC);
      ShellRC = nullptr;
    }
    windows.ReleaseDeviceContext(window, ShellDC);
    ShellDC = nullptr;
  }
  windows.PostQuitMessage(0);
}

void EnterFullscreen(std::int32_t width, std::int32_t height, std::int32_t bits) {
  platform::DisplayMode mode;
  mode.width = width;
  mode.height = height;
  mode.bits = bits;
  // A refused mode leaves the show running in the current mode; Fullscreen
  // stays set so the teardown still asks for the stored mode.
  platform::Windows().ChangeDisplayMode(&mode);
  Fullscreen = true;
}

void LeaveFullscreen() {
  platform::Windows().ChangeDisplayMode(nullptr);
  Fullscreen = false;
}

bool ToggleFullscreen() {
  platform::WindowSystem& windows = platform::Windows();
  if (!ShellWindow || !teardownPending || !windows.SetWindowed) return false;
  if (Fullscreen) {
    // The display's own mode first, then the frame around the window.
    LeaveFullscreen();
    windows.SetWindowed(ShellWindow, true);
  } else {
    windows.SetWindowed(ShellWindow, false);
    EnterFullscreen(ScreenWidth, ScreenHeight, windowBits);
  }
  return true;
}

std::int32_t ViewportHeight() {
  if (!Letterbox) return ScreenHeight;
  // The default rounding mode rounds halves to even.
  return static_cast<std::int32_t>(std::nearbyint(static_cast<double>(ScreenWidth) * 0.5625));
}

std::int32_t ViewportTop() { return (ScreenHeight - ViewportHeight()) / 2; }

void ApplyViewport() { gl::glViewport(0, ViewportTop(), ScreenWidth, ViewportHeight()); }

void CloseShellWindow() {
  if (!teardownPending) return;
  teardownPending = false;
  if (Fullscreen) LeaveFullscreen();
  ReleaseRenderContext(ShellWindow);
  platform::Windows().ShowCursor(true);
}

void FatalError(const char* text) {
  CloseShellWindow();
  platform::ShowMessageBox(text, "Error ...", true);
  std::exit(1);
}

void SwapFrame() {
  if (ShellDC) {
    platform::Windows().SwapBuffers(ShellDC);
  } else {
    platform::PresentFrame();
  }
}

std::intptr_t ShellWindowProc(platform::WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                              std::intptr_t lParam) {
  switch (message) {
    case platform::kWmClose:
    case platform::kWmDestroy:
      // Answered here and not passed on, so the window stays until the
      // program ends through the main loop.
      QuitRequested = true;
      platform::Windows().PostQuitMessage(0);
      return 0;
    case platform::kWmKeyDown:
      if (HandlePlayerKey(wParam)) return 0;
      return platform::Windows().DefWindowProc(window, message, wParam, lParam);
    case platform::kWmChar:
      if (wParam == 27) {
        QuitRequested = true;
        platform::Windows().PostQuitMessage(0);
      }
      return 0;
    default:
      return platform::Windows().DefWindowProc(window, message, wParam, lParam);
  }
}

}  // namespace shell
