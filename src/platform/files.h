#pragma once
// Binary file access with the system's one way of failing: the first failed
// open, read, write or close, or an exhausted heap, writes the two-line
// unhandled-error report to standard output and ends the program with exit
// code 217 through the normal exit path, so exit handlers still run.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

inline constexpr int kUnhandledErrorExitCode = 217;

// Writes "An unhandled exception occurred at 0x%08X :" and the message, then
// exit(217). The location is the caller's code address, cut to 32 bits.
[[noreturn]] void RaiseUnhandledError(const char* message);
[[noreturn]] void RaiseUnhandledErrorAt(std::uint32_t location, const char* message);

// A hook called with the message before the report is written. A handler that
// returns lets the report and exit(217) follow; a fuzzing harness, which must
// go on after a refused input, throws from it instead. Null (the default)
// means no hook.
using UnhandledErrorHandler = void (*)(const char* message);
void SetUnhandledErrorHandler(UnhandledErrorHandler handler);

// A backslash is a path separator in every name the system opens.
std::string NativePath(std::string_view name);

// Heap memory that ends the program with "Out of memory" when refused.
void* AllocateOrDie(std::size_t bytes);

// A file open for sequential binary reading, with its size known so that a
// count asking for more bytes than remain is refused before allocating.
struct InFile {
  std::FILE* handle = nullptr;
  std::string name;
  std::uint64_t size = 0;
  std::uint64_t position = 0;
};

// "File not found" when the file cannot be opened.
InFile OpenRead(std::string_view name);
// Reads exactly n bytes; fewer is "Read past end of file". n = 0 reads nothing.
void ReadExact(InFile& file, void* destination, std::size_t n);
// Refuses with "Read past end of file" when n bytes do not remain.
void RequireRemaining(const InFile& file, std::uint64_t n);
std::uint64_t Remaining(const InFile& file);
void Close(InFile& file);

// Reads a little-endian value of the given type.
template <typename T>
T ReadValue(InFile& file) {
  T value;
  ReadExact(file, &value, sizeof value);
  return value;
}

// A file written beside its target under a temporary name and moved over the
// target only when every write and the close succeeded, so a failed save
// leaves the existing file as it was.
struct OutFile {
  std::FILE* handle = nullptr;
  std::string target;
  std::string temporary;
  std::vector<unsigned char> buffer;
};

OutFile OpenWrite(std::string_view name);
void WriteBytes(OutFile& file, const void* source, std::size_t n);
template <typename T>
void WriteValue(OutFile& file, const T& value) {
  WriteBytes(file, &value, sizeof value);
}
// Flushes, closes and renames over the target; any failure is the report.
void Commit(OutFile& file);

// Whole-file helpers for tools and tests.
std::vector<unsigned char> ReadWholeFile(std::string_view name);
void WriteWholeFile(std::string_view name, const void* data, std::size_t n);

// Names of the entries of a folder that match a pattern with '*' and '?'
// in any letter case, in the order the folder listing gives them.
std::vector<std::string> FindFiles(std::string_view directory, std::string_view pattern);

}  // namespace platform
