#pragma once
// A triangle mesh from a "._3d" file (raw little-endian arrays: vertex count,
// face count, the vertices, the faces) with its derived face normals, face
// lists and unit vertex normals.
#include <cstdint>
#include <string_view>
#include <vector>

namespace assets {

struct MeshVec3 {
  float x, y, z;
};
struct MeshFace {
  std::int32_t a, b, c;
};
static_assert(sizeof(MeshVec3) == 12 && sizeof(MeshFace) == 12);

struct MeshVertexInfo {
  MeshVec3 normal{0, 0, 0};
  std::int32_t useCount = 0;
  std::int32_t* useFaces = nullptr;  // useCount face indices, in one block owned by the mesh
};

struct Mesh {
  std::int32_t vertexCount = 0;
  std::int32_t faceCount = 0;
  std::vector<MeshVec3> vertices;
  std::vector<MeshVertexInfo> vertexInfo;
  std::vector<MeshFace> faces;
  std::vector<MeshVec3> faceNormals;
  std::vector<std::int32_t> useFaceStorage;  // the face lists of every vertex, end to end
};

// Reads the file, scales by the largest signed coordinate and derives the face
// normals, the face lists and the vertex normals. A missing or short file is
// the unhandled-error report ("File not found", "Read past end of file", the
// latter before anything is allocated); a file with no vertices, a negative
// count, a face index outside the vertex array or a largest coordinate of 0
// is refused the same way with "Invalid mesh data: " + the file name + what is
// wrong. A vertex that no face uses, or whose face normals cancel out, gets
// the normal (0, 0, 0).
void LoadMesh(Mesh& mesh, std::string_view fileName);
// Reads and scales only; the derived arrays are allocated but not filled.
void LoadMeshPlain(Mesh& mesh, std::string_view fileName);
// Scales a mesh already in memory, then derives everything; its counts must
// match its arrays and its faces must name its vertices (refused as above).
void PrepareMesh(Mesh& mesh);
// Recomputes face and vertex normals from the current positions.
void UpdateMeshNormals(Mesh& mesh);
void ReleaseMesh(Mesh& mesh);

}  // namespace assets
