#pragma once
// One textured rectangle given its centre and half extents: every title and
// caption of the show.
#include <cstdint>

namespace shell {

// Texture coordinate t is 0 along the upper edge (y + h). Colour, blending,
// depth state and matrices are the caller's.
void DrawSprite(float x, float y, float z, float halfWidth, float halfHeight, std::uint32_t texture);

}  // namespace shell
