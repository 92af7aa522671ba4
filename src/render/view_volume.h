#pragma once
// The view volume of the scene pass being drawn, for leaving out objects
// that cannot put a single fragment on the screen. When every vertex of an
// object lies outside one and the same clip plane, OpenGL clips away every
// primitive the object sends, so not sending them changes no pixel. The test
// allows a margin for rounding, so that it never drops an object whose
// vertices OpenGL might place just inside the volume.
#include "scene/model.h"

namespace render {

class ViewVolume {
 public:
  // The volume of the projection and modelview matrices current now.
  static ViewVolume FromCurrentMatrices();
  // A volume from a column-major clip matrix (projection x modelview).
  explicit ViewVolume(const double (&clip)[16]);

  // False only when the bounding box of the object's vertices, moved by
  // shift, lies wholly outside one plane of the volume.
  bool MayShow(const scene::SceneObject& object, const scene::Vec3f& shift) const;

 private:
  double clip_[16];
};

}  // namespace render
