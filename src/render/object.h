#pragma once
#include <cstdint>

#include "scene/model.h"

namespace render {

// Draws one object; an index outside the list draws nothing.
void DrawSceneObject(const scene::Scene& scene, std::int32_t index, float t);
// The object's Position track at t (at least one key).
scene::Vec3f EvaluateObjectPosition(const scene::Scene& scene, std::int32_t index, float t);

}  // namespace render
