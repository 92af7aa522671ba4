#pragma once
// One loaded scene drawn through its animated camera in the opaque, additive
// and alpha-tested passes.
#include "scene/model.h"

namespace render {

// Clears colour and depth.
void ClearFrame();
// A scene without keys in either camera track shows the "Rendering error"
// box and ends the program with exit code 1.
void RenderScene(scene::Scene& scene, float t);

}  // namespace render
