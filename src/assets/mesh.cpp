#include "assets/mesh.h"

#include <cmath>
#include <cstdio>
#include <new>
#include <string>

#include "platform/files.h"

namespace assets {

namespace {

[[noreturn]] void RefuseMesh(std::string_view fileName, const std::string& what) {
  std::string message = "Invalid mesh data: ";
  message.append(fileName);
  message += ": ";
  message += what;
  platform::RaiseUnhandledError(message.c_str());
}

// The arrays never hold more than the file did, so running out of memory here
// is the system's "Out of memory" report rather than an exception.
template <typename Fn>
void AllocateOrReport(Fn&& allocate) {
  try {
    allocate();
  } catch (const std::bad_alloc&) {
    platform::RaiseUnhandledError("Out of memory");
  }
}

// A refusal hook may unwind rather than end the program (the fuzzing
// harness does); the file is not left open then.
struct CloseOnUnwind {
  platform::InFile& file;
  ~CloseOnUnwind() {
    if (file.handle) std::fclose(file.handle);
    file.handle = nullptr;
  }
};

void ReadMeshFile(Mesh& mesh, std::string_view fileName) {
  if (fileName.size() > 255) RefuseMesh(fileName.substr(0, 255), "file name longer than 255 characters");
  platform::InFile file = platform::OpenRead(fileName);
  CloseOnUnwind guard{file};
  std::int32_t vertexCount = platform::ReadValue<std::int32_t>(file);
  std::int32_t faceCount = platform::ReadValue<std::int32_t>(file);
  if (vertexCount < 0) RefuseMesh(fileName, "negative vertex count " + std::to_string(vertexCount));
  if (faceCount < 0) RefuseMesh(fileName, "negative face count " + std::to_string(faceCount));
  if (vertexCount == 0) RefuseMesh(fileName, "no vertices");
  // Both arrays must be there before either is allocated.
  platform::RequireRemaining(file, 12ull * static_cast<std::uint64_t>(vertexCount) +
                                       12ull * static_cast<std::uint64_t>(faceCount));

  ReleaseMesh(mesh);
  AllocateOrReport([&] { mesh.vertices.resize(static_cast<std::size_t>(vertexCount)); });
  platform::ReadExact(file, mesh.vertices.data(), 12u * mesh.vertices.size());
  AllocateOrReport([&] { mesh.faces.resize(static_cast<std::size_t>(faceCount)); });
  platform::ReadExact(file, mesh.faces.data(), 12u * mesh.faces.size());
  platform::Close(file);
  mesh.vertexCount = vertexCount;
  mesh.faceCount = faceCount;
}

// Indices and counts are checked before anything is derived, so a bad file
// is refused instead of reading outside the vertex array.
void CheckMesh(const Mesh& mesh, std::string_view name) {
  if (mesh.vertexCount <= 0) RefuseMesh(name, "no vertices");
  if (mesh.faceCount < 0) RefuseMesh(name, "negative face count " + std::to_string(mesh.faceCount));
  if (mesh.vertices.size() != static_cast<std::size_t>(mesh.vertexCount) ||
      mesh.faces.size() != static_cast<std::size_t>(mesh.faceCount)) {
    RefuseMesh(name, "counts do not match the arrays");
  }
  const auto limit = static_cast<std::uint32_t>(mesh.vertexCount);
  for (std::size_t f = 0; f < mesh.faces.size(); ++f) {
    const MeshFace& face = mesh.faces[f];
    // One unsigned comparison per corner also catches negative indices.
    if (static_cast<std::uint32_t>(face.a) < limit && static_cast<std::uint32_t>(face.b) < limit &&
        static_cast<std::uint32_t>(face.c) < limit) {
      continue;
    }
    for (std::int32_t v : {face.a, face.b, face.c}) {
      if (static_cast<std::uint32_t>(v) >= limit) {
        RefuseMesh(name, "face " + std::to_string(f) + " names vertex " + std::to_string(v) + ", outside 0 to " +
                             std::to_string(mesh.vertexCount - 1));
      }
    }
  }
}

// Divides by the largest signed coordinate, found over x, then y, then z of
// each vertex in order.
void Scale(Mesh& mesh, std::string_view name) {
  float m = mesh.vertices[0].x;
  for (const MeshVec3& v : mesh.vertices) {
    if (m < v.x) m = v.x;
    if (m < v.y) m = v.y;
    if (m < v.z) m = v.z;
  }
  if (m == 0.0f) RefuseMesh(name, "largest coordinate is 0");
  if (!std::isfinite(m)) RefuseMesh(name, "largest coordinate is not a finite number");
  for (MeshVec3& v : mesh.vertices) {
    v.x /= m;
    v.y /= m;
    v.z /= m;
  }
}

[[gnu::always_inline]] inline MeshVec3 FaceNormal(const Mesh& mesh, const MeshFace& face) {
  const MeshVec3& a = mesh.vertices[static_cast<std::size_t>(face.a)];
  const MeshVec3& b = mesh.vertices[static_cast<std::size_t>(face.b)];
  const MeshVec3& c = mesh.vertices[static_cast<std::size_t>(face.c)];
  const float e1x = b.x - a.x, e1y = b.y - a.y, e1z = b.z - a.z;
  const float e2x = c.x - a.x, e2y = c.y - a.y, e2z = c.z - a.z;
  return {e1y * e2z - e2y * e1z, e1z * e2x - e2z * e1x, e1x * e2y - e2x * e1y};
}

// The sum of a vertex's face normals in list order is the sum formed by
// adding each face's normal to its corners' sums in ascending face order,
// corners a, b, c: the same additions in the same order, so the normals are
// summed while the faces are visited instead of gathered through the lists.
[[gnu::always_inline]] inline void AddToCorner(MeshVertexInfo& info, const MeshVec3& n) {
  info.normal.x += n.x;
  info.normal.y += n.y;
  info.normal.z += n.z;
}
[[gnu::always_inline]] inline void AddToCorners(MeshVertexInfo* info, const MeshFace& face, const MeshVec3& n) {
  AddToCorner(info[face.a], n);
  AddToCorner(info[face.b], n);
  AddToCorner(info[face.c], n);
}

// Turns each vertex's summed face normals into the normalised mean.
void FinishVertexNormals(Mesh& mesh) {
  for (MeshVertexInfo& info : mesh.vertexInfo) {
    float x = info.normal.x, y = info.normal.y, z = info.normal.z;
    if (info.useCount >= 1) {
      const float count = static_cast<float>(info.useCount);
      x /= count;
      y /= count;
      z /= count;
    }
    const float length = std::sqrt(x * x + y * y + z * z);
    // An unused vertex, or one whose faces cancel out, has no direction.
    if (length > 0) {
      info.normal = {x / length, y / length, z / length};
    } else {
      info.normal = {0, 0, 0};
    }
  }
}

// Face normals, face lists and vertex normals of a checked, scaled mesh. The
// lists are built by counting every vertex's corners and then filling them in
// one pass over the faces in ascending order, corners a, b, c: the same
// lists, in the same order, as scanning all faces once per vertex, in time
// linear in the mesh. The fill shares its pass with the face normals.
void Derive(Mesh& mesh) {
  AllocateOrReport([&] {
    mesh.vertexInfo.assign(mesh.vertices.size(), MeshVertexInfo{});
    mesh.faceNormals.resize(mesh.faces.size());
    mesh.useFaceStorage.resize(mesh.faces.size() * 3);
  });
  MeshVertexInfo* info = mesh.vertexInfo.data();
  for (const MeshFace& face : mesh.faces) {
    ++info[face.a].useCount;
    ++info[face.b].useCount;
    ++info[face.c].useCount;
  }
  // Each list's start; useCount becomes the fill cursor and ends as the count.
  std::int32_t* next = mesh.useFaceStorage.data();
  for (MeshVertexInfo& v : mesh.vertexInfo) {
    v.useFaces = v.useCount > 0 ? next : nullptr;
    next += v.useCount;
    v.useCount = 0;
  }
  for (std::size_t f = 0; f < mesh.faces.size(); ++f) {
    const MeshFace& face = mesh.faces[f];
    const MeshVec3 n = FaceNormal(mesh, face);
    mesh.faceNormals[f] = n;
    const auto index = static_cast<std::int32_t>(f);
    info[face.a].useFaces[info[face.a].useCount++] = index;
    info[face.b].useFaces[info[face.b].useCount++] = index;
    info[face.c].useFaces[info[face.c].useCount++] = index;
    AddToCorners(info, face, n);
  }
  FinishVertexNormals(mesh);
}

constexpr std::string_view kInMemory = "mesh in memory";

}  // namespace

void LoadMeshPlain(Mesh& mesh, std::string_view fileName) {
  ReadMeshFile(mesh, fileName);
  CheckMesh(mesh, fileName);
  Scale(mesh, fileName);
  AllocateOrReport([&] {
    mesh.vertexInfo.resize(mesh.vertices.size());
    mesh.faceNormals.resize(mesh.faces.size());
  });
}

void LoadMesh(Mesh& mesh, std::string_view fileName) {
  ReadMeshFile(mesh, fileName);
  CheckMesh(mesh, fileName);
  Scale(mesh, fileName);
  Derive(mesh);
}

void PrepareMesh(Mesh& mesh) {
  CheckMesh(mesh, kInMemory);
  Scale(mesh, kInMemory);
  Derive(mesh);
}

void UpdateMeshNormals(Mesh& mesh) {
  if (mesh.vertexInfo.size() != mesh.vertices.size() || mesh.faceNormals.size() != mesh.faces.size()) return;
  MeshVertexInfo* info = mesh.vertexInfo.data();
  for (MeshVertexInfo& v : mesh.vertexInfo) v.normal = {0, 0, 0};
  for (std::size_t f = 0; f < mesh.faces.size(); ++f) {
    mesh.faceNormals[f] = FaceNormal(mesh, mesh.faces[f]);
    AddToCorners(info, mesh.faces[f], mesh.faceNormals[f]);
  }
  FinishVertexNormals(mesh);
}

void ReleaseMesh(Mesh& mesh) {
  mesh.vertexCount = 0;
  mesh.faceCount = 0;
  MeshArray<MeshVec3>().swap(mesh.vertices);
  std::vector<MeshVertexInfo>().swap(mesh.vertexInfo);
  MeshArray<MeshFace>().swap(mesh.faces);
  MeshArray<MeshVec3>().swap(mesh.faceNormals);
  MeshArray<std::int32_t>().swap(mesh.useFaceStorage);
}

}  // namespace assets
