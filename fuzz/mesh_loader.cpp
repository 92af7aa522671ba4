// libFuzzer harness for the mesh loader: any bytes either load into a mesh
// whose derived data is safe to walk, or are refused.
#include "assets/mesh.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  assets::Mesh mesh;
  fuzzinput::RunOnFile(data, size, "._3d", [&](const std::string& path) {
    assets::LoadMesh(mesh, path);
    // Walk everything drawing would read.
    volatile float sink = 0;
    for (std::size_t i = 0; i < mesh.vertexInfo.size(); ++i) {
      const auto& info = mesh.vertexInfo[i];
      sink = sink + info.normal.x + mesh.vertices[i].y;
      for (std::int32_t k = 0; k < info.useCount; ++k) sink = sink + mesh.faceNormals[info.useFaces[k]].z;
    }
    assets::UpdateMeshNormals(mesh);
  });
  assets::ReleaseMesh(mesh);
  return 0;
}
