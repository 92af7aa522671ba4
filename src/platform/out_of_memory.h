#pragma once
// Running out of memory ends the program with the unhandled-error report
// ("An unhandled exception occurred at 0x… :" and "Out of memory") and exit
// code 217, through the normal exit path, so the teardown still runs.
//
// Only the main thread ends the program: an exit started on another thread
// would run the teardown there while the main thread goes on using the
// window. A refused allocation on any other thread is an ordinary
// std::bad_alloc there; the picture workers catch it and hand the failure to
// the main thread, which reports it when it takes that picture; the sound
// threads play silence and note it (NoteOutOfMemoryElsewhere) for the main
// thread's next call into the audio library.

namespace platform {

// Makes every refused operator new on the calling thread (the main thread)
// the report, wherever it happens, before any stack unwinds or lock is let
// go. Call it once, on the main thread, at the start of main.
void InstallOutOfMemoryReport();

// True on the thread that installed the report.
bool OnReportingThread();

// For threads that must go on without the memory they asked for (the sound
// device's and the end-notice thread): notes the refusal, so that the main
// thread reports it at its next look. Never allocates.
void NoteOutOfMemoryElsewhere();

// On the main thread, the report when another thread has noted a refusal;
// elsewhere, or with nothing noted, nothing.
void EndIfOutOfMemoryNoted();

// The report at the caller's code location; does not return.
[[noreturn]] void RaiseOutOfMemory();

}  // namespace platform
