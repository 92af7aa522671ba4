// The web backend: the show in a browser page.
// Platform: WebAssembly built by emscripten, in a page (index.html) that
// loads the data set, offers Play and shows failures as text.
// Depends on: emscripten's html5.h (the WebGL 2 context on the page's canvas,
// key events), ASYNCIFY (the show's main loop stays a loop: the buffer swap
// waits for the browser's next animation frame), Web Audio (audio_device.cpp)
// and decodeAudioData (mp3_web.cpp). OpenGL is the fixed-function layer of
// platform/gles on WebGL 2.
// Known limits: no threads (the picture workers find none and decode on
// demand); no display modes (the page asks for fullscreen when Play is
// clicked or F pressed, and the canvas is scaled by the browser); no
// headless context.
#include <emscripten.h>
#include <emscripten/html5.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <string>

#include "platform/gl.h"
#include "platform/gles/layer.h"
#include "platform/window.h"

namespace platform {

struct DeviceContextRecord {
  WindowRecord* window = nullptr;
  int format = 0;
};

struct WindowRecord {
  WindowProc procedure = nullptr;
  DeviceContextRecord dc;
  int width = 0;
  int height = 0;
};

struct RenderContextRecord {
  EMSCRIPTEN_WEBGL_CONTEXT_HANDLE webgl = 0;
};

namespace {

constexpr const char* kCanvas = "#canvas";

std::string registeredClass;
WindowProc registeredProcedure = nullptr;
WindowRecord* showWindow = nullptr;
std::deque<Message> queue;
bool quitPosted = false;
int quitCode = 0;

// Waits for the browser's next animation frame, which is when what was drawn
// reaches the page; key events and audio run meanwhile. A page that measures
// how fast the show draws (Module.quillonUnpaced) only lets the browser's
// other tasks run, through a message to itself, which no timer clamps.
EM_ASYNC_JS(void, WaitForAnimationFrame, (), {
  if (Module.quillonUnpaced) {
    await new Promise(resolve => {
      const channel = new MessageChannel();
      channel.port1.onmessage = () => resolve();
      channel.port2.postMessage(0);
    });
    return;
  }
  await new Promise(resolve => requestAnimationFrame(() => resolve()));
});

void QueueChar(unsigned char c) { queue.push_back({showWindow, kWmChar, c, 0}); }
void QueueKey(std::uintptr_t key) { queue.push_back({showWindow, kWmKeyDown, key, 0}); }

// Whether the page is fullscreen, and whether F asked it to leave, which
// does not end the show as leaving by the browser's own Escape does.
bool wasFullscreen = false;
bool leavingOnRequest = false;

// F switches the page between fullscreen and the page: browsers let a page
// enter fullscreen only while it answers the user's own input, so this runs
// in the key event itself and not later in the show's loop. The shell's
// window has no SetWindowed here, so its own F handling leaves this alone.
void ToggleBrowserFullscreen() {
  const bool fullscreen = EM_ASM_INT({ return document.fullscreenElement ? 1 : 0; }) != 0;
  if (fullscreen) leavingOnRequest = true;
  EM_ASM({ if (Module.quillonFullscreen) Module.quillonFullscreen($0 != 0); }, fullscreen ? 0 : 1);
}

// The player's key number of a key (by the character it types, as the
// desktop's window system names keys), 0 for one the player does not use.
std::uintptr_t PlayerKey(const char* key) {
  static constexpr struct {
    const char* name;
    std::uintptr_t number;
  } kKeys[] = {{" ", kKeySpace},   {"PageUp", kKeyPageUp},   {"PageDown", kKeyPageDown},
               {"Home", kKeyHome}, {"ArrowLeft", kKeyLeft},  {"ArrowRight", kKeyRight},
               {"f", kKeyF},       {"F", kKeyF},             {"h", kKeyH},
               {"H", kKeyH}};
  for (const auto& k : kKeys) {
    if (std::strcmp(key, k.name) == 0) return k.number;
  }
  if (key[0] >= '1' && key[0] <= '6' && key[1] == 0) return kKey1 + static_cast<std::uintptr_t>(key[0] - '1');
  return 0;
}

EM_BOOL OnKeyDown(int, const EmscriptenKeyboardEvent* event, void*) {
  // The browser's own shortcuts stay the browser's.
  if (event->ctrlKey || event->altKey || event->metaKey) return EM_FALSE;
  const std::uintptr_t key = PlayerKey(event->key);
  // Held down, F would switch back and forth as fast as the key repeats.
  if (key == kKeyF && event->repeat) return EM_TRUE;
  // Keys that type a control character but give no text of their own.
  if (std::strcmp(event->key, "Escape") == 0) {
    QueueChar(27);
  } else if (std::strcmp(event->key, "Enter") == 0) {
    QueueChar(13);
  } else if (std::strcmp(event->key, "Backspace") == 0) {
    QueueChar(8);
  } else if (std::strcmp(event->key, "Tab") == 0) {
    QueueChar(9);
  } else if (event->key[0] != 0 && event->key[1] == 0) {
    QueueChar(static_cast<unsigned char>(event->key[0]));
  } else if (key == 0) {
    return EM_FALSE;
  }
  // The player's keys, under their key numbers, beside any text they type.
  if (key == kKeyF) ToggleBrowserFullscreen();
  if (key != 0) QueueKey(key);
  return EM_TRUE;
}

// Leaving fullscreen with the browser's own Escape (which the page never
// sees as a key) ends the show as the show's Escape does.
EM_BOOL OnFullscreenChange(int, const EmscriptenFullscreenChangeEvent* event, void*) {
  if (event->isFullscreen) {
    wasFullscreen = true;
    leavingOnRequest = false;
  } else if (wasFullscreen) {
    wasFullscreen = false;
    if (!leavingOnRequest) QueueChar(27);
    leavingOnRequest = false;
  }
  return EM_FALSE;
}

bool WebRegisterWindowClass(const WindowClass& windowClass) {
  if (!windowClass.className || !windowClass.procedure) return false;
  registeredClass = windowClass.className;
  registeredProcedure = windowClass.procedure;
  return true;
}

WindowHandle WebCreateShowWindow(const WindowRequest& request) {
  if (!request.className || registeredClass != request.className) return nullptr;
  if (request.width <= 0 || request.height <= 0) return nullptr;
  emscripten_set_canvas_element_size(kCanvas, request.width, request.height);
  auto* window = new WindowRecord;
  window->procedure = registeredProcedure;
  window->dc.window = window;
  window->width = request.width;
  window->height = request.height;
  showWindow = window;
  emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_TRUE, OnKeyDown);
  emscripten_set_fullscreenchange_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_FALSE,
                                           OnFullscreenChange);
  return window;
}

void WebShowWindow(WindowHandle) {}
void WebShowCursor(bool show) {
  MAIN_THREAD_EM_ASM({ if (Module.canvas) Module.canvas.style.cursor = $0 ? "" : "none"; }, show ? 1 : 0);
}

// The page has no display modes; the canvas is scaled by the browser.
bool WebChangeDisplayMode(const DisplayMode* mode) { return mode == nullptr; }

DeviceContext WebGetDeviceContext(WindowHandle window) { return window ? &window->dc : nullptr; }

int WebChoosePixelFormat(DeviceContext dc, const PixelFormatRequest& request) {
  if (!dc || !request.doubleBuffer || request.colorBits < 24) return 0;
  return 1;
}

bool WebSetPixelFormat(DeviceContext dc, int format, const PixelFormatRequest&) {
  if (!dc || format != 1 || dc->format != 0) return false;
  dc->format = format;
  return true;
}

RenderContext WebCreateRenderContext(DeviceContext dc) {
  if (!dc || dc->format == 0) return nullptr;
  EmscriptenWebGLContextAttributes attributes;
  emscripten_webgl_init_context_attributes(&attributes);
  attributes.majorVersion = 2;
  attributes.minorVersion = 0;
  attributes.alpha = EM_FALSE;
  attributes.depth = EM_TRUE;
  attributes.stencil = EM_FALSE;
  attributes.antialias = EM_FALSE;
  // The tests read frames back from the canvas after they were shown.
  attributes.preserveDrawingBuffer = EM_TRUE;
  const EMSCRIPTEN_WEBGL_CONTEXT_HANDLE webgl = emscripten_webgl_create_context(kCanvas, &attributes);
  if (webgl <= 0) {
    std::fprintf(stderr, "No WebGL 2 context\n");
    return nullptr;
  }
  auto* rc = new RenderContextRecord;
  rc->webgl = webgl;
  return rc;
}

void* WebGlProcAddress(const char* name) { return emscripten_webgl_get_proc_address(name); }

bool WebMakeCurrent(DeviceContext dc, RenderContext rc) {
  if (!dc) return false;
  if (!rc) {
    if (gles::LayerStarted()) gles::StopLayer();
    return emscripten_webgl_make_context_current(0) == EMSCRIPTEN_RESULT_SUCCESS;
  }
  if (emscripten_webgl_make_context_current(rc->webgl) != EMSCRIPTEN_RESULT_SUCCESS) return false;
  if (!gles::LayerStarted()) {
    gles::EsTable es;
    std::string problem;
    if (!gles::LoadEsTable(es, WebGlProcAddress, problem)) {
      std::fprintf(stderr, "WebGL 2 lacks %s\n", problem.c_str());
      return false;
    }
    if (!gles::StartLayer(es, problem)) {
      std::fprintf(stderr, "The GL layer cannot draw: %s\n", problem.c_str());
      return false;
    }
  }
  gl::BindGl();
  return true;
}

bool WebDeleteRenderContext(RenderContext rc) {
  if (!rc) return false;
  if (gles::LayerStarted() && emscripten_webgl_get_current_context() == rc->webgl) gles::StopLayer();
  emscripten_webgl_destroy_context(rc->webgl);
  delete rc;
  return true;
}

void WebReleaseDeviceContext(WindowHandle, DeviceContext) {}

void WebSwapBuffers(DeviceContext dc) {
  if (!dc) return;
  gles::FlushLayer();
  MAIN_THREAD_EM_ASM({ if (Module.quillonFrame) Module.quillonFrame(); });
  WaitForAnimationFrame();
}

void WebPostQuitMessage(int exitCode) {
  quitPosted = true;
  quitCode = exitCode;
}

bool WebPeekMessage(Message& message) {
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

int WebGetMessage(Message& message) {
  for (;;) {
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
    WaitForAnimationFrame();
  }
}

std::intptr_t WebDefWindowProc(WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t) { return 0; }

std::intptr_t WebDispatchMessage(const Message& message) {
  if (!message.window || !message.window->procedure) return 0;
  return message.window->procedure(message.window, message.message, message.wParam, message.lParam);
}

WindowHandle WebGetForegroundWindow() { return showWindow; }

WindowSystem table = WebWindowSystem();

}  // namespace

WindowSystem WebWindowSystem() {
  WindowSystem s{};
  s.RegisterWindowClass = WebRegisterWindowClass;
  s.CreateShowWindow = WebCreateShowWindow;
  s.ShowWindow = WebShowWindow;
  s.ShowCursor = WebShowCursor;
  s.ChangeDisplayMode = WebChangeDisplayMode;
  s.GetDeviceContext = WebGetDeviceContext;
  s.ChoosePixelFormat = WebChoosePixelFormat;
  s.SetPixelFormat = WebSetPixelFormat;
  s.CreateRenderContext = WebCreateRenderContext;
  s.MakeCurrent = WebMakeCurrent;
  s.DeleteRenderContext = WebDeleteRenderContext;
  s.ReleaseDeviceContext = WebReleaseDeviceContext;
  s.SwapBuffers = WebSwapBuffers;
  s.PostQuitMessage = WebPostQuitMessage;
  s.PeekMessage = WebPeekMessage;
  s.GetMessage = WebGetMessage;
  s.DispatchMessage = WebDispatchMessage;
  s.DefWindowProc = WebDefWindowProc;
  s.GetForegroundWindow = WebGetForegroundWindow;
  return s;
}

WindowSystem& Windows() { return table; }
WindowSystem SaveWindowSystem() { return table; }
void RestoreWindowSystem(const WindowSystem& saved) { table = saved; }

}  // namespace platform
