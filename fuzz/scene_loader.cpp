// libFuzzer harness for the scene loader: any bytes either load or are
// refused through the unhandled-error report, which is turned into an
// exception here so that fuzzing goes on after a refusal.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/files.h"
#include "scene/camera.h"
#include "scene/loader.h"

namespace {

struct Refused {};

void ThrowRefusal(const char*) { throw Refused{}; }

const std::string& InputPath() {
  static const std::string path = "/tmp/quillon-fuzz-scene-" + std::to_string(getpid()) + ".3dw";
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  platform::SetUnhandledErrorHandler(ThrowRefusal);
  std::FILE* f = std::fopen(InputPath().c_str(), "wb");
  if (!f) std::abort();
  if (size && std::fwrite(data, 1, size, f) != size) std::abort();
  if (std::fclose(f) != 0) std::abort();

  scene::Scene s;
  try {
    scene::LoadScene(s, InputPath());
    // A loaded scene is safe to evaluate at any time.
    for (float t : {-1e9f, 0.0f, 0.5f, 7.0f, 1e9f}) scene::EvaluateCamera(s, t);
  } catch (const Refused&) {
  }
  scene::ReleaseScene(s);
  // libFuzzer ends without exit handlers, so each input is removed at once.
  std::remove(InputPath().c_str());
  return 0;
}
