#pragma once
// What object drawing and its variants share: the checked look-up of an
// object and its material, the placement by the Position track, and the face
// loop itself, specialised per object so that the per-vertex path carries no
// test that is already decided for the whole object.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "platform/gl.h"
#include "render/object.h"
#include "render/state.h"
#include "scene/model.h"

namespace render::detail {

inline std::size_t ListLimit(std::int32_t count, std::size_t size) {
  return count <= 0 ? 0 : std::min(static_cast<std::size_t>(count), size);
}

// The object at index, or null when the index lies outside the list (either
// bound: a negative index is as far outside as one past the end).
inline const scene::SceneObject* ObjectAt(const scene::Scene& scene, std::int32_t index) {
  if (index < 0 || static_cast<std::size_t>(index) >= ListLimit(scene.ObjectCount, scene.Objects.size()))
    return nullptr;
  return &scene.Objects[static_cast<std::size_t>(index)];
}

inline const scene::SceneMaterial* MaterialOf(const scene::Scene& scene, const scene::SceneObject& object) {
  const std::int32_t m = object.MaterialIndex;
  if (m < 0 || static_cast<std::size_t>(m) >= ListLimit(scene.MaterialCount, scene.Materials.size())) return nullptr;
  return &scene.Materials[static_cast<std::size_t>(m)];
}

// Pushes the modelview matrix and applies the object's translation at t.
inline void PlaceObject(const scene::Scene& scene, std::int32_t index, const scene::SceneObject& object, float t) {
  gl::glMatrixMode(GL_MODELVIEW);
  gl::glPushMatrix();
  if (ListLimit(object.PositionCount, object.Position.size()) > 0) {
    const scene::Vec3f p = EvaluateObjectPosition(scene, index, t);
    gl::glTranslatef(p.X, p.Y, p.Z);
  }
}

inline bool InRange(const scene::FaceIndices& f, std::size_t size) {
  return static_cast<std::size_t>(static_cast<std::uint32_t>(f.A)) < size &&
         static_cast<std::size_t>(static_cast<std::uint32_t>(f.B)) < size &&
         static_cast<std::size_t>(static_cast<std::uint32_t>(f.C)) < size;
}

// How an object's faces are sent, decided once per object.
struct FaceForm {
  bool Texcoords;  // textured material and the object carries texture coordinates
  bool Colours;    // the object carries vertex colours
  std::size_t FaceCount;  // faces whose every list is there to be read
};

inline FaceForm FormOf(const scene::SceneObject& object, const scene::SceneMaterial& material) {
  FaceForm form{material.Textured != 0 && object.HasTexcoords != 0, object.HasColours != 0,
                ListLimit(object.FaceCount, object.FACE.size())};
  if (form.Texcoords) form.FaceCount = std::min(form.FaceCount, object.TFACE.size());
  if (form.Colours) form.FaceCount = std::min(form.FaceCount, object.CFACE.size());
  return form;
}

template <bool kAlpha>
inline void SendColour(float r, float g, float b, float alpha) {
  if constexpr (kAlpha)
    gl::glColor4f(r, g, b, alpha);
  else
    gl::glColor3f(r, g, b);
}

// Faces first .. last - 1 of the object, each its own GL_POLYGON: the face
// colour (PassColour x SceneTint) before glBegin, then per corner the
// texture coordinate, the vertex colour and the offset vertex. A face with an
// index outside its list is left out rather than read past the list.
template <bool kTexcoords, bool kColours, bool kAlpha>
void EmitFaces(const scene::SceneObject& object, const scene::SceneMaterial& material, std::size_t first,
               std::size_t last, float alpha) {
  const float cr = PassColour.Red * SceneTint.Red;
  const float cg = PassColour.Green * SceneTint.Green;
  const float cb = PassColour.Blue * SceneTint.Blue;
  const scene::Vec3f offset = VertexOffset;
  const float uScale = material.UScale;
  const float vScale = material.VScale;
  const scene::Vec3f* vertex = object.Vertex.data();
  const std::size_t vertexSize = object.Vertex.size();
  const scene::TexCoord* texcoord = object.TEXCOORD.data();
  const std::size_t texcoordSize = object.TEXCOORD.size();
  const scene::Vec3f* colour = object.CVertex.data();
  const std::size_t colourSize = object.CVertex.size();
  const auto begin = gl::glBegin;
  const auto end = gl::glEnd;
  const auto vertex3f = gl::glVertex3f;
  const auto texCoord2f = gl::glTexCoord2f;

  for (std::size_t f = first; f < last; ++f) {
    const scene::FaceIndices& vf = object.FACE[f];
    if (!InRange(vf, vertexSize)) continue;
    scene::FaceIndices tf{}, cf{};
    if constexpr (kTexcoords) {
      tf = object.TFACE[f];
      if (!InRange(tf, texcoordSize)) continue;
    }
    if constexpr (kColours) {
      cf = object.CFACE[f];
      if (!InRange(cf, colourSize)) continue;
    }
    SendColour<kAlpha>(cr, cg, cb, alpha);
    begin(GL_POLYGON);
    const std::int32_t vi[3] = {vf.A, vf.B, vf.C};
    const std::int32_t ti[3] = {tf.A, tf.B, tf.C};
    const std::int32_t ci[3] = {cf.A, cf.B, cf.C};
    for (int k = 0; k < 3; ++k) {
      if constexpr (kTexcoords) {
        const scene::TexCoord& uv = texcoord[ti[k]];
        texCoord2f(uScale * uv.U, 1.0f - vScale * uv.V);
      }
      if constexpr (kColours) {
        const scene::Vec3f& c = colour[ci[k]];
        SendColour<kAlpha>(c.X * cr, c.Y * cg, c.Z * cb, alpha);
      }
      const scene::Vec3f& v = vertex[vi[k]];
      vertex3f(v.X + offset.X, v.Y + offset.Y, v.Z + offset.Z);
    }
    end();
  }
}

template <bool kAlpha>
void EmitFacesAs(const FaceForm& form, const scene::SceneObject& object, const scene::SceneMaterial& material,
                 std::size_t first, std::size_t last, float alpha) {
  if (form.Texcoords) {
    if (form.Colours)
      EmitFaces<true, true, kAlpha>(object, material, first, last, alpha);
    else
      EmitFaces<true, false, kAlpha>(object, material, first, last, alpha);
  } else {
    if (form.Colours)
      EmitFaces<false, true, kAlpha>(object, material, first, last, alpha);
    else
      EmitFaces<false, false, kAlpha>(object, material, first, last, alpha);
  }
}

// Steps shared by the scene passes and their variants.
void RequireCameraTracks(const scene::Scene& scene);
void LoadSceneProjection(const scene::Scene& scene, float scale);
void LookAt(const scene::Vec3f& eye, const scene::Vec3f& target);
void DrawMaterialPasses(const scene::Scene& scene, float t);
// DrawSceneObject with the colour sent as glColor4f carrying alpha.
template <bool kAlpha>
void DrawObject(const scene::Scene& scene, std::int32_t index, float t, float alpha);

}  // namespace render::detail
