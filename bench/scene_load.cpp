// Scene load and save speed against plain file I/O of the same bytes, in the
// same run: load time over the time to read the file into memory, and save
// time over a plain write of the file's bytes. Goal: both at most 1.5.
// The read is measured two ways: into a newly allocated buffer, as a program
// reading a file does, and into a buffer already allocated and touched (the
// bare transfer, which the loader cannot reach because its lists are
// zero-filled when they are created).
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/files.h"
#include "scene/loader.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

// About 210 MB: 800 objects with every list, plus materials and camera keys.
scene::Scene LargeScene() {
  scene::Scene s;
  s.Name = "bench";
  s.MaterialCount = 16;
  s.Materials.resize(16);
  for (auto& m : s.Materials) m.TextureFile = "texture.tga";
  const int objects = 800, vertices = 4000, faces = 4000;
  s.ObjectCount = objects;
  s.Objects.resize(objects);
  for (int i = 0; i < objects; ++i) {
    scene::SceneObject& o = s.Objects[static_cast<std::size_t>(i)];
    o.Name = "object " + std::to_string(i);
    o.MaterialIndex = i % 16;
    o.VertexCount = o.TexcoordCount = o.CVertexCount = vertices;
    o.HasTexcoords = o.HasColours = 1;
    o.Vertex.resize(vertices);
    o.TEXCOORD.resize(vertices);
    o.CVertex.resize(vertices);
    for (int v = 0; v < vertices; ++v) {
      o.Vertex[static_cast<std::size_t>(v)] = {static_cast<float>(v), static_cast<float>(i), 0.5f};
      o.TEXCOORD[static_cast<std::size_t>(v)] = {v * 0.001f, i * 0.01f};
      o.CVertex[static_cast<std::size_t>(v)] = {1, 0.5f, 0.25f};
    }
    o.FaceCount = faces;
    o.FACE.resize(faces);
    for (int f = 0; f < faces; ++f) {
      scene::FaceIndices idx{f % vertices, (f + 1) % vertices, (f + 2) % vertices};
      o.FACE[static_cast<std::size_t>(f)] = idx;
    }
    o.TFACE = o.FACE;
    o.CFACE = o.FACE;
    o.PositionCount = o.ScaleCount = 8;
    o.RotateCount = 8;
    o.Position.assign(8, {0, 1, 2, 3});
    o.Scale.assign(8, {0, 1, 1, 1});
    o.Rotate.assign(8, {0, 1, 0, 0, 0});
  }
  s.CamPositionCount = s.CamTargetCount = 100;
  for (int k = 0; k < 100; ++k) {
    s.CamPosition.push_back({k * 10, static_cast<float>(k), 0, 0});
    s.CamTarget.push_back({k * 10, 0, static_cast<float>(k), 0});
  }
  return s;
}

// The baseline read: one read of the whole file into memory that is already
// allocated and touched, so it measures only the transfer.
void PlainRead(const std::string& path, std::vector<unsigned char>& into) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f || std::fread(into.data(), 1, into.size(), f) != into.size() || std::fclose(f) != 0) {
    std::fprintf(stderr, "plain read failed\n");
    std::exit(1);
  }
}

void PlainWrite(const std::string& path, const std::vector<unsigned char>& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0) {
    std::fprintf(stderr, "plain write failed\n");
    std::exit(1);
  }
}

}  // namespace

int main() {
  const std::string base = "/tmp/quillon-bench-scene-" + std::to_string(getpid());
  const std::string scenePath = base + ".3dw", plainPath = base + "-plain.bin";
  constexpr int kRounds = 3;
  double save = 1e9, plainWrite = 1e9, load = 1e9, plainRead = 1e9, bareRead = 1e9;
  std::size_t size = 0;
  {
    scene::Scene s = LargeScene();
    std::vector<unsigned char> bytes;
    for (int round = 0; round < kRounds; ++round) {
      // Both writes start without an old file to truncate or replace.
      std::remove(scenePath.c_str());
      auto t = Clock::now();
      scene::SaveScene(s, scenePath);
      save = std::min(save, Seconds(t));
      if (bytes.empty()) bytes = platform::ReadWholeFile(scenePath);
      std::remove(plainPath.c_str());
      t = Clock::now();
      PlainWrite(plainPath, bytes);
      plainWrite = std::min(plainWrite, Seconds(t));
    }
    size = bytes.size();
  }
  std::remove(plainPath.c_str());
  std::vector<unsigned char> buffer(size, 1);
  for (int round = 0; round < kRounds; ++round) {
    auto t = Clock::now();
    PlainRead(scenePath, buffer);
    bareRead = std::min(bareRead, Seconds(t));
    t = Clock::now();
    {
      std::vector<unsigned char> fresh = platform::ReadWholeFile(scenePath);
      plainRead = std::min(plainRead, Seconds(t));
    }
    scene::Scene s;
    t = Clock::now();
    scene::LoadScene(s, scenePath);
    load = std::min(load, Seconds(t));
  }
  buffer = {};
  std::remove(scenePath.c_str());

  std::printf("scene file: %.1f MB, %d rounds, best of each\n", size / 1e6, kRounds);
  std::printf("load %.3f s, read %.3f s: load / read = %.2f (goal <= 1.5)\n", load, plainRead, load / plainRead);
  std::printf("load %.3f s, bare read into a touched buffer %.3f s: load / bare read = %.2f\n", load, bareRead,
              load / bareRead);
  std::printf("save %.3f s, write %.3f s: save / write = %.2f (goal <= 1.5)\n", save, plainWrite,
              save / plainWrite);
  return 0;
}
