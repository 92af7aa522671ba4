#pragma once
// What the modules above the platform need of "the show window" without
// knowing whether it is a real window or a headless context: presenting the
// back buffer, and modal message boxes.

namespace platform {

// The function that presents the current back buffer (the show window's
// buffer swap, or the headless context's). Null while nothing is open, and
// then PresentFrame does nothing.
using PresentFn = void (*)();
void SetPresentTarget(PresentFn present);
bool HasPresentTarget();
void PresentFrame();

// A modal message box with an OK button and no owner window. Where no display
// exists the caption and text go to standard error instead. Tests install a
// recorder here so that no real dialog ever opens.
using MessageBoxFn = void (*)(const char* text, const char* caption, bool errorIcon);
void SetMessageBoxHandler(MessageBoxFn handler);  // null restores the default
void ShowMessageBox(const char* text, const char* caption, bool errorIcon);

}  // namespace platform
