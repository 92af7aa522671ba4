// Message boxes with MessageBoxA.
#include <windows.h>

#include "platform/backend.h"

namespace platform::backend {

bool ShowSystemMessageBox(const char* text, const char* caption, bool errorIcon) {
  // No owner window; the OK button is the default.
  return MessageBoxA(nullptr, text, caption, MB_OK | (errorIcon ? MB_ICONERROR : 0)) != 0;
}

}  // namespace platform::backend
