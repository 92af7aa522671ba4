#pragma once
// What object drawing and its variants share: the checked look-up of an
// object and its material, the placement by the Position track, and the face
// loop itself, specialised per object so that the per-vertex path carries no
// test that is already decided for the whole object.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <type_traits>

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

// The vertex, texture-coordinate and colour indices of face f, false when
// one of the lists it reads would be read outside.
template <bool kTexcoords, bool kColours>
inline bool ReadableFace(const scene::SceneObject& object, std::size_t f, scene::FaceIndices& vf, scene::FaceIndices& tf,
                         scene::FaceIndices& cf) {
  vf = object.FACE[f];
  if (!InRange(vf, object.Vertex.size())) return false;
  if constexpr (kTexcoords) {
    tf = object.TFACE[f];
    if (!InRange(tf, object.TEXCOORD.size())) return false;
  }
  if constexpr (kColours) {
    cf = object.CFACE[f];
    if (!InRange(cf, object.CVertex.size())) return false;
  }
  return true;
}

// The colour and texture scale every face of an object is sent with.
struct FaceLook {
  float Red, Green, Blue;  // PassColour x SceneTint
  float UScale, VScale;
  float Alpha;
};

inline FaceLook LookOf(const scene::SceneMaterial& material, float alpha) {
  return {PassColour.Red * SceneTint.Red, PassColour.Green * SceneTint.Green, PassColour.Blue * SceneTint.Blue,
          material.UScale, material.VScale, alpha};
}

// A corner's texture coordinate and vertex colour, as far as the object
// carries them.
template <bool kTexcoords, bool kColours, bool kAlpha>
[[gnu::always_inline]] inline void SendCorner(const scene::SceneObject& object, const FaceLook& look,
                                              std::int32_t texcoordIndex, std::int32_t colourIndex,
                                              decltype(gl::glTexCoord2f) texCoord2f) {
  if constexpr (kTexcoords) {
    const scene::TexCoord& uv = object.TEXCOORD[static_cast<std::size_t>(texcoordIndex)];
    texCoord2f(look.UScale * uv.U, 1.0f - look.VScale * uv.V);
  }
  if constexpr (kColours) {
    const scene::Vec3f& c = object.CVertex[static_cast<std::size_t>(colourIndex)];
    SendColour<kAlpha>(c.X * look.Red, c.Y * look.Green, c.Z * look.Blue, look.Alpha);
  }
}

// Faces first .. last - 1 of the object, each its own GL_POLYGON: the face
// colour (PassColour x SceneTint) before glBegin, then per corner the
// texture coordinate, the vertex colour and the offset vertex. A face with an
// index outside its list is left out rather than read past the list.
template <bool kTexcoords, bool kColours, bool kAlpha>
void EmitFaces(const scene::SceneObject& object, const scene::SceneMaterial& material, std::size_t first,
               std::size_t last, float alpha) {
  const FaceLook look = LookOf(material, alpha);
  const scene::Vec3f offset = VertexOffset;
  const scene::Vec3f* vertex = object.Vertex.data();
  const auto begin = gl::glBegin;
  const auto end = gl::glEnd;
  const auto vertex3f = gl::glVertex3f;
  const auto texCoord2f = gl::glTexCoord2f;

  for (std::size_t f = first; f < last; ++f) {
    scene::FaceIndices vf{}, tf{}, cf{};
    if (!ReadableFace<kTexcoords, kColours>(object, f, vf, tf, cf)) continue;
    SendColour<kAlpha>(look.Red, look.Green, look.Blue, alpha);
    begin(GL_POLYGON);
    const std::int32_t vi[3] = {vf.A, vf.B, vf.C};
    const std::int32_t ti[3] = {tf.A, tf.B, tf.C};
    const std::int32_t ci[3] = {cf.A, cf.B, cf.C};
    for (int k = 0; k < 3; ++k) {
      SendCorner<kTexcoords, kColours, kAlpha>(object, look, ti[k], ci[k], texCoord2f);
      const scene::Vec3f& v = vertex[vi[k]];
      vertex3f(v.X + offset.X, v.Y + offset.Y, v.Z + offset.Z);
    }
    end();
  }
}

// The current colour and texture coordinate that EmitFaces over faces
// 0 .. last - 1 leaves behind, sent without drawing anything: those of the
// last corner of the last face it would draw.
template <bool kTexcoords, bool kColours, bool kAlpha>
void SendLastCorner(const scene::SceneObject& object, const scene::SceneMaterial& material, std::size_t last,
                    float alpha) {
  const FaceLook look = LookOf(material, alpha);
  for (std::size_t f = last; f-- > 0;) {
    scene::FaceIndices vf{}, tf{}, cf{};
    if (!ReadableFace<kTexcoords, kColours>(object, f, vf, tf, cf)) continue;
    if constexpr (!kColours) SendColour<kAlpha>(look.Red, look.Green, look.Blue, alpha);
    SendCorner<kTexcoords, kColours, kAlpha>(object, look, tf.C, cf.C, gl::glTexCoord2f);
    return;
  }
}

// Calls fn with the object's form as two compile-time choices: texture
// coordinates, vertex colours.
template <typename Fn>
void WithFaceForm(const FaceForm& form, Fn&& fn) {
  auto withColours = [&](auto texcoords) {
    if (form.Colours)
      fn(texcoords, std::true_type{});
    else
      fn(texcoords, std::false_type{});
  };
  if (form.Texcoords)
    withColours(std::true_type{});
  else
    withColours(std::false_type{});
}

template <bool kAlpha>
void EmitFacesAs(const FaceForm& form, const scene::SceneObject& object, const scene::SceneMaterial& material,
                 std::size_t first, std::size_t last, float alpha) {
  WithFaceForm(form, [&](auto texcoords, auto colours) {
    EmitFaces<decltype(texcoords)::value, decltype(colours)::value, kAlpha>(object, material, first, last, alpha);
  });
}

// SendLastCorner in the form the object is drawn in.
template <bool kAlpha>
void SendLastCornerAs(const FaceForm& form, const scene::SceneObject& object, const scene::SceneMaterial& material,
                      float alpha) {
  WithFaceForm(form, [&](auto texcoords, auto colours) {
    SendLastCorner<decltype(texcoords)::value, decltype(colours)::value, kAlpha>(object, material, form.FaceCount,
                                                                                  alpha);
  });
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
