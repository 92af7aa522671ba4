#include "render/view_volume.h"

#include <algorithm>
#include <cmath>

#include "platform/gl.h"

namespace render {

namespace {

// OpenGL transforms in single precision; a point counts as outside a plane
// only when it clears it by far more than single-precision rounding of the
// products that place it could move it.
constexpr double kMargin = 1e-4;

// Bits of the six planes x < -w, x > w, y < -w, y > w, z < -w, z > w that
// the point lies outside of, each with the rounding margin.
unsigned OutsidePlanes(const double (&m)[16], double x, double y, double z) {
  double c[4], size[4];
  for (int r = 0; r < 4; ++r) {
    c[r] = m[r] * x + m[4 + r] * y + m[8 + r] * z + m[12 + r];
    size[r] = std::fabs(m[r] * x) + std::fabs(m[4 + r] * y) + std::fabs(m[8 + r] * z) + std::fabs(m[12 + r]);
  }
  unsigned planes = 0;
  for (int axis = 0; axis < 3; ++axis) {
    const double slack = kMargin * (size[axis] + size[3]);
    if (c[axis] + c[3] < -slack) planes |= 1u << (2 * axis);
    if (c[axis] - c[3] > slack) planes |= 2u << (2 * axis);
  }
  return planes;
}

}  // namespace

ViewVolume::ViewVolume(const double (&clip)[16]) { std::copy(clip, clip + 16, clip_); }

ViewVolume ViewVolume::FromCurrentMatrices() {
  double projection[16], modelview[16], clip[16];
  gl::glGetDoublev(GL_PROJECTION_MATRIX, projection);
  gl::glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
  for (int column = 0; column < 4; ++column) {
    for (int row = 0; row < 4; ++row) {
      double sum = 0;
      for (int k = 0; k < 4; ++k) sum += projection[k * 4 + row] * modelview[column * 4 + k];
      clip[column * 4 + row] = sum;
    }
  }
  return ViewVolume(clip);
}

bool ViewVolume::MayShow(const scene::SceneObject& object, const scene::Vec3f& shift) const {
  if (object.Vertex.empty()) return true;
  double low[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL}, high[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
  for (const scene::Vec3f& v : object.Vertex) {
    const double p[3] = {v.X, v.Y, v.Z};
    for (int k = 0; k < 3; ++k) {
      // A coordinate that is not a finite number puts the box nowhere: the
      // object is drawn and OpenGL decides.
      if (!std::isfinite(p[k])) return true;
      low[k] = std::min(low[k], p[k]);
      high[k] = std::max(high[k], p[k]);
    }
  }
  const double move[3] = {shift.X, shift.Y, shift.Z};
  unsigned common = 0x3Fu;
  for (int corner = 0; corner < 8 && common != 0; ++corner) {
    const double x = ((corner & 1) ? high[0] : low[0]) + move[0];
    const double y = ((corner & 2) ? high[1] : low[1]) + move[1];
    const double z = ((corner & 4) ? high[2] : low[2]) + move[2];
    common &= OutsidePlanes(clip_, x, y, z);
  }
  return common == 0;
}

}  // namespace render
