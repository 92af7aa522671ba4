#include "platform/present.h"

#include <cstdio>
#include <cstdlib>

#include "platform/backend.h"

namespace platform {

namespace {
PresentFn presentTarget = nullptr;
MessageBoxFn messageBoxHandler = nullptr;

void DefaultMessageBox(const char* text, const char* caption, bool errorIcon) {
  if (std::getenv("QUILLON_NO_DIALOGS") == nullptr && backend::ShowSystemMessageBox(text, caption, errorIcon)) {
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

int ServeMessageBox(int argc, char** argv) { return backend::ServeMessageBox(argc, argv); }

void SetMessageBoxHandler(MessageBoxFn handler) { messageBoxHandler = handler; }
void ShowMessageBox(const char* text, const char* caption, bool errorIcon) {
  (messageBoxHandler ? messageBoxHandler : DefaultMessageBox)(text, caption, errorIcon);
}

}  // namespace platform
