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

// A file open for sequential binary reading. A count that asks for more
// bytes than remain is refused before the caller allocates for it: for a
// file of known size against that size; for a stream, whose size is not
// known in advance (a pipe, a terminal, standard input), against what the
// stream still delivers, taken in as the counts ask, in growing chunks,
// so nothing is allocated for bytes that never come.
struct InFile {
  std::FILE* handle = nullptr;
  std::string name;
  std::uint64_t size = 0;      // a stream: the bytes taken in so far
  std::uint64_t position = 0;
  bool stream = false;
  bool ended = false;          // a stream: its end has been seen
  std::vector<unsigned char> ahead;  // a stream: bytes taken in from aheadStart on, not yet read
  std::size_t aheadStart = 0;
};

// The name under which OpenRead reads standard input, as the tools'
// command lines write it.
inline constexpr std::string_view kStandardInputName = "-";

// "File not found" when the file cannot be opened.
InFile OpenRead(std::string_view name);
// Reads exactly n bytes; fewer is "Read past end of file". n = 0 reads nothing.
void ReadExact(InFile& file, void* destination, std::size_t n);
// Refuses with "Read past end of file" when n bytes do not remain.
void RequireRemaining(InFile& file, std::uint64_t n);
// The bytes known to remain: for a stream, those taken in and not yet read.
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

// The full path of the running program's own file, empty when the system
// cannot tell.
std::string ExecutablePath();

}  // namespace platform
