// The Win32 window system, checked against what Windows itself reports: the
// class and window the table makes, the WGL context on it drawing through
// entry points bound by name from opengl32.dll and glu32.dll, the message
// queue with key translation and the quit message last, and the
// display-mode request and its restore.
#include "platform/window.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "platform/gl.h"
#include "platform/scaled_frame.h"

// The table's operations carry these names; windows.h makes them macros.
#undef PeekMessage
#undef GetMessage
#undef DispatchMessage
#undef DefWindowProc

namespace {

struct Received {
  platform::WindowHandle window;
  std::uint32_t message;
  std::uintptr_t wParam;
};
std::vector<Received> received;

// Records the messages the tests care about; everything else goes on to the
// system, as the show's procedure does.
std::intptr_t Recorder(platform::WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                       std::intptr_t lParam) {
  if (message == platform::kWmChar || message == platform::kWmClose || message == WM_USER) {
    received.push_back({window, message, wParam});
    return 0;
  }
  return platform::Windows().DefWindowProc(window, message, wParam, lParam);
}

class Win32WindowTest : public ::testing::Test {
 protected:
  // Each test registers a class of its own: a class stays registered for
  // the life of the process.
  platform::WindowHandle Open(const char* className, bool popup, int width = 640, int height = 480) {
    platform::WindowClass windowClass{className, Recorder};
    EXPECT_TRUE(windows_.RegisterWindowClass(windowClass));
    platform::WindowRequest request;
    request.className = className;
    request.title = "Quillon";
    request.width = width;
    request.height = height;
    request.popup = popup;
    platform::WindowHandle window = windows_.CreateShowWindow(request);
    hwnd_ = FindWindowA(className, "Quillon");
    return window;
  }
  void TearDown() override {
    if (hwnd_) DestroyWindow(hwnd_);
    received.clear();
  }
  platform::WindowSystem windows_ = platform::Win32WindowSystem();
  HWND hwnd_ = nullptr;
};

TEST_F(Win32WindowTest, ClassAndPopupWindowAreWhatWasAskedFor) {
  platform::WindowHandle window = Open("ZelbrinwndA", true, 800, 600);
  ASSERT_NE(window, nullptr);
  ASSERT_NE(hwnd_, nullptr) << "a window of the class with the title";
  char name[64] = {};
  GetClassNameA(hwnd_, name, sizeof name);
  EXPECT_STREQ(name, "ZelbrinwndA");
  EXPECT_EQ(GetClassLongPtrA(hwnd_, GCL_STYLE), static_cast<ULONG_PTR>(CS_HREDRAW | CS_VREDRAW | CS_OWNDC));
  LONG style = GetWindowLongA(hwnd_, GWL_STYLE);
  EXPECT_EQ(style & (WS_POPUP | WS_VISIBLE), WS_POPUP | WS_VISIBLE);
  EXPECT_EQ(style & WS_CAPTION, 0);
  RECT rect;
  GetWindowRect(hwnd_, &rect);
  EXPECT_EQ(rect.left, 0);
  EXPECT_EQ(rect.top, 0);
  EXPECT_EQ(rect.right - rect.left, 800);
  EXPECT_EQ(rect.bottom - rect.top, 600);

  windows_.ShowWindow(window);
  EXPECT_TRUE(IsWindowVisible(hwnd_));
  EXPECT_EQ(GetFocus(), hwnd_);
  EXPECT_FALSE(windows_.RegisterWindowClass({"ZelbrinwndA", Recorder})) << "a class is registered once";
}

TEST_F(Win32WindowTest, FramedWindowKeepsItsOuterSizeAndUnknownClassesMakeNone) {
  platform::WindowHandle window = Open("ZelbrinwndB", false, 640, 480);
  ASSERT_NE(window, nullptr);
  LONG style = GetWindowLongA(hwnd_, GWL_STYLE);
  EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
  EXPECT_EQ(style & WS_THICKFRAME, WS_THICKFRAME);
  RECT rect;
  GetWindowRect(hwnd_, &rect);
  EXPECT_EQ(rect.right - rect.left, 640);
  EXPECT_EQ(rect.bottom - rect.top, 480);

  platform::WindowRequest request;
  request.className = "NeverRegistered";
  request.title = "Quillon";
  request.width = 100;
  request.height = 100;
  EXPECT_EQ(windows_.CreateShowWindow(request), nullptr);
}

TEST_F(Win32WindowTest, WglContextDrawsWithEntryPointsBoundFromTheSystemLibraries) {
  platform::WindowHandle window = Open("ZelbrinwndC", true, 320, 240);
  ASSERT_NE(window, nullptr);
  windows_.ShowWindow(window);
  platform::DeviceContext dc = windows_.GetDeviceContext(window);
  ASSERT_NE(dc, nullptr);
  platform::PixelFormatRequest request;  // 32 colour and depth bits, double buffered
  int format = windows_.ChoosePixelFormat(dc, request);
  ASSERT_GT(format, 0);
  PIXELFORMATDESCRIPTOR chosen;
  DescribePixelFormat(GetDC(hwnd_), format, sizeof chosen, &chosen);
  EXPECT_TRUE(chosen.dwFlags & PFD_DOUBLEBUFFER);
  EXPECT_TRUE(chosen.dwFlags & PFD_SUPPORT_OPENGL);
  EXPECT_EQ(chosen.iPixelType, PFD_TYPE_RGBA);
  ASSERT_TRUE(windows_.SetPixelFormat(dc, format, request));
  EXPECT_EQ(GetPixelFormat(GetDC(hwnd_)), format);
  platform::RenderContext rc = windows_.CreateRenderContext(dc);
  ASSERT_NE(rc, nullptr);
  ASSERT_TRUE(windows_.MakeCurrent(dc, rc));
  ASSERT_TRUE(gl::GlBound());

  // The table's entries are the exports of the libraries named at start.
  HMODULE opengl = GetModuleHandleA("opengl32.dll");
  HMODULE glu = GetModuleHandleA("glu32.dll");
  ASSERT_NE(opengl, nullptr);
  ASSERT_NE(glu, nullptr);
  EXPECT_EQ(reinterpret_cast<void*>(gl::glClear), reinterpret_cast<void*>(GetProcAddress(opengl, "glClear")));
  EXPECT_EQ(reinterpret_cast<void*>(gl::gluOrtho2D), reinterpret_cast<void*>(GetProcAddress(glu, "gluOrtho2D")));

  gl::glViewport(0, 0, 320, 240);
  gl::glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
  gl::glClear(GL_COLOR_BUFFER_BIT);
  // A green square over the left half, placed through GLU.
  gl::glMatrixMode(GL_PROJECTION);
  gl::glLoadIdentity();
  gl::gluOrtho2D(0, 320, 0, 240);
  gl::glColor3f(0.0f, 1.0f, 0.0f);
  gl::glBegin(GL_QUADS);
  gl::glVertex2f(0, 0);
  gl::glVertex2f(160, 0);
  gl::glVertex2f(160, 240);
  gl::glVertex2f(0, 240);
  gl::glEnd();
  gl::glFinish();
  unsigned char left[4] = {}, right[4] = {};
  gl::glPixelStorei(GL_PACK_ALIGNMENT, 1);
  gl::glReadPixels(40, 120, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, left);
  gl::glReadPixels(280, 120, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, right);
  EXPECT_EQ(left[0], 0);
  EXPECT_EQ(left[1], 255);
  EXPECT_EQ(right[0], 255);
  EXPECT_EQ(right[1], 0);
  windows_.SwapBuffers(dc);
  EXPECT_EQ(gl::glGetError(), static_cast<GLenum>(GL_NO_ERROR));

  EXPECT_TRUE(windows_.MakeCurrent(dc, nullptr));
  EXPECT_EQ(wglGetCurrentContext(), nullptr);
  EXPECT_TRUE(windows_.DeleteRenderContext(rc));
  windows_.ReleaseDeviceContext(window, dc);
}

TEST_F(Win32WindowTest, EscapeBecomesACharacterMessageClosingReachesTheProcedureAndQuitComesLast) {
  platform::WindowHandle window = Open("ZelbrinwndD", true);
  ASSERT_NE(window, nullptr);
  platform::Message message;
  while (windows_.PeekMessage(message)) {  // what the system queued at creation
    windows_.GetMessage(message);
    windows_.DispatchMessage(message);
  }
  received.clear();

  PostMessageA(hwnd_, WM_KEYDOWN, VK_ESCAPE, 1);
  PostMessageA(hwnd_, WM_USER, 7, 0);
  windows_.PostQuitMessage(0);

  // The pump of the main loop: peek, take, dispatch until the quit message.
  int taken = 0;
  bool quit = false;
  while (windows_.PeekMessage(message)) {
    ASSERT_LT(++taken, 100);
    if (windows_.GetMessage(message) == 0) {
      quit = true;
      EXPECT_EQ(message.message, platform::kWmQuit);
      break;
    }
    windows_.DispatchMessage(message);
  }
  EXPECT_TRUE(quit) << "the quit message comes once every message before it was taken";
  ASSERT_EQ(received.size(), 2u) << "the character made from the key, and the posted message";
  // Where the character queues relative to messages already posted is the
  // system's choice; both come before the quit message.
  const Received& character = received[0].message == platform::kWmChar ? received[0] : received[1];
  const Received& posted = received[0].message == platform::kWmChar ? received[1] : received[0];
  EXPECT_EQ(character.message, platform::kWmChar);
  EXPECT_EQ(character.wParam, 27u);
  EXPECT_EQ(character.window, window);
  EXPECT_EQ(posted.message, static_cast<std::uint32_t>(WM_USER));
  EXPECT_EQ(posted.wParam, 7u);

  // Closing is answered by the procedure; the window stays.
  SendMessageA(hwnd_, WM_CLOSE, 0, 0);
  ASSERT_EQ(received.size(), 3u);
  EXPECT_EQ(received[2].message, platform::kWmClose);
  EXPECT_TRUE(IsWindow(hwnd_));
}

TEST_F(Win32WindowTest, RefusedDisplayModeLeavesTheDisplayAndTheRestoreSucceeds) {
  const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
  platform::DisplayMode none{12345, 678, 32};
  EXPECT_FALSE(windows_.ChangeDisplayMode(&none)) << "no display has this mode";
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), width);
  EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), height);
  platform::DisplayMode show{800, 600, 32};
  bool switched = windows_.ChangeDisplayMode(&show);
  if (switched) {
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 800);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 600);
  }
  EXPECT_TRUE(windows_.ChangeDisplayMode(nullptr));
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), width);
  EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), height);
}

// A refused mode leaves the monitor in its own mode and the popup covering
// it; the show still draws, reads and sets viewports at its own size, in a
// frame that each swap scales onto the window.
TEST_F(Win32WindowTest, RefusedModeCoversTheMonitorWithTheFrameAtItsOwnSize) {
  platform::WindowHandle window = Open("ZelbrinwndE", true, 320, 240);
  ASSERT_NE(window, nullptr);
  windows_.ShowWindow(window);
  platform::DisplayMode none{12345, 678, 32};
  ASSERT_FALSE(windows_.ChangeDisplayMode(&none));
  RECT rect;
  GetWindowRect(hwnd_, &rect);
  EXPECT_EQ(rect.left, 0);
  EXPECT_EQ(rect.top, 0);
  EXPECT_EQ(rect.right, GetSystemMetrics(SM_CXSCREEN));
  EXPECT_EQ(rect.bottom, GetSystemMetrics(SM_CYSCREEN));

  platform::DeviceContext dc = windows_.GetDeviceContext(window);
  platform::PixelFormatRequest request;
  ASSERT_TRUE(windows_.SetPixelFormat(dc, windows_.ChoosePixelFormat(dc, request), request));
  platform::RenderContext rc = windows_.CreateRenderContext(dc);
  ASSERT_TRUE(windows_.MakeCurrent(dc, rc));
  EXPECT_TRUE(platform::ScaledFrameOpen()) << platform::ScaledFrameRefusal();
  gl::glViewport(0, 0, 320, 240);
  gl::glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
  gl::glClear(GL_COLOR_BUFFER_BIT);
  unsigned char corner[4] = {};
  gl::glPixelStorei(GL_PACK_ALIGNMENT, 1);
  gl::glReadPixels(319, 239, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, corner);
  EXPECT_EQ(corner[2], 255) << "the frame's top right corner";
  constexpr GLenum kFramebufferBinding = 0x8CA6;
  GLint frame = 0, afterSwap = 0;
  gl::glGetIntegerv(kFramebufferBinding, &frame);
  EXPECT_NE(frame, 0) << "the show draws into a framebuffer of its own";
  windows_.SwapBuffers(dc);
  EXPECT_EQ(gl::glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  gl::glGetIntegerv(kFramebufferBinding, &afterSwap);
  EXPECT_EQ(afterSwap, frame) << "and again after the swap";

  EXPECT_TRUE(windows_.ChangeDisplayMode(nullptr));
  GetWindowRect(hwnd_, &rect);
  EXPECT_EQ(rect.right - rect.left, 320) << "back at the show's size";
  EXPECT_EQ(rect.bottom - rect.top, 240);
  EXPECT_TRUE(windows_.MakeCurrent(dc, nullptr));
  EXPECT_FALSE(platform::ScaledFrameOpen()) << "the frame goes with the context";
  EXPECT_TRUE(windows_.DeleteRenderContext(rc));
  windows_.ReleaseDeviceContext(window, dc);
}

}  // namespace
