// Bad scene files: a real file cut at every byte, and every count field set
// to values that do not fit. Each case must end with the unhandled-error
// report and 217, or load cleanly; never a crash, a hang, or an allocation
// beyond what the file could hold.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <new>
#include <string>

#include "platform/files.h"
#include "scene/loader.h"
#include "support/temp_dir.h"

// Every operator new of this program records its largest request, so a child
// can tell at exit how much the loader asked for at once.
// AddressSanitizer brings its own operator new, so the record is kept only
// in ordinary builds (the sanitizer then reports bad allocations itself).
#if defined(__SANITIZE_ADDRESS__)
#define QUILLON_TRACK_ALLOCATIONS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUILLON_TRACK_ALLOCATIONS 0
#endif
#endif
#ifndef QUILLON_TRACK_ALLOCATIONS
#define QUILLON_TRACK_ALLOCATIONS 1
#endif

namespace {
std::atomic<std::size_t> largestRequest{0};
}  // namespace

#if QUILLON_TRACK_ALLOCATIONS
namespace {
void Note(std::size_t n) {
  std::size_t seen = largestRequest.load(std::memory_order_relaxed);
  while (n > seen && !largestRequest.compare_exchange_weak(seen, n)) {
  }
}
}  // namespace

// The compiler cannot see that new and delete are replaced together here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpragmas"
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t n) {
  Note(n);
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t n) { return operator new(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop
#endif

namespace {

using testsupport::TempDir;

void ReportLargest() { std::fprintf(stderr, "largest request %zu\n", largestRequest.load()); }

// A small real scene written by the scene writer: one material, an object
// with every list and key track, and one whose flags switch lists off.
std::vector<unsigned char> SmallSceneFile(const TempDir& dir) {
  scene::Scene s;
  s.Name = "sweep";
  s.MaterialCount = 1;
  s.Materials.resize(1);
  s.Materials[0].TextureFile = "t.tga";
  s.ObjectCount = 2;
  s.Objects.resize(2);
  scene::SceneObject& a = s.Objects[0];
  a.Name = std::string(1, 'a');
  a.VertexCount = 3;
  a.Vertex = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  a.TexcoordCount = 2;
  a.TEXCOORD = {{0, 0}, {1, 1}};
  a.CVertexCount = 1;
  a.CVertex = {{1, 1, 1}};
  a.HasTexcoords = 1;
  a.HasColours = 1;
  a.FaceCount = 1;
  a.FACE = {{0, 1, 2}};
  a.TFACE = {{0, 1, 1}};
  a.CFACE = {{0, 0, 0}};
  a.PositionCount = 1;
  a.Position = {{0, 1, 2, 3}};
  a.RotateCount = 1;
  a.Rotate = {{0, 1, 0, 0, 0}};
  a.ScaleCount = 1;
  a.Scale = {{0, 1, 1, 1}};
  scene::SceneObject& b = s.Objects[1];
  b.Name = std::string(1, 'b');
  b.VertexCount = 1;
  b.Vertex = {{5, 5, 5}};
  b.TexcoordCount = 3;
  b.CVertexCount = 2;
  b.FaceCount = 1;
  b.FACE = {{0, 0, 0}};
  b.ScaleCount = 1;
  b.Scale = {{3, 2, 2, 2}};
  s.CamPositionCount = 2;
  s.CamPosition = {{0, 0, 0, 0}, {10, 1, 1, 1}};
  s.CamTargetCount = 1;
  s.CamTarget = {{0, 0, 0, 1}};
  scene::SaveScene(s, dir.File("real.3dw"));
  return platform::ReadWholeFile(dir.File("real.3dw"));
}

// Offsets of every count field in SmallSceneFile's bytes.
std::vector<std::size_t> CountOffsets() {
  std::vector<std::size_t> offsets = {262, 266, 282, 286};
  const std::size_t first = 290 + 530;
  const std::size_t second = first + 290 + 36 + 16 + 12 + 12 + 12 + 12 + 16 + 20 + 16;
  for (std::size_t object : {first, second}) {
    for (std::size_t field = 0; field < 8; ++field) offsets.push_back(object + 256 + 4 * field);
  }
  return offsets;
}

void ExpectCleanEnd(const TempDir& dir, const std::vector<unsigned char>& bytes, const std::string& what) {
  platform::WriteWholeFile(dir.File("case.3dw"), bytes.data(), bytes.size());
  auto r = testsupport::RunInChild([&] {
    alarm(20);  // a hang ends as a signal, which fails the case
    largestRequest = 0;
    std::atexit(ReportLargest);
    scene::Scene s;
    scene::LoadScene(s, dir.File("case.3dw"));
  });
  ASSERT_EQ(r.signal, 0) << what;
  ASSERT_TRUE(r.exitCode == 0 || r.exitCode == 217) << what << " exit " << r.exitCode;
  if (r.exitCode == 217) {
    ASSERT_EQ(r.out.rfind("An unhandled exception occurred at 0x", 0), 0u) << what << ": " << r.out;
    bool known = r.out.find("\nRead past end of file\n") != std::string::npos ||
                 r.out.find("\nInvalid scene data: ") != std::string::npos;
    ASSERT_TRUE(known) << what << ": " << r.out;
  }
  if (!QUILLON_TRACK_ALLOCATIONS) return;
  std::size_t largest = 0;
  ASSERT_EQ(std::sscanf(r.err.c_str(), "largest request %zu", &largest), 1) << what << ": " << r.err;
  // The object table holds a little more per object than its 290 bytes on
  // file; nothing may come near a count's face value.
  EXPECT_LE(largest, 2 * bytes.size() + 4096) << what;
}

struct Refusal {
  std::string message;
};
[[noreturn]] void ThrowRefusal(const char* message) { throw Refusal{message}; }

// The refusal LoadScene raises for the file, or "" when it loads: the
// unhandled-error hook turns the report into an exception, so a sweep can
// stay in this process.
std::string RefusalOf(const std::string& path) {
  platform::SetUnhandledErrorHandler(ThrowRefusal);
  std::string message;
  try {
    scene::Scene s;
    scene::LoadScene(s, path);
  } catch (const Refusal& refusal) {
    message = refusal.message;
  }
  platform::SetUnhandledErrorHandler(nullptr);
  return message;
}

TEST(SceneBadInput, RealFileLoadsAndEveryTruncationIsReadPastEnd) {
  TempDir dir;
  std::vector<unsigned char> bytes = SmallSceneFile(dir);
  ASSERT_LT(bytes.size(), 2500u);
  ExpectCleanEnd(dir, bytes, "whole file");
  // Every cut is refused; a few of them run as the program does, in a child
  // that must write the report and end with 217.
  const std::size_t checkedInAChild[] = {0, 1, 300, bytes.size() / 2, bytes.size() - 1};
  for (std::size_t size = 0; size < bytes.size(); ++size) {
    std::vector<unsigned char> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
    platform::WriteWholeFile(dir.File("cut.3dw"), cut.data(), cut.size());
    ASSERT_EQ(RefusalOf(dir.File("cut.3dw")), "Read past end of file") << "cut at " << size;
    if (std::find(std::begin(checkedInAChild), std::end(checkedInAChild), size) == std::end(checkedInAChild)) continue;
    auto r = testsupport::RunInChild([&] {
      alarm(20);
      scene::Scene s;
      scene::LoadScene(s, dir.File("cut.3dw"));
    });
    ASSERT_EQ(r.exitCode, 217) << "cut at " << size;
    ASSERT_NE(r.out.find(" :\nRead past end of file\n"), std::string::npos) << "cut at " << size << ": " << r.out;
  }
}

TEST(SceneBadInput, EveryCountFieldWithValuesThatDoNotFit) {
  TempDir dir;
  std::vector<unsigned char> bytes = SmallSceneFile(dir);
  for (std::size_t offset : CountOffsets()) {
    std::int32_t real;
    std::memcpy(&real, &bytes[offset], 4);
    for (std::int32_t value : {-1, 0, INT_MAX, INT_MIN, 0x10000000, real + 1}) {
      std::vector<unsigned char> changed = bytes;
      std::memcpy(&changed[offset], &value, 4);
      ExpectCleanEnd(dir, changed, "count at " + std::to_string(offset) + " = " + std::to_string(value));
    }
  }
}

TEST(SceneBadInput, CountOffsetsNameTheCountFields) {
  // Guards the sweep itself: the offsets above must hit the real counts.
  TempDir dir;
  std::vector<unsigned char> bytes = SmallSceneFile(dir);
  std::vector<std::int32_t> counts;
  for (std::size_t offset : CountOffsets()) {
    std::int32_t v;
    std::memcpy(&v, &bytes[offset], 4);
    counts.push_back(v);
  }
  EXPECT_EQ(counts, (std::vector<std::int32_t>{1, 2, 2, 1, 3, 1, 2, 1, 0, 1, 1, 1, 1, 2, 3, 1, 0, 0, 0, 1}));
}

}  // namespace
