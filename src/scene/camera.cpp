#include "scene/camera.h"

#include <algorithm>

namespace scene {

namespace {

std::size_t UsableKeys(std::int32_t count, std::size_t listSize) {
  return count > 0 ? std::min(static_cast<std::size_t>(count), listSize) : 0;
}

Vec3f Tangent(const VectorKey& before, const VectorKey& after) {
  return Vec3f{static_cast<float>((static_cast<long double>(after.X) - before.X) / 6.0L),
               static_cast<float>((static_cast<long double>(after.Y) - before.Y) / 6.0L),
               static_cast<float>((static_cast<long double>(after.Z) - before.Z) / 6.0L)};
}

void PrepareTrack(const std::vector<VectorKey>& keys, std::int32_t count, std::vector<Vec3f>& tangents,
                  CameraTrackState& state) {
  // Only keys that really exist are used, whatever the count says, so a
  // track is never read outside its list.
  const std::size_t n = UsableKeys(count, keys.size());
  state = CameraTrackState{};
  state.KeyCount = static_cast<std::int32_t>(n);
  tangents.assign(n, Vec3f{0, 0, 0});
  if (n == 0) return;
  state.FirstTime = static_cast<float>(keys[0].Time);
  state.LastTime = static_cast<float>(keys[n - 1].Time);
  // A single key is always returned by the clamps; its tangent stays zero.
  if (n == 1) return;
  tangents[0] = Tangent(keys[0], keys[1]);
  tangents[n - 1] = Tangent(keys[n - 2], keys[n - 1]);
  for (std::size_t i = 1; i + 1 < n; ++i) tangents[i] = Tangent(keys[i - 1], keys[i + 1]);
}

Vec3f KeyValue(const VectorKey& key) { return Vec3f{key.X, key.Y, key.Z}; }

float Blend(long double b0, long double b1, long double b2, long double b3, float p0, float t0, float p1,
            float t1) {
  return static_cast<float>(b0 * p0 + b1 * (static_cast<long double>(p0) + t0) +
                            b2 * (static_cast<long double>(p1) - t1) + b3 * p1);
}

Vec3f EvaluateTrack(const std::vector<VectorKey>& keys, const std::vector<Vec3f>& tangents,
                    CameraTrackState& state, float t) {
  // The state may describe more keys than the lists now hold (a scene changed
  // after it was prepared); only entries that exist are read.
  const std::size_t n = std::min({UsableKeys(state.KeyCount, keys.size()), tangents.size()});
  if (n == 0) return Vec3f{0, 0, 0};
  if (t <= state.FirstTime) return KeyValue(keys[0]);
  if (t >= state.LastTime || n == 1) return KeyValue(keys[n - 1]);

  const double time = t;
  for (std::size_t j = 0; j + 1 < n; ++j) {
    if (keys[j].Time <= time && time < keys[j + 1].Time) state.Segment = static_cast<std::int32_t>(j);
  }
  if (state.Segment < 0 || static_cast<std::size_t>(state.Segment) + 1 >= n) state.Segment = 0;
  const std::size_t j = static_cast<std::size_t>(state.Segment);
  const VectorKey& k0 = keys[j];
  const VectorKey& k1 = keys[j + 1];
  const Vec3f& t0 = tangents[j];
  const Vec3f& t1 = tangents[j + 1];

  // The key-time difference is formed wide: extreme times must not wrap.
  const long double span = static_cast<long double>(static_cast<std::int64_t>(k1.Time) - k0.Time);
  const float u = static_cast<float>((static_cast<long double>(t) - k0.Time) / span);
  const long double v = 1.0L - u;
  const auto b0 = static_cast<float>(v * v * v);
  const auto b1 = static_cast<float>(3.0L * v * v * u);
  const auto b2 = static_cast<float>(3.0L * v * u * u);
  const auto b3 = static_cast<float>(static_cast<long double>(u) * u * u);
  return Vec3f{Blend(b0, b1, b2, b3, k0.X, t0.X, k1.X, t1.X), Blend(b0, b1, b2, b3, k0.Y, t0.Y, k1.Y, t1.Y),
               Blend(b0, b1, b2, b3, k0.Z, t0.Z, k1.Z, t1.Z)};
}

}  // namespace

void PrepareCameraTracks(Scene& scene) {
  PrepareTrack(scene.CamPosition, scene.CamPositionCount, scene.CamPositionTangents, scene.PositionTrack);
  PrepareTrack(scene.CamTarget, scene.CamTargetCount, scene.CamTargetTangents, scene.TargetTrack);
}

CameraPose EvaluateCamera(Scene& scene, float t) {
  CameraPose pose;
  pose.Eye = EvaluateTrack(scene.CamPosition, scene.CamPositionTangents, scene.PositionTrack, t);
  pose.Target = EvaluateTrack(scene.CamTarget, scene.CamTargetTangents, scene.TargetTrack, t);
  return pose;
}

}  // namespace scene
