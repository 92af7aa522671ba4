// The show's data set as the build generates it: names, formats, the scenes'
// promises to the show (passes, emitter, camera span, item count), the mesh,
// the pictures' alpha, seams and loops, and the generator's determinism.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "assets/mesh.h"
#include "platform/files.h"
#include "platform/image.h"
#include "scene/camera.h"
#include "scene/loader.h"
#include "support/temp_dir.h"

namespace {

const std::string kShow = QUILLON_SHOW_DIR;
const std::string kTool = QUILLON_ASSETS_TOOL;

std::string ShowFile(const std::string& name) { return kShow + "/" + name; }

bool Exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0;
}

std::vector<std::string> ShowPictures() {
  std::vector<std::string> names = {"hund.tga",   "start1.tga", "start2.tga", "start3.tga", "follow1.tga",
                                    "follow2.tga", "follow3.tga", "fo1.tga",   "fo2.tga",    "fo3.tga",
                                    "fo21.tga",   "fo22.tga",   "fo23.tga",   "party.tga",  "code.tga",
                                    "feel.tga",   "endscroll.tga", "ballenv.tga", "env2.tga", "dreams07.tga"};
  for (int i = 0; i < 100; ++i) names.push_back(std::to_string(i) + ".jpg");
  return names;
}

const std::vector<std::string> kCaptions = {"follow1.tga", "follow2.tga", "follow3.tga", "fo1.tga",
                                            "fo2.tga",     "fo3.tga",     "fo21.tga",    "fo22.tga",
                                            "fo23.tga",    "party.tga",   "code.tga",    "feel.tga"};

struct Picture {
  int width = 0, height = 0;
  bool alpha = false;
  std::vector<std::uint8_t> rgba;
  const std::uint8_t* At(int x, int y) const { return &rgba[(static_cast<std::size_t>(y) * width + x) * 4]; }
};

// Decodes through the image library the show itself uses.
Picture Load(const std::string& name) {
  Picture p;
  platform::TextureImage* image = platform::txLoad(0, ShowFile(name).c_str(), 0);
  if (!image) return p;
  p.width = image->Width;
  p.height = image->Height;
  p.alpha = image->HasAlphaChannel != 0;
  p.rgba.assign(image->Pixels, image->Pixels + static_cast<std::size_t>(p.width) * p.height * 4);
  platform::txFree(image);
  return p;
}

double MeanDifference(const Picture& a, const Picture& b) {
  double sum = 0;
  for (std::size_t i = 0; i < a.rgba.size(); ++i) sum += std::abs(int(a.rgba[i]) - int(b.rgba[i]));
  return sum / a.rgba.size();
}

scene::Scene LoadShowScene(const std::string& name) {
  scene::Scene s;
  scene::LoadScene(s, ShowFile(name));
  return s;
}

// ---------------------------------------------------------------------------

TEST(DataSetFiles, EveryFileTheShowReadsExistsUnderItsExactName) {
  for (const std::string& name : ShowPictures()) EXPECT_TRUE(Exists(ShowFile(name))) << name;
  for (const char* name : {"cam.3dw", "pkode.3dw", "ize._3d", "music.mp3"}) EXPECT_TRUE(Exists(ShowFile(name))) << name;
  // Frame names carry no leading zeros.
  EXPECT_FALSE(Exists(ShowFile("00.jpg")));
  EXPECT_FALSE(Exists(ShowFile("07.jpg")));
  EXPECT_FALSE(Exists(ShowFile("100.jpg")));
}

TEST(DataSetFiles, EveryPictureDecodes) {
  for (const std::string& name : ShowPictures()) {
    Picture p = Load(name);
    EXPECT_GT(p.width, 0) << name;
    EXPECT_GT(p.height, 0) << name;
  }
}

// The build wrote its set with this same generator: one more run must write
// every file again byte for byte (a generator that draws from an unseeded
// source, reads memory it never set or depends on timing fails here, as does
// a build whose set is stale).
TEST(DataSetFiles, AnotherRunOfTheGeneratorWritesTheBuildsSetAgain) {
  testsupport::TempDir again;
  auto run = testsupport::RunCommand("'" + kTool + "' '" + again.path() + "/set'");
  ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("wrote the data set"), std::string::npos) << run.out;
  std::vector<std::string> names = platform::FindFiles(again.path() + "/set", "*");
  std::sort(names.begin(), names.end());
  std::vector<std::string> built = platform::FindFiles(kShow, "*");
  std::sort(built.begin(), built.end());
  EXPECT_EQ(names, built);
  EXPECT_GE(names.size(), 125u);
  for (const std::string& name : names)
    EXPECT_TRUE(platform::ReadWholeFile(again.path() + "/set/" + name) == platform::ReadWholeFile(ShowFile(name)))
        << name << " differs from the build's set";
}

TEST(DataSetFiles, GeneratorUsage) {
  auto help = testsupport::RunCommand("'" + kTool + "' --help");
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("usage: quillon-assets OUTDIR"), std::string::npos) << help.out;
  auto none = testsupport::RunCommand("'" + kTool + "'");
  EXPECT_EQ(none.exitCode, 2);
  auto bad = testsupport::RunCommand("'" + kTool + "' --frobnicate /tmp/x");
  EXPECT_EQ(bad.exitCode, 2);
  EXPECT_NE(bad.err.find("unknown option --frobnicate"), std::string::npos) << bad.err;
  auto sheetless = testsupport::RunCommand("'" + kTool + "' /tmp/x --sheet");
  EXPECT_EQ(sheetless.exitCode, 2);
  auto iconless = testsupport::RunCommand("'" + kTool + "' --icon");
  EXPECT_EQ(iconless.exitCode, 2);
  EXPECT_NE(iconless.err.find("--icon needs a folder"), std::string::npos) << iconless.err;
}

// ---------------------------------------------------------------------------

TEST(DataSetScenes, EveryMaterialTextureIsThere) {
  for (const char* file : {"cam.3dw", "pkode.3dw"}) {
    scene::Scene s = LoadShowScene(file);
    ASSERT_GT(s.MaterialCount, 0) << file;
    for (const scene::SceneMaterial& m : s.Materials) {
      EXPECT_TRUE(Exists(ShowFile(m.TextureFile))) << file << ": " << m.Name << " names " << m.TextureFile;
      EXPECT_GT(Load(m.TextureFile).width, 0) << m.TextureFile;
    }
  }
}

TEST(DataSetScenes, BothScenesHoldExactlyTheItemsOfTheFullLoadingBar) {
  scene::Scene flight = LoadShowScene("cam.3dw"), video = LoadShowScene("pkode.3dw");
  EXPECT_EQ(flight.ObjectCount + flight.MaterialCount + video.ObjectCount + video.MaterialCount, 5954);
}

TEST(DataSetScenes, FlightHasAMaterialInEachOfTheThreePasses) {
  scene::Scene s = LoadShowScene("cam.3dw");
  // The pass follows from the picture's alpha (set at texture loading) and
  // the blend amount; count objects that each pass would draw.
  int opaque = 0, additive = 0, tested = 0;
  std::vector<int> passOf(s.Materials.size(), -1);
  for (std::size_t i = 0; i < s.Materials.size(); ++i) {
    const scene::SceneMaterial& m = s.Materials[i];
    bool alpha = Load(m.TextureFile).alpha;
    passOf[i] = alpha ? 2 : (m.BlendAmount == 0.0f ? 0 : (m.BlendAmount > 0.0f ? 1 : -1));
  }
  for (const scene::SceneObject& o : s.Objects) {
    ASSERT_GE(o.MaterialIndex, 0);
    ASSERT_LT(o.MaterialIndex, s.MaterialCount);
    int pass = passOf[o.MaterialIndex];
    opaque += pass == 0, additive += pass == 1, tested += pass == 2;
  }
  EXPECT_GT(opaque, 0);
  EXPECT_GT(additive, 0);
  EXPECT_GT(tested, 0);
}

TEST(DataSetScenes, FlightHasColouredAndMovingObjectsAndAnEmitterBesideThePath) {
  scene::Scene s = LoadShowScene("cam.3dw");
  ASSERT_GE(s.ObjectCount, 2);
  int coloured = 0, moving = 0;
  for (const scene::SceneObject& o : s.Objects) {
    coloured += o.HasColours != 0;
    if (o.PositionCount >= 2) {
      const scene::VectorKey &a = o.Position.front(), &b = o.Position.back();
      moving += a.X != b.X || a.Y != b.Y || a.Z != b.Z || o.PositionCount > 2;
    }
  }
  EXPECT_GT(coloured, 100);
  EXPECT_GT(moving, 10);

  const scene::SceneObject& emitter = s.Objects[1];
  ASSERT_GE(emitter.VertexCount, 3);
  scene::PrepareCameraTracks(s);
  // The stream runs along +y from -10000 to 0 at the x and z of the emitter's
  // middle vertices (spread by 100); the camera must pass beside it, not through it.
  const int n = emitter.VertexCount;
  for (int i = n / 2; i < std::min(n, n / 2 + 3); ++i) {
    const scene::Vec3f& v = emitter.Vertex[i];
    for (float t = 0; t <= 86.4f; t += 0.4f) {
      scene::CameraPose pose = scene::EvaluateCamera(s, t);
      if (pose.Eye.Y < -10000 || pose.Eye.Y > 0) continue;
      float dx = pose.Eye.X - v.X, dz = pose.Eye.Z - v.Z;
      EXPECT_GT(std::sqrt(dx * dx + dz * dz), 150.0f) << "at t = " << t;
    }
  }
}

TEST(DataSetScenes, CameraKeysCoverTheScenesTimes) {
  scene::Scene flight = LoadShowScene("cam.3dw");
  for (const auto* track : {&flight.CamPosition, &flight.CamTarget}) {
    ASSERT_GE(track->size(), 2u);
    EXPECT_LE(track->front().Time, 0);
    EXPECT_GE(track->back().Time, 87);  // t reaches 86.4 at the end of the flight
    for (std::size_t i = 1; i < track->size(); ++i) EXPECT_GT((*track)[i].Time, (*track)[i - 1].Time);
  }
  scene::Scene video = LoadShowScene("pkode.3dw");
  ASSERT_GE(video.MaterialCount, 2);  // material 1 shows the video frames
  for (const auto* track : {&video.CamPosition, &video.CamTarget}) {
    ASSERT_GE(track->size(), 2u);
    EXPECT_LE(track->front().Time, 0);
    EXPECT_GE(track->back().Time, 720);
  }
}

TEST(DataSetScenes, FlightCameraNeverEntersABuilding) {
  scene::Scene s = LoadShowScene("cam.3dw");
  scene::PrepareCameraTracks(s);
  struct Box {
    float x0, y0, z0, x1, y1, z1;
  };
  std::vector<Box> boxes;
  for (const scene::SceneObject& o : s.Objects) {
    const scene::SceneMaterial& m = s.Materials[o.MaterialIndex];
    if (m.BlendAmount != 0.0f || o.PositionCount > 0 || o.VertexCount == 0 || o.Name == "ground") continue;
    Box b{o.Vertex[0].X, o.Vertex[0].Y, o.Vertex[0].Z, o.Vertex[0].X, o.Vertex[0].Y, o.Vertex[0].Z};
    for (const scene::Vec3f& v : o.Vertex) {
      b.x0 = std::min(b.x0, v.X), b.y0 = std::min(b.y0, v.Y), b.z0 = std::min(b.z0, v.Z);
      b.x1 = std::max(b.x1, v.X), b.y1 = std::max(b.y1, v.Y), b.z1 = std::max(b.z1, v.Z);
    }
    boxes.push_back(b);
  }
  ASSERT_GT(boxes.size(), 100u);
  const float nearClip = 12;  // the near plane lies 10 units in front of the eye
  for (float t = 0; t <= 86.4f; t += 0.2f) {
    scene::CameraPose pose = scene::EvaluateCamera(s, t);
    EXPECT_GT(pose.Eye.Z, 40.0f) << "at t = " << t;
    for (const Box& b : boxes) {
      bool inside = pose.Eye.X > b.x0 - nearClip && pose.Eye.X < b.x1 + nearClip && pose.Eye.Y > b.y0 - nearClip &&
                    pose.Eye.Y < b.y1 + nearClip && pose.Eye.Z > b.z0 - nearClip && pose.Eye.Z < b.z1 + nearClip;
      ASSERT_FALSE(inside) << "the camera enters an opaque object at t = " << t;
    }
  }
}

TEST(DataSetScenes, FlightStaysWithinTheSoftwareRenderersFaceBudget) {
  // Every object is sent every frame in immediate mode; the flight must keep
  // its frame rate on a software renderer.
  scene::Scene s = LoadShowScene("cam.3dw");
  long faces = 0;
  for (const scene::SceneObject& o : s.Objects) faces += o.FaceCount;
  EXPECT_LE(faces, 40000);
  EXPECT_GE(s.ObjectCount, 1000);
  // The units are large: the loaded near distance is about 10 units and the
  // far distance reaches the whole city.
  EXPECT_NEAR(s.NearDistance * 1e6f, 10.0f, 0.5f);
  EXPECT_GE(s.FarDistance * 1e6f, 15000.0f);
}

TEST(DataSetScenes, VideoSceneColoursAreAtHalfStrengthForItsTint) {
  scene::Scene s = LoadShowScene("pkode.3dw");
  int colours = 0;
  for (const scene::SceneObject& o : s.Objects)
    if (o.HasColours)
      for (const scene::Vec3f& c : o.CVertex) {
        EXPECT_LE(std::max({c.X, c.Y, c.Z}), 0.55f) << o.Name;
        ++colours;
      }
  EXPECT_GT(colours, 0);
}

// ---------------------------------------------------------------------------

TEST(DataSetMesh, LoadsAsAClosedConsistentlyWoundOutwardMesh) {
  assets::Mesh mesh;
  assets::LoadMesh(mesh, ShowFile("ize._3d"));
  EXPECT_GE(mesh.faceCount, 5000);
  EXPECT_LE(mesh.faceCount, 20000);
  float largest = -1e9f;
  for (const assets::MeshVec3& v : mesh.vertices) largest = std::max({largest, v.x, v.y, v.z});
  EXPECT_FLOAT_EQ(largest, 1.0f);  // the largest coordinate was positive
  // Closed and consistently wound: every directed edge appears once and its
  // reverse once.
  std::set<std::pair<int, int>> edges;
  for (const assets::MeshFace& f : mesh.faces) {
    int c[3] = {f.a, f.b, f.c};
    for (int k = 0; k < 3; ++k) EXPECT_TRUE(edges.insert({c[k], c[(k + 1) % 3]}).second) << "edge used twice";
  }
  for (const auto& e : edges) EXPECT_TRUE(edges.count({e.second, e.first})) << "open edge";
  // Outward: the enclosed volume comes out positive.
  double volume = 0;
  for (const assets::MeshFace& f : mesh.faces) {
    const assets::MeshVec3 &a = mesh.vertices[f.a], &b = mesh.vertices[f.b], &c = mesh.vertices[f.c];
    volume += (a.x * (b.y * c.z - b.z * c.y) - a.y * (b.x * c.z - b.z * c.x) + a.z * (b.x * c.y - b.y * c.x)) / 6.0;
  }
  EXPECT_GT(volume, 0.0);
  for (const assets::MeshVertexInfo& v : mesh.vertexInfo)
    EXPECT_NEAR(v.normal.x * v.normal.x + v.normal.y * v.normal.y + v.normal.z * v.normal.z, 1.0f, 1e-3f);
}

// ---------------------------------------------------------------------------

TEST(DataSetPictures, CaptionsCarryAlphaAndBlackWhereTheyAreClear) {
  for (const std::string& name : kCaptions) {
    Picture p = Load(name);
    ASSERT_GT(p.width, 0) << name;
    EXPECT_TRUE(p.alpha) << name;
    // Sides that are powers of two reach the texture as they stand: no
    // rescaling at load, and the lettering is laid out for its stretch.
    EXPECT_EQ(p.width & (p.width - 1), 0) << name << " is " << p.width << " wide";
    EXPECT_EQ(p.height & (p.height - 1), 0) << name << " is " << p.height << " high";
    EXPECT_GE(p.width, 2 * p.height) << name << ": a caption is a wide strip";
    int lit = 0;
    for (int y = 0; y < p.height; ++y)
      for (int x = 0; x < p.width; ++x) {
        const std::uint8_t* px = p.At(x, y);
        // Colour never exceeds coverage: added with (ONE, ONE) the clear parts add nothing.
        EXPECT_LE(std::max({px[0], px[1], px[2]}), px[3] + 1) << name << " at " << x << "," << y;
        lit += px[3] > 200;
      }
    EXPECT_GT(lit, p.width * p.height / 50) << name << " shows almost no text";
  }
}

TEST(DataSetPictures, HalfBrightnessCaptionsAreBright) {
  for (const char* name : {"fo21.tga", "fo22.tga", "fo23.tga", "party.tga", "code.tga", "feel.tga"}) {
    Picture p = Load(name);
    int brightest = 0;
    for (std::size_t i = 0; i < p.rgba.size(); i += 4) brightest = std::max({brightest, int(p.rgba[i]), int(p.rgba[i + 1]), int(p.rgba[i + 2])});
    EXPECT_GE(brightest, 250) << name;
  }
}

// Segment A adds eleven echoes with weights 1, 0.9 ... 0.1 (5.5 in all), each
// further out by a step that grows with the distance from the sprite's centre.
TEST(DataSetPictures, TitlesAreDrawnForTheirEchoes) {
  for (const char* name : {"start1.tga", "start2.tga", "start3.tga"}) {
    Picture p = Load(name);
    ASSERT_GT(p.width, 0);
    EXPECT_NEAR(static_cast<double>(p.width) / p.height, 4.0, 0.5) << name;
    for (int x = 0; x < p.width; ++x)
      for (int y : {0, p.height - 1}) EXPECT_LE(std::max({p.At(x, y)[0], p.At(x, y)[1], p.At(x, y)[2]}), 8) << name;
    int lit = 0, brightest = 0, x0 = p.width, x1 = -1, y0 = p.height, y1 = -1;
    // Lit runs along the rows, in the middle eighth and beyond the middle half.
    long middleRun = 0, middleRuns = 0, outerRun = 0, outerRuns = 0;
    for (int y = 0; y < p.height; ++y) {
      int run = 0;
      for (int x = 0; x <= p.width; ++x) {
        const int most = x < p.width ? std::max({p.At(x, y)[0], p.At(x, y)[1], p.At(x, y)[2]}) : 0;
        brightest = std::max(brightest, most);
        if (most > 20) {
          ++lit, ++run;
          x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
          continue;
        }
        if (run == 0) continue;
        const int centre = std::abs(x - run / 2 - p.width / 2);
        if (centre < p.width / 16) middleRun += run, ++middleRuns;
        if (centre > p.width / 4) outerRun += run, ++outerRuns;
        run = 0;
      }
    }
    EXPECT_GT(lit, 4000) << name;
    if (std::string(name) == "start2.tga") {
      // Letters cut into a dim bar that the echoes together just light fully.
      EXPECT_LE(brightest, 50) << name;
      EXPECT_GE(brightest, 40) << name;
      int holes = 0;
      for (int y = y0 + 4; y <= y1 - 4; ++y)
        for (int x = x0 + 4; x <= x1 - 4; ++x) holes += std::max({p.At(x, y)[0], p.At(x, y)[1], p.At(x, y)[2]}) < 10;
      EXPECT_GT(holes, 1500) << name << ": no letters cut into the bar";
    } else {
      // Light letters that all eleven echoes together bring just to white,
      // widened away from the middle as the echoes' step grows there.
      EXPECT_NEAR(brightest * 5.5, 255, 12) << name;
      ASSERT_GT(middleRuns, 0) << name;
      ASSERT_GT(outerRuns, 0) << name;
      EXPECT_GT(static_cast<double>(outerRun) / outerRuns, 1.8 * middleRun / middleRuns) << name;
    }
  }
}

TEST(DataSetPictures, ParticleSpriteIsARoundGlowThatFadesToBlack) {
  Picture p = Load("hund.tga");
  ASSERT_GT(p.width, 0);
  const std::uint8_t* centre = p.At(p.width / 2, p.height / 2);
  EXPECT_GE(centre[0], 200);
  for (int i = 0; i < p.width; ++i)
    for (const std::uint8_t* edge : {p.At(i, 0), p.At(i, p.height - 1), p.At(0, i), p.At(p.width - 1, i)})
      EXPECT_LE(std::max({edge[0], edge[1], edge[2]}), 2);
}

TEST(DataSetPictures, EndScrollTextStaysInsideTheRowsTheFinaleRollsThrough) {
  Picture p = Load("endscroll.tga");
  ASSERT_GT(p.width, 0);
  EXPECT_EQ(p.height, 4 * p.width);
  int firstLit = -1, lastLit = -1;
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x) {
      const std::uint8_t* px = p.At(x, y);
      if (std::max({px[0], px[1], px[2]}) > 24) {
        if (firstLit < 0) firstLit = y;
        lastLit = y;
      }
    }
  ASSERT_GE(firstLit, 0);
  EXPECT_GE(firstLit, 0.02 * p.height);
  EXPECT_LE(lastLit, 0.55 * p.height);
  EXPECT_GT(lastLit - firstLit, 0.3 * p.height);  // a real scroller, not a line
}

// The three effect pictures are seen far outside 0..1: their opposite edges
// must meet as smoothly as any two neighbouring rows and columns do.
TEST(DataSetPictures, EffectPicturesTileWithoutASeam) {
  for (const char* name : {"dreams07.tga", "ballenv.tga", "env2.tga"}) {
    Picture p = Load(name);
    ASSERT_GT(p.width, 0) << name;
    auto colDiff = [&](int a, int b) {
      double sum = 0;
      for (int y = 0; y < p.height; ++y)
        for (int c = 0; c < 3; ++c) sum += std::abs(int(p.At(a, y)[c]) - int(p.At(b, y)[c]));
      return sum / p.height;
    };
    auto rowDiff = [&](int a, int b) {
      double sum = 0;
      for (int x = 0; x < p.width; ++x)
        for (int c = 0; c < 3; ++c) sum += std::abs(int(p.At(x, a)[c]) - int(p.At(x, b)[c]));
      return sum / p.width;
    };
    double inner = 0, innerRows = 0;
    for (int x = 0; x + 1 < p.width; ++x) inner = std::max(inner, colDiff(x, x + 1));
    for (int y = 0; y + 1 < p.height; ++y) innerRows = std::max(innerRows, rowDiff(y, y + 1));
    EXPECT_LE(colDiff(p.width - 1, 0), inner + 1) << name;
    EXPECT_LE(rowDiff(p.height - 1, 0), innerRows + 1) << name;
    EXPECT_FALSE(p.alpha) << name;
  }
}

TEST(DataSetPictures, VideoFramesLoop) {
  Picture f0 = Load("0.jpg"), f1 = Load("1.jpg"), f50 = Load("50.jpg"), f99 = Load("99.jpg");
  ASSERT_GT(f0.width, 0);
  ASSERT_EQ(f99.width, f0.width);
  double seam = MeanDifference(f99, f0), step = MeanDifference(f0, f1), across = MeanDifference(f99, f50);
  EXPECT_LT(seam, across);
  // The last step is no bigger than an ordinary one (JPEG noise aside).
  EXPECT_LT(seam, step * 1.5 + 1.0);
  EXPECT_GT(across, 3.0);  // it does move
}

}  // namespace
