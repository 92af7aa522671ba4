#pragma once
#include "scene/model.h"

namespace scene {

// Writes the line-by-line listing of the scene to standard output.
void DumpScene(const Scene& scene);

}  // namespace scene
