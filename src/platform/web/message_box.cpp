// Message boxes of the web build: the text goes on the page, where it stays
// readable instead of leaving a blank canvas.
#include <emscripten.h>

#include "platform/backend.h"

namespace platform::backend {

bool ShowSystemMessageBox(const char* text, const char* caption, bool errorIcon) {
  MAIN_THREAD_EM_ASM(
      {
        if (Module.quillonMessage) Module.quillonMessage(UTF8ToString($0), UTF8ToString($1), $2 != 0);
      },
      text, caption, errorIcon ? 1 : 0);
  return true;
}

// Boxes are shown in the page itself: there is no helper process.
int ServeMessageBox(int, char**) { return -1; }

}  // namespace platform::backend
