#pragma once
// The small render state that object drawing reads, and the camera of the
// most recent scene pass.
#include "scene/model.h"

namespace render {

struct Rgb {
  float Red, Green, Blue;
};

extern Rgb SceneTint;
extern Rgb PassColour;
extern scene::Vec3f VertexOffset;
extern const float SceneScale;  // the float nearest 1.0e-6
extern scene::Vec3f LastCameraEye;
extern scene::Vec3f LastCameraTarget;

void SetSceneTint(float red, float green, float blue);
void SetPassColour(float red, float green, float blue);
void SetVertexOffset(float x, float y, float z);

}  // namespace render
