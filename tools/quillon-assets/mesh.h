#pragma once
// The finale's mesh: a (2, 3) torus knot tube, written as a "._3d" file.
#include <string>
#include <vector>

#include "assets/mesh.h"

namespace assetgen {

struct KnotMesh {
  std::vector<assets::MeshVec3> vertices;
  std::vector<assets::MeshFace> faces;
};

KnotMesh MakeKnotMesh();
void WriteMeshFile(const std::string& path, const KnotMesh& mesh);

}  // namespace assetgen
