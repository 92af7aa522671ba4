#include "render/object.h"

#include "platform/gl.h"
#include "render/face_loop.h"

namespace render {

namespace detail {

template <bool kAlpha>
void DrawObject(const scene::Scene& scene, std::int32_t index, float t, float alpha) {
  const scene::SceneObject* object = ObjectAt(scene, index);
  if (!object) return;
  // A material outside the list cannot say how to draw the object; the
  // loader refuses such scenes, so only a scene built in memory gets here.
  const scene::SceneMaterial* material = MaterialOf(scene, *object);
  if (!material) return;
  PlaceObject(scene, index, *object, t);
  if (material->Textured != 0)
    gl::glEnable(GL_TEXTURE_2D);
  else
    gl::glDisable(GL_TEXTURE_2D);
  gl::glBindTexture(GL_TEXTURE_2D, material->TextureName);
  const FaceForm form = FormOf(*object, *material);
  EmitFacesAs<kAlpha>(form, *object, *material, 0, form.FaceCount, alpha);
  gl::glPopMatrix();
}

template void DrawObject<false>(const scene::Scene&, std::int32_t, float, float);
template void DrawObject<true>(const scene::Scene&, std::int32_t, float, float);

}  // namespace detail

void DrawSceneObject(const scene::Scene& scene, std::int32_t index, float t) {
  detail::DrawObject<false>(scene, index, t, 1.0f);
}

void DrawSceneObjectInView(const scene::Scene& scene, std::int32_t index, float t, const ViewVolume& view) {
  const scene::SceneObject* object = detail::ObjectAt(scene, index);
  if (!object) return;
  const scene::SceneMaterial* material = detail::MaterialOf(scene, *object);
  if (!material) return;
  scene::Vec3f shift = VertexOffset;
  if (detail::ListLimit(object->PositionCount, object->Position.size()) > 0) {
    const scene::Vec3f p = EvaluateObjectPosition(scene, index, t);
    shift = {shift.X + p.X, shift.Y + p.Y, shift.Z + p.Z};
  }
  if (view.MayShow(*object, shift)) {
    detail::DrawObject<false>(scene, index, t, 1.0f);
    return;
  }
  // Nothing of it can reach the screen. What drawing it would have left
  // behind is set all the same, so the objects after it draw exactly as
  // they would: the modelview matrix mode (the matrix itself comes back
  // unchanged), the texture switch and binding, and the current colour and
  // texture coordinate, which an object without texture coordinates or
  // vertex colours draws with.
  gl::glMatrixMode(GL_MODELVIEW);
  if (material->Textured != 0)
    gl::glEnable(GL_TEXTURE_2D);
  else
    gl::glDisable(GL_TEXTURE_2D);
  gl::glBindTexture(GL_TEXTURE_2D, material->TextureName);
  detail::SendLastCornerAs<false>(detail::FormOf(*object, *material), *object, *material, 1.0f);
}

scene::Vec3f EvaluateObjectPosition(const scene::Scene& scene, std::int32_t index, float t) {
  const scene::SceneObject* object = detail::ObjectAt(scene, index);
  if (!object) return {0, 0, 0};
  const std::size_t n = detail::ListLimit(object->PositionCount, object->Position.size());
  if (n == 0) return {0, 0, 0};
  const scene::VectorKey* keys = object->Position.data();
  // Key times are compared exactly with t: every int32 and every float is
  // exact as a double.
  const double time = t;
  const scene::VectorKey& firstKey = keys[0];
  const scene::VectorKey& lastKey = keys[n - 1];
  if (time <= firstKey.Time) return {firstKey.X, firstKey.Y, firstKey.Z};
  if (time >= lastKey.Time) return {lastKey.X, lastKey.Y, lastKey.Z};
  std::size_t segment = n;
  for (std::size_t j = 0; j + 1 < n; ++j)
    if (keys[j].Time <= time && time < keys[j + 1].Time) segment = j;
  // Only a track whose times decrease can miss every segment; it then rests
  // on its first key rather than interpolating across an arbitrary pair.
  if (segment == n) return {firstKey.X, firstKey.Y, firstKey.Z};
  const scene::VectorKey& a = keys[segment];
  const scene::VectorKey& b = keys[segment + 1];
  const double d = time - a.Time;
  const double span = static_cast<double>(static_cast<std::int64_t>(b.Time) - a.Time);
  return {static_cast<float>(a.X + (static_cast<double>(b.X) - a.X) * d / span),
          static_cast<float>(a.Y + (static_cast<double>(b.Y) - a.Y) * d / span),
          static_cast<float>(a.Z + (static_cast<double>(b.Z) - a.Z) * d / span)};
}

}  // namespace render
