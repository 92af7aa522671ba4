#pragma once
// What each backend folder provides to the code at the top of platform: the
// few services that differ between operating systems. platform/sdl/ is the
// Linux backend (SDL2, EGL, libmpg123, POSIX), platform/win32/ the Windows
// one (user32, gdi32, WGL, winmm, msacm32); the build compiles exactly one.
// Besides these, each backend implements the window table of window.h, the
// headless context of offscreen.h and the folder search of files.h.
// Private to src/platform.
#include <cstdint>
#include <cstdio>
#include <string>

namespace platform::backend {

// ---- the OpenGL binding (gl.cpp) ----

// The file names of the system's OpenGL and GLU libraries.
extern const char* const kGlLibraryName;
extern const char* const kGluLibraryName;
// A library opened by name for the life of the process; null when it cannot
// be opened, with the system's reason in error.
void* OpenLibrary(const char* name, std::string& error);
// An entry point of an opened library by name; null when it has none.
void* LibraryEntry(void* library, const char* name);

// ---- message boxes (present.cpp) ----

// A modal box with an OK button and no owner window, an error icon when
// asked; returns when it is dismissed. False when no box can be shown (no
// display), so the caller can put the text elsewhere.
bool ShowSystemMessageBox(const char* text, const char* caption, bool errorIcon);
// What ServeMessageBox (present.h) does on this system: -1 where boxes are
// shown in the program's own process, else as described there.
int ServeMessageBox(int argc, char** argv);

// ---- stop requests (process.h) ----

// A descriptor that turns readable when a stop is requested and stays
// readable, for waits that must end on a stop (the message box's); -1 before
// InstallStopRequests. POSIX only.
int StopRequestDescriptor();

// ---- files (files.cpp) ----

// Moves a finished file onto its target, replacing a file already there;
// false when the move cannot be made.
bool MoveOver(const std::string& from, const std::string& to);
// A handle of its own on standard input, reading bytes unchanged, so that
// closing it leaves standard input open; null when there is none.
std::FILE* OpenStandardInput();
// The size of an open file when it is known in advance (a regular file);
// false for a pipe, a terminal or a device, which are read as streams.
bool SizeKnownInAdvance(std::FILE* file, std::uint64_t& size);

// ---- the audio output device (audio.cpp) ----

// Fills out with frames of mixed 16-bit audio (the device's channel count
// each); the buffer arrives zeroed.
using DevicePull = void (*)(std::int16_t* out, int frames);

// Opens the output (device 0 the default one, n >= 1 the n-th output the
// system lists) at rate Hz with 1 or 2 channels, stopped. From then on, while
// started, the device calls pull on a thread of its own whenever it needs
// audio, about every 20 ms. False when no output can be opened.
bool OpenAudioDevice(std::uint32_t device, int rate, int channels, DevicePull pull);
// True where pulls come on a thread of the device's own; false in a build
// without threads (the web), where they run on the program's one thread
// between its frames and the mixer hands out its end notices right after.
extern const bool kPullsOnOwnThread;
// Stops (true) or starts (false) the pulls. Stopping waits for a pull in
// progress, so no pull follows once it returns.
void PauseAudioDevice(bool pause);
// Stops the pulls for good and closes the output.
void CloseAudioDevice();

}  // namespace platform::backend
