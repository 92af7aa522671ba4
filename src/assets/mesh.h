#pragma once
// A triangle mesh from a "._3d" file (raw little-endian arrays: vertex count,
// face count, the vertices, the faces) with its derived face normals, face
// lists and unit vertex normals.
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace assets {

// Arrays that the loader fills in full straight after allocating them: a
// resize leaves new entries uninitialised instead of zeroing them first, so
// the largest arrays of a big mesh are written once, not twice.
template <typename T>
struct UninitialisedAllocator : std::allocator<T> {
  template <typename U>
  struct rebind {
    using other = UninitialisedAllocator<U>;
  };
  UninitialisedAllocator() = default;
  template <typename U>
  UninitialisedAllocator(const UninitialisedAllocator<U>&) noexcept {}
  template <typename U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};
template <typename T>
using MeshArray = std::vector<T, UninitialisedAllocator<T>>;

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
  MeshArray<MeshVec3> vertices;
  std::vector<MeshVertexInfo> vertexInfo;
  MeshArray<MeshFace> faces;
  MeshArray<MeshVec3> faceNormals;
  MeshArray<std::int32_t> useFaceStorage;  // the face lists of every vertex, end to end
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
