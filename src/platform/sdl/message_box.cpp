// Message boxes through SDL, where a display can show them.
#include <SDL.h>

#include "platform/backend.h"

namespace platform::backend {

bool ShowSystemMessageBox(const char* text, const char* caption, bool errorIcon) {
  const char* driver = SDL_GetCurrentVideoDriver();
  if (!driver) driver = "";
  // SDL's stand-in drivers draw nowhere: a box there would wait for a click
  // nobody can give.
  bool haveDisplay = SDL_WasInit(SDL_INIT_VIDEO) != 0 && SDL_GetNumVideoDisplays() > 0 &&
                     SDL_strcmp(driver, "dummy") != 0 && SDL_strcmp(driver, "offscreen") != 0;
  if (!haveDisplay) return false;
  Uint32 flags = errorIcon ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_INFORMATION;
  return SDL_ShowSimpleMessageBox(flags, caption, text, nullptr) == 0;
}

}  // namespace platform::backend
