// quillon-scene run as a program, the way a person uses it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>

#include "platform/files.h"
#include "scene_bytes.h"
#include "support/temp_dir.h"

namespace {

using testsupport::RunCommand;
using testsupport::TempDir;

class SceneTool : public ::testing::Test {
 protected:
  void SetUp() override {
    tool_ = testsupport::BinaryDir() + "/tools/quillon-scene/quillon-scene";
    if (access(tool_.c_str(), X_OK) != 0) GTEST_SKIP() << "quillon-scene is not built";
    scenetest::Bytes::HeaderFields h;
    h.name = "tool";
    h.materialCount = 1;
    h.objectCount = 1;
    h.camPositionCount = 2;
    h.camTargetCount = 1;
    scenetest::Bytes b;
    b.Header(h).Material("m", "m.tga", 0, 0, 1, 1, 0, 1);
    scenetest::Bytes::ObjectFields o;
    o.vertexCount = 3;
    o.faceCount = 1;
    o.positionCount = 2;
    o.scaleCount = 1;
    b.Object(o).Vec(0, 0, 0).Vec(1, 0, 0).Vec(0, 1, 0).Face(0, 1, 2);
    b.Key(0, 0, 0, 0).Key(4, 1, 1, 1).Key(0, 1, 1, 1);
    b.Key(-5, 0, 0, 0).Key(30, 1, 1, 1).Key(12, 0, 0, 0);
    file_ = dir_.File("in.3dw");
    b.Write(file_);
  }
  std::string Run(const std::string& arguments) { return tool_ + " " + arguments; }

  TempDir dir_;
  std::string tool_;
  std::string file_;
};

TEST_F(SceneTool, HelpAndUsageErrors) {
  auto help = RunCommand(Run("--help"));
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("dump FILE.3dw"), std::string::npos);
  for (const char* wrong : {"", "dump", "copy only-one", "info a b", "frobnicate x"}) {
    auto r = RunCommand(Run(wrong));
    EXPECT_EQ(r.exitCode, 2) << wrong;
    EXPECT_NE(r.err.find("Usage:"), std::string::npos) << wrong;
  }
}

TEST_F(SceneTool, DumpListsTheScene) {
  auto r = RunCommand(Run("dump " + file_));
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out.rfind(" Header\ntool\n", 0), 0u) << r.out;
  EXPECT_NE(r.out.find("  Vertex\n0 0.0000 0.0000 0.0000\n1 1.0000 0.0000 0.0000\n"), std::string::npos);
  EXPECT_NE(r.out.find("\n  CamTarget\n0 12 0.0000 0.0000 0.0000\nScene dumped\n"), std::string::npos);
}

TEST_F(SceneTool, DumpKeepsTheSignOfANegativeValueThatRoundsToZero) {
  scenetest::Bytes::HeaderFields h;
  h.materialCount = 1;
  h.objectCount = 1;
  scenetest::Bytes b;
  b.Header(h).Material("m", "m.tga", 0, 0, 1, 1, 0, 1);
  scenetest::Bytes::ObjectFields o;
  o.vertexCount = 1;
  b.Object(o).Vec(-0.0000188f, 0.0000188f, -0.0f);
  b.Write(dir_.File("tiny.3dw"));
  auto r = RunCommand(Run("dump " + dir_.File("tiny.3dw")));
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("\n  Vertex\n0 -0.0000 0.0000 0.0000\n  CVertex\n"), std::string::npos) << r.out;
}

TEST_F(SceneTool, CopyWritesTheSceneAgain) {
  auto r = RunCommand(Run("copy " + file_ + " " + dir_.File("out.3dw")));
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  std::vector<unsigned char> in = platform::ReadWholeFile(file_);
  std::vector<unsigned char> out = platform::ReadWholeFile(dir_.File("out.3dw"));
  ASSERT_EQ(out.size(), in.size());
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[1], 1);
  // The geometry and keys after the fixed parts are carried unchanged.
  std::size_t lists = 290 + 530 + 290;
  EXPECT_TRUE(std::equal(in.begin() + static_cast<std::ptrdiff_t>(lists), in.end(),
                         out.begin() + static_cast<std::ptrdiff_t>(lists)));
}

TEST_F(SceneTool, InfoSummarisesCountsAndCameraTime) {
  auto r = RunCommand(Run("info " + file_));
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out,
            "Scene: tool\nMaterials: 1\nObjects: 1\nVertices: 3\nFaces: 1\n"
            "Object keys: 3 (Position 2, Rotate 0, Scale 1)\n"
            "Camera keys: CamPosition 2, CamTarget 1\nCamera time: -5 to 30\n");
}

TEST_F(SceneTool, BadFilesEndWithTheReport) {
  auto missing = RunCommand(Run("info " + dir_.File("absent.3dw")));
  EXPECT_EQ(missing.exitCode, 217);
  EXPECT_NE(missing.out.find(" :\nFile not found\n"), std::string::npos);
  std::vector<unsigned char> bytes = platform::ReadWholeFile(file_);
  platform::WriteWholeFile(dir_.File("short.3dw"), bytes.data(), bytes.size() - 1);
  auto shortFile = RunCommand(Run("dump " + dir_.File("short.3dw")));
  EXPECT_EQ(shortFile.exitCode, 217);
  EXPECT_NE(shortFile.out.find("An unhandled exception occurred at 0x"), std::string::npos);
  EXPECT_NE(shortFile.out.find(" :\nRead past end of file\n"), std::string::npos);
}

// Standard input, named "-": a pipe has no size to check counts against, so
// the stream is taken in as the counts ask.
TEST_F(SceneTool, StandardInputGivesTheSameLinesAsTheFile) {
  // Large enough that the stream arrives in several chunks.
  scenetest::Bytes::HeaderFields h;
  h.name = "big";
  h.materialCount = 1;
  h.objectCount = 1;
  h.camPositionCount = 1;
  h.camTargetCount = 1;
  scenetest::Bytes b;
  b.Header(h).Material("m", "m.tga", 0, 0, 1, 1, 0, 1);
  scenetest::Bytes::ObjectFields o;
  o.vertexCount = 30000;
  o.faceCount = 10000;
  b.Object(o);
  for (int i = 0; i < o.vertexCount; ++i) b.Vec(static_cast<float>(i), 0.5f, -1.0f);
  for (int i = 0; i < o.faceCount; ++i) b.Face(i, i + 1, i + 2);
  b.Key(0, 1, 2, 3).Key(0, 4, 5, 6);
  const std::string big = dir_.File("big.3dw");
  b.Write(big);

  for (const std::string& file : {file_, big}) {
    SCOPED_TRACE(file);
    for (const char* command : {"dump", "info"}) {
      auto direct = RunCommand(Run(std::string(command) + " " + file));
      ASSERT_EQ(direct.exitCode, 0) << direct.out << direct.err;
      auto piped = RunCommand("cat '" + file + "' | " + Run(std::string(command) + " -"));
      EXPECT_EQ(piped.exitCode, 0) << piped.err;
      EXPECT_EQ(piped.out, direct.out) << command;
      auto redirected = RunCommand(Run(std::string(command) + " - <'" + file + "'"));
      EXPECT_EQ(redirected.out, direct.out) << command << " from a redirected file";
    }
    auto named = RunCommand("cat '" + file + "' | " + Run("dump /dev/stdin"));
    EXPECT_EQ(named.exitCode, 0);
    EXPECT_EQ(named.out, RunCommand(Run("dump " + file)).out) << "a pipe under its own name";
  }
  auto copied = RunCommand("cat '" + big + "' | " + Run("copy - '" + dir_.File("copy.3dw") + "'"));
  EXPECT_EQ(copied.exitCode, 0) << copied.err;
  EXPECT_EQ(RunCommand(Run("info " + dir_.File("copy.3dw"))).out, RunCommand(Run("info " + big)).out);
}

TEST_F(SceneTool, ATruncatedPipeIsReadPastEndOfFile) {
  const std::vector<unsigned char> whole = platform::ReadWholeFile(file_);
  for (std::size_t cut : {std::size_t{0}, std::size_t{1}, std::size_t{200}, std::size_t{820}, whole.size() / 2,
                          whole.size() - 1}) {
    SCOPED_TRACE(cut);
    auto r = RunCommand("head -c " + std::to_string(cut) + " '" + file_ + "' | " + Run("dump -"));
    EXPECT_EQ(r.exitCode, 217);
    EXPECT_EQ(r.out.rfind("An unhandled exception occurred at 0x", 0), 0u) << r.out;
    EXPECT_NE(r.out.find(" :\nRead past end of file\n"), std::string::npos) << r.out;
  }
  // A count that asks for two thousand million objects is refused once the
  // pipe has ended, without the memory for them.
  std::vector<unsigned char> claim = whole;
  const std::int32_t objects = 2'000'000'000;
  std::memcpy(claim.data() + 2 + 256 + 8, &objects, 4);
  platform::WriteWholeFile(dir_.File("claim.3dw"), claim.data(), claim.size());
  auto r = RunCommand("cat '" + dir_.File("claim.3dw") + "' | " + Run("info -"));
  EXPECT_EQ(r.exitCode, 217);
  EXPECT_NE(r.out.find(" :\nRead past end of file\n"), std::string::npos) << r.out << r.err;
}

}  // namespace
