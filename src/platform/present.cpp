#include "platform/present.h"

#include <SDL.h>

#include <cstdio>

namespace platform {

namespace {
PresentFn presentTarget = nullptr;
MessageBoxFn messageBoxHandler = nullptr;

void DefaultMessageBox(const char* text, const char* caption, bool errorIcon) {
  Uint32 flags = errorIcon ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_INFORMATION;
  bool haveDisplay = SDL_WasInit(SDL_INIT_VIDEO) != 0 && SDL_GetNumVideoDisplays() > 0 &&
                     SDL_strcmp(SDL_GetCurrentVideoDriver() ? SDL_GetCurrentVideoDriver() : "", "dummy") != 0 &&
                     SDL_strcmp(SDL_GetCurrentVideoDriver() ? SDL_GetCurrentVideoDriver() : "", "offscreen") != 0;
  if (haveDisplay && SDL_getenv("QUILLON_NO_DIALOGS") == nullptr &&
      SDL_ShowSimpleMessageBox(flags, caption, text, nullptr) == 0) {
    return;
  }
  std::fprintf(stderr, "%s: %s\n", caption, text);
}
}  // namespace

void SetPresentTarget(PresentFn present) { presentTarget = present; }
bool HasPresentTarget() { return presentTarget != nullptr; }
void PresentFrame() {
  if (presentTarget) presentTarget();
}

void SetMessageBoxHandler(MessageBoxFn handler) { messageBoxHandler = handler; }
void ShowMessageBox(const char* text, const char* caption, bool errorIcon) {
  (messageBoxHandler ? messageBoxHandler : DefaultMessageBox)(text, caption, errorIcon);
}

}  // namespace platform
