// The SDL window system's message queue on SDL's dummy video driver: typed
// keys and text become character messages, closing becomes WM_CLOSE, and the
// quit message comes after every message already waiting. Without a display
// no show window is made.
#include <gtest/gtest.h>

#include <SDL.h>

#include <cstring>

#include "platform/window.h"

namespace {

class SdlQueueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) GTEST_SKIP() << SDL_GetError();
    windows_ = platform::SdlWindowSystem();
    // Drop what SDL queued for itself at start-up.
    platform::Message m;
    while (windows_.PeekMessage(m)) windows_.GetMessage(m);
  }
  void TearDown() override { SDL_QuitSubSystem(SDL_INIT_VIDEO); }

  static void PushKey(SDL_Keycode key) {
    SDL_Event e{};
    e.type = SDL_KEYDOWN;
    e.key.keysym.sym = key;
    SDL_PushEvent(&e);
  }
  static void PushText(const char* text) {
    SDL_Event e{};
    e.type = SDL_TEXTINPUT;
    std::strncpy(e.text.text, text, sizeof e.text.text - 1);
    SDL_PushEvent(&e);
  }
  static void PushClose() {
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.event = SDL_WINDOWEVENT_CLOSE;
    SDL_PushEvent(&e);
  }

  platform::WindowSystem windows_{};
};

TEST_F(SdlQueueTest, KeysTextAndCloseBecomeMessagesAndQuitComesLast) {
  windows_.PostQuitMessage(0);
  PushKey(SDLK_ESCAPE);
  PushKey(SDLK_a);  // a key without text gives no character
  PushText("a\xC3\xA9\xE2\x82\xAC");  // 'a', e-acute (one byte), the euro sign (none)
  PushClose();

  struct Expected {
    std::uint32_t message;
    std::uintptr_t wParam;
  };
  const Expected expected[] = {{platform::kWmChar, 27},
                               {platform::kWmChar, 'a'},
                               {platform::kWmChar, 0xE9},
                               {platform::kWmChar, '?'},
                               {platform::kWmClose, 0}};
  for (const Expected& e : expected) {
    platform::Message peeked, taken;
    ASSERT_TRUE(windows_.PeekMessage(peeked));
    EXPECT_EQ(peeked.message, e.message);
    ASSERT_EQ(windows_.GetMessage(taken), 1);
    EXPECT_EQ(taken.message, e.message);
    EXPECT_EQ(taken.wParam, e.wParam);
  }
  platform::Message quit;
  ASSERT_TRUE(windows_.PeekMessage(quit));
  EXPECT_EQ(quit.message, platform::kWmQuit);
  EXPECT_EQ(windows_.GetMessage(quit), 0);
  EXPECT_FALSE(windows_.PeekMessage(quit)) << "the quit message is taken once";
}

TEST_F(SdlQueueTest, NoShowWindowWithoutADisplay) {
  // The dummy driver draws nowhere: it does not count as a display.
  platform::WindowClass windowClass;
  windowClass.className = "Zelbrinwnd";
  windowClass.procedure = [](platform::WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t) {
    return std::intptr_t{0};
  };
  ASSERT_TRUE(windows_.RegisterWindowClass(windowClass));
  platform::WindowRequest request;
  request.className = "Zelbrinwnd";
  request.title = "Quillon";
  request.width = 800;
  request.height = 600;
  EXPECT_EQ(windows_.CreateShowWindow(request), nullptr);
}

TEST(SdlWindowSystem, TheDisplayModeCannotBeSwitchedWithoutAWindow) {
  platform::WindowSystem windows = platform::SdlWindowSystem();
  platform::DisplayMode mode{800, 600, 32};
  EXPECT_FALSE(windows.ChangeDisplayMode(&mode));
  EXPECT_FALSE(windows.ChangeDisplayMode(nullptr));
  EXPECT_EQ(windows.GetDeviceContext(nullptr), nullptr);
  EXPECT_EQ(windows.CreateRenderContext(nullptr), nullptr);
}

}  // namespace
