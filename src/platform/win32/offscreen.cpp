// A headless OpenGL context on Win32: a window that is never shown, with a
// double-buffered WGL context on it, drawn into and read back like the show
// window.
#include "platform/offscreen.h"

#include <windows.h>

#include <cstdio>

#include "platform/gl.h"
#include "platform/present.h"
#include "platform/win32/wgl.h"

namespace platform {

namespace {
constexpr const char* kClassName = "QuillonOffscreen";
HWND window = nullptr;
HDC dc = nullptr;
HGLRC context = nullptr;

void PresentOffscreen() {
  // Nobody sees this window; finishing the frame is what presenting means.
  gl::glFinish();
}

bool RegisterOnce() {
  static bool registered = false;
  if (registered) return true;
  WNDCLASSA wc{};
  wc.style = CS_OWNDC;
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = kClassName;
  registered = RegisterClassA(&wc) != 0;
  return registered;
}

bool Fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  CloseOffscreen();
  return false;
}
}  // namespace

bool OpenOffscreen(int width, int height) {
  if (context) CloseOffscreen();
  if (!RegisterOnce()) return Fail("Cannot register the headless window class");
  window = CreateWindowExA(0, kClassName, "Quillon offscreen", WS_POPUP, 0, 0, width, height, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
  if (!window) return Fail("Cannot create the headless window");
  dc = GetDC(window);
  PIXELFORMATDESCRIPTOR pfd;
  ZeroMemory(&pfd, sizeof pfd);
  pfd.nSize = sizeof pfd;
  pfd.nVersion = 1;
  pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
  pfd.iPixelType = PFD_TYPE_RGBA;
  pfd.cColorBits = 32;
  pfd.cAlphaBits = 8;
  pfd.cDepthBits = 24;
  int format = ChoosePixelFormat(dc, &pfd);
  if (format == 0 || !SetPixelFormat(dc, format, &pfd)) return Fail("No OpenGL pixel format for the headless window");
  context = win32::Wgl().CreateContext(dc);
  if (!context || !win32::Wgl().MakeCurrent(dc, context)) return Fail("Cannot make a WGL context current");
  gl::BindGl();
  gl::glViewport(0, 0, width, height);
  SetPresentTarget(PresentOffscreen);
  return true;
}

void CloseOffscreen() {
  if (context) {
    win32::Wgl().MakeCurrent(nullptr, nullptr);
    win32::Wgl().DeleteContext(context);
    SetPresentTarget(nullptr);
  }
  if (dc) ReleaseDC(window, dc);
  if (window) DestroyWindow(window);
  context = nullptr;
  dc = nullptr;
  window = nullptr;
}

bool OffscreenOpen() { return context != nullptr; }

}  // namespace platform
