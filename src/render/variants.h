#pragma once
// Further entry points on the same scenes and render state as the scene
// pass: passes with a given camera or a planar mirror, camera set-up without
// drawing, variants of object drawing, smoothed vertex normals for the
// normal-mapped drawing, and showing, hiding and finding objects by name.
#include <cstdint>
#include <string_view>
#include <vector>

#include "scene/model.h"

namespace render {

// RenderScene with the given camera (the published camera is left alone);
// objects are placed at scene time 0. A scene without camera keys still ends
// the program as RenderScene does.
void RenderSceneFromCamera(const scene::Scene& scene, scene::Vec3f eye, scene::Vec3f target);
// The projection and camera of RenderScene, scaled by 1.0e-5 instead of the
// scene scale, with nothing drawn and nothing published. The projection
// matrix stays current.
void SetupSceneCamera(scene::Scene& scene, float t);
void SetupSceneCameraAt(const scene::Scene& scene, scene::Vec3f eye, scene::Vec3f target);
// The scene reflected by (sx, sy, sz) with colours scaled by dim, then the
// mirror object and its fade, then the scene itself; blending is off for the
// scene walks. Leaves SceneTint at 1, 1, 1.
void RenderSceneMirrored(scene::Scene& scene, float t, float sx, float sy, float sz, float dim,
                         std::int32_t mirrorIndex);

// Face edges as lines in the tint colour; leaves texturing enabled, blending
// disabled and the depth function GL_LESS.
void DrawSceneObjectWire(const scene::Scene& scene, std::int32_t index, float t);
// DrawSceneObject with alpha as the fourth component of every colour.
void DrawSceneObjectAlpha(const scene::Scene& scene, std::int32_t index, float t, float alpha);
// Faces of a and b interleaved, both placed by a's track. Draws nothing when
// b has fewer faces than a.
void DrawSceneObjectPair(const scene::Scene& scene, std::int32_t a, std::int32_t b, float t);

// The three independent vertex-normal sets.
enum class NormalSet { A, B, C };

struct VertexNormal {
  float X = 0, Y = 0, Z = 0;
  std::int32_t FaceCount = 0;
  std::vector<std::int32_t> Faces;  // index of each face corner that names the vertex
};

struct VertexNormalTable {
  const scene::SceneObject* Owner = nullptr;  // the object the set was built for
  std::vector<VertexNormal> Vertices;         // one per Vertex entry
  std::vector<scene::Vec3f> FaceNormals;      // one per face, not normalised
};

// Texture coordinates (n.x, n.z) from the set's vertex normals. Sets A and C
// draw each face white at alpha 0.8, set B keeps the current colour. Draws
// nothing unless the set was built for this object with its present vertex
// and face counts.
void DrawSceneObjectNormalMapped(const scene::Scene& scene, std::int32_t index, float t, NormalSet set);
// A white overlay whose alpha is a corner's distance from the origin / 2000;
// the object is not translated.
void DrawMirrorFade(const scene::Scene& scene, std::int32_t index, float t);

void BuildVertexNormals(const scene::SceneObject& object, NormalSet set);
// Recomputes face and vertex normals of a built set after vertices moved;
// a set built for another object is left as it is.
void UpdateVertexNormals(const scene::SceneObject& object, NormalSet set);
const VertexNormalTable& VertexNormals(NormalSet set);

float VectorLength(float x, float y, float z);

// Every object whose name matches exactly.
void ShowObject(scene::Scene& scene, std::string_view name);
void HideObject(scene::Scene& scene, std::string_view name);
// Index of the last object of that name, or 65535.
std::int32_t FindObject(const scene::Scene& scene, std::string_view name);

}  // namespace render
