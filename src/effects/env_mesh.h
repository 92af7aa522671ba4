#pragma once
// A mesh turned about three axes in one flat colour, textured through its
// vertex normals so that a texture turned with it looks like a reflection.
#include "assets/mesh.h"

namespace effects {

// Angles in degrees. Sets its own orthographic projection (-1..1, depth
// -10..10) and model-view transform; the caller chooses texture, depth,
// blending and viewport. Returns with the texture matrix current, holding the
// texture rotation when turnTexture is set.
void DrawEnvMesh(const assets::Mesh& mesh, float angleX, float angleY, float angleZ, float red, float green,
                 float blue, float scaleX, float scaleY, float scaleZ, float moveX, float moveY, float moveZ,
                 bool turnTexture);

}  // namespace effects
