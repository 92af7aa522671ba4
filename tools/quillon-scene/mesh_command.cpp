// quillon-scene mesh: the mesh as the show sees it after loading, scaled and
// with its derived normals, one line per vertex and per face.
#include <cstdio>

#include "assets/mesh.h"
#include "commands.h"

int MeshCommand(const char* file) {
  assets::Mesh mesh;
  SetCurrentFile(file);
  assets::LoadMesh(mesh, file);
  std::printf("vertices %d\nfaces %d\n", mesh.vertexCount, mesh.faceCount);
  for (std::size_t i = 0; i < mesh.vertices.size(); ++i) {
    const assets::MeshVec3& p = mesh.vertices[i];
    const assets::MeshVec3& n = mesh.vertexInfo[i].normal;
    std::printf("v %zu %.4f %.4f %.4f %.4f %.4f %.4f\n", i, p.x, p.y, p.z, n.x, n.y, n.z);
  }
  for (std::size_t f = 0; f < mesh.faces.size(); ++f) {
    const assets::MeshFace& face = mesh.faces[f];
    const assets::MeshVec3& n = mesh.faceNormals[f];
    std::printf("f %zu %d %d %d %.4f %.4f %.4f\n", f, face.a, face.b, face.c, n.x, n.y, n.z);
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}
