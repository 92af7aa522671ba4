// The .3dw layout as the loader reads it and the writer writes it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "platform/files.h"
#include "scene/loader.h"
#include "scene/progress.h"
#include "scene_bytes.h"
#include "support/temp_dir.h"

namespace {

using scenetest::Bytes;
using testsupport::RunInChild;
using testsupport::TempDir;

constexpr char kReportStart[] = "An unhandled exception occurred at 0x";

// The report's second line: the message.
std::string ReportMessage(const std::string& out) {
  std::size_t colon = out.find(" :\n");
  if (out.rfind(kReportStart, 0) != 0 || colon == std::string::npos) return "<no report: " + out + ">";
  std::string rest = out.substr(colon + 3);
  if (!rest.empty() && rest.back() == '\n') rest.pop_back();
  return rest;
}

scene::Scene LoadBytes(const TempDir& dir, const Bytes& b, const char* name = "s.3dw") {
  b.Write(dir.File(name));
  scene::Scene s;
  scene::LoadScene(s, dir.File(name));
  return s;
}

// A material and one object with 4 vertices, 4 texture coordinates, 4
// colours and 2 faces: 290 + 48 + 32 + 48 + 24 + 24 + 24 bytes.
Bytes FullObject(Bytes b, Bytes::ObjectFields o = {}) {
  o.vertexCount = 4;
  o.texcoordCount = 4;
  o.cvertexCount = 4;
  o.faceCount = 2;
  o.hasTexcoords = 1;
  o.hasColours = 1;
  b.Object(o);
  b.Vec(0, 0, 0).Vec(1, 0, 0).Vec(1, 1, 0).Vec(0, 1, 0);
  b.F32(0).F32(0).F32(1).F32(0).F32(1).F32(1).F32(0).F32(1);
  b.Vec(1, 0, 0).Vec(0, 1, 0).Vec(0, 0, 1).Vec(1, 1, 1);
  b.Face(0, 1, 2).Face(0, 2, 3);
  b.Face(3, 2, 1).Face(3, 1, 0);
  b.Face(1, 1, 1).Face(2, 2, 2);
  return b;
}

TEST(SceneLayout, HeaderFieldsAndNoMaterialBlockWhenCountIsZero) {
  TempDir dir;
  Bytes::HeaderFields h;
  h.name = "flight";
  h.headerValue = -12345;
  h.camPositionCount = 1;
  h.camTargetCount = 1;
  Bytes b;
  // The camera keys follow the 290-byte header directly.
  b.Header(h).Key(3, 1, 2, 3).Key(4, 5, 6, 7);
  ASSERT_EQ(b.data.size(), 290u + 32u);
  scene::Scene s = LoadBytes(dir, b);
  EXPECT_EQ(s.Name, "flight");
  EXPECT_EQ(s.HeaderValue, -12345);
  EXPECT_EQ(s.MaterialCount, 0);
  EXPECT_TRUE(s.Materials.empty());
  EXPECT_FLOAT_EQ(s.FieldOfView, 0.8f);
  EXPECT_FLOAT_EQ(s.FarDistance, 500.0f);
  ASSERT_EQ(s.CamPosition.size(), 1u);
  EXPECT_EQ(s.CamPosition[0].Time, 3);
  EXPECT_EQ(s.CamPosition[0].Z, 3.0f);
  ASSERT_EQ(s.CamTarget.size(), 1u);
  EXPECT_EQ(s.CamTarget[0].Time, 4);
  EXPECT_EQ(s.CamTarget[0].X, 5.0f);
}

TEST(SceneLayout, NearDistanceGainsOneHundredThousandthAsFloat) {
  TempDir dir;
  Bytes::HeaderFields h;
  h.nearDistance = 0.0f;
  EXPECT_EQ(LoadBytes(dir, Bytes().Header(h)).NearDistance, 0.00001f);
  h.nearDistance = 1.0f;
  EXPECT_EQ(LoadBytes(dir, Bytes().Header(h)).NearDistance, 1.00001f);
}

TEST(SceneLayout, MaterialRecordsAre530BytesEach) {
  TempDir dir;
  Bytes::HeaderFields h;
  h.materialCount = 2;
  Bytes b;
  b.Header(h).Material("stone", "stone.tga", 0.0f, 99, 2.0f, 3.0f, 1, 1);
  b.Material("", "glow.jpg", 0.5f, 7, 1.0f, 1.0f, 0, 0);
  ASSERT_EQ(b.data.size(), 290u + 2 * 530u);
  scene::Scene s = LoadBytes(dir, b);
  ASSERT_EQ(s.Materials.size(), 2u);
  EXPECT_EQ(s.Materials[0].Name, "stone");
  EXPECT_EQ(s.Materials[0].TextureFile, "stone.tga");
  EXPECT_EQ(s.Materials[0].UScale, 2.0f);
  EXPECT_EQ(s.Materials[0].VScale, 3.0f);
  EXPECT_EQ(s.Materials[0].Textured, 1);
  EXPECT_EQ(s.Materials[1].Name, "");
  EXPECT_EQ(s.Materials[1].TextureFile, "glow.jpg");
  EXPECT_EQ(s.Materials[1].BlendAmount, 0.5f);
  EXPECT_EQ(s.Materials[1].Textured, 0);
}

TEST(SceneLayout, FullObjectOccupies490BytesInFileOrder) {
  TempDir dir;
  Bytes::HeaderFields h;
  h.materialCount = 1;
  h.objectCount = 1;
  Bytes b;
  b.Header(h).Material("m", "m.tga", 0, 0, 1, 1, 0, 1);
  std::size_t start = b.data.size();
  b = FullObject(b);
  EXPECT_EQ(b.data.size() - start, 490u);
  scene::Scene s = LoadBytes(dir, b);
  ASSERT_EQ(s.Objects.size(), 1u);
  const scene::SceneObject& o = s.Objects[0];
  EXPECT_EQ(o.Name, "object");
  ASSERT_EQ(o.Vertex.size(), 4u);
  EXPECT_EQ(o.Vertex[2].Y, 1.0f);
  ASSERT_EQ(o.TEXCOORD.size(), 4u);
  EXPECT_EQ(o.TEXCOORD[1].U, 1.0f);
  EXPECT_EQ(o.TEXCOORD[1].V, 0.0f);
  ASSERT_EQ(o.CVertex.size(), 4u);
  EXPECT_EQ(o.CVertex[2].Z, 1.0f);
  ASSERT_EQ(o.FACE.size(), 2u);
  EXPECT_EQ(o.FACE[1].C, 3);
  ASSERT_EQ(o.TFACE.size(), 2u);
  EXPECT_EQ(o.TFACE[0].A, 3);
  ASSERT_EQ(o.CFACE.size(), 2u);
  EXPECT_EQ(o.CFACE[1].B, 2);
  EXPECT_EQ(o.Visible, 1);
}

TEST(SceneLayout, FlagsSwitchListsOffWhateverTheCountsSay) {
  TempDir dir;
  Bytes::HeaderFields h;
  h.materialCount = 1;
  h.objectCount = 1;
  Bytes b;
  b.Header(h).Material("m", "m.tga", 0, 0, 1, 1, 0, 1);
  Bytes::ObjectFields o;
  o.vertexCount = 3;
  o.texcoordCount = 5;  // stored, but no TEXCOORD or TFACE follow
  o.cvertexCount = 3;
  o.hasTexcoords = 0;
  o.hasColours = 1;
  o.faceCount = 1;
  b.Object(o).Vec(1, 2, 3).Vec(4, 5, 6).Vec(7, 8, 9);
  b.Vec(0.25f, 0.5f, 0.75f).Vec(1, 1, 1).Vec(0, 0, 0);  // CVertex right after Vertex
  b.Face(0, 1, 2).Face(2, 1, 0);                        // FACE, then CFACE
  scene::Scene s = LoadBytes(dir, b);
  const scene::SceneObject& obj = s.Objects[0];
  EXPECT_EQ(obj.TexcoordCount, 5);
  EXPECT_TRUE(obj.TEXCOORD.empty());
  EXPECT_TRUE(obj.TFACE.empty());
  ASSERT_EQ(obj.CVertex.size(), 3u);
  EXPECT_EQ(obj.CVertex[0].X, 0.25f);
  EXPECT_EQ(obj.FACE[0].C, 2);
  EXPECT_EQ(obj.CFACE[0].A, 2);
}

TEST(SceneLayout, WithoutColoursTheBytesAfterTexcoordsAreFaces) {
  TempDir dir;
  Bytes::HeaderFields h;
  h.materialCount = 1;
  h.objectCount = 1;
  Bytes b;
  b.Header(h).Material("m", "m.tga", 0, 0, 1, 1, 0, 1);
  Bytes::ObjectFields o;
  o.vertexCount = 3;
  o.texcoordCount = 3;
  o.cvertexCount = 9;  // no CVertex or CFACE in the file
  o.hasTexcoords = 1;
  o.faceCount = 1;
  b.Object(o).Vec(0, 0, 0).Vec(1, 0, 0).Vec(0, 1, 0);
  b.F32(0).F32(0).F32(1).F32(0).F32(0).F32(1);
  b.Face(2, 0, 1).Face(1, 2, 0);
  scene::Scene s = LoadBytes(dir, b);
  const scene::SceneObject& obj = s.Objects[0];
  EXPECT_EQ(obj.CVertexCount, 9);
  EXPECT_TRUE(obj.CVertex.empty());
  EXPECT_TRUE(obj.CFACE.empty());
  EXPECT_EQ(obj.FACE[0].A, 2);
  EXPECT_EQ(obj.TFACE[0].A, 1);
}

TEST(SceneLayout, KeyTracksInOrderPositionRotateScaleAndNegativeCountsAreEmpty) {
  TempDir dir;
  Bytes::HeaderFields h;
  h.materialCount = 1;
  h.objectCount = 2;
  h.camPositionCount = 3;
  h.camTargetCount = 2;
  Bytes b;
  b.Header(h).Material("m", "m.tga", 0, 0, 1, 1, 0, 1);
  Bytes::ObjectFields o;
  o.positionCount = 2;
  o.rotateCount = 0;  // Scale follows Position directly
  o.scaleCount = 1;
  b.Object(o).Key(0, 1, 2, 3).Key(5, 4, 5, 6).Key(9, 2, 2, 2);
  Bytes::ObjectFields second;
  second.name = "";
  second.vertexCount = -4;
  second.faceCount = -1;
  second.rotateCount = 1;
  b.Object(second).Rot(8, 0.1f, 0.2f, 0.3f, 0.4f);
  std::size_t camStart = b.data.size();
  b.Key(0, 0, 0, 0).Key(10, 10, 0, 0).Key(20, 40, 0, 0).Key(0, 1, 1, 1).Key(20, 2, 2, 2);
  EXPECT_EQ(b.data.size() - camStart, 80u);
  scene::Scene s = LoadBytes(dir, b);
  const scene::SceneObject& first = s.Objects[0];
  ASSERT_EQ(first.Position.size(), 2u);
  EXPECT_EQ(first.Position[1].Time, 5);
  EXPECT_TRUE(first.Rotate.empty());
  ASSERT_EQ(first.Scale.size(), 1u);
  EXPECT_EQ(first.Scale[0].Time, 9);
  const scene::SceneObject& other = s.Objects[1];
  EXPECT_EQ(other.Name, "");
  EXPECT_EQ(other.VertexCount, -4);
  EXPECT_TRUE(other.Vertex.empty());
  EXPECT_TRUE(other.FACE.empty());
  ASSERT_EQ(other.Rotate.size(), 1u);
  EXPECT_EQ(other.Rotate[0].D, 0.4f);
  ASSERT_EQ(s.CamPosition.size(), 3u);
  ASSERT_EQ(s.CamTarget.size(), 2u);
  EXPECT_EQ(s.CamTarget[1].Z, 2.0f);
  EXPECT_EQ(s.CamPositionTangents.size(), 3u);
  EXPECT_EQ(s.CamTargetTangents.size(), 2u);
  EXPECT_EQ(s.PositionTrack.KeyCount, 3);  // both tracks have keys: prepared
  EXPECT_FLOAT_EQ(s.CamPositionTangents[1].X, 40.0f / 6);
}

TEST(SceneLayout, TrailingBytesAreIgnored) {
  TempDir dir;
  Bytes b;
  b.Header({});
  for (int i = 0; i < 100; ++i) b.U8(0xFF);
  EXPECT_EQ(LoadBytes(dir, b).Name, "scene");
}

TEST(SceneLoad, WithoutTargetKeysLoadsCompletelyUnprepared) {
  TempDir dir;
  Bytes::HeaderFields h;
  h.camPositionCount = 2;
  h.camTargetCount = 0;
  scene::Scene s = LoadBytes(dir, Bytes().Header(h).Key(0, 1, 1, 1).Key(10, 2, 2, 2));
  EXPECT_EQ(s.CamPosition.size(), 2u);
  EXPECT_TRUE(s.CamTarget.empty());
  EXPECT_EQ(s.PositionTrack.KeyCount, 0);
  EXPECT_EQ(s.TargetTrack.KeyCount, 0);
}

TEST(SceneLoad, EveryObjectIsVisibleAndCountsOnePerObject) {
  TempDir dir;
  Bytes::HeaderFields h;
  h.materialCount = 3;
  h.objectCount = 2;
  Bytes b;
  b.Header(h);
  for (int i = 0; i < 3; ++i) b.Material("m", "m.tga", 0, 0, 1, 1, 0, 1);
  b.Object({}).Object({});
  std::int32_t before = scene::LoadedItems;
  scene::Scene s = LoadBytes(dir, b);
  EXPECT_EQ(scene::LoadedItems - before, 2);
  for (const auto& o : s.Objects) EXPECT_EQ(o.Visible, 1);
}

TEST(SceneLoad, LoadingAgainReplacesTheWholeScene) {
  TempDir dir;
  Bytes::HeaderFields h;
  h.materialCount = 1;
  h.objectCount = 1;
  Bytes big;
  big.Header(h).Material("m", "m.tga", 0, 0, 1, 1, 0, 1);
  big = FullObject(big);
  scene::Scene s = LoadBytes(dir, big, "a.3dw");
  Bytes small;
  small.Header({});
  small.Write(dir.File("b.3dw"));
  scene::LoadScene(s, dir.File("b.3dw"));
  EXPECT_TRUE(s.Objects.empty());
  EXPECT_TRUE(s.Materials.empty());
  scene::ReleaseScene(s);
  EXPECT_EQ(s.ObjectCount, 0);
}

TEST(SceneLoadFailure, FileEndingInsideLastScaleKeysIsReadPastEnd) {
  TempDir dir;
  Bytes::HeaderFields h;
  h.materialCount = 1;
  h.objectCount = 1;
  Bytes b;
  b.Header(h).Material("m", "m.tga", 0, 0, 1, 1, 0, 1);
  Bytes::ObjectFields o;
  o.scaleCount = 2;
  b.Object(o).Key(0, 1, 1, 1).Key(1, 2, 2, 2);
  b.data.erase(b.data.end() - 5, b.data.end());
  b.Write(dir.File("short.3dw"));
  auto r = RunInChild([&] {
    scene::Scene s;
    scene::LoadScene(s, dir.File("short.3dw"));
  });
  EXPECT_EQ(r.exitCode, 217);
  EXPECT_EQ(ReportMessage(r.out), "Read past end of file");
}

TEST(SceneLoadFailure, MissingFileIsFileNotFound) {
  TempDir dir;
  auto r = RunInChild([&] {
    scene::Scene s;
    scene::LoadScene(s, dir.File("absent.3dw"));
  });
  EXPECT_EQ(r.exitCode, 217);
  EXPECT_EQ(ReportMessage(r.out), "File not found");
}

TEST(SceneLoadFailure, CountBeyondTheFileIsRefusedBeforeAllocating) {
  TempDir dir;
  Bytes::HeaderFields h;
  h.camPositionCount = 0x7FFFFFFF;
  Bytes().Header(h).Key(0, 0, 0, 0).Write(dir.File("huge.3dw"));
  auto r = RunInChild([&] {
    scene::Scene s;
    scene::LoadScene(s, dir.File("huge.3dw"));
  });
  EXPECT_EQ(r.exitCode, 217);
  EXPECT_EQ(ReportMessage(r.out), "Read past end of file");
}

struct BadIndexCase {
  const char* what;
  std::int32_t materialIndex;
  std::int32_t face[3];
  std::int32_t tface[3];
  std::int32_t cface[3];
  const char* message;
};

class SceneIndexRefusal : public ::testing::TestWithParam<BadIndexCase> {};

TEST_P(SceneIndexRefusal, NamesTheFileAndTheFirstOffendingEntry) {
  const BadIndexCase& c = GetParam();
  TempDir dir;
  Bytes::HeaderFields h;
  h.materialCount = 1;
  h.objectCount = 2;
  Bytes b;
  b.Header(h).Material("m", "m.tga", 0, 0, 1, 1, 0, 1);
  b = FullObject(b);
  Bytes::ObjectFields o;
  o.materialIndex = c.materialIndex;
  o.vertexCount = 2;
  o.texcoordCount = 1;
  o.cvertexCount = 3;
  o.faceCount = 2;
  o.hasTexcoords = 1;
  o.hasColours = 1;
  b.Object(o).Vec(0, 0, 0).Vec(1, 1, 1).F32(0).F32(0).Vec(0, 0, 0).Vec(0, 0, 0).Vec(0, 0, 0);
  b.Face(0, 1, 0).Face(c.face[0], c.face[1], c.face[2]);
  b.Face(0, 0, 0).Face(c.tface[0], c.tface[1], c.tface[2]);
  b.Face(0, 1, 2).Face(c.cface[0], c.cface[1], c.cface[2]);
  b.Write(dir.File("cam.3dw"));
  auto r = RunInChild([&] {
    scene::Scene s;
    scene::LoadScene(s, dir.File("cam.3dw"));
  });
  EXPECT_EQ(r.exitCode, 217);
  EXPECT_EQ(ReportMessage(r.out), "Invalid scene data: " + dir.File("cam.3dw") + ": " + c.message);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SceneIndexRefusal,
    ::testing::Values(
        BadIndexCase{"vertex", 0, {0, 1, 2}, {0, 0, 0}, {0, 0, 0}, "object 1 face 1 names vertex 2 of 2"},
        BadIndexCase{"negative", 0, {-1, 0, 0}, {0, 0, 0}, {0, 0, 0}, "object 1 face 1 names vertex -1 of 2"},
        BadIndexCase{"texcoord", 0, {0, 0, 0}, {0, 1, 0}, {0, 0, 0},
                     "object 1 face 1 names texture coordinate 1 of 1"},
        BadIndexCase{"colour", 0, {0, 0, 0}, {0, 0, 0}, {0, 0, 900}, "object 1 face 1 names colour 900 of 3"},
        BadIndexCase{"material", 1, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, "object 1 names material 1 of 1"},
        BadIndexCase{"negative material", -1, {0, 0, 0}, {0, 0, 0}, {0, 0, 0},
                     "object 1 names material -1 of 1"}),
    [](const auto& info) {
      std::string n = info.param.what;
      for (char& ch : n) {
        if (ch == ' ') ch = '_';
      }
      return n;
    });

TEST(SceneLoad, InRangeIndicesAtTheLimitsLoad) {
  TempDir dir;
  Bytes::HeaderFields h;
  h.materialCount = 2;
  h.objectCount = 1;
  Bytes b;
  b.Header(h).Material("a", "a.tga", 0, 0, 1, 1, 0, 1).Material("b", "b.tga", 0, 0, 1, 1, 0, 1);
  Bytes::ObjectFields o;
  o.materialIndex = 1;
  b = FullObject(b, o);
  EXPECT_EQ(LoadBytes(dir, b).Objects[0].MaterialIndex, 1);
}

// The expected bytes of saving a loaded file: format bytes 0 and 1, the near
// distance as loaded, zeros after string characters; all else unchanged.
// The fuzzing harness turns refusals into exceptions through this hook.
struct Refusal {
  std::string message;
};
void ThrowRefusal(const char* message) { throw Refusal{message}; }
std::string noted;
void NoteRefusal(const char* message) { noted = message; }

TEST(SceneLoadFailure, RefusalsReachTheUnhandledErrorHook) {
  TempDir dir;
  Bytes::HeaderFields h;
  h.objectCount = 3;
  Bytes().Header(h).Write(dir.File("short.3dw"));
  platform::SetUnhandledErrorHandler(ThrowRefusal);
  scene::Scene s;
  std::string message;
  try {
    scene::LoadScene(s, dir.File("short.3dw"));
  } catch (const Refusal& r) {
    message = r.message;
  }
  platform::SetUnhandledErrorHandler(nullptr);
  EXPECT_EQ(message, "Read past end of file");

  // A hook that returns lets the report and the exit follow.
  auto r = RunInChild([&] {
    platform::SetUnhandledErrorHandler(NoteRefusal);
    scene::Scene t;
    scene::LoadScene(t, dir.File("short.3dw"));
  });
  EXPECT_EQ(r.exitCode, 217);
  EXPECT_EQ(ReportMessage(r.out), "Read past end of file");
}

TEST(SceneSave, SavedFileReproducesTheLoadedOne) {
  TempDir dir;
  Bytes::HeaderFields h;
  h.name = "round trip";
  h.materialCount = 2;
  h.objectCount = 2;
  h.nearDistance = 0.5f;
  h.camPositionCount = 3;
  h.camTargetCount = 1;
  Bytes b;
  b.Header(h);
  b.Material("first", "first.tga", 0.25f, 0xDEADBEEF, 1.5f, 2.5f, 3, 1);
  b.Material("second", "", 0, 12, 1, 1, 0, 0);
  Bytes::ObjectFields o;
  o.name = "lid";
  o.materialIndex = 1;
  o.positionCount = 1;
  o.rotateCount = 2;
  o.scaleCount = 1;
  b = FullObject(b, o);
  b.Key(1, 2, 3, 4).Rot(0, 1, 0, 0, 0).Rot(5, 0, 1, 0, 0).Key(7, 1, 1, 1);
  Bytes::ObjectFields flat;
  flat.vertexCount = 3;
  flat.texcoordCount = 6;   // no list behind it
  flat.cvertexCount = -2;   // nor behind this
  flat.faceCount = 1;
  b.Object(flat).Vec(0, 0, 0).Vec(0, 0, 1).Vec(0, 1, 0).Face(0, 1, 2);
  b.Key(0, 0, 0, 0).Key(10, 1, 0, 0).Key(20, 2, 0, 0).Key(5, 9, 9, 9);
  b.Write(dir.File("in.3dw"));

  scene::Scene s;
  scene::LoadScene(s, dir.File("in.3dw"));
  scene::SaveScene(s, dir.File("out.3dw"));
  std::vector<unsigned char> saved = platform::ReadWholeFile(dir.File("out.3dw"));

  std::vector<unsigned char> expected = b.data;
  expected[0] = 0;
  expected[1] = 1;
  const float near = static_cast<float>(static_cast<long double>(0.5f) + 0.00001L);
  EXPECT_EQ(s.NearDistance, near);
  std::memcpy(&expected[274], &near, 4);
  auto zeroPadding = [&](std::size_t at) {
    for (std::size_t i = at + 1 + expected[at]; i < at + 256; ++i) expected[i] = 0;
  };
  zeroPadding(2);
  for (std::size_t m = 0; m < 2; ++m) {
    zeroPadding(290 + m * 530);
    zeroPadding(290 + m * 530 + 256);
  }
  std::size_t firstObject = 290 + 2 * 530;
  zeroPadding(firstObject);
  zeroPadding(firstObject + 490 + 16 + 40 + 16);
  ASSERT_EQ(saved.size(), expected.size());
  for (std::size_t i = 0; i < saved.size(); ++i) ASSERT_EQ(saved[i], expected[i]) << "at byte " << i;
}

// Every value of this file differs from every other of its kind, and each
// object has one list flag set and the other clear, so a reader or a writer
// that takes one field for another (two counts, two flags, two components)
// cannot come out right by chance.
struct DistinctScene {
  Bytes bytes;
  std::vector<std::size_t> strings;  // offsets of the counted strings
  float next = 0.5f;
  float Real() { return next += 0.25f; }
  int index = 0;

  // n reals from the counter, one statement each (the order in which the
  // arguments of one call are evaluated is the compiler's choice).
  void Reals(int n) {
    for (int i = 0; i < n; ++i) bytes.F32(Real());
  }
  void Keys(int count, int components) {
    for (int i = 0; i < count; ++i) {
      bytes.I32(++index);
      Reals(components);
    }
  }
  // An object's lists, each entry from the running counter.
  void Lists(Bytes::ObjectFields o) {
    strings.push_back(bytes.data.size());
    bytes.Object(o);
    Reals(3 * o.vertexCount);
    if (o.hasTexcoords) Reals(2 * o.texcoordCount);
    if (o.hasColours) Reals(3 * o.cvertexCount);
    auto faces = [&](int limit) {
      for (int i = 0; i < o.faceCount; ++i) bytes.Face(i % limit, (i + 1) % limit, (i + 2) % limit);
    };
    faces(o.vertexCount);
    if (o.hasTexcoords) faces(o.texcoordCount);
    if (o.hasColours) faces(o.cvertexCount);
    Keys(o.positionCount, 3);
    Keys(o.rotateCount, 4);
    Keys(o.scaleCount, 3);
  }
};

Bytes::ObjectFields TexturedOnly() {
  Bytes::ObjectFields o;
  o.name = "textured only";
  o.vertexCount = 3, o.cvertexCount = 9, o.texcoordCount = 4, o.faceCount = 2, o.materialIndex = 1;
  o.positionCount = 5, o.rotateCount = 6, o.scaleCount = 7;
  o.hasTexcoords = 1, o.hasColours = 0;
  return o;
}
Bytes::ObjectFields ColouredOnly() {
  Bytes::ObjectFields o;
  o.name = "coloured only";
  o.vertexCount = 6, o.cvertexCount = 3, o.texcoordCount = 8, o.faceCount = 1, o.materialIndex = 0;
  o.positionCount = 2, o.rotateCount = 4, o.scaleCount = 5;
  o.hasTexcoords = 0, o.hasColours = 1;
  return o;
}

DistinctScene MakeDistinctScene() {
  DistinctScene d;
  Bytes::HeaderFields h;
  h.name = "distinct";
  h.headerValue = 1001;
  h.materialCount = 3;
  h.objectCount = 2;
  h.fieldOfView = 0.61f;
  h.nearDistance = 0.71f;
  h.farDistance = 810.5f;
  h.camPositionCount = 4;
  h.camTargetCount = 5;
  d.strings.push_back(2);
  d.bytes.Header(h);
  // Alpha flag and textured flag differ in every material.
  const std::uint8_t flags[3][2] = {{1, 0}, {0, 1}, {2, 3}};
  for (int m = 0; m < 3; ++m) {
    d.strings.push_back(d.bytes.data.size());
    d.strings.push_back(d.bytes.data.size() + 256);
    const float blend = d.Real(), u = d.Real(), v = d.Real();
    d.bytes.Material("material " + std::to_string(m), "picture" + std::to_string(m) + ".tga", blend,
                     static_cast<std::uint32_t>(301 + m), u, v, flags[m][0], flags[m][1]);
  }
  d.Lists(TexturedOnly());
  d.Lists(ColouredOnly());
  d.Keys(4 + 5, 3);
  return d;
}

TEST(SceneRoundTrip, EveryFieldIsReadFromItsOwnPlace) {
  TempDir dir;
  DistinctScene d = MakeDistinctScene();
  scene::Scene s = LoadBytes(dir, d.bytes);

  // The same counter again, in the order of the file.
  float next = 0.5f;
  auto real = [&] { return next += 0.25f; };
  int index = 0;
  EXPECT_EQ(s.Name, "distinct");
  EXPECT_EQ(s.HeaderValue, 1001);
  EXPECT_EQ(s.MaterialCount, 3);
  EXPECT_EQ(s.ObjectCount, 2);
  EXPECT_EQ(s.FieldOfView, 0.61f);
  EXPECT_EQ(s.NearDistance, static_cast<float>(static_cast<long double>(0.71f) + 0.00001L));
  EXPECT_EQ(s.FarDistance, 810.5f);
  EXPECT_EQ(s.CamPositionCount, 4);
  EXPECT_EQ(s.CamTargetCount, 5);
  ASSERT_EQ(s.Materials.size(), 3u);
  const std::uint8_t flags[3][2] = {{1, 0}, {0, 1}, {2, 3}};
  for (int m = 0; m < 3; ++m) {
    SCOPED_TRACE("material " + std::to_string(m));
    const scene::SceneMaterial& mat = s.Materials[m];
    EXPECT_EQ(mat.Name, "material " + std::to_string(m));
    EXPECT_EQ(mat.TextureFile, "picture" + std::to_string(m) + ".tga");
    EXPECT_EQ(mat.BlendAmount, real());
    EXPECT_EQ(mat.TextureName, static_cast<std::uint32_t>(301 + m));
    EXPECT_EQ(mat.UScale, real());
    EXPECT_EQ(mat.VScale, real());
    EXPECT_EQ(mat.AlphaFlag, flags[m][0]);
    EXPECT_EQ(mat.Textured, flags[m][1]);
  }
  ASSERT_EQ(s.Objects.size(), 2u);
  for (int i = 0; i < 2; ++i) {
    const Bytes::ObjectFields f = i == 0 ? TexturedOnly() : ColouredOnly();
    const scene::SceneObject& o = s.Objects[i];
    SCOPED_TRACE(f.name);
    EXPECT_EQ(o.Name, f.name);
    EXPECT_EQ(o.VertexCount, f.vertexCount);
    EXPECT_EQ(o.CVertexCount, f.cvertexCount);
    EXPECT_EQ(o.TexcoordCount, f.texcoordCount);
    EXPECT_EQ(o.FaceCount, f.faceCount);
    EXPECT_EQ(o.MaterialIndex, f.materialIndex);
    EXPECT_EQ(o.PositionCount, f.positionCount);
    EXPECT_EQ(o.RotateCount, f.rotateCount);
    EXPECT_EQ(o.ScaleCount, f.scaleCount);
    EXPECT_EQ(o.HasTexcoords, f.hasTexcoords);
    EXPECT_EQ(o.HasColours, f.hasColours);
    ASSERT_EQ(o.Vertex.size(), static_cast<std::size_t>(f.vertexCount));
    for (const auto& v : o.Vertex) EXPECT_TRUE(v.X == real() && v.Y == real() && v.Z == real());
    ASSERT_EQ(o.TEXCOORD.size(), f.hasTexcoords ? static_cast<std::size_t>(f.texcoordCount) : 0u);
    for (const auto& t : o.TEXCOORD) EXPECT_TRUE(t.U == real() && t.V == real());
    ASSERT_EQ(o.CVertex.size(), f.hasColours ? static_cast<std::size_t>(f.cvertexCount) : 0u);
    for (const auto& c : o.CVertex) EXPECT_TRUE(c.X == real() && c.Y == real() && c.Z == real());
    auto faces = [&](const std::vector<scene::FaceIndices>& list, bool present, int limit) {
      ASSERT_EQ(list.size(), present ? static_cast<std::size_t>(f.faceCount) : 0u);
      for (int k = 0; k < static_cast<int>(list.size()); ++k) {
        EXPECT_TRUE(list[k].A == k % limit && list[k].B == (k + 1) % limit && list[k].C == (k + 2) % limit);
      }
    };
    faces(o.FACE, true, f.vertexCount);
    faces(o.TFACE, f.hasTexcoords, f.texcoordCount);
    faces(o.CFACE, f.hasColours, f.cvertexCount);
    ASSERT_EQ(o.Position.size(), static_cast<std::size_t>(f.positionCount));
    for (const auto& k : o.Position) EXPECT_TRUE(k.Time == ++index && k.X == real() && k.Y == real() && k.Z == real());
    ASSERT_EQ(o.Rotate.size(), static_cast<std::size_t>(f.rotateCount));
    for (const auto& k : o.Rotate) {
      EXPECT_TRUE(k.Time == ++index && k.A == real() && k.B == real() && k.C == real() && k.D == real());
    }
    ASSERT_EQ(o.Scale.size(), static_cast<std::size_t>(f.scaleCount));
    for (const auto& k : o.Scale) EXPECT_TRUE(k.Time == ++index && k.X == real() && k.Y == real() && k.Z == real());
  }
  ASSERT_EQ(s.CamPosition.size(), 4u);
  ASSERT_EQ(s.CamTarget.size(), 5u);
  for (const auto* track : {&s.CamPosition, &s.CamTarget}) {
    for (const auto& k : *track) EXPECT_TRUE(k.Time == ++index && k.X == real() && k.Y == real() && k.Z == real());
  }
}

TEST(SceneRoundTrip, SavingTheLoadedSceneWritesEveryByteInItsPlace) {
  TempDir dir;
  DistinctScene d = MakeDistinctScene();
  scene::Scene s = LoadBytes(dir, d.bytes);
  scene::SaveScene(s, dir.File("out.3dw"));
  const std::vector<unsigned char> saved = platform::ReadWholeFile(dir.File("out.3dw"));

  // The file as loaded, but for the format bytes, the near distance as
  // loaded and zeros after the characters of every string.
  std::vector<unsigned char> expected = d.bytes.data;
  expected[0] = 0;
  expected[1] = 1;
  const float near = static_cast<float>(static_cast<long double>(0.71f) + 0.00001L);
  std::memcpy(&expected[274], &near, 4);
  for (std::size_t at : d.strings) {
    for (std::size_t i = at + 1 + expected[at]; i < at + 256; ++i) expected[i] = 0;
  }
  ASSERT_EQ(saved.size(), expected.size());
  for (std::size_t i = 0; i < saved.size(); ++i) ASSERT_EQ(saved[i], expected[i]) << "at byte " << i;
}

TEST(SceneSave, ScenesBuiltInMemoryRoundTrip) {
  TempDir dir;
  scene::Scene s;
  s.Name = std::string(300, 'n');  // longer than a counted string holds
  s.MaterialCount = 1;
  s.Materials.resize(1);
  s.Materials[0].TextureFile = "t.tga";
  s.Materials[0].TextureName = 5;
  s.Materials[0].AlphaFlag = 1;
  s.ObjectCount = 1;
  s.Objects.resize(1);
  s.Objects[0].VertexCount = 1;
  s.Objects[0].Vertex = {{1, 2, 3}};
  s.CamPositionCount = 2;
  s.CamPosition = {{0, 0, 0, 0}, {10, 10, 0, 0}};
  s.CamTargetCount = 1;
  s.CamTarget = {{0, 1, 1, 1}};
  scene::SaveScene(s, dir.File("mem.3dw"));
  scene::Scene back;
  scene::LoadScene(back, dir.File("mem.3dw"));
  EXPECT_EQ(back.Name, std::string(255, 'n'));
  EXPECT_EQ(back.Materials[0].TextureName, 5u);
  EXPECT_EQ(back.Materials[0].AlphaFlag, 1);
  EXPECT_EQ(back.Objects[0].Vertex[0].Z, 3.0f);
  EXPECT_EQ(back.CamPosition[1].X, 10.0f);
  EXPECT_EQ(platform::ReadWholeFile(dir.File("mem.3dw")).size(), 290u + 530 + 290 + 12 + 48);
}

TEST(SceneSave, CountsThatDisagreeWithTheListsLeaveTheTargetAlone) {
  TempDir dir;
  const std::string target = dir.File("keep.3dw");
  Bytes().Header({}).Write(target);
  std::vector<unsigned char> before = platform::ReadWholeFile(target);
  auto r = RunInChild([&] {
    scene::Scene s;
    s.ObjectCount = 1;
    s.Objects.resize(1);
    s.Objects[0].VertexCount = 4;
    s.Objects[0].Vertex.resize(3);
    scene::SaveScene(s, target);
  });
  EXPECT_EQ(r.exitCode, 217);
  EXPECT_EQ(ReportMessage(r.out),
            "Invalid scene data: " + target + ": object 0 Vertex holds 3 entries but its count is 4");
  EXPECT_EQ(platform::ReadWholeFile(target), before);
  EXPECT_EQ(platform::FindFiles(dir.path(), "*").size(), 1u);
}

TEST(SceneSave, UnwritableTargetIsReported) {
  TempDir dir;
  auto r = RunInChild([&] {
    scene::Scene s;
    scene::SaveScene(s, dir.File("no/such/folder/x.3dw"));
  });
  EXPECT_EQ(r.exitCode, 217);
  EXPECT_TRUE(r.out.rfind(kReportStart, 0) == 0) << r.out;
}

}  // namespace
