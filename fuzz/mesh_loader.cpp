// libFuzzer harness for the mesh loader: any bytes either load into a mesh
// whose derived data is safe to walk, or are refused through the
// unhandled-error report, turned into an exception here so fuzzing goes on.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "assets/mesh.h"
#include "platform/files.h"

namespace {

struct Refused {};

void ThrowRefusal(const char*) { throw Refused{}; }

const std::string& InputPath() {
  static const std::string path = "/tmp/quillon-fuzz-mesh-" + std::to_string(getpid()) + "._3d";
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  platform::SetUnhandledErrorHandler(ThrowRefusal);
  std::FILE* f = std::fopen(InputPath().c_str(), "wb");
  if (!f) std::abort();
  if (size && std::fwrite(data, 1, size, f) != size) std::abort();
  if (std::fclose(f) != 0) std::abort();

  assets::Mesh mesh;
  try {
    assets::LoadMesh(mesh, InputPath());
    // Walk everything drawing would read.
    volatile float sink = 0;
    for (std::size_t i = 0; i < mesh.vertexInfo.size(); ++i) {
      const auto& info = mesh.vertexInfo[i];
      sink = sink + info.normal.x + mesh.vertices[i].y;
      for (std::int32_t k = 0; k < info.useCount; ++k) sink = sink + mesh.faceNormals[info.useFaces[k]].z;
    }
    assets::UpdateMeshNormals(mesh);
  } catch (const Refused&) {
  }
  assets::ReleaseMesh(mesh);
  return 0;
}
