#pragma once
// What the loader harnesses share: the input bytes go to a file of this
// process's own, the unhandled-error report is turned into an exception so
// fuzzing goes on after a refusal, and the file is removed after each input
// (libFuzzer ends without exit handlers).
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/files.h"

namespace fuzzinput {

struct Refused {};

inline void ThrowRefusal(const char*) { throw Refused{}; }

// Runs body(path) on the bytes written to a file named with the given
// suffix; a refused input ends body early and is not an error.
template <typename Body>
void RunOnFile(const std::uint8_t* data, std::size_t size, const char* suffix, Body body) {
  static const std::string path = "/tmp/quillon-fuzz-" + std::to_string(getpid()) + suffix;
  platform::SetUnhandledErrorHandler(ThrowRefusal);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  if (size && std::fwrite(data, 1, size, f) != size) std::abort();
  if (std::fclose(f) != 0) std::abort();
  try {
    body(path);
  } catch (const Refused&) {
  }
  std::remove(path.c_str());
}

}  // namespace fuzzinput
