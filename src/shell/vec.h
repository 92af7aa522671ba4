#pragma once
// The small vector arithmetic of the sprite and particle facilities.
#include <cmath>

namespace shell {

struct Vec3 {
  float x, y, z;
};

inline void VecSet(Vec3& v, float x, float y, float z) { v = {x, y, z}; }

inline void VecSub(Vec3& out, const Vec3& a, const Vec3& b) { out = {a.x - b.x, a.y - b.y, a.z - b.z}; }

inline void VecCross(Vec3& out, const Vec3& a, const Vec3& b) {
  // Computed into a temporary so that out may be a or b.
  const Vec3 r{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
  out = r;
}

// Scales v to length 1. A vector shorter than 0.0001 is left as it is, so a
// degenerate billboard axis stays zero instead of becoming a division by
// almost nothing. The bound is the real number 0.0001: the float nearest to
// it lies just below it and is itself too short.
inline void VecNormalize(Vec3& v) {
  const double squared = static_cast<double>(v.x) * v.x + static_cast<double>(v.y) * v.y +
                         static_cast<double>(v.z) * v.z;
  const float length = static_cast<float>(std::sqrt(squared));
  if (static_cast<double>(length) < 0.0001) return;
  v.x /= length;
  v.y /= length;
  v.z /= length;
}

inline void VecScale(Vec3& v, float k) { v = {v.x * k, v.y * k, v.z * k}; }

}  // namespace shell
