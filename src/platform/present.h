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

// On Linux a real box is shown by a helper process: this program started
// again from its own file, with a marker in its environment. While the box is up the
// program waits for the helper and for a stop request (platform/process.h);
// a stop ends the helper and everything it started, and the box call
// returns. The helper dies with the program, so no box outlives it.
//
// main() of a program that shows real boxes calls this first. In the program
// itself it returns -1 and from then on shows its boxes this way; in the
// helper it shows the box and returns the helper's exit code. A program that
// never calls it shows its boxes in its own process, as a library call that
// nothing can interrupt. Where the system's boxes live in the program's own
// process anyway, it returns -1 and changes nothing.
int ServeMessageBox(int argc, char** argv);

}  // namespace platform
