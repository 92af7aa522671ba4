// "._3d" meshes: scaling, face normals, face lists, vertex normals, and the
// refusal of files that cannot be a mesh.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cmath>
#include <cstdio>
#include <cstdint>
#include <random>

#include "asset_files.h"
#include "assets/mesh.h"
#include "support/temp_dir.h"

// AddressSanitizer reserves far more address space than any cap allows.
#if defined(__SANITIZE_ADDRESS__)
#define QUILLON_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUILLON_TEST_ASAN 1
#endif
#endif

namespace {

using assettest::Bytes;
using assettest::MeshData;
using assettest::MeshFile;
using assettest::WriteFile;
using testing::HasSubstr;

class MeshFileTest : public ::testing::Test {
 protected:
  testsupport::TempDir dir;
  std::string Write(const Bytes& bytes, const std::string& name = "m._3d") {
    std::string path = dir.File(name);
    WriteFile(path, bytes);
    return path;
  }
  assets::Mesh Load(const MeshData& data) {
    assets::Mesh mesh;
    assets::LoadMesh(mesh, Write(MeshFile(data)));
    return mesh;
  }
};

std::vector<std::int32_t> List(const assets::MeshVertexInfo& info) {
  return std::vector<std::int32_t>(info.useFaces, info.useFaces + info.useCount);
}

void ExpectVec(const assets::MeshVec3& v, float x, float y, float z) {
  EXPECT_FLOAT_EQ(v.x, x);
  EXPECT_FLOAT_EQ(v.y, y);
  EXPECT_FLOAT_EQ(v.z, z);
}

TEST_F(MeshFileTest, TwoTrianglesSharingAnEdge) {
  assets::Mesh mesh = Load({{0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 1}, {0, 1, 2, 1, 3, 2}});
  ASSERT_EQ(mesh.vertexCount, 4);
  ASSERT_EQ(mesh.faceCount, 2);
  ExpectVec(mesh.faceNormals[0], 0, 0, 1);
  ExpectVec(mesh.faceNormals[1], -1, -1, 1);  // (0,1,1) x (-1,1,0)
  EXPECT_EQ(mesh.vertexInfo[1].useCount, 2);
  EXPECT_EQ(mesh.vertexInfo[2].useCount, 2);
  EXPECT_EQ(List(mesh.vertexInfo[1]), (std::vector<std::int32_t>{0, 1}));
  EXPECT_EQ(List(mesh.vertexInfo[3]), (std::vector<std::int32_t>{1}));
  // The mean of (0,0,1) and (-1,-1,1) is (-0.5,-0.5,1), of length sqrt(1.5).
  const float l = std::sqrt(1.5f);
  ExpectVec(mesh.vertexInfo[1].normal, -0.5f / l, -0.5f / l, 1 / l);
  ExpectVec(mesh.vertexInfo[2].normal, -0.5f / l, -0.5f / l, 1 / l);
  ExpectVec(mesh.vertexInfo[0].normal, 0, 0, 1);
  const float l3 = std::sqrt(3.0f);
  ExpectVec(mesh.vertexInfo[3].normal, -1 / l3, -1 / l3, 1 / l3);
}

TEST_F(MeshFileTest, DividesByTheLargestSignedCoordinate) {
  assets::Mesh mesh = Load({{-3, 0, 0.5f, 2, 1, 0, 0, -1, 1}, {0, 1, 2}});
  ExpectVec(mesh.vertices[0], -1.5f, 0, 0.25f);
  ExpectVec(mesh.vertices[1], 1, 0.5f, 0);
  ExpectVec(mesh.vertices[2], 0, -0.5f, 0.5f);
}

TEST_F(MeshFileTest, AllNegativeCoordinatesMirrorThroughTheOrigin) {
  assets::Mesh mesh = Load({{-2, -4, -8, -6, -3, -1, -5, -5, -5}, {0, 1, 2}});
  // The largest coordinate is -1, so every coordinate changes sign.
  ExpectVec(mesh.vertices[0], 2, 4, 8);
  ExpectVec(mesh.vertices[1], 6, 3, 1);
  ExpectVec(mesh.vertices[2], 5, 5, 5);
}

TEST_F(MeshFileTest, AFaceNamingAVertexTwiceIsListedTwice) {
  assets::Mesh mesh = Load({{0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1}, {1, 2, 3, 0, 0, 1, 0, 2, 3}});
  EXPECT_EQ(mesh.vertexInfo[0].useCount, 3);
  EXPECT_EQ(List(mesh.vertexInfo[0]), (std::vector<std::int32_t>{1, 1, 2}));
  ExpectVec(mesh.faceNormals[1], 0, 0, 0);  // degenerate
  // Sum (0,0,0)+(0,0,0)+((0,1,0)x(0,0,1) = (1,0,0)), over 3, normalised.
  ExpectVec(mesh.vertexInfo[0].normal, 1, 0, 0);
}

TEST_F(MeshFileTest, BytesAfterTheFacesAreIgnored) {
  MeshData data{{0, 0, 0, 1, 0, 0, 0, 1, 0}, {0, 1, 2}};
  Bytes bytes = MeshFile(data);
  Bytes longer = bytes;
  longer.insert(longer.end(), {0xFF, 0xFF, 0xFF, 0xFF, 1, 2, 3, 4, 5});
  assets::Mesh a, b;
  assets::LoadMesh(a, Write(bytes, "a._3d"));
  assets::LoadMesh(b, Write(longer, "b._3d"));
  ASSERT_EQ(b.faceCount, 1);
  ExpectVec(b.faceNormals[0], a.faceNormals[0].x, a.faceNormals[0].y, a.faceNormals[0].z);
  ExpectVec(b.vertexInfo[2].normal, 0, 0, 1);
}

TEST_F(MeshFileTest, NoFacesGivesEmptyListsAndZeroNormals) {
  assets::Mesh mesh = Load({{1, 2, 3, 4, 5, 6}, {}});
  EXPECT_EQ(mesh.faceCount, 0);
  EXPECT_TRUE(mesh.faces.empty());
  EXPECT_TRUE(mesh.faceNormals.empty());
  ASSERT_EQ(mesh.vertexInfo.size(), 2u);
  for (const auto& info : mesh.vertexInfo) {
    EXPECT_EQ(info.useCount, 0);
    ExpectVec(info.normal, 0, 0, 0);
  }
  ExpectVec(mesh.vertices[1], 4 / 6.0f, 5 / 6.0f, 1);
}

TEST_F(MeshFileTest, OppositeFacesCancelToAZeroNormal) {
  assets::Mesh mesh = Load({{0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1}, {0, 1, 2, 0, 2, 1}});
  ExpectVec(mesh.vertexInfo[0].normal, 0, 0, 0);
  ExpectVec(mesh.vertexInfo[3].normal, 0, 0, 0);  // used by no face
}

// The lists of a per-vertex scan over every face, as the file format's
// original loader built them.
std::vector<std::vector<std::int32_t>> ScanLists(const assets::Mesh& mesh) {
  std::vector<std::vector<std::int32_t>> lists(mesh.vertices.size());
  for (std::size_t i = 0; i < lists.size(); ++i)
    for (std::size_t f = 0; f < mesh.faces.size(); ++f)
      for (std::int32_t c : {mesh.faces[f].a, mesh.faces[f].b, mesh.faces[f].c})
        if (c == static_cast<std::int32_t>(i)) lists[i].push_back(static_cast<std::int32_t>(f));
  return lists;
}

MeshData RandomMesh(int vertices, int faces, unsigned seed) {
  std::mt19937 random(seed);
  MeshData data;
  std::uniform_real_distribution<float> coordinate(-5, 5);
  for (int i = 0; i < vertices * 3; ++i) data.xyz.push_back(coordinate(random));
  // Few vertices for many faces, so that repeats and doubled corners occur.
  std::uniform_int_distribution<int> index(0, vertices - 1);
  for (int i = 0; i < faces * 3; ++i) data.abc.push_back(index(random));
  return data;
}

TEST_F(MeshFileTest, FaceListsMatchTheScanOverAllFaces) {
  assets::Mesh mesh = Load(RandomMesh(40, 300, 7));
  auto want = ScanLists(mesh);
  for (std::size_t i = 0; i < want.size(); ++i) EXPECT_EQ(List(mesh.vertexInfo[i]), want[i]) << "vertex " << i;
  // Vertex normals are the normalised mean of the listed face normals, in list order.
  for (std::size_t i = 0; i < want.size(); ++i) {
    float x = 0, y = 0, z = 0;
    for (std::int32_t f : want[i]) {
      x += mesh.faceNormals[f].x;
      y += mesh.faceNormals[f].y;
      z += mesh.faceNormals[f].z;
    }
    if (want[i].empty()) continue;
    float n = static_cast<float>(want[i].size());
    x /= n, y /= n, z /= n;
    float l = std::sqrt(x * x + y * y + z * z);
    // Bit for bit: the same float operations in the same order.
    EXPECT_EQ(mesh.vertexInfo[i].normal.x, x / l) << "vertex " << i;
    EXPECT_EQ(mesh.vertexInfo[i].normal.y, y / l) << "vertex " << i;
    EXPECT_EQ(mesh.vertexInfo[i].normal.z, z / l) << "vertex " << i;
  }
}

TEST_F(MeshFileTest, PlainLoadThenPrepareEqualsLoad) {
  MeshData data = RandomMesh(30, 50, 3);
  std::string path = Write(MeshFile(data));
  assets::Mesh full, plain;
  assets::LoadMesh(full, path);
  assets::LoadMeshPlain(plain, path);
  ASSERT_EQ(plain.vertexInfo.size(), 30u);
  ASSERT_EQ(plain.faceNormals.size(), 50u);
  EXPECT_EQ(plain.vertexInfo[0].useFaces, nullptr);
  for (int i = 0; i < 30; ++i) ExpectVec(plain.vertices[i], full.vertices[i].x, full.vertices[i].y, full.vertices[i].z);

  // PrepareMesh scales again: hand it the unscaled positions, as a caller would.
  assets::Mesh memory;
  memory.vertexCount = 30;
  memory.faceCount = 50;
  for (int i = 0; i < 30; ++i) memory.vertices.push_back({data.xyz[i * 3], data.xyz[i * 3 + 1], data.xyz[i * 3 + 2]});
  for (int f = 0; f < 50; ++f) memory.faces.push_back({data.abc[f * 3], data.abc[f * 3 + 1], data.abc[f * 3 + 2]});
  memory.vertexInfo.resize(30);
  memory.faceNormals.resize(50);
  assets::PrepareMesh(memory);
  for (int i = 0; i < 30; ++i) {
    EXPECT_EQ(List(memory.vertexInfo[i]), List(full.vertexInfo[i]));
    ExpectVec(memory.vertexInfo[i].normal, full.vertexInfo[i].normal.x, full.vertexInfo[i].normal.y,
              full.vertexInfo[i].normal.z);
  }
}

TEST_F(MeshFileTest, UpdateNormalsFollowsMovedVertices) {
  assets::Mesh mesh = Load({{0, 0, 0, 1, 0, 0, 0, 1, 0}, {0, 1, 2}});
  ExpectVec(mesh.vertexInfo[0].normal, 0, 0, 1);
  // Turn the triangle to stand in the x-z plane.
  mesh.vertices[2] = {0, 0, 1};
  assets::UpdateMeshNormals(mesh);
  ExpectVec(mesh.faceNormals[0], 0, -1, 0);
  ExpectVec(mesh.vertexInfo[1].normal, 0, -1, 0);
  EXPECT_EQ(mesh.vertexInfo[1].useCount, 1);
  assets::ReleaseMesh(mesh);
  EXPECT_EQ(mesh.vertexCount, 0);
  EXPECT_TRUE(mesh.vertices.empty());
}

// ---- Refusals: the unhandled-error report and exit code 217 ----

testsupport::ChildResult LoadInChild(const std::string& path) {
  return testsupport::RunInChild([&] {
    assets::Mesh mesh;
    assets::LoadMesh(mesh, path);
  });
}

void ExpectReport(const testsupport::ChildResult& result, const std::string& message) {
  EXPECT_EQ(result.exitCode, 217) << result.out;
  EXPECT_THAT(result.out, testing::MatchesRegex("An unhandled exception occurred at 0x[0-9A-F]{8} :\n.*\n"));
  EXPECT_THAT(result.out, HasSubstr(message));
}

TEST_F(MeshFileTest, InvalidMeshesAreRefusedNamingFileAndFault) {
  struct Case {
    MeshData data;
    std::string what;
  };
  std::vector<Case> cases = {
      {{{}, {}}, "no vertices"},
      {{{0, 0, 0, 1, 0, 0, 0, 1, 0}, {0, 1, 3}}, "face 0 names vertex 3"},
      {{{0, 0, 0, 1, 0, 0, 0, 1, 0}, {0, 1, 2, 2, -1, 0}}, "face 1 names vertex -1"},
      {{{0, -1, 0, -2, 0, 0, 0, -3, 0}, {0, 1, 2}}, "largest coordinate is 0"},
  };
  for (const Case& c : cases) {
    std::string path = Write(MeshFile(c.data), "bad._3d");
    auto result = LoadInChild(path);
    ExpectReport(result, "Invalid mesh data");
    EXPECT_THAT(result.out, HasSubstr(path));
    EXPECT_THAT(result.out, HasSubstr(c.what));
  }
}

TEST_F(MeshFileTest, NegativeCountsAreRefused) {
  Bytes negativeV, negativeF;
  assettest::Put32(negativeV, static_cast<std::uint32_t>(-1));
  assettest::Put32(negativeV, 0);
  assettest::Put32(negativeF, 1);
  assettest::Put32(negativeF, static_cast<std::uint32_t>(-5));
  for (int i = 0; i < 3; ++i) assettest::PutFloat(negativeF, 1);
  auto v = LoadInChild(Write(negativeV, "v._3d"));
  ExpectReport(v, "Invalid mesh data");
  EXPECT_THAT(v.out, HasSubstr("negative vertex count -1"));
  auto f = LoadInChild(Write(negativeF, "f._3d"));
  ExpectReport(f, "Invalid mesh data");
  EXPECT_THAT(f.out, HasSubstr("negative face count -5"));
}

TEST_F(MeshFileTest, MissingAndShortFilesAreTheReport) {
  ExpectReport(LoadInChild(dir.File("absent._3d")), "File not found");
  ExpectReport(LoadInChild(Write(Bytes{1, 0, 0}, "tiny._3d")), "Read past end of file");
  Bytes bytes = MeshFile({{0, 0, 0, 1, 0, 0, 0, 1, 0}, {0, 1, 2}});
  bytes.pop_back();
  ExpectReport(LoadInChild(Write(bytes, "cut._3d")), "Read past end of file");
}

TEST_F(MeshFileTest, HugeCountsAreRefusedBeforeAllocating) {
  // 100 million vertices claimed by a 20-byte file. With the address space
  // capped well below the 3.2 GB those would need, allocating first would end
  // in "Out of memory" instead.
  Bytes bytes;
  assettest::Put32(bytes, 100000000);
  assettest::Put32(bytes, 100000000);
  for (int i = 0; i < 3; ++i) assettest::PutFloat(bytes, 1);
  std::string path = Write(bytes);
  auto result = testsupport::RunInChild([&] {
#if !defined(QUILLON_TEST_ASAN)
    unsigned long pages = 0;
    if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
      if (std::fscanf(statm, "%lu", &pages) != 1) pages = 0;
      std::fclose(statm);
    }
    rlim_t cap = static_cast<rlim_t>(pages) * 4096 + (rlim_t(1) << 30);
    rlimit limit{cap, cap};
    setrlimit(RLIMIT_AS, &limit);
#endif
    assets::Mesh mesh;
    assets::LoadMesh(mesh, path);
  });
  ExpectReport(result, "Read past end of file");
}

TEST_F(MeshFileTest, OverlongNameIsRefused) {
  auto result = LoadInChild(dir.path() + "/" + std::string(300, 'x'));
  EXPECT_EQ(result.exitCode, 217);
  EXPECT_EQ(result.signal, 0);
}

}  // namespace

namespace {

TEST(MeshListing, ToolListsScaledVerticesNormalsAndFaces) {
  std::string tool = testsupport::BinaryDir() + "/tools/quillon-scene/quillon-scene";
  if (testsupport::RunCommand("test -x '" + tool + "'").exitCode != 0) GTEST_SKIP() << "quillon-scene is not built";
  testsupport::TempDir dir;
  std::string path = dir.File("two._3d");
  WriteFile(path, MeshFile({{0, 0, 0, 2, 0, 0, 0, 2, 0}, {0, 1, 2}}));
  auto result = testsupport::RunCommand("'" + tool + "' mesh '" + path + "'");
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out,
            "vertices 3\nfaces 1\n"
            "v 0 0.0000 0.0000 0.0000 0.0000 0.0000 1.0000\n"
            "v 1 1.0000 0.0000 0.0000 0.0000 0.0000 1.0000\n"
            "v 2 0.0000 1.0000 0.0000 0.0000 0.0000 1.0000\n"
            "f 0 0 1 2 0.0000 0.0000 1.0000\n");
  auto missing = testsupport::RunCommand("'" + tool + "' mesh '" + dir.File("none._3d") + "'");
  EXPECT_EQ(missing.exitCode, 217);
}

}  // namespace
