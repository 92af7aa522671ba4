// dump, copy and info: scenes are loaded without a window or textures, so
// the loading-progress display draws nothing.
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <string>

#include "../common/output_file.h"
#include "commands.h"
#include "platform/files.h"
#include "scene/dump.h"
#include "scene/loader.h"

namespace {

void Load(scene::Scene& s, const char* file) {
  SetCurrentFile(file);
  scene::LoadWholeScene(s, file);
}

}  // namespace

int DumpCommand(const char* file) {
  scene::Scene s;
  Load(s, file);
  scene::DumpScene(s);
  return std::fflush(stdout) == 0 ? 0 : 1;
}

// The copy is written whole under a temporary name and moved into place; "-"
// sends it to standard output instead.
int CopyCommand(const char* in, const char* out) {
  const std::string target = out;
  const bool toStdout = target == "-";
  if (!toStdout) {
    const std::string why = tools::WhyNotWritable(target);
    if (!why.empty()) tools::FailOn("quillon-scene", target, why, 1);
  }
  scene::Scene s;
  Load(s, in);
  if (!toStdout) {
    SetCurrentFile(out);
    scene::SaveScene(s, target);
    return 0;
  }
  char folder[] = "/tmp/quillon-scene-XXXXXX";
  if (!mkdtemp(folder)) tools::FailOn("quillon-scene", folder, std::strerror(errno), 1);
  const std::string temporary = std::string(folder) + "/copy.3dw";
  SetCurrentFile(temporary.c_str());
  scene::SaveScene(s, temporary);
  const std::vector<unsigned char> bytes = platform::ReadWholeFile(temporary);
  std::remove(temporary.c_str());
  rmdir(folder);
  if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() || std::fflush(stdout) != 0) {
    tools::FailOn("quillon-scene", "-", std::strerror(errno), 1);
  }
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
  Load(s, file);
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
  return std::fflush(stdout) == 0 ? 0 : 1;
}
