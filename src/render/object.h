#pragma once
#include <cstdint>

#include "render/view_volume.h"
#include "scene/model.h"

namespace render {

// Draws one object; an index outside the list draws nothing.
void DrawSceneObject(const scene::Scene& scene, std::int32_t index, float t);
// DrawSceneObject for an object that may lie outside the view: one whose
// vertices all lie outside one plane of the volume is not sent, and only
// the state its drawing would leave is set.
void DrawSceneObjectInView(const scene::Scene& scene, std::int32_t index, float t, const ViewVolume& view);
// The object's Position track at t (at least one key).
scene::Vec3f EvaluateObjectPosition(const scene::Scene& scene, std::int32_t index, float t);

}  // namespace render
