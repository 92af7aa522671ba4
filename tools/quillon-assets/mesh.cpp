#include "mesh.h"

#include <cmath>
#include <cstdint>

#include "platform/files.h"

namespace assetgen {
namespace {

constexpr int kAlong = 320;  // rings along the knot
constexpr int kAround = 24;  // vertices round the tube
constexpr double kPi = 3.14159265358979323846;

struct V3 {
  double x, y, z;
};
V3 Sub(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 Add(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V3 Scale(V3 a, double k) { return {a.x * k, a.y * k, a.z * k}; }
V3 Cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
V3 Unit(V3 a) {
  double l = std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
  return Scale(a, 1.0 / l);
}

// The (2, 3) torus knot, scaled to about -1 ... 1.
V3 Knot(double phi) {
  double r = 2.0 + std::cos(3 * phi);
  return {0.3 * r * std::cos(2 * phi), 0.3 * r * std::sin(2 * phi), -0.3 * std::sin(3 * phi)};
}

}  // namespace

KnotMesh MakeKnotMesh() {
  KnotMesh mesh;
  const double tube = 0.17;
  for (int i = 0; i < kAlong; ++i) {
    double phi = 2 * kPi * i / kAlong;
    const double h = 1e-4;
    V3 p = Knot(phi);
    V3 d1 = Scale(Sub(Knot(phi + h), Knot(phi - h)), 0.5 / h);
    V3 d2 = Scale(Add(Sub(Knot(phi + h), Scale(p, 2)), Knot(phi - h)), 1.0 / (h * h));
    // The Frenet frame closes on itself round the knot (its curvature never
    // vanishes), so the tube has no twist seam.
    V3 t = Unit(d1);
    V3 b = Unit(Cross(d1, d2));
    V3 n = Cross(b, t);
    for (int j = 0; j < kAround; ++j) {
      double a = 2 * kPi * j / kAround;
      V3 q = Add(p, Add(Scale(n, tube * std::cos(a)), Scale(b, tube * std::sin(a))));
      mesh.vertices.push_back({static_cast<float>(q.x), static_cast<float>(q.y), static_cast<float>(q.z)});
    }
  }
  for (int i = 0; i < kAlong; ++i)
    for (int j = 0; j < kAround; ++j) {
      int i1 = (i + 1) % kAlong, j1 = (j + 1) % kAround;
      int a = i * kAround + j, b = i1 * kAround + j, c = i1 * kAround + j1, d = i * kAround + j1;
      // Both triangles of a quad wind the same way, so that the cross
      // product of their edges points out of the tube.
      mesh.faces.push_back({a, c, b});
      mesh.faces.push_back({a, d, c});
    }
  return mesh;
}

void WriteMeshFile(const std::string& path, const KnotMesh& mesh) {
  platform::OutFile file = platform::OpenWrite(path);
  std::int32_t counts[2] = {static_cast<std::int32_t>(mesh.vertices.size()), static_cast<std::int32_t>(mesh.faces.size())};
  platform::WriteBytes(file, counts, sizeof counts);
  platform::WriteBytes(file, mesh.vertices.data(), mesh.vertices.size() * sizeof(assets::MeshVec3));
  platform::WriteBytes(file, mesh.faces.data(), mesh.faces.size() * sizeof(assets::MeshFace));
  platform::Commit(file);
}

}  // namespace assetgen
