// Camera tracks: uniform Catmull-Rom in Bezier form, clamped per track.
#include <gtest/gtest.h>

#include "scene/camera.h"

namespace {

scene::Scene WithTracks(std::vector<scene::VectorKey> position, std::vector<scene::VectorKey> target) {
  scene::Scene s;
  s.CamPositionCount = static_cast<std::int32_t>(position.size());
  s.CamTargetCount = static_cast<std::int32_t>(target.size());
  s.CamPosition = std::move(position);
  s.CamTarget = std::move(target);
  scene::PrepareCameraTracks(s);
  return s;
}

const std::vector<scene::VectorKey> kThreeKeys = {{0, 0, 0, 0}, {10, 10, 0, 0}, {20, 40, 0, 0}};

TEST(CameraTracks, TangentsAreASixthOfTheNeighboursDifference) {
  scene::Scene s = WithTracks(kThreeKeys, {{0, 1, 2, 3}, {4, 5, 7, 9}});
  ASSERT_EQ(s.CamPositionTangents.size(), 3u);
  EXPECT_FLOAT_EQ(s.CamPositionTangents[0].X, 10.0f / 6);
  EXPECT_FLOAT_EQ(s.CamPositionTangents[1].X, 40.0f / 6);
  EXPECT_FLOAT_EQ(s.CamPositionTangents[2].X, 30.0f / 6);
  // Two keys: both tangents are the same difference.
  EXPECT_FLOAT_EQ(s.CamTargetTangents[0].Z, 1.0f);
  EXPECT_FLOAT_EQ(s.CamTargetTangents[1].Y, 5.0f / 6);
  EXPECT_EQ(s.PositionTrack.KeyCount, 3);
  EXPECT_EQ(s.PositionTrack.FirstTime, 0.0f);
  EXPECT_EQ(s.PositionTrack.LastTime, 20.0f);
  EXPECT_EQ(s.TargetTrack.LastTime, 4.0f);
}

TEST(CameraTracks, ThreeKeyExample) {
  scene::Scene s = WithTracks(kThreeKeys, kThreeKeys);
  EXPECT_EQ(scene::EvaluateCamera(s, 0).Eye.X, 0.0f);
  EXPECT_NEAR(scene::EvaluateCamera(s, 5).Eye.X, 3.125f, 1e-5);
  EXPECT_EQ(scene::EvaluateCamera(s, 10).Eye.X, 10.0f);
  EXPECT_EQ(scene::EvaluateCamera(s, 20).Eye.X, 40.0f);
  EXPECT_EQ(scene::EvaluateCamera(s, 25).Eye.X, 40.0f);
  EXPECT_EQ(scene::EvaluateCamera(s, -3).Eye.X, 0.0f);
  // The second segment, at its middle: 0.375 * (10 + 40/6) + 0.375 * (40 - 30/6) + 0.125 * 50.
  EXPECT_NEAR(scene::EvaluateCamera(s, 15).Eye.X, 0.375 * (10 + 40.0 / 6) + 0.375 * 35 + 0.125 * 50, 1e-4);
  EXPECT_EQ(s.PositionTrack.Segment, 1);
}

TEST(CameraTracks, TwoKeysMoveOnTheStraightLine) {
  scene::Scene s = WithTracks({{0, 2, -4, 8}, {100, 6, 4, 0}}, {{0, 0, 0, 0}, {100, 1, 1, 1}});
  scene::CameraPose mid = scene::EvaluateCamera(s, 50);
  EXPECT_EQ(mid.Eye.X, 4.0f);
  EXPECT_EQ(mid.Eye.Y, 0.0f);
  EXPECT_EQ(mid.Eye.Z, 4.0f);
  const double u = 0.25;
  const double along = u / 2 + 3 * u * u / 2 - u * u * u;
  scene::CameraPose quarter = scene::EvaluateCamera(s, 25);
  EXPECT_NEAR(quarter.Eye.X, 2 + 4 * along, 1e-5);
  EXPECT_NEAR(quarter.Eye.Y, -4 + 8 * along, 1e-5);
  EXPECT_NEAR(quarter.Eye.Z, 8 - 8 * along, 1e-5);
}

TEST(CameraTracks, EachTrackIsClampedAgainstItsOwnTimes) {
  scene::Scene s = WithTracks({{10, 1, 1, 1}, {20, 2, 2, 2}}, {{0, 0, 0, 0}, {10, 10, 10, 10}});
  scene::CameraPose p = scene::EvaluateCamera(s, 5);
  EXPECT_EQ(p.Eye.X, 1.0f);
  EXPECT_EQ(p.Target.X, 5.0f);
  p = scene::EvaluateCamera(s, 15);
  EXPECT_EQ(p.Eye.X, 1.5f);
  EXPECT_EQ(p.Target.X, 10.0f);
}

TEST(CameraTracks, UnevenTimesUseOneParameterUnitPerSegment) {
  scene::Scene s = WithTracks({{0, 0, 0, 0}, {10, 10, 0, 0}, {110, 20, 0, 0}}, kThreeKeys);
  // Halfway through each segment in time is halfway in parameter too.
  float first = scene::EvaluateCamera(s, 5).Eye.X;
  float second = scene::EvaluateCamera(s, 60).Eye.X;
  EXPECT_NEAR(first, 0.375 * (10.0 / 6) + 0.375 * (10 - 20.0 / 6) + 0.125 * 10, 1e-5);
  EXPECT_NEAR(second, 0.125 * 10 + 0.375 * (10 + 20.0 / 6) + 0.375 * (20 - 10.0 / 6) + 0.125 * 20, 1e-4);
}

TEST(CameraTracks, LastMatchingSegmentWins) {
  // Keys out of order: at t = 15 both [0, 20) and [10, 30) hold the time.
  scene::Scene s = WithTracks({{0, 0, 0, 0}, {20, 20, 0, 0}, {10, 100, 0, 0}, {30, 200, 0, 0}}, kThreeKeys);
  scene::EvaluateCamera(s, 15);
  EXPECT_EQ(s.PositionTrack.Segment, 2);
  // A repeated key time: at t = 10 only the segment that starts at the
  // second key with that time holds it, so its value comes out.
  scene::Scene r = WithTracks({{0, 0, 0, 0}, {10, 1, 0, 0}, {10, 5, 0, 0}, {20, 9, 0, 0}}, kThreeKeys);
  EXPECT_EQ(scene::EvaluateCamera(r, 10).Eye.X, 5.0f);
}

TEST(CameraTracks, OneKeyTrackAlwaysGivesItsKey) {
  scene::Scene s = WithTracks({{5, 3, 4, 5}}, kThreeKeys);
  EXPECT_EQ(s.CamPositionTangents[0].X, 0.0f);
  for (float t : {-100.0f, 5.0f, 6.0f, 1e9f}) EXPECT_EQ(scene::EvaluateCamera(s, t).Eye.Y, 4.0f);
}

TEST(CameraTracks, EachSceneKeepsItsOwnTrackState) {
  scene::Scene a = WithTracks(kThreeKeys, kThreeKeys);
  scene::Scene b = WithTracks({{0, 7, 7, 7}, {1000, 8, 8, 8}}, {{0, 0, 0, 0}, {1000, 1, 1, 1}});
  // a was prepared before b, and still evaluates with its own keys.
  EXPECT_EQ(scene::EvaluateCamera(a, 10).Eye.X, 10.0f);
  EXPECT_EQ(scene::EvaluateCamera(a, 500).Eye.X, 40.0f);
  EXPECT_EQ(scene::EvaluateCamera(b, 500).Eye.X, 7.5f);
  // Preparing again gives the same tangents.
  std::vector<scene::Vec3f> before = a.CamPositionTangents;
  scene::PrepareCameraTracks(a);
  EXPECT_EQ(a.CamPositionTangents[1].X, before[1].X);
  EXPECT_EQ(a.PositionTrack.Segment, 0);
}

TEST(CameraTracks, ExtremeKeyTimesDoNotWrap) {
  scene::Scene s = WithTracks({{INT32_MIN, 0, 0, 0}, {INT32_MAX, 10, 0, 0}}, kThreeKeys);
  float x = scene::EvaluateCamera(s, 0.0f).Eye.X;
  EXPECT_GT(x, 4.9f);
  EXPECT_LT(x, 5.1f);
}

TEST(CameraTracks, TracksWithoutKeysAreNeverRead) {
  scene::Scene s = WithTracks({}, {});
  scene::CameraPose p = scene::EvaluateCamera(s, 3);
  EXPECT_EQ(p.Eye.X, 0.0f);
  EXPECT_EQ(p.Target.Z, 0.0f);
  // Counts larger than the lists use only the keys that exist.
  scene::Scene c;
  c.CamPositionCount = 5;
  c.CamPosition = {{0, 1, 1, 1}, {10, 2, 2, 2}};
  c.CamTargetCount = 1;
  c.CamTarget = {{0, 1, 1, 1}};
  scene::PrepareCameraTracks(c);
  EXPECT_EQ(c.PositionTrack.KeyCount, 2);
  EXPECT_EQ(scene::EvaluateCamera(c, 100).Eye.X, 2.0f);
}

}  // namespace
