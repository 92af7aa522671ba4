#pragma once
// The show's two scenes: the flight through the night city ("cam.3dw") and
// the video stage ("pkode.3dw").
#include <string>

#include "scene/model.h"

namespace assetgen {

// Scene items (objects and materials) of both scenes together: the loading
// bar's six blocks fill exactly as the last of them loads.
inline constexpr int kSceneItems = 5954;

scene::Scene MakeVideoScene();
// The flight fills its object list up to the items the video scene leaves.
// Its towers' faces that no frame of the flight shows are left out unless
// keepHiddenFaces is set.
scene::Scene MakeFlightScene(int items, bool keepHiddenFaces);

// Where the flight's camera is at scene time t (the curve its keys sample).
scene::Vec3f FlightEye(float t);

// The particle stream of the flight runs along +y at this x and z.
inline constexpr float kStreamX = 260.0f;
inline constexpr float kStreamZ = 110.0f;

}  // namespace assetgen
