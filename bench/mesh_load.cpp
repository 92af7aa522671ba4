// LoadMesh on generated grid meshes of 10k, 100k and 1M faces. Prints the
// load time of 1M faces over 100k (linear growth gives about 10; the goal is
// at most 12) and the 1M load time over the time to read the same file's
// bytes (the goal is at most 5).
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "assets/mesh.h"
#include "platform/files.h"
#include "support/temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;

// A height field 1000 vertices wide, two faces per grid cell, cell by cell.
std::string WriteGrid(const testsupport::TempDir& dir, int faces) {
  const int width = 1000;
  const int cells = faces / 2;
  const int rows = (cells + width - 2) / (width - 1) + 1;
  const int vertices = rows * width;
  std::vector<unsigned char> bytes;
  auto put = [&](const void* p, std::size_t n) {
    const auto* b = static_cast<const unsigned char*>(p);
    bytes.insert(bytes.end(), b, b + n);
  };
  std::int32_t counts[2] = {vertices, cells * 2};
  put(counts, 8);
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < width; ++c) {
      float xyz[3] = {static_cast<float>(c), static_cast<float>(r), std::sin(c * 0.01f) * std::cos(r * 0.013f) * 50};
      put(xyz, 12);
    }
  }
  for (int q = 0; q < cells; ++q) {
    std::int32_t r = q / (width - 1), c = q % (width - 1);
    std::int32_t v = r * width + c;
    std::int32_t two[6] = {v, v + 1, v + width, v + 1, v + width + 1, v + width};
    put(two, 24);
  }
  std::string path = dir.File("grid" + std::to_string(faces) + "._3d");
  platform::WriteWholeFile(path, bytes.data(), bytes.size());
  return path;
}

template <typename Fn>
double Best(int runs, Fn&& fn) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    auto start = Clock::now();
    fn();
    best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
  }
  return best;
}

double LoadTime(const std::string& path, int runs) {
  return Best(runs, [&] {
    assets::Mesh mesh;
    assets::LoadMesh(mesh, path);
    assets::ReleaseMesh(mesh);
  });
}

}  // namespace

int main() {
  // Freed memory stays in the process between runs, for the loads and the
  // reads alike, so the figures compare the work of loading rather than how
  // quickly the kernel hands back pages it was just given (the first load of
  // each size, on fresh memory, is printed too).
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
  testsupport::TempDir dir;
  std::string small = WriteGrid(dir, 10000), medium = WriteGrid(dir, 100000), large = WriteGrid(dir, 1000000);
  double cold1m = LoadTime(large, 1);
  double t10k = LoadTime(small, 30), t100k = LoadTime(medium, 15), t1m = LoadTime(large, 8);
  double read1m = Best(8, [&] {
    std::vector<unsigned char> bytes = platform::ReadWholeFile(large);
    if (bytes.empty()) std::abort();
  });
  std::printf("LoadMesh 10k faces:  %.3f ms\n", t10k * 1e3);
  std::printf("LoadMesh 100k faces: %.3f ms\n", t100k * 1e3);
  std::printf("LoadMesh 1M faces:   %.3f ms\n", t1m * 1e3);
  std::printf("LoadMesh 1M faces, first load on fresh memory: %.3f ms\n", cold1m * 1e3);
  std::printf("reading the 1M file: %.3f ms\n", read1m * 1e3);
  std::printf("ratio 100k/10k: %.2f\n", t100k / t10k);
  std::printf("ratio 1M/100k: %.2f (goal <= 12)\n", t1m / t100k);
  std::printf("ratio 1M load/read: %.2f (goal <= 5)\n", t1m / read1m);
  return 0;
}
