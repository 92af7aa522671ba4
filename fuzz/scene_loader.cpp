// libFuzzer harness for the scene loader: any bytes either load into a scene
// whose camera is safe to evaluate at any time, or are refused.
#include "fuzz_input.h"
#include "scene/camera.h"
#include "scene/loader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  scene::Scene s;
  fuzzinput::RunOnFile(data, size, ".3dw", [&](const std::string& path) {
    scene::LoadScene(s, path);
    for (float t : {-1e9f, 0.0f, 0.5f, 7.0f, 1e9f}) scene::EvaluateCamera(s, t);
  });
  scene::ReleaseScene(s);
  return 0;
}
