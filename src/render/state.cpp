#include "render/state.h"

namespace render {

Rgb SceneTint{1, 1, 1};
Rgb PassColour{1, 1, 1};
scene::Vec3f VertexOffset{0, 0, 0};
const float SceneScale = 1.0e-6f;
scene::Vec3f LastCameraEye{0, 0, 0};
scene::Vec3f LastCameraTarget{0, 0, 0};

void SetSceneTint(float red, float green, float blue) { SceneTint = {red, green, blue}; }

void SetPassColour(float red, float green, float blue) { PassColour = {red, green, blue}; }

void SetVertexOffset(float x, float y, float z) { VertexOffset = {x, y, z}; }

}  // namespace render
