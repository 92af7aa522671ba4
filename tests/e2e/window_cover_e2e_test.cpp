// The SDL window system itself, in this process, on an X server whose only
// mode is 1024 x 768: the refused 800 x 600 switch leaves the window over the
// whole screen; the context draws into the 800 x 600 frame, which every swap
// scales over the screen; the teardown's steps give the window its own size
// back and delete the frame's framebuffer while its context is still
// current.
#include <gtest/gtest.h>

#include <SDL.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/gl.h"
#include "platform/scaled_frame.h"
#include "platform/window.h"
#include "support/temp_dir.h"
#include "x_session.h"

namespace {

using e2e::X;

constexpr GLenum kFramebufferBinding = 0x8CA6;

std::string Geometry(const std::string& display, const std::string& title) {
  const std::string id = X(display, "xdotool search --name '^" + title + "$'");
  return X(display, "xdotool getwindowgeometry --shell " + id.substr(0, id.find('\n')));
}

TEST(WindowCoverEndToEnd, ARefusedModeCoversTheScreenAndTheTeardownGivesEverythingBack) {
  if (!e2e::Have("Xvfb") || !e2e::Have("xdotool") || !e2e::Have("import")) {
    GTEST_SKIP() << "needs Xvfb, xdotool and import";
  }
  e2e::Xvfb x(1024, 768);
  ASSERT_FALSE(x.display().empty());
  setenv("DISPLAY", x.display().c_str(), 1);
  unsetenv("SDL_VIDEODRIVER");
  platform::WindowSystem windows = platform::SdlWindowSystem();
  platform::WindowClass windowClass;
  windowClass.className = "Zelbrinwnd";
  windowClass.procedure = [](platform::WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t) {
    return std::intptr_t{0};
  };
  ASSERT_TRUE(windows.RegisterWindowClass(windowClass));
  platform::WindowRequest request;
  request.className = "Zelbrinwnd";
  request.title = "QuillonCover";
  request.width = 800;
  request.height = 600;
  platform::WindowHandle window = windows.CreateShowWindow(request);
  ASSERT_NE(window, nullptr);
  windows.ShowWindow(window);

  const platform::DisplayMode mode{800, 600, 32};
  EXPECT_FALSE(windows.ChangeDisplayMode(&mode)) << "the screen has no 800 x 600 mode";
  EXPECT_NE(Geometry(x.display(), request.title).find("X=0\nY=0\nWIDTH=1024\nHEIGHT=768\n"), std::string::npos);

  platform::DeviceContext dc = windows.GetDeviceContext(window);
  const int format = windows.ChoosePixelFormat(dc, request.pixelFormat);
  ASSERT_TRUE(windows.SetPixelFormat(dc, format, request.pixelFormat));
  platform::RenderContext rc = windows.CreateRenderContext(dc);
  ASSERT_NE(rc, nullptr);
  ASSERT_TRUE(windows.MakeCurrent(dc, rc));
  ASSERT_TRUE(platform::ScaledFrameOpen());
  GLint frame = 0;
  gl::glGetIntegerv(kFramebufferBinding, &frame);
  EXPECT_NE(frame, 0) << "the show draws into the frame";
  GLint depth = 0;
  gl::glGetIntegerv(GL_DEPTH_BITS, &depth);
  EXPECT_GE(depth, 24);

  // A red frame fills the whole 4:3 screen.
  gl::glViewport(0, 0, 800, 600);
  gl::glClearColor(1, 0, 0, 1);
  gl::glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  windows.SwapBuffers(dc);
  gl::glFinish();
  testsupport::TempDir dir;
  const e2e::Picture screen = e2e::GrabScreen(x.display(), dir.File("screen.png"));
  ASSERT_EQ(screen.width, 1024);
  for (auto [px, py] : {std::pair{0, 0}, std::pair{1023, 0}, std::pair{0, 767}, std::pair{1023, 767},
                        std::pair{512, 384}}) {
    const std::uint8_t* p = screen.At(px, py);
    EXPECT_EQ(p[0] * 65536 + p[1] * 256 + p[2], 0xFF0000) << px << "," << py;
  }

  // The teardown's order: the display mode, then the context.
  SDL_Window* sdlWindow = SDL_GL_GetCurrentWindow();
  SDL_GLContext sdlContext = SDL_GL_GetCurrentContext();
  EXPECT_TRUE(windows.ChangeDisplayMode(nullptr));
  EXPECT_NE(Geometry(x.display(), request.title).find("X=0\nY=0\nWIDTH=800\nHEIGHT=600\n"), std::string::npos)
      << Geometry(x.display(), request.title);
  EXPECT_TRUE(windows.MakeCurrent(dc, nullptr));
  EXPECT_FALSE(platform::ScaledFrameOpen());
  // The framebuffer was deleted in its context, not left to it.
  ASSERT_EQ(SDL_GL_MakeCurrent(sdlWindow, sdlContext), 0);
  using IsFramebufferFn = GLboolean(QUILLON_GLAPI*)(GLuint);
  auto isFramebuffer = reinterpret_cast<IsFramebufferFn>(SDL_GL_GetProcAddress("glIsFramebuffer"));
  ASSERT_NE(isFramebuffer, nullptr);
  EXPECT_FALSE(isFramebuffer(static_cast<GLuint>(frame)));
  SDL_GL_MakeCurrent(sdlWindow, nullptr);
  EXPECT_TRUE(windows.DeleteRenderContext(rc));
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

}  // namespace
