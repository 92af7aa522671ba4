#pragma once
// The commands of quillon-scene. Each returns the process exit code; a bad
// file ends the program with the unhandled-error report (217) instead.

int DumpCommand(const char* file);
int CopyCommand(const char* in, const char* out);
int InfoCommand(const char* file);
int MeshCommand(const char* file);
