// The scene listing, line for line, as a child process prints it.
#include <gtest/gtest.h>

#include <sstream>

#include "scene/dump.h"
#include "support/temp_dir.h"

namespace {

std::vector<std::string> DumpLines(const scene::Scene& s) {
  auto r = testsupport::RunInChild([&] { scene::DumpScene(s); });
  EXPECT_EQ(r.exitCode, 0);
  std::vector<std::string> lines;
  std::istringstream in(r.out);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  EXPECT_TRUE(r.out.empty() || r.out.back() == '\n');
  return lines;
}

scene::Scene EmptyScene() {
  scene::Scene s;
  s.Name = "empty";
  s.HeaderValue = -3;
  s.FieldOfView = 1.5f;
  s.NearDistance = 0.00001f;
  s.FarDistance = 1000;
  s.CamPositionCount = 1;
  s.CamPosition = {{0, 1, 2, 3}};
  s.CamTargetCount = 1;
  s.CamTarget = {{7, -0.25f, 0, 10}};
  return s;
}

TEST(SceneDump, EmptySceneIsEighteenLines) {
  std::vector<std::string> expected = {" Header",     "empty",        "-3",       "0",
                                       "0",           "1.5000",       "0.0000",   "1000.0000",
                                       "1",           "1",            " Materials", " Objects",
                                       " Camerakeys", "  CamPosition", "0 0 1.0000 2.0000 3.0000",
                                       "  CamTarget", "0 7 -0.2500 0.0000 10.0000", "Scene dumped"};
  EXPECT_EQ(DumpLines(EmptyScene()), expected);
}

TEST(SceneDump, MaterialBlockEndsWithAlphaAndTexturedFlag) {
  scene::Scene s = EmptyScene();
  s.MaterialCount = 2;
  s.Materials.resize(2);
  s.Materials[0] = {"rock", "rock.tga", 0.5f, 17, 2, 3, 1, 1};
  s.Materials[1] = {"", "x.jpg", 0, 0, 1, 1, 255, 0};
  std::vector<std::string> lines = DumpLines(s);
  std::vector<std::string> expected = {" Materials", "0", "rock", "rock.tga", "0.5000", "17", "2.0000", "3.0000",
                                       "1",          "TRUE", "1", "",       "x.jpg", "0.0000", "0", "1.0000",
                                       "1.0000",     "255",  "FALSE", " Objects"};
  ASSERT_GE(lines.size(), 30u);
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 10, lines.begin() + 30), expected);
}

TEST(SceneDump, ObjectSectionsInListingOrder) {
  scene::Scene s = EmptyScene();
  s.ObjectCount = 1;
  s.Objects.resize(1);
  scene::SceneObject& o = s.Objects[0];
  o.Name = "box";
  o.VertexCount = 4;
  o.Vertex = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {1, -0.5f, 2}};
  o.TexcoordCount = 4;  // switched off by the flag: no entry lines
  o.HasTexcoords = 0;
  o.CVertexCount = 1;
  o.CVertex = {{0.1f, 0.2f, 0.3f}};
  o.HasColours = 1;
  o.FaceCount = 1;
  o.FACE = {{3, 2, 1}};
  o.CFACE = {{0, 0, 0}};
  o.MaterialIndex = 0;
  o.PositionCount = 1;
  o.Position = {{5, 1, 1, 1}};
  o.RotateCount = 1;
  o.Rotate = {{6, 0.5f, 0.25f, 0.125f, -1}};
  o.ScaleCount = 1;
  o.Scale = {{8, 2, 2, 2}};
  std::vector<std::string> lines = DumpLines(s);
  std::vector<std::string> expected = {
      " Objects", "0", "box", "4", "1", "4", "1", "0", "1", "1", "1", "FALSE", "TRUE",
      "  Vertex", "0 0.0000 0.0000 0.0000", "1 0.0000 0.0000 0.0000", "2 0.0000 0.0000 0.0000",
      "3 1.0000 -0.5000 2.0000",
      "  CVertex", "0 0.1000 0.2000 0.3000",
      "  TEXCOORD",
      "  FACE", "0 3 2 1",
      "  TFACE",
      "  CFACE", "0 0 0 0",
      "  Position", "0 5 1.0000 1.0000 1.0000",
      "  Scale", "0 8 2.0000 2.0000 2.0000",
      "  Rotate", "0 6 0.5000 0.2500 0.1250 -1.0000",
      " Camerakeys"};
  ASSERT_GE(lines.size(), 11 + expected.size());
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 11, lines.begin() + 11 + expected.size()), expected);
}

TEST(SceneDump, RealsAreRoundedToFourDecimalsAndNegativesKeepTheirSign) {
  struct Case {
    float value;
    const char* text;
  };
  const Case cases[] = {
      {2.71828f, "2.7183"},
      {-1234.56789f, "-1234.5679"},
      {0.00006f, "0.0001"},
      {-0.00006f, "-0.0001"},
      // A negative value that rounds to zero is still negative.
      {-0.00004f, "-0.0000"},
      {-0.0000188f, "-0.0000"},
      {-1e-30f, "-0.0000"},
      {0.00004f, "0.0000"},
      // Zero is not negative, whatever the sign bit says.
      {0.0f, "0.0000"},
      {-0.0f, "0.0000"},
      // Exact ties (1/32 and 3/32) go to the even digit, as printf rounds.
      {0.03125f, "0.0312"},
      {-0.03125f, "-0.0312"},
      {0.09375f, "0.0938"},
  };
  for (const Case& c : cases) {
    scene::Scene s = EmptyScene();
    s.CamPosition = {{0, c.value, 1, -1}};
    std::vector<std::string> lines = DumpLines(s);
    ASSERT_EQ(lines.size(), 18u);
    EXPECT_EQ(lines[14], std::string("0 0 ") + c.text + " 1.0000 -1.0000") << c.value;
  }
}

}  // namespace
