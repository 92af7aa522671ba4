// The show window on Win32: a registered window class, a popup window, the
// display-mode switch, a WGL context on the window's device context, and the
// thread's message queue. Where the display refuses the show's mode, the
// popup covers the monitor and each frame is presented scaled into it.
#include "platform/window.h"

#include <windows.h>

#include <cstddef>
#include <cstdio>
#include <map>
#include <utility>
#include <string>

#include "platform/backend.h"
#include "platform/gl.h"
#include "platform/scaled_frame.h"
#include "platform/win32/wgl.h"

// The table's operations carry these names; windows.h makes them macros for
// its ANSI and wide functions.
#undef PeekMessage
#undef GetMessage
#undef DispatchMessage
#undef DefWindowProc

namespace platform {

struct DeviceContextRecord {
  WindowRecord* window = nullptr;
  HDC hdc = nullptr;
};

// One per window the thread's queue has named: the show window, and windows
// the system makes on the thread (whose messages must be dispatched too).
struct WindowRecord {
  HWND hwnd = nullptr;
  WindowProc procedure = nullptr;  // null for windows that are not the show's
  DeviceContextRecord dc;
  int width = 0;  // the size asked for, which is the size of the show's frame
  int height = 0;
  int depthBits = 0;           // of the pixel format set on it
  bool coversDisplay = false;  // stretched over its monitor when the mode was refused
  bool scaledFrame = false;    // its frames are drawn offscreen and scaled at each swap
  bool scaledFrameRefused = false;  // the driver cannot scale: never asked again
};

struct RenderContextRecord {
  HGLRC context = nullptr;
};

namespace {

std::map<std::string, WindowProc> classProcedures;
std::map<HWND, WindowRecord*> records;
WindowRecord* showWindow = nullptr;  // the last window made by CreateShowWindow

WindowRecord* RecordOf(HWND hwnd) {
  if (!hwnd) return nullptr;
  auto found = records.find(hwnd);
  if (found != records.end()) return found->second;
  auto* record = new WindowRecord;
  record->hwnd = hwnd;
  record->dc.window = record;
  records[hwnd] = record;
  return record;
}

// Every message of a show window reaches the procedure of its class with
// the window's record; the record arrives with the creation parameters,
// before the first message.
LRESULT CALLBACK ClassProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* window = reinterpret_cast<WindowRecord*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (!window && message == WM_NCCREATE) {
    window = static_cast<WindowRecord*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
    window->hwnd = hwnd;
    records[hwnd] = window;
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
  }
  if (!window || !window->procedure) return DefWindowProcA(hwnd, message, wParam, lParam);
  std::intptr_t result = window->procedure(window, message, wParam, static_cast<std::intptr_t>(lParam));
  if (message == WM_NCDESTROY) {
    // The handle may name another window from now on; the record stays for
    // whoever still holds it.
    records.erase(hwnd);
    window->hwnd = nullptr;
    if (showWindow == window) showWindow = nullptr;
  }
  return result;
}

bool Win32RegisterWindowClass(const WindowClass& windowClass) {
  if (!windowClass.className || !windowClass.procedure) return false;
  WNDCLASSA wc{};
  wc.style = CS_HREDRAW | CS_VREDRAW | CS_OWNDC;
  wc.lpfnWndProc = ClassProcedure;
  wc.cbClsExtra = 0;
  wc.cbWndExtra = 0;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  wc.lpszMenuName = nullptr;
  wc.lpszClassName = windowClass.className;
  if (RegisterClassA(&wc) == 0) return false;
  classProcedures[windowClass.className] = windowClass.procedure;
  return true;
}

constexpr DWORD kPopupStyle = WS_POPUP;
// A framed window is the popup with a title bar and a sizing border.
constexpr DWORD kFramedStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;

WindowHandle Win32CreateShowWindow(const WindowRequest& request) {
  if (!request.className) return nullptr;
  auto procedure = classProcedures.find(request.className);
  if (procedure == classProcedures.end()) return nullptr;
  const DWORD style = (request.popup ? kPopupStyle : kFramedStyle) | WS_VISIBLE;
  auto* window = new WindowRecord;
  window->procedure = procedure->second;
  window->dc.window = window;
  window->width = request.width;
  window->height = request.height;
  // The outer size is the whole window: nothing is added for a frame, which
  // takes its room from inside (the swap scales the frame onto what is left).
  HWND hwnd = CreateWindowExA(0, request.className, request.title ? request.title : "", style, 0, 0, request.width,
                              request.height, nullptr, nullptr, GetModuleHandleA(nullptr), window);
  if (!hwnd) {
    if (window->hwnd) records.erase(window->hwnd);
    delete window;
    return nullptr;
  }
  showWindow = window;
  return window;
}

void Win32ShowWindow(WindowHandle window) {
  if (!window || !window->hwnd) return;
  ::ShowWindow(window->hwnd, SW_SHOW);
  UpdateWindow(window->hwnd);
  SetFocus(window->hwnd);
}

void Win32ShowCursor(bool show) { ::ShowCursor(show ? TRUE : FALSE); }

// The display-mode request: DEVMODEA up to its panning fields.
constexpr DWORD kDisplayModeRecordSize = 148;
static_assert(offsetof(DEVMODEA, dmPanningWidth) == kDisplayModeRecordSize);

// The popup over the whole monitor it is on, for a show whose mode the
// display refused; the monitor keeps its own mode.
void CoverDisplay(WindowRecord& window) {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  if (!GetMonitorInfoA(MonitorFromWindow(window.hwnd, MONITOR_DEFAULTTOPRIMARY), &monitor)) return;
  const RECT& area = monitor.rcMonitor;
  SetWindowPos(window.hwnd, nullptr, area.left, area.top, area.right - area.left, area.bottom - area.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
  window.coversDisplay = true;
}

void UncoverDisplay(WindowRecord& window) {
  if (!window.coversDisplay) return;
  SetWindowPos(window.hwnd, nullptr, 0, 0, window.width, window.height, SWP_NOZORDER | SWP_NOACTIVATE);
  window.coversDisplay = false;
}

bool Win32ChangeDisplayMode(const DisplayMode* mode) {
  if (!mode) {
    bool restored = ChangeDisplaySettingsA(nullptr, 0) == DISP_CHANGE_SUCCESSFUL;
    if (showWindow) UncoverDisplay(*showWindow);
    return restored;
  }
  DEVMODEA request;
  ZeroMemory(&request, sizeof request);
  request.dmSize = kDisplayModeRecordSize;
  request.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
  request.dmBitsPerPel = static_cast<DWORD>(mode->bits);
  request.dmPelsWidth = static_cast<DWORD>(mode->width);
  request.dmPelsHeight = static_cast<DWORD>(mode->height);
  // CDS_FULLSCREEN: the change lasts until the mode is restored or the
  // program ends.
  if (ChangeDisplaySettingsA(&request, CDS_FULLSCREEN) == DISP_CHANGE_SUCCESSFUL) return true;
  // Refused: the show covers the monitor in its own mode, scaled.
  if (showWindow && showWindow->hwnd) CoverDisplay(*showWindow);
  return false;
}

void Win32SetWindowed(WindowHandle window, bool windowed) {
  if (!window || !window->hwnd) return;
  const DWORD style = (windowed ? kFramedStyle : kPopupStyle) | WS_VISIBLE;
  SetWindowLongPtrA(window->hwnd, GWL_STYLE, static_cast<LONG_PTR>(style));
  int x = 0, y = 0;
  if (windowed) {
    // Centred on the monitor's working area, so the title bar is reachable.
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (GetMonitorInfoA(MonitorFromWindow(window->hwnd, MONITOR_DEFAULTTOPRIMARY), &monitor)) {
      const RECT& work = monitor.rcWork;
      x = work.left + ((work.right - work.left) - window->width) / 2;
      y = work.top + ((work.bottom - work.top) - window->height) / 2;
    }
  }
  SetWindowPos(window->hwnd, nullptr, x, y, window->width, window->height,
               SWP_NOZORDER | SWP_FRAMECHANGED | SWP_SHOWWINDOW);
}

DeviceContext Win32GetDeviceContext(WindowHandle window) {
  if (!window || !window->hwnd) return nullptr;
  HDC hdc = GetDC(window->hwnd);
  if (!hdc) return nullptr;
  window->dc.hdc = hdc;
  return &window->dc;
}

PIXELFORMATDESCRIPTOR Descriptor(const PixelFormatRequest& request) {
  PIXELFORMATDESCRIPTOR pfd;
  ZeroMemory(&pfd, sizeof pfd);
  pfd.nSize = sizeof pfd;
  pfd.nVersion = 1;
  pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | (request.doubleBuffer ? PFD_DOUBLEBUFFER : 0);
  pfd.iPixelType = PFD_TYPE_RGBA;
  pfd.cColorBits = static_cast<BYTE>(request.colorBits);
  pfd.cDepthBits = static_cast<BYTE>(request.depthBits);
  pfd.iLayerType = PFD_MAIN_PLANE;
  return pfd;
}
static_assert(sizeof(PIXELFORMATDESCRIPTOR) == 40);

int Win32ChoosePixelFormat(DeviceContext dc, const PixelFormatRequest& request) {
  if (!dc || !dc->hdc) return 0;
  PIXELFORMATDESCRIPTOR pfd = Descriptor(request);
  return ::ChoosePixelFormat(dc->hdc, &pfd);
}

bool Win32SetPixelFormat(DeviceContext dc, int format, const PixelFormatRequest& request) {
  if (!dc || !dc->hdc) return false;
  PIXELFORMATDESCRIPTOR pfd = Descriptor(request);
  if (!::SetPixelFormat(dc->hdc, format, &pfd)) return false;
  PIXELFORMATDESCRIPTOR set{};
  DescribePixelFormat(dc->hdc, format, sizeof set, &set);
  dc->window->depthBits = set.cDepthBits;
  return true;
}

RenderContext Win32CreateRenderContext(DeviceContext dc) {
  if (!dc || !dc->hdc) return nullptr;
  HGLRC context = win32::Wgl().CreateContext(dc->hdc);
  if (!context) return nullptr;
  return new RenderContextRecord{context};
}

// wglGetProcAddress answers some failures with small numbers or -1 rather
// than null.
void* WglProcAddress(const char* name) {
  PROC entry = win32::Wgl().GetProcAddress(name);
  auto value = reinterpret_cast<std::intptr_t>(entry);
  if (value == 0 || value == 1 || value == 2 || value == 3 || value == -1) return nullptr;
  return reinterpret_cast<void*>(entry);
}

std::pair<int, int> ClientSize(const WindowRecord& window) {
  RECT client{};
  GetClientRect(window.hwnd, &client);
  return {client.right - client.left, client.bottom - client.top};
}

// Where the window is not the size the show draws at (it covers a monitor
// that refused the mode, the viewer made the window larger), the frames go
// to a framebuffer of the show's size that each swap scales onto the
// window. Without framebuffer objects the window goes back to the show's
// size, once: a driver that cannot is not asked at every frame.
void StartScaledFrame(WindowRecord& window, int clientWidth, int clientHeight) {
  if (window.scaledFrame || window.scaledFrameRefused) return;
  switch (platform::StartScaledFrame(window.width, window.height, window.depthBits, WglProcAddress, clientWidth,
                                     clientHeight)) {
    case ScaledFrameStart::Opened: window.scaledFrame = true; break;
    case ScaledFrameStart::Refused:
      window.scaledFrameRefused = true;
      UncoverDisplay(window);
      break;
    case ScaledFrameStart::NotNeeded: break;
  }
}

void StartScaledFrame(WindowRecord& window) {
  auto [width, height] = ClientSize(window);
  StartScaledFrame(window, width, height);
}

void StopScaledFrame(WindowRecord& window, bool contextCurrent) {
  if (!window.scaledFrame) return;
  CloseScaledFrame(contextCurrent);
  window.scaledFrame = false;
}

bool Win32MakeCurrent(DeviceContext dc, RenderContext rc) {
  if (!dc || !dc->hdc) return false;
  if (!rc) {
    // The frame's framebuffer goes before the context it lives in.
    StopScaledFrame(*dc->window, true);
    return win32::Wgl().MakeCurrent(dc->hdc, nullptr) != FALSE;
  }
  if (!win32::Wgl().MakeCurrent(dc->hdc, rc->context)) return false;
  // The program paces nothing itself; the driver's own default stands
  // unless the viewer asked for one (a driver without the extension keeps
  // its default).
  if (SwapIntervalRequest >= 0) {
    using SwapIntervalProc = BOOL(WINAPI*)(int);
    if (void* entry = WglProcAddress("wglSwapIntervalEXT")) {
      reinterpret_cast<SwapIntervalProc>(entry)(SwapIntervalRequest);
    }
  }
  gl::BindGl();
  StartScaledFrame(*dc->window);
  return true;
}

bool Win32DeleteRenderContext(RenderContext rc) {
  if (!rc) return false;
  if (showWindow) StopScaledFrame(*showWindow, win32::Wgl().GetCurrentContext() == rc->context);
  bool deleted = win32::Wgl().DeleteContext(rc->context) != FALSE;
  delete rc;
  return deleted;
}

void Win32ReleaseDeviceContext(WindowHandle window, DeviceContext dc) {
  if (!window || !dc || !dc->hdc) return;
  ReleaseDC(window->hwnd, dc->hdc);
  dc->hdc = nullptr;
}

void SwapWindow(void* hdc) { ::SwapBuffers(static_cast<HDC>(hdc)); }

void Win32SwapBuffers(DeviceContext dc) {
  if (!dc || !dc->hdc) return;
  WindowRecord& window = *dc->window;
  // The client area is measured at every swap: a window resized by the
  // viewer, a monitor or resolution change can make it another size at any
  // time.
  auto [width, height] = ClientSize(window);
  if (window.scaledFrame) {
    PresentScaledFrame(width, height, SwapWindow, dc->hdc);
    return;
  }
  ::SwapBuffers(dc->hdc);
  // This frame went to the window as drawn; from the next one on, frames
  // are scaled onto the new size. A minimised window has no client area and
  // keeps drawing as it was.
  if (width > 0 && height > 0 && (width != window.width || height != window.height)) {
    StartScaledFrame(window, width, height);
  }
}

void Win32PostQuitMessage(int exitCode) { ::PostQuitMessage(exitCode); }

Message FromMsg(const MSG& msg) {
  Message message;
  message.window = RecordOf(msg.hwnd);
  message.message = msg.message;
  message.wParam = msg.wParam;
  message.lParam = static_cast<std::intptr_t>(msg.lParam);
  return message;
}

bool Win32PeekMessage(Message& message) {
  MSG msg;
  if (!PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) return false;
  message = FromMsg(msg);
  return true;
}

int Win32GetMessage(Message& message) {
  MSG msg;
  BOOL result = GetMessageA(&msg, nullptr, 0, 0);
  message = result == -1 ? Message{} : FromMsg(msg);
  return result == -1 ? -1 : (result ? 1 : 0);
}

std::intptr_t Win32DispatchMessage(const Message& message) {
  MSG msg{};
  msg.hwnd = message.window ? message.window->hwnd : nullptr;
  msg.message = message.message;
  msg.wParam = message.wParam;
  msg.lParam = static_cast<LPARAM>(message.lParam);
  // Key presses become the character messages the window procedure reads
  // (Escape is WM_CHAR 27), queued behind this one.
  TranslateMessage(&msg);
  return static_cast<std::intptr_t>(DispatchMessageA(&msg));
}

std::intptr_t Win32DefWindowProc(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                 std::intptr_t lParam) {
  return static_cast<std::intptr_t>(
      DefWindowProcA(window ? window->hwnd : nullptr, message, wParam, static_cast<LPARAM>(lParam)));
}

WindowHandle Win32GetForegroundWindow() { return RecordOf(::GetForegroundWindow()); }

WindowSystem table = Win32WindowSystem();

}  // namespace

WindowSystem Win32WindowSystem() {
  WindowSystem s{};
  s.RegisterWindowClass = Win32RegisterWindowClass;
  s.CreateShowWindow = Win32CreateShowWindow;
  s.ShowWindow = Win32ShowWindow;
  s.ShowCursor = Win32ShowCursor;
  s.ChangeDisplayMode = Win32ChangeDisplayMode;
  s.SetWindowed = Win32SetWindowed;
  s.GetDeviceContext = Win32GetDeviceContext;
  s.ChoosePixelFormat = Win32ChoosePixelFormat;
  s.SetPixelFormat = Win32SetPixelFormat;
  s.CreateRenderContext = Win32CreateRenderContext;
  s.MakeCurrent = Win32MakeCurrent;
  s.DeleteRenderContext = Win32DeleteRenderContext;
  s.ReleaseDeviceContext = Win32ReleaseDeviceContext;
  s.SwapBuffers = Win32SwapBuffers;
  s.PostQuitMessage = Win32PostQuitMessage;
  s.PeekMessage = Win32PeekMessage;
  s.GetMessage = Win32GetMessage;
  s.DispatchMessage = Win32DispatchMessage;
  s.DefWindowProc = Win32DefWindowProc;
  s.GetForegroundWindow = Win32GetForegroundWindow;
  return s;
}

WindowSystem& Windows() { return table; }
WindowSystem SaveWindowSystem() { return table; }
void RestoreWindowSystem(const WindowSystem& saved) { table = saved; }

}  // namespace platform
