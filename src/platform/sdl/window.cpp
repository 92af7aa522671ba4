#include "platform/window.h"

#include <SDL.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <string>

#include "platform/gl.h"
#include "platform/scaled_frame.h"

namespace platform {

struct DeviceContextRecord {
  WindowRecord* window = nullptr;
  int format = 0;  // the format set on the window, 0 before SetPixelFormat
};

struct WindowRecord {
  SDL_Window* sdl = nullptr;
  WindowProc procedure = nullptr;
  PixelFormatRequest surface;  // what the window's surface was made for
  DeviceContextRecord dc;
  int width = 0;  // the size asked for, which is the size of the show's frame
  int height = 0;
  bool coversDisplay = false;  // stretched over its display when the mode was refused
  bool scaledFrame = false;    // its frames are drawn offscreen and scaled at each swap
  bool scaledFrameRefused = false;  // the driver cannot scale: never asked again
};

struct RenderContextRecord {
  SDL_GLContext gl = nullptr;
};

namespace {

// The one class the show registers; the window made from it takes its
// procedure.
std::string registeredClass;
WindowProc registeredProcedure = nullptr;

WindowRecord* showWindow = nullptr;

std::deque<Message> queue;
bool quitPosted = false;
int quitCode = 0;

bool VideoReady() { return SDL_WasInit(SDL_INIT_VIDEO) != 0; }

bool SdlRegisterWindowClass(const WindowClass& windowClass) {
  // SDL has no window classes: the name and procedure are kept for the
  // window made from them.
  if (!windowClass.className || !windowClass.procedure) return false;
  registeredClass = windowClass.className;
  registeredProcedure = windowClass.procedure;
  return true;
}

void ColourBits(int colorBits, int& red, int& green, int& blue) {
  if (colorBits >= 24) {
    red = green = blue = 8;
  } else if (colorBits >= 16) {
    red = 5;
    green = 6;
    blue = 5;
  } else {
    red = green = 3;
    blue = 2;
  }
}

SDL_Window* MakeSdlWindow(const WindowRequest& request, int depthBits) {
  SDL_GL_ResetAttributes();
  int red, green, blue;
  ColourBits(request.pixelFormat.colorBits, red, green, blue);
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, red);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, green);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, blue);
  SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 0);
  SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, depthBits);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, request.pixelFormat.doubleBuffer ? 1 : 0);
  // A legacy context (no profile, version below 3) is made from the window's
  // own visual, so the context always fits the window and keeps the whole
  // fixed-function pipeline.
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, 0);
  // On displays that count in points, the drawable has the display's own
  // pixels; the frame is scaled onto it when the sizes differ.
  Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN | SDL_WINDOW_ALLOW_HIGHDPI;
  flags |= request.popup ? SDL_WINDOW_BORDERLESS : SDL_WINDOW_RESIZABLE;
  return SDL_CreateWindow(request.title ? request.title : "", 0, 0, request.width, request.height, flags);
}

// Without a display SDL falls back to drivers that draw nowhere; the show
// window counts as made only on a display someone can see, unless such a
// driver was asked for by name.
bool RealDisplay() {
  const char* driver = SDL_GetCurrentVideoDriver();
  if (!driver) return false;
  if (SDL_strcmp(driver, "offscreen") != 0 && SDL_strcmp(driver, "dummy") != 0) return true;
  const char* requested = SDL_getenv("SDL_VIDEODRIVER");
  return requested && SDL_strcasecmp(requested, driver) == 0 && SDL_strcmp(driver, "dummy") != 0;
}

WindowHandle SdlCreateShowWindow(const WindowRequest& request) {
  if (!request.className || registeredClass != request.className) return nullptr;
  if (request.width <= 0 || request.height <= 0) return nullptr;
  // The X11 class name is read when the window is made.
  SDL_setenv("SDL_VIDEO_X11_WMCLASS", request.className, 1);
  SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    std::fprintf(stderr, "No display: %s\n", SDL_GetError());
    return nullptr;
  }
  if (!RealDisplay()) {
    std::fprintf(stderr, "No display: only the %s video driver is there\n", SDL_GetCurrentVideoDriver());
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return nullptr;
  }
  SDL_Window* sdl = MakeSdlWindow(request, request.pixelFormat.depthBits);
  PixelFormatRequest surface = request.pixelFormat;
  if (!sdl && request.pixelFormat.depthBits > 24) {
    // Many drivers offer no 32-bit depth buffer; 24 bits serve the show.
    sdl = MakeSdlWindow(request, 24);
    surface.depthBits = 24;
  }
  if (!sdl) {
    std::fprintf(stderr, "No window: %s\n", SDL_GetError());
    return nullptr;
  }
  auto* window = new WindowRecord;
  window->sdl = sdl;
  window->procedure = registeredProcedure;
  window->surface = surface;
  window->dc.window = window;
  window->width = request.width;
  window->height = request.height;
  showWindow = window;
  return window;
}

void SdlShowWindow(WindowHandle window) {
  if (!window || !window->sdl) return;
  SDL_ShowWindow(window->sdl);
  SDL_RaiseWindow(window->sdl);
  SDL_SetWindowInputFocus(window->sdl);
}

void SdlShowCursor(bool show) {
  if (VideoReady()) SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
}

// The window over the whole display at the display's own mode, for a show
// whose mode the display refused. The window is given the display's size
// first: a desktop-sized fullscreen window is stretched by the window
// manager, and without one (a bare X server) nothing else would.
void CoverDisplay(WindowRecord& window, int display) {
  SDL_Rect bounds;
  if (SDL_GetDisplayBounds(display, &bounds) != 0) return;
  SDL_SetWindowPosition(window.sdl, bounds.x, bounds.y);
  SDL_SetWindowSize(window.sdl, bounds.w, bounds.h);
  SDL_SetWindowFullscreen(window.sdl, SDL_WINDOW_FULLSCREEN_DESKTOP);
  window.coversDisplay = true;
}

void UncoverDisplay(WindowRecord& window) {
  if (!window.coversDisplay) return;
  SDL_SetWindowFullscreen(window.sdl, 0);
  SDL_SetWindowSize(window.sdl, window.width, window.height);
  SDL_SetWindowPosition(window.sdl, 0, 0);
  window.coversDisplay = false;
}

bool SdlChangeDisplayMode(const DisplayMode* mode) {
  if (!showWindow || !showWindow->sdl) return false;
  SDL_Window* sdl = showWindow->sdl;
  if (!mode) {
    if (showWindow->coversDisplay) {
      UncoverDisplay(*showWindow);
    } else if (SDL_GetWindowFlags(sdl) & SDL_WINDOW_FULLSCREEN) {
      SDL_SetWindowFullscreen(sdl, 0);
      SDL_SetWindowPosition(sdl, 0, 0);
    }
    return true;
  }
  int display = SDL_GetWindowDisplayIndex(sdl);
  if (display < 0) return false;
  SDL_DisplayMode wanted{};
  wanted.w = mode->width;
  wanted.h = mode->height;
  SDL_DisplayMode closest{};
  // Only the exact size counts as the requested mode; anything else leaves
  // the display in its own mode, and the show covers it scaled.
  if (!SDL_GetClosestDisplayMode(display, &wanted, &closest) || closest.w != mode->width ||
      closest.h != mode->height || SDL_SetWindowDisplayMode(sdl, &closest) != 0) {
    CoverDisplay(*showWindow, display);
    return false;
  }
  if (SDL_SetWindowFullscreen(sdl, SDL_WINDOW_FULLSCREEN) != 0) {
    SDL_SetWindowFullscreen(sdl, 0);
    CoverDisplay(*showWindow, display);
    return false;
  }
  return true;
}

void SdlSetWindowed(WindowHandle window, bool windowed) {
  if (!window || !window->sdl) return;
  SDL_SetWindowBordered(window->sdl, windowed ? SDL_TRUE : SDL_FALSE);
  SDL_SetWindowResizable(window->sdl, windowed ? SDL_TRUE : SDL_FALSE);
  SDL_SetWindowSize(window->sdl, window->width, window->height);
  if (windowed) {
    SDL_SetWindowPosition(window->sdl, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
  } else {
    SDL_SetWindowPosition(window->sdl, 0, 0);
  }
}

DeviceContext SdlGetDeviceContext(WindowHandle window) {
  if (!window || !window->sdl) return nullptr;
  return &window->dc;
}

int SdlChoosePixelFormat(DeviceContext dc, const PixelFormatRequest& request) {
  if (!dc || !dc->window) return 0;
  const PixelFormatRequest& surface = dc->window->surface;
  // The window has exactly one surface format; it serves a request it was
  // made for, with the depth it could get.
  if (surface.colorBits != request.colorBits || surface.doubleBuffer != request.doubleBuffer) return 0;
  if (surface.depthBits > request.depthBits) return 0;
  return 1;
}

bool SdlSetPixelFormat(DeviceContext dc, int format, const PixelFormatRequest&) {
  if (!dc || format != 1 || dc->format != 0) return false;
  dc->format = format;
  return true;
}

RenderContext SdlCreateRenderContext(DeviceContext dc) {
  if (!dc || !dc->window || dc->format == 0) return nullptr;
  SDL_GLContext context = SDL_GL_CreateContext(dc->window->sdl);
  if (!context) return nullptr;
  auto* rc = new RenderContextRecord;
  rc->gl = context;
  return rc;
}

void* SdlProcAddress(const char* name) { return SDL_GL_GetProcAddress(name); }

// Where the window's drawable is not the size the show draws at (a display
// that refused the mode, one that counts in points, a window the viewer made
// larger), the frames go to a framebuffer of the show's size that each swap
// scales onto the window. Without framebuffer objects the window goes back
// to the show's size, once: a driver that cannot is not asked at every frame.
void StartScaledFrame(WindowRecord& window, int drawableWidth, int drawableHeight) {
  if (window.scaledFrame || window.scaledFrameRefused) return;
  switch (platform::StartScaledFrame(window.width, window.height, window.surface.depthBits, SdlProcAddress,
                                     drawableWidth, drawableHeight)) {
    case ScaledFrameStart::Opened: window.scaledFrame = true; break;
    case ScaledFrameStart::Refused:
      window.scaledFrameRefused = true;
      UncoverDisplay(window);
      break;
    case ScaledFrameStart::NotNeeded: break;
  }
}

void StartScaledFrame(WindowRecord& window) {
  int width = 0, height = 0;
  SDL_GL_GetDrawableSize(window.sdl, &width, &height);
  StartScaledFrame(window, width, height);
}

void StopScaledFrame(WindowRecord& window, bool contextCurrent) {
  if (!window.scaledFrame) return;
  CloseScaledFrame(contextCurrent);
  window.scaledFrame = false;
}

bool SdlMakeCurrent(DeviceContext dc, RenderContext rc) {
  if (!dc || !dc->window) return false;
  if (!rc) {
    // The frame's framebuffer goes before the context it lives in.
    StopScaledFrame(*dc->window, true);
    return SDL_GL_MakeCurrent(dc->window->sdl, nullptr) == 0;
  }
  if (SDL_GL_MakeCurrent(dc->window->sdl, rc->gl) != 0) return false;
  // The program paces nothing itself; the driver's own default stands
  // unless the viewer asked for one.
  if (SwapIntervalRequest >= 0) SDL_GL_SetSwapInterval(SwapIntervalRequest);
  gl::BindGl();
  StartScaledFrame(*dc->window);
  return true;
}

bool SdlDeleteRenderContext(RenderContext rc) {
  if (!rc) return false;
  if (showWindow) StopScaledFrame(*showWindow, SDL_GL_GetCurrentContext() == rc->gl);
  SDL_GL_DeleteContext(rc->gl);
  delete rc;
  return true;
}

void SdlReleaseDeviceContext(WindowHandle, DeviceContext) {
  // The window's surface lives as long as the window; nothing to hand back.
}

void SwapSdlWindow(void* sdl) { SDL_GL_SwapWindow(static_cast<SDL_Window*>(sdl)); }

void SdlSwapBuffers(DeviceContext dc) {
  if (!dc || !dc->window || !dc->window->sdl) return;
  WindowRecord& window = *dc->window;
  // The drawable is measured at every swap: a window resized by the viewer,
  // a monitor or resolution change can make it another size at any time.
  int width = 0, height = 0;
  SDL_GL_GetDrawableSize(window.sdl, &width, &height);
  if (window.scaledFrame) {
    PresentScaledFrame(width, height, SwapSdlWindow, window.sdl);
    return;
  }
  SDL_GL_SwapWindow(window.sdl);
  // This frame went to the window as drawn; from the next one on, frames
  // are scaled onto the new size. A minimised window may have no drawable
  // and keeps drawing as it was.
  if (width > 0 && height > 0 && (width != window.width || height != window.height)) {
    StartScaledFrame(window, width, height);
  }
}

void SdlPostQuitMessage(int exitCode) {
  quitPosted = true;
  quitCode = exitCode;
}

void QueueChar(unsigned char c) { queue.push_back({showWindow, kWmChar, c, 0}); }
void QueueKey(std::uintptr_t key) { queue.push_back({showWindow, kWmKeyDown, key, 0}); }

// Typed text arrives as UTF-8; the window procedure takes single-byte
// characters, so code points beyond one byte become '?'.
void QueueText(const char* text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  while (*p) {
    unsigned int c = *p;
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    unsigned int code = extra == 0 ? c : extra == 1 ? (c & 0x1F) : extra == 2 ? (c & 0x0F) : (c & 0x07);
    ++p;
    for (int i = 0; i < extra && (*p & 0xC0) == 0x80; ++i, ++p) code = (code << 6) | (*p & 0x3F);
    QueueChar(code <= 0xFF ? static_cast<unsigned char>(code) : '?');
  }
}

void Translate(const SDL_Event& event) {
  switch (event.type) {
    case SDL_KEYDOWN:
      // Keys that type a control character but give no text input.
      switch (event.key.keysym.sym) {
        case SDLK_ESCAPE: QueueChar(27); break;
        case SDLK_RETURN: QueueChar(13); break;
        case SDLK_BACKSPACE: QueueChar(8); break;
        case SDLK_TAB: QueueChar(9); break;
        default: break;
      }
      // The player's keys, under their key numbers, beside any text they
      // type.
      switch (event.key.keysym.sym) {
        case SDLK_SPACE: QueueKey(kKeySpace); break;
        case SDLK_PAGEUP: QueueKey(kKeyPageUp); break;
        case SDLK_PAGEDOWN: QueueKey(kKeyPageDown); break;
        case SDLK_HOME: QueueKey(kKeyHome); break;
        case SDLK_LEFT: QueueKey(kKeyLeft); break;
        case SDLK_RIGHT: QueueKey(kKeyRight); break;
        case SDLK_f: QueueKey(kKeyF); break;
        case SDLK_h: QueueKey(kKeyH); break;
        default:
          if (event.key.keysym.sym >= SDLK_1 && event.key.keysym.sym <= SDLK_6) {
            QueueKey(kKey1 + static_cast<std::uintptr_t>(event.key.keysym.sym - SDLK_1));
          }
          break;
      }
      break;
    case SDL_TEXTINPUT: QueueText(event.text.text); break;
    case SDL_WINDOWEVENT:
      if (event.window.event == SDL_WINDOWEVENT_CLOSE) queue.push_back({showWindow, kWmClose, 0, 0});
      break;
    case SDL_QUIT:
      // The last window closed; in a program that leaves SDL its own signal
      // handlers, also SIGINT or SIGTERM. Both close the show the same way.
      queue.push_back({showWindow, kWmClose, 0, 0});
      break;
    default: break;
  }
}

void Drain() {
  if (!VideoReady()) return;
  SDL_Event event;
  while (SDL_PollEvent(&event)) Translate(event);
}

bool SdlPeekMessage(Message& message) {
  if (queue.empty()) Drain();
  if (!queue.empty()) {
    message = queue.front();
    return true;
  }
  if (quitPosted) {
    message = {nullptr, kWmQuit, static_cast<std::uintptr_t>(quitCode), 0};
    return true;
  }
  return false;
}

int SdlGetMessage(Message& message) {
  for (;;) {
    if (queue.empty()) Drain();
    if (!queue.empty()) {
      message = queue.front();
      queue.pop_front();
      return 1;
    }
    if (quitPosted) {
      quitPosted = false;
      message = {nullptr, kWmQuit, static_cast<std::uintptr_t>(quitCode), 0};
      return 0;
    }
    SDL_Event event;
    if (!VideoReady() || !SDL_WaitEvent(&event)) {
      // Nothing can ever arrive: report the failure instead of waiting forever.
      message = {};
      return -1;
    }
    Translate(event);
  }
}

std::intptr_t SdlDefWindowProc(WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t) { return 0; }

std::intptr_t SdlDispatchMessage(const Message& message) {
  if (!message.window || !message.window->procedure) return 0;
  return message.window->procedure(message.window, message.message, message.wParam, message.lParam);
}

WindowHandle SdlGetForegroundWindow() { return showWindow; }

WindowSystem table = SdlWindowSystem();

}  // namespace

WindowSystem SdlWindowSystem() {
  WindowSystem s{};
  s.RegisterWindowClass = SdlRegisterWindowClass;
  s.CreateShowWindow = SdlCreateShowWindow;
  s.ShowWindow = SdlShowWindow;
  s.ShowCursor = SdlShowCursor;
  s.ChangeDisplayMode = SdlChangeDisplayMode;
  s.SetWindowed = SdlSetWindowed;
  s.GetDeviceContext = SdlGetDeviceContext;
  s.ChoosePixelFormat = SdlChoosePixelFormat;
  s.SetPixelFormat = SdlSetPixelFormat;
  s.CreateRenderContext = SdlCreateRenderContext;
  s.MakeCurrent = SdlMakeCurrent;
  s.DeleteRenderContext = SdlDeleteRenderContext;
  s.ReleaseDeviceContext = SdlReleaseDeviceContext;
  s.SwapBuffers = SdlSwapBuffers;
  s.PostQuitMessage = SdlPostQuitMessage;
  s.PeekMessage = SdlPeekMessage;
  s.GetMessage = SdlGetMessage;
  s.DispatchMessage = SdlDispatchMessage;
  s.DefWindowProc = SdlDefWindowProc;
  s.GetForegroundWindow = SdlGetForegroundWindow;
  return s;
}

WindowSystem& Windows() { return table; }
WindowSystem SaveWindowSystem() { return table; }
void RestoreWindowSystem(const WindowSystem& saved) { table = saved; }

}  // namespace platform
