// The frames the page's tests read: copied out of the program's memory into
// the page's list (window.quillon.frames) as they are drawn.
#include "platform/web/page.h"

#include <emscripten.h>

namespace platform::web {

void HandFrameToPage(const char* name, const std::uint8_t* rgb, int width, int height) {
  MAIN_THREAD_EM_ASM(
      {
        if (Module.quillonCaptured) {
          Module.quillonCaptured(UTF8ToString($0), HEAPU8.slice($1, $1 + $2 * $3 * 3), $2, $3);
        }
      },
      name, rgb, width, height);
}

}  // namespace platform::web
