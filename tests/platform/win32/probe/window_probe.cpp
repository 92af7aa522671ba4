// Asks Windows (under Wine, the same session as the show) about the show's
// windows, for the end-to-end run of the Windows package:
//   window_probe window CLASS TITLE   the top-level window of that class and title
//   window_probe box CAPTION          a message box with that caption, and its text
//   window_probe ok CAPTION           presses the OK button of that message box
//   window_probe dpi                  the desktop's DPI, as a program unaware of DPI sees it
// Prints what it found and exits 0; exits 1 when there is no such window.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

BOOL CALLBACK CollectText(HWND child, LPARAM found) {
  char className[64] = {}, text[512] = {};
  GetClassNameA(child, className, sizeof className);
  GetWindowTextA(child, text, sizeof text);
  // The box's message is its static control with text; its button is "OK".
  if (std::strcmp(className, "Static") == 0 && text[0] != '\0') *reinterpret_cast<std::string*>(found) += text;
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "window") == 0) {
    HWND window = FindWindowA(argv[2], argv[3]);
    if (!window) return 1;
    char className[64] = {}, title[256] = {};
    GetClassNameA(window, className, sizeof className);
    GetWindowTextA(window, title, sizeof title);
    RECT rect;
    GetWindowRect(window, &rect);
    std::printf("class=%s\ntitle=%s\nrect=%ld,%ld,%ld,%ld\nstyle=0x%08lX\n", className, title, rect.left, rect.top,
                rect.right, rect.bottom, static_cast<unsigned long>(GetWindowLongA(window, GWL_STYLE)));
    return 0;
  }
  if (argc == 3 && std::strcmp(argv[1], "box") == 0) {
    HWND box = FindWindowA("#32770", argv[2]);
    if (!box) return 1;
    std::string text;
    EnumChildWindows(box, CollectText, reinterpret_cast<LPARAM>(&text));
    std::printf("caption=%s\ntext=%s\n", argv[2], text.c_str());
    return 0;
  }
  if (argc == 3 && std::strcmp(argv[1], "ok") == 0) {
    HWND box = FindWindowA("#32770", argv[2]);
    if (!box) return 1;
    // What a click on the button sends its dialog.
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
    std::printf("pressed OK\n");
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "dpi") == 0) {
    HDC screen = GetDC(nullptr);
    std::printf("logpixels=%d\n", GetDeviceCaps(screen, LOGPIXELSX));
    ReleaseDC(nullptr, screen);
    return 0;
  }
  std::fprintf(stderr,
               "usage: window_probe window CLASS TITLE | window_probe box CAPTION | window_probe ok CAPTION | "
               "window_probe dpi\n");
  return 2;
}
