// dump, copy and info: scenes are loaded without a window or textures, so
// the loading-progress display draws nothing.
#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "commands.h"
#include "platform/files.h"
#include "scene/dump.h"
#include "scene/loader.h"

int DumpCommand(const char* file) {
  scene::Scene s;
  scene::LoadScene(s, file);
  scene::DumpScene(s);
  return 0;
}

int CopyCommand(const char* in, const char* out) {
  scene::Scene s;
  scene::LoadScene(s, in);
  scene::SaveScene(s, out);
  return 0;
}

namespace {

struct TimeRange {
  bool any = false;
  std::int32_t first = 0;
  std::int32_t last = 0;
  void Add(const std::vector<scene::VectorKey>& track) {
    if (track.empty()) return;
    first = any ? std::min(first, track.front().Time) : track.front().Time;
    last = any ? std::max(last, track.back().Time) : track.back().Time;
    any = true;
  }
};

}  // namespace

int InfoCommand(const char* file) {
  scene::Scene s;
  scene::LoadScene(s, file);
  std::int64_t vertices = 0, faces = 0, positions = 0, rotations = 0, scales = 0;
  for (const scene::SceneObject& o : s.Objects) {
    vertices += static_cast<std::int64_t>(o.Vertex.size());
    faces += static_cast<std::int64_t>(o.FACE.size());
    positions += static_cast<std::int64_t>(o.Position.size());
    rotations += static_cast<std::int64_t>(o.Rotate.size());
    scales += static_cast<std::int64_t>(o.Scale.size());
  }
  TimeRange camera;
  camera.Add(s.CamPosition);
  camera.Add(s.CamTarget);

  std::printf("Scene: %s\n", s.Name.c_str());
  std::printf("Materials: %zu\n", s.Materials.size());
  std::printf("Objects: %zu\n", s.Objects.size());
  std::printf("Vertices: %" PRId64 "\n", vertices);
  std::printf("Faces: %" PRId64 "\n", faces);
  std::printf("Object keys: %" PRId64 " (Position %" PRId64 ", Rotate %" PRId64 ", Scale %" PRId64 ")\n",
              positions + rotations + scales, positions, rotations, scales);
  std::printf("Camera keys: CamPosition %zu, CamTarget %zu\n", s.CamPosition.size(), s.CamTarget.size());
  if (camera.any) {
    std::printf("Camera time: %" PRId32 " to %" PRId32 "\n", camera.first, camera.last);
  } else {
    std::printf("Camera time: none\n");
  }
  if (std::fflush(stdout) != 0) platform::RaiseUnhandledError("Disk write error");
  return 0;
}
