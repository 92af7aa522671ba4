#pragma once
// Camera key tracks: tangents and bounds prepared once per scene, then the
// eye and target at any scene time.
#include "scene/model.h"

namespace scene {

struct CameraPose {
  Vec3f Eye;
  Vec3f Target;
};

void PrepareCameraTracks(Scene& scene);
CameraPose EvaluateCamera(Scene& scene, float t);

}  // namespace scene
