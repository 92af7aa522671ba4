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
  AllocateOrReport([&] {
    mesh.vertices.resize(static_cast<std::size_t>(vertexCount));
    mesh.vertexInfo.resize(static_cast<std::size_t>(vertexCount));
  });
  platform::ReadExact(file, mesh.vertices.data(), 12u * mesh.vertices.size());
  AllocateOrReport([&] {
    mesh.faces.resize(static_cast<std::size_t>(faceCount));
    mesh.faceNormals.resize(static_cast<std::size_t>(faceCount));
  });
  platform::ReadExact(file, mesh.faces.data(), 12u * mesh.faces.size());
  platform::Close(file);
  mesh.vertexCount = vertexCount;
  mesh.faceCount = faceCount;
}

// Indices, counts and the divisor are checked before anything is derived, so
// a bad file is refused instead of reading outside the vertex array.
void CheckMesh(const Mesh& mesh, std::string_view name) {
  if (mesh.vertexCount <= 0) RefuseMesh(name, "no vertices");
  if (mesh.faceCount < 0) RefuseMesh(name, "negative face count " + std::to_string(mesh.faceCount));
  if (mesh.vertices.size() != static_cast<std::size_t>(mesh.vertexCount) ||
      mesh.faces.size() != static_cast<std::size_t>(mesh.faceCount)) {
    RefuseMesh(name, "counts do not match the arrays");
  }
  for (std::size_t f = 0; f < mesh.faces.size(); ++f) {
    const std::int32_t corners[3] = {mesh.faces[f].a, mesh.faces[f].b, mesh.faces[f].c};
    for (std::int32_t v : corners) {
      if (v < 0 || v >= mesh.vertexCount) {
        RefuseMesh(name, "face " + std::to_string(f) + " names vertex " + std::to_string(v) + ", outside 0 to " +
                             std::to_string(mesh.vertexCount - 1));
      }
    }
  }
}

// The largest signed coordinate, x then y then z of each vertex in order.
float LargestCoordinate(const Mesh& mesh) {
  float m = mesh.vertices[0].x;
  for (const MeshVec3& v : mesh.vertices) {
    if (m < v.x) m = v.x;
    if (m < v.y) m = v.y;
    if (m < v.z) m = v.z;
  }
  return m;
}

void Scale(Mesh& mesh, std::string_view name) {
  float m = LargestCoordinate(mesh);
  if (m == 0.0f) RefuseMesh(name, "largest coordinate is 0");
  if (!std::isfinite(m)) RefuseMesh(name, "largest coordinate is not a finite number");
  for (MeshVec3& v : mesh.vertices) {
    v.x /= m;
    v.y /= m;
    v.z /= m;
  }
}

void DeriveFaceNormals(Mesh& mesh) {
  mesh.faceNormals.resize(mesh.faces.size());
  for (std::size_t f = 0; f < mesh.faces.size(); ++f) {
    const MeshVec3& a = mesh.vertices[static_cast<std::size_t>(mesh.faces[f].a)];
    const MeshVec3& b = mesh.vertices[static_cast<std::size_t>(mesh.faces[f].b)];
    const MeshVec3& c = mesh.vertices[static_cast<std::size_t>(mesh.faces[f].c)];
    const float e1x = b.x - a.x, e1y = b.y - a.y, e1z = b.z - a.z;
    const float e2x = c.x - a.x, e2y = c.y - a.y, e2z = c.z - a.z;
    mesh.faceNormals[f] = {e1y * e2z - e2y * e1z, e1z * e2x - e2z * e1x, e1x * e2y - e2x * e1y};
  }
}

// Counts every vertex's corners, then fills the lists in one pass over the
// faces in ascending order, corners a, b, c: the same lists, in the same
// order, as scanning all faces once per vertex, in time linear in the mesh.
void DeriveFaceLists(Mesh& mesh) {
  const std::size_t vertexCount = mesh.vertices.size();
  AllocateOrReport([&] {
    mesh.vertexInfo.resize(vertexCount);
    mesh.useFaceStorage.assign(mesh.faces.size() * 3, 0);
  });
  for (MeshVertexInfo& info : mesh.vertexInfo) info.useCount = 0;
  for (const MeshFace& face : mesh.faces) {
    ++mesh.vertexInfo[static_cast<std::size_t>(face.a)].useCount;
    ++mesh.vertexInfo[static_cast<std::size_t>(face.b)].useCount;
    ++mesh.vertexInfo[static_cast<std::size_t>(face.c)].useCount;
  }
  std::int32_t* next = mesh.useFaceStorage.data();
  for (MeshVertexInfo& info : mesh.vertexInfo) {
    info.useFaces = info.useCount > 0 ? next : nullptr;
    next += info.useCount;
  }
  // Filled through a cursor per vertex, kept in useCount's place meanwhile.
  for (MeshVertexInfo& info : mesh.vertexInfo) info.useCount = 0;
  for (std::size_t f = 0; f < mesh.faces.size(); ++f) {
    const std::int32_t corners[3] = {mesh.faces[f].a, mesh.faces[f].b, mesh.faces[f].c};
    for (std::int32_t v : corners) {
      MeshVertexInfo& info = mesh.vertexInfo[static_cast<std::size_t>(v)];
      info.useFaces[info.useCount++] = static_cast<std::int32_t>(f);
    }
  }
}

void DeriveVertexNormals(Mesh& mesh) {
  for (MeshVertexInfo& info : mesh.vertexInfo) {
    float x = 0, y = 0, z = 0;
    for (std::int32_t i = 0; i < info.useCount; ++i) {
      const MeshVec3& n = mesh.faceNormals[static_cast<std::size_t>(info.useFaces[i])];
      x += n.x;
      y += n.y;
      z += n.z;
    }
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

constexpr std::string_view kInMemory = "mesh in memory";

}  // namespace

void LoadMeshPlain(Mesh& mesh, std::string_view fileName) {
  ReadMeshFile(mesh, fileName);
  CheckMesh(mesh, fileName);
  Scale(mesh, fileName);
}

void LoadMesh(Mesh& mesh, std::string_view fileName) {
  LoadMeshPlain(mesh, fileName);
  DeriveFaceNormals(mesh);
  DeriveFaceLists(mesh);
  DeriveVertexNormals(mesh);
}

void PrepareMesh(Mesh& mesh) {
  CheckMesh(mesh, kInMemory);
  Scale(mesh, kInMemory);
  DeriveFaceNormals(mesh);
  DeriveFaceLists(mesh);
  DeriveVertexNormals(mesh);
}

void UpdateMeshNormals(Mesh& mesh) {
  if (mesh.vertexInfo.size() != mesh.vertices.size()) return;
  DeriveFaceNormals(mesh);
  DeriveVertexNormals(mesh);
}

void ReleaseMesh(Mesh& mesh) {
  mesh.vertexCount = 0;
  mesh.faceCount = 0;
  std::vector<MeshVec3>().swap(mesh.vertices);
  std::vector<MeshVertexInfo>().swap(mesh.vertexInfo);
  std::vector<MeshFace>().swap(mesh.faces);
  std::vector<MeshVec3>().swap(mesh.faceNormals);
  std::vector<std::int32_t>().swap(mesh.useFaceStorage);
}

}  // namespace assets
