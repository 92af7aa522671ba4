#pragma once
// A window system that records every call in place of SDL, and the GL entry
// points the shell calls itself (viewport, clear). Each call is also written
// to standard output at once, so a child process that ends by exit, by a
// signal or by abort still shows what happened and in which order.
#include <gtest/gtest.h>

#include <cstdio>
#include <deque>
#include <string>
#include <vector>

#include "platform/gl.h"
#include "platform/present.h"
#include "platform/window.h"
#include "shell/main_loop.h"
#include "shell/window.h"
#include "sound/music.h"

namespace shelltest {

struct Recorder {
  std::vector<std::string> calls;
  std::deque<platform::Message> queue;
  bool quitPosted = false;
  // Failures to play back.
  bool refuseClass = false;
  bool refuseWindow = false;
  bool refuseDisplayMode = false;
  int pixelFormat = 7;
  bool refusePixelFormat = false;
  bool refuseContext = false;
  bool refuseMakeCurrent = false;
  std::intptr_t defWindowProcResult = 0;
  platform::WindowProc procedure = nullptr;
};

inline Recorder& Rec() {
  static Recorder recorder;
  return recorder;
}

inline void Note(const std::string& call) {
  Rec().calls.push_back(call);
  std::printf("%s\n", call.c_str());
  std::fflush(stdout);
}

inline platform::WindowHandle FakeWindow() { return reinterpret_cast<platform::WindowHandle>(0x1000); }
inline platform::DeviceContext FakeDc() { return reinterpret_cast<platform::DeviceContext>(0x2000); }
inline platform::RenderContext FakeRc() { return reinterpret_cast<platform::RenderContext>(0x3000); }

inline platform::WindowSystem RecordingWindowSystem() {
  platform::WindowSystem s{};
  s.RegisterWindowClass = [](const platform::WindowClass& c) {
    Note(std::string("RegisterClass ") + c.className);
    Rec().procedure = c.procedure;
    return !Rec().refuseClass;
  };
  s.CreateShowWindow = [](const platform::WindowRequest& r) -> platform::WindowHandle {
    Note(std::string("CreateWindow ") + r.className + " " + r.title + " " + std::to_string(r.width) + "x" +
         std::to_string(r.height) + (r.popup ? " popup" : " framed") + " colour " +
         std::to_string(r.pixelFormat.colorBits) + " depth " + std::to_string(r.pixelFormat.depthBits));
    return Rec().refuseWindow ? nullptr : FakeWindow();
  };
  s.ShowWindow = [](platform::WindowHandle) { Note("ShowWindow"); };
  s.ShowCursor = [](bool show) { Note(show ? "ShowCursor on" : "ShowCursor off"); };
  s.ChangeDisplayMode = [](const platform::DisplayMode* m) {
    if (!m) {
      Note("RestoreDisplayMode");
      return true;
    }
    Note("ChangeDisplayMode " + std::to_string(m->width) + "x" + std::to_string(m->height) + "x" +
         std::to_string(m->bits));
    return !Rec().refuseDisplayMode;
  };
  s.GetDeviceContext = [](platform::WindowHandle) {
    Note("GetDC");
    return FakeDc();
  };
  s.ChoosePixelFormat = [](platform::DeviceContext, const platform::PixelFormatRequest& r) {
    Note("ChoosePixelFormat " + std::to_string(r.colorBits) + "/" + std::to_string(r.depthBits) +
         (r.doubleBuffer ? " double" : " single"));
    return Rec().pixelFormat;
  };
  s.SetPixelFormat = [](platform::DeviceContext, int format, const platform::PixelFormatRequest&) {
    Note("SetPixelFormat " + std::to_string(format));
    return !Rec().refusePixelFormat;
  };
  s.CreateRenderContext = [](platform::DeviceContext) -> platform::RenderContext {
    Note("CreateContext");
    return Rec().refuseContext ? nullptr : FakeRc();
  };
  s.MakeCurrent = [](platform::DeviceContext, platform::RenderContext rc) {
    Note(rc ? "MakeCurrent" : "MakeCurrent none");
    return rc == nullptr || !Rec().refuseMakeCurrent;
  };
  s.DeleteRenderContext = [](platform::RenderContext) {
    Note("DeleteContext");
    return true;
  };
  s.ReleaseDeviceContext = [](platform::WindowHandle, platform::DeviceContext) { Note("ReleaseDC"); };
  s.SwapBuffers = [](platform::DeviceContext) { Note("SwapBuffers"); };
  s.PostQuitMessage = [](int) {
    Note("PostQuitMessage");
    Rec().quitPosted = true;
  };
  s.PeekMessage = [](platform::Message& m) {
    if (!Rec().queue.empty()) {
      m = Rec().queue.front();
      return true;
    }
    return Rec().quitPosted;
  };
  s.GetMessage = [](platform::Message& m) {
    if (!Rec().queue.empty()) {
      m = Rec().queue.front();
      Rec().queue.pop_front();
      return 1;
    }
    Rec().quitPosted = false;
    m = {nullptr, platform::kWmQuit, 0, 0};
    return 0;
  };
  s.DispatchMessage = [](const platform::Message& m) -> std::intptr_t {
    return Rec().procedure ? Rec().procedure(m.window, m.message, m.wParam, m.lParam) : 0;
  };
  s.DefWindowProc = [](platform::WindowHandle, std::uint32_t message, std::uintptr_t, std::intptr_t) {
    Note("DefWindowProc " + std::to_string(message));
    return Rec().defWindowProcResult;
  };
  s.GetForegroundWindow = []() { return FakeWindow(); };
  return s;
}

inline void RecordViewport(GLint x, GLint y, GLsizei w, GLsizei h) {
  Note("glViewport " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(w) + " " +
       std::to_string(h));
}
inline void RecordClear(GLbitfield mask) { Note("glClear " + std::to_string(mask)); }

inline void MessageBoxRecorder(const char* text, const char* caption, bool errorIcon) {
  Note(std::string("MessageBox ") + caption + " | " + text + (errorIcon ? " | error icon" : " | no icon"));
}

inline int CountOf(const std::vector<std::string>& calls, const std::string& call) {
  int n = 0;
  for (const auto& c : calls) n += c == call;
  return n;
}

// Puts the recorders in place and the shell's state back to its initial
// values for every test; the real tables come back afterwards.
class ShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedWindows_ = platform::SaveWindowSystem();
    savedGl_ = gl::SaveGlTable();
    savedSegments_ = shell::Segments;
    Rec() = Recorder{};
    platform::RestoreWindowSystem(RecordingWindowSystem());
    gl::glViewport = RecordViewport;
    gl::glClear = RecordClear;
    platform::SetMessageBoxHandler(MessageBoxRecorder);
    shell::QuitRequested = false;
    shell::Fullscreen = true;
    shell::Letterbox = false;
    shell::ScreenWidth = shell::ScreenHeight = 0;
    shell::ShellWindow = nullptr;
    shell::ShellDC = nullptr;
    shell::ShellRC = nullptr;
  }
  void TearDown() override {
    // Spend a pending teardown on the recorder, not on the real window system.
    shell::CloseShellWindow();
    sound::SetMusicPositionSource(nullptr);
    platform::SetMessageBoxHandler(nullptr);
    platform::SetPresentTarget(nullptr);
    shell::Segments = savedSegments_;
    gl::RestoreGlTable(savedGl_);
    platform::RestoreWindowSystem(savedWindows_);
  }
  std::vector<std::string> Take() {
    auto calls = Rec().calls;
    Rec().calls.clear();
    return calls;
  }

 private:
  platform::WindowSystem savedWindows_{};
  gl::GlTable savedGl_{};
  shell::SegmentBodies savedSegments_{};
};

}  // namespace shelltest
