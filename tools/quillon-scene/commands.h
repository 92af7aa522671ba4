#pragma once
// The commands of quillon-scene. Each returns the process exit code; a bad
// file ends the program with the loader's report (217), after one line
// "quillon-scene: FILE: reason" on standard error.

// The file the next load or save is about, named by the one-line report.
void SetCurrentFile(const char* file);

int DumpCommand(const char* file);
int CopyCommand(const char* in, const char* out);
int InfoCommand(const char* file);
int MeshCommand(const char* file);
