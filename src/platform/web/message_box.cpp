// Message boxes of the web build: the caption and text go on the page, over
// the show, where they stay readable instead of leaving a blank canvas; the
// program waits until the box's OK is clicked, as a system's modal box
// makes it wait (the loop unwinds meanwhile: ASYNCIFY).
#include <emscripten.h>

#include "platform/backend.h"

namespace {

EM_ASYNC_JS(void, ShowBoxOnPage, (const char* text, const char* caption, int errorIcon), {
  if (Module.quillonMessage) await Module.quillonMessage(UTF8ToString(text), UTF8ToString(caption), errorIcon != 0);
});

}  // namespace

namespace platform::backend {

bool ShowSystemMessageBox(const char* text, const char* caption, bool errorIcon) {
  ShowBoxOnPage(text, caption, errorIcon ? 1 : 0);
  return true;
}

// Boxes are shown in the page itself: there is no helper process.
int ServeMessageBox(int, char**) { return -1; }

}  // namespace platform::backend
