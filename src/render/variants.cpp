#include "render/variants.h"

#include <array>
#include <cmath>

#include "platform/gl.h"
#include "render/face_loop.h"
#include "render/object.h"
#include "render/render_pass.h"
#include "render/state.h"
#include "scene/camera.h"

namespace render {

namespace {

// The camera set-up scale of the passes that draw no scene of their own.
constexpr float kSetupScale = 1.0e-5f;

std::array<VertexNormalTable, 3> normalSets;

VertexNormalTable& SetOf(NormalSet set) { return normalSets[static_cast<std::size_t>(set)]; }

std::size_t FaceLimit(const scene::SceneObject& object) {
  return detail::ListLimit(object.FaceCount, object.FACE.size());
}

bool BuiltFor(const VertexNormalTable& table, const scene::SceneObject& object) {
  return table.Owner == &object && table.Vertices.size() == object.Vertex.size() &&
         table.FaceNormals.size() == FaceLimit(object);
}

void DrawVisibleExcept(const scene::Scene& scene, std::int32_t skipped, float t) {
  const std::size_t count = detail::ListLimit(scene.ObjectCount, scene.Objects.size());
  for (std::size_t i = 0; i < count; ++i)
    if (static_cast<std::int32_t>(i) != skipped && scene.Objects[i].Visible)
      DrawSceneObject(scene, static_cast<std::int32_t>(i), t);
}

// Face normals (e1 x e2, not normalised) into the table; a face that names a
// vertex outside the list has none.
void ComputeFaceNormals(const scene::SceneObject& object, VertexNormalTable& table) {
  const std::size_t vertexCount = object.Vertex.size();
  for (std::size_t f = 0; f < table.FaceNormals.size(); ++f) {
    const scene::FaceIndices& face = object.FACE[f];
    if (!detail::InRange(face, vertexCount)) {
      table.FaceNormals[f] = {0, 0, 0};
      continue;
    }
    const scene::Vec3f& a = object.Vertex[static_cast<std::size_t>(face.A)];
    const scene::Vec3f& b = object.Vertex[static_cast<std::size_t>(face.B)];
    const scene::Vec3f& c = object.Vertex[static_cast<std::size_t>(face.C)];
    const scene::Vec3f e1{b.X - a.X, b.Y - a.Y, b.Z - a.Z};
    const scene::Vec3f e2{c.X - a.X, c.Y - a.Y, c.Z - a.Z};
    table.FaceNormals[f] = {e1.Y * e2.Z - e2.Y * e1.Z, e1.Z * e2.X - e2.Z * e1.X, e1.X * e2.Y - e1.Y * e2.X};
  }
}

// Each vertex normal is the mean of its faces' normals made unit length; a
// vertex whose sum has no length keeps what it had.
void ComputeVertexNormals(VertexNormalTable& table) {
  for (VertexNormal& v : table.Vertices) {
    float sx = 0, sy = 0, sz = 0;
    for (std::int32_t f : v.Faces) {
      const scene::Vec3f& n = table.FaceNormals[static_cast<std::size_t>(f)];
      sx += n.X;
      sy += n.Y;
      sz += n.Z;
    }
    if (v.FaceCount > 0) {
      const float count = static_cast<float>(v.FaceCount);
      sx /= count;
      sy /= count;
      sz /= count;
    }
    const float length = std::sqrt(sx * sx + sy * sy + sz * sz);
    if (length > 0) {
      v.X = sx / length;
      v.Y = sy / length;
      v.Z = sz / length;
    }
  }
}

void SetVisible(scene::Scene& scene, std::string_view name, std::uint8_t visible) {
  const std::size_t count = detail::ListLimit(scene.ObjectCount, scene.Objects.size());
  for (std::size_t i = 0; i < count; ++i)
    if (scene.Objects[i].Name == name) scene.Objects[i].Visible = visible;
}

}  // namespace

void RenderSceneFromCamera(const scene::Scene& scene, scene::Vec3f eye, scene::Vec3f target) {
  detail::RequireCameraTracks(scene);
  detail::LoadSceneProjection(scene, SceneScale);
  detail::LookAt(eye, target);
  detail::DrawMaterialPasses(scene, 0.0f);
}

void SetupSceneCamera(scene::Scene& scene, float t) {
  detail::RequireCameraTracks(scene);
  detail::LoadSceneProjection(scene, kSetupScale);
  const scene::CameraPose pose = scene::EvaluateCamera(scene, t);
  detail::LookAt(pose.Eye, pose.Target);
}

void SetupSceneCameraAt(const scene::Scene& scene, scene::Vec3f eye, scene::Vec3f target) {
  detail::RequireCameraTracks(scene);
  detail::LoadSceneProjection(scene, kSetupScale);
  detail::LookAt(eye, target);
}

void RenderSceneMirrored(scene::Scene& scene, float t, float sx, float sy, float sz, float dim,
                         std::int32_t mirrorIndex) {
  SetupSceneCamera(scene, t);
  gl::glEnable(GL_DEPTH_TEST);
  gl::glDisable(GL_BLEND);
  gl::glMatrixMode(GL_PROJECTION);
  gl::glScalef(sx, sy, sz);
  gl::glMatrixMode(GL_MODELVIEW);
  SetSceneTint(dim, dim, dim);
  DrawVisibleExcept(scene, mirrorIndex, t);
  SetSceneTint(1, 1, 1);
  gl::glMatrixMode(GL_PROJECTION);
  gl::glScalef(1, 1, -1);
  gl::glMatrixMode(GL_MODELVIEW);
  gl::glEnable(GL_BLEND);
  gl::glBlendFunc(GL_ONE, GL_ONE);
  DrawSceneObject(scene, mirrorIndex, 0.0f);
  DrawMirrorFade(scene, mirrorIndex, 0.0f);
  gl::glDisable(GL_BLEND);
  DrawVisibleExcept(scene, mirrorIndex, t);
}

void DrawSceneObjectWire(const scene::Scene& scene, std::int32_t index, float t) {
  const scene::SceneObject* object = detail::ObjectAt(scene, index);
  if (!object) return;
  const scene::SceneMaterial* material = detail::MaterialOf(scene, *object);
  if (!material) return;
  detail::PlaceObject(scene, index, *object, t);
  if (material->Textured != 0)
    gl::glEnable(GL_TEXTURE_2D);
  else
    gl::glDisable(GL_TEXTURE_2D);
  const scene::Vec3f offset = VertexOffset;
  const std::size_t vertexCount = object->Vertex.size();
  const std::size_t faceCount = FaceLimit(*object);
  for (std::size_t f = 0; f < faceCount; ++f) {
    const scene::FaceIndices& face = object->FACE[f];
    if (!detail::InRange(face, vertexCount)) continue;
    gl::glColor3f(PassColour.Red * SceneTint.Red, PassColour.Green * SceneTint.Green,
                  PassColour.Blue * SceneTint.Blue);
    gl::glDisable(GL_BLEND);
    gl::glDepthFunc(GL_LEQUAL);
    gl::glDisable(GL_TEXTURE_2D);
    gl::glBegin(GL_LINES);
    gl::glColor3f(SceneTint.Red, SceneTint.Green, SceneTint.Blue);
    const std::int32_t corners[6] = {face.A, face.B, face.B, face.C, face.C, face.A};
    for (std::int32_t c : corners) {
      const scene::Vec3f& v = object->Vertex[static_cast<std::size_t>(c)];
      gl::glVertex3f(v.X + offset.X, v.Y + offset.Y, v.Z + offset.Z);
    }
    gl::glEnd();
    gl::glEnable(GL_TEXTURE_2D);
    gl::glDepthFunc(GL_LESS);
  }
  gl::glPopMatrix();
}

void DrawSceneObjectAlpha(const scene::Scene& scene, std::int32_t index, float t, float alpha) {
  detail::DrawObject<true>(scene, index, t, alpha);
}

void DrawSceneObjectPair(const scene::Scene& scene, std::int32_t a, std::int32_t b, float t) {
  const scene::SceneObject* objectA = detail::ObjectAt(scene, a);
  const scene::SceneObject* objectB = detail::ObjectAt(scene, b);
  if (!objectA || !objectB) return;
  const scene::SceneMaterial* materialA = detail::MaterialOf(scene, *objectA);
  const scene::SceneMaterial* materialB = detail::MaterialOf(scene, *objectB);
  if (!materialA || !materialB) return;
  const detail::FaceForm formA = detail::FormOf(*objectA, *materialA);
  const detail::FaceForm formB = detail::FormOf(*objectB, *materialB);
  // Faces are paired by number: b must have one for every face of a.
  if (formB.FaceCount < formA.FaceCount) return;
  detail::PlaceObject(scene, a, *objectA, t);
  gl::glEnable(GL_TEXTURE_2D);
  for (std::size_t f = 0; f < formA.FaceCount; ++f) {
    gl::glDepthMask(GL_FALSE);
    gl::glDisable(GL_BLEND);
    gl::glBindTexture(GL_TEXTURE_2D, materialA->TextureName);
    detail::EmitFacesAs<false>(formA, *objectA, *materialA, f, f + 1, 1.0f);
    gl::glEnable(GL_BLEND);
    gl::glDepthMask(GL_TRUE);
    gl::glBindTexture(GL_TEXTURE_2D, materialB->TextureName);
    detail::EmitFacesAs<false>(formB, *objectB, *materialB, f, f + 1, 1.0f);
  }
  gl::glPopMatrix();
}

void DrawSceneObjectNormalMapped(const scene::Scene& scene, std::int32_t index, float t, NormalSet set) {
  const scene::SceneObject* object = detail::ObjectAt(scene, index);
  if (!object) return;
  const scene::SceneMaterial* material = detail::MaterialOf(scene, *object);
  if (!material) return;
  const VertexNormalTable& table = SetOf(set);
  if (!BuiltFor(table, *object)) return;
  detail::PlaceObject(scene, index, *object, t);
  if (material->Textured != 0)
    gl::glEnable(GL_TEXTURE_2D);
  else
    gl::glDisable(GL_TEXTURE_2D);
  gl::glBindTexture(GL_TEXTURE_2D, material->TextureName);
  // Set B draws in whatever colour is current; A and C in translucent white.
  const bool white = set != NormalSet::B;
  const float cr = PassColour.Red * SceneTint.Red;
  const float cg = PassColour.Green * SceneTint.Green;
  const float cb = PassColour.Blue * SceneTint.Blue;
  const scene::Vec3f offset = VertexOffset;
  const std::size_t vertexCount = object->Vertex.size();
  const std::size_t faceCount = FaceLimit(*object);
  for (std::size_t f = 0; f < faceCount; ++f) {
    const scene::FaceIndices& face = object->FACE[f];
    if (!detail::InRange(face, vertexCount)) continue;
    if (white) gl::glColor3f(cr, cg, cb);
    gl::glBegin(GL_POLYGON);
    if (white) gl::glColor4f(1, 1, 1, 0.8f);
    for (std::int32_t c : {face.A, face.B, face.C}) {
      const VertexNormal& n = table.Vertices[static_cast<std::size_t>(c)];
      gl::glTexCoord2f(n.X, n.Z);
      const scene::Vec3f& v = object->Vertex[static_cast<std::size_t>(c)];
      gl::glVertex3f(v.X + offset.X, v.Y + offset.Y, v.Z + offset.Z);
    }
    gl::glEnd();
  }
  gl::glPopMatrix();
}

void DrawMirrorFade(const scene::Scene& scene, std::int32_t index, float /*t*/) {
  const scene::SceneObject* object = detail::ObjectAt(scene, index);
  if (!object) return;
  gl::glMatrixMode(GL_MODELVIEW);
  gl::glPushMatrix();
  gl::glDisable(GL_TEXTURE_2D);
  gl::glDepthFunc(GL_LEQUAL);
  const scene::Vec3f offset = VertexOffset;
  const std::size_t vertexCount = object->Vertex.size();
  const std::size_t faceCount = FaceLimit(*object);
  for (std::size_t f = 0; f < faceCount; ++f) {
    const scene::FaceIndices& face = object->FACE[f];
    if (!detail::InRange(face, vertexCount)) continue;
    gl::glColor3f(1, 1, 1);
    gl::glEnable(GL_BLEND);
    gl::glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    gl::glBegin(GL_POLYGON);
    for (std::int32_t c : {face.A, face.B, face.C}) {
      const scene::Vec3f& v = object->Vertex[static_cast<std::size_t>(c)];
      // Distance from the scene origin, before the offset moves the surface.
      gl::glColor4f(1, 1, 1, VectorLength(v.X, v.Y, v.Z) / 2000.0f);
      gl::glVertex3f(v.X + offset.X, v.Y + offset.Y, v.Z + offset.Z);
    }
    gl::glEnd();
  }
  gl::glPopMatrix();
  gl::glDepthFunc(GL_LESS);
  gl::glDisable(GL_BLEND);
}

void BuildVertexNormals(const scene::SceneObject& object, NormalSet set) {
  VertexNormalTable& table = SetOf(set);
  const std::size_t vertexCount = object.Vertex.size();
  const std::size_t faceCount = FaceLimit(object);
  table.Owner = &object;
  table.Vertices.assign(vertexCount, VertexNormal{});
  table.FaceNormals.assign(faceCount, scene::Vec3f{0, 0, 0});
  ComputeFaceNormals(object, table);
  // A face that names a vertex in two corners is on its list twice.
  for (std::size_t f = 0; f < faceCount; ++f) {
    const scene::FaceIndices& face = object.FACE[f];
    for (std::int32_t c : {face.A, face.B, face.C}) {
      if (c < 0 || static_cast<std::size_t>(c) >= vertexCount) continue;
      VertexNormal& v = table.Vertices[static_cast<std::size_t>(c)];
      v.Faces.push_back(static_cast<std::int32_t>(f));
      ++v.FaceCount;
    }
  }
  ComputeVertexNormals(table);
}

void UpdateVertexNormals(const scene::SceneObject& object, NormalSet set) {
  VertexNormalTable& table = SetOf(set);
  if (!BuiltFor(table, object)) return;
  ComputeFaceNormals(object, table);
  ComputeVertexNormals(table);
}

const VertexNormalTable& VertexNormals(NormalSet set) { return SetOf(set); }

float VectorLength(float x, float y, float z) {
  return static_cast<float>(std::sqrt(static_cast<double>(x) * x + static_cast<double>(y) * y +
                                      static_cast<double>(z) * z));
}

void ShowObject(scene::Scene& scene, std::string_view name) { SetVisible(scene, name, 1); }

void HideObject(scene::Scene& scene, std::string_view name) { SetVisible(scene, name, 0); }

std::int32_t FindObject(const scene::Scene& scene, std::string_view name) {
  std::int32_t found = 65535;
  const std::size_t count = detail::ListLimit(scene.ObjectCount, scene.Objects.size());
  for (std::size_t i = 0; i < count; ++i)
    if (scene.Objects[i].Name == name) found = static_cast<std::int32_t>(i);
  return found;
}

}  // namespace render
