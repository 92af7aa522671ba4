// The loading-progress frames: when they appear and what they draw.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/gl.h"
#include "platform/present.h"
#include "scene/loader.h"
#include "scene/progress.h"
#include "scene_bytes.h"
#include "support/gl_context.h"
#include "support/temp_dir.h"

namespace {

using testsupport::GlTest;
using testsupport::ReadPixel;

int presents = 0;
void CountPresent() {
  ++presents;
  gl::glFinish();
}

class LoadingProgress : public GlTest {
 protected:
  void SetUp() override {
    GlTest::SetUp();
    if (IsSkipped()) return;
    scene::LoadedItems = 0;
    scene::ProgressBlocks = 0;
    scene::ProgressBackgroundTexture = 0;
    scene::ProgressBlockTexture = 0;
    presents = 0;
    platform::SetPresentTarget(CountPresent);
    gl::glClearColor(0, 0, 0, 1);
  }
  void Advance(std::int32_t items) {
    scene::LoadedItems = items;
    scene::DrawLoadingProgress();
  }
};

TEST_F(LoadingProgress, FramesOnlyWhenTheBlockCountChanges) {
  std::vector<std::int32_t> frames;
  for (std::int32_t item = 1; item <= 7000; ++item) {
    int before = presents;
    Advance(item);
    if (presents != before) frames.push_back(item);
  }
  EXPECT_EQ(frames, (std::vector<std::int32_t>{993, 1985, 2977, 3970, 4962, 5954, 6947}));
  EXPECT_EQ(scene::ProgressBlocks, 7);
}

std::array<std::uint8_t, 4> Rgba(std::uint8_t r, std::uint8_t g, std::uint8_t b) { return {r, g, b, 255}; }

// (x, y) in the frame's -1..1 coordinates to the pixel of an 800 x 600 buffer.
std::array<std::uint8_t, 4> At(double x, double y) {
  return ReadPixel(static_cast<int>((x + 1) * 400), static_cast<int>((y + 1) * 300));
}

TEST_F(LoadingProgress, BackgroundFillsTheViewportAndBlocksSitAtTheirCentres) {
  // A 2 x 2 picture for the blocks shows their texture corners: first row
  // red, green; second row blue, yellow.
  const std::uint8_t texels[] = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 0, 255};
  GLuint texture = 0;
  gl::glGenTextures(1, &texture);
  gl::glBindTexture(GL_TEXTURE_2D, texture);
  gl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  gl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  gl::glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels);
  gl::glBindTexture(GL_TEXTURE_2D, 0);
  scene::ProgressBlockTexture = texture;
  gl::glEnable(GL_DEPTH_TEST);

  Advance(1985);
  ASSERT_EQ(presents, 1);
  EXPECT_EQ(ReadPixel(0, 0), Rgba(255, 255, 255));
  EXPECT_EQ(ReadPixel(799, 599), Rgba(255, 255, 255));
  EXPECT_EQ(ReadPixel(400, 100), Rgba(255, 255, 255));
  for (double cx : {-0.02, 0.135}) {
    // Texture upright: first row at the top, first column on the left.
    EXPECT_EQ(At(cx - 0.04, 0.18 + 0.06), Rgba(255, 0, 0)) << cx;
    EXPECT_EQ(At(cx + 0.04, 0.18 + 0.06), Rgba(0, 255, 0)) << cx;
    EXPECT_EQ(At(cx - 0.04, 0.18 - 0.06), Rgba(0, 0, 255)) << cx;
    EXPECT_EQ(At(cx + 0.04, 0.18 - 0.06), Rgba(255, 255, 0)) << cx;
    // Just outside the rectangle's half-extents 0.05 and 0.07.
    EXPECT_EQ(At(cx - 0.06, 0.18), Rgba(255, 255, 255)) << cx;
    EXPECT_EQ(At(cx + 0.06, 0.18), Rgba(255, 255, 255)) << cx;
    EXPECT_EQ(At(cx, 0.18 + 0.08), Rgba(255, 255, 255)) << cx;
    EXPECT_EQ(At(cx, 0.18 - 0.08), Rgba(255, 255, 255)) << cx;
  }
  // The third block is not due yet.
  EXPECT_EQ(At(0.29, 0.18), Rgba(255, 255, 255));

  // The state a frame leaves behind.
  EXPECT_FALSE(gl::glIsEnabled(GL_DEPTH_TEST));
  EXPECT_TRUE(gl::glIsEnabled(GL_TEXTURE_2D));
  EXPECT_FALSE(gl::glIsEnabled(GL_BLEND));
  GLint bound = 0;
  gl::glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  EXPECT_EQ(static_cast<GLuint>(bound), texture);
  GLfloat colour[4];
  gl::glGetFloatv(GL_CURRENT_COLOR, colour);
  EXPECT_EQ(colour[0], 1.0f);
  EXPECT_EQ(colour[2], 1.0f);

  Advance(5954);
  EXPECT_EQ(presents, 2);
  EXPECT_EQ(At(0.755 - 0.04, 0.18 + 0.06), Rgba(255, 0, 0));
  EXPECT_EQ(At(0.755 + 0.06, 0.18), Rgba(255, 255, 255));
  EXPECT_EQ(At(0.6 - 0.04, 0.18 - 0.06), Rgba(0, 0, 255));
}

// The calls of one frame, recorded in place of OpenGL.
std::vector<std::string> calls;
std::string Num(double v) {
  char s[32];
  std::snprintf(s, sizeof s, "%.6g", v);
  return s;
}
void RecBegin(GLenum mode) { calls.push_back(mode == GL_POLYGON ? "Begin POLYGON" : "Begin ?"); }
void RecEnd() { calls.push_back("End"); }
void RecEnable(GLenum cap) { calls.push_back("Enable " + Num(cap)); }
void RecDisable(GLenum cap) { calls.push_back("Disable " + Num(cap)); }
void RecClear(GLbitfield mask) { calls.push_back("Clear " + Num(mask)); }
void RecBind(GLenum target, GLuint name) { calls.push_back("Bind " + Num(target) + " " + Num(name)); }
void RecBlend(GLenum s, GLenum d) { calls.push_back("Blend " + Num(s) + " " + Num(d)); }
void RecColor(GLfloat r, GLfloat g, GLfloat b) { calls.push_back("Color " + Num(r) + " " + Num(g) + " " + Num(b)); }
void RecTex(GLfloat s, GLfloat t) { calls.push_back("Tex " + Num(s) + " " + Num(t)); }
void RecVertex(GLfloat x, GLfloat y) { calls.push_back("Vertex " + Num(x) + " " + Num(y)); }
void RecPresent() { calls.push_back("Present"); }

class LoadingProgressCalls : public LoadingProgress {
 protected:
  void SetUp() override {
    LoadingProgress::SetUp();
    if (IsSkipped()) return;
    saved_ = gl::SaveGlTable();
    calls.clear();
    gl::glBegin = RecBegin;
    gl::glEnd = RecEnd;
    gl::glEnable = RecEnable;
    gl::glDisable = RecDisable;
    gl::glClear = RecClear;
    gl::glBindTexture = RecBind;
    gl::glBlendFunc = RecBlend;
    gl::glColor3f = RecColor;
    gl::glTexCoord2f = RecTex;
    gl::glVertex2f = RecVertex;
    platform::SetPresentTarget(RecPresent);
  }
  void TearDown() override {
    if (!IsSkipped()) gl::RestoreGlTable(saved_);
    LoadingProgress::TearDown();
  }
  gl::GlTable saved_{};
};

std::vector<std::string> Rectangle(double cx, double cy, double hw, double hh) {
  return {"Color 1 1 1",
          "Begin POLYGON",
          "Tex 1 0",
          "Vertex " + Num(static_cast<float>(cx + hw)) + " " + Num(static_cast<float>(cy + hh)),
          "Tex 1 1",
          "Vertex " + Num(static_cast<float>(cx + hw)) + " " + Num(static_cast<float>(cy - hh)),
          "Tex 0 1",
          "Vertex " + Num(static_cast<float>(cx - hw)) + " " + Num(static_cast<float>(cy - hh)),
          "Tex 0 0",
          "Vertex " + Num(static_cast<float>(cx - hw)) + " " + Num(static_cast<float>(cy + hh)),
          "End"};
}

TEST_F(LoadingProgressCalls, OneFrameInTheDrawingOrder) {
  scene::ProgressBackgroundTexture = 11;
  scene::ProgressBlockTexture = 12;
  Advance(1985);
  std::vector<std::string> expected = {"Disable " + Num(GL_DEPTH_TEST),
                                       "Clear " + Num(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT),
                                       "Bind " + Num(GL_TEXTURE_2D) + " 11", "Enable " + Num(GL_TEXTURE_2D)};
  for (const std::string& c : Rectangle(0, 0, 1, 1)) expected.push_back(c);
  for (double cx : {-0.02, 0.135}) {
    expected.push_back("Enable " + Num(GL_BLEND));
    expected.push_back("Blend " + Num(GL_SRC_ALPHA) + " " + Num(GL_ONE_MINUS_SRC_ALPHA));
    expected.push_back("Bind " + Num(GL_TEXTURE_2D) + " 12");
    for (const std::string& c : Rectangle(cx, 0.18, 0.05, 0.07)) expected.push_back(c);
    expected.push_back("Disable " + Num(GL_BLEND));
  }
  expected.push_back("Present");
  EXPECT_EQ(calls, expected);
}

TEST_F(LoadingProgressCalls, WithoutAPresentTargetNothingIsDrawnButTheCountFollows) {
  platform::SetPresentTarget(nullptr);
  Advance(2000);
  EXPECT_EQ(scene::ProgressBlocks, 2);
  EXPECT_TRUE(calls.empty());
  platform::SetPresentTarget(RecPresent);
  Advance(2500);  // still two blocks: no frame
  EXPECT_TRUE(calls.empty());
  Advance(2977);
  EXPECT_FALSE(calls.empty());
}

struct ReadFailed {};
void ThrowReadFailed(const char*) { throw ReadFailed{}; }

TEST_F(LoadingProgressCalls, AnObjectCountsAndItsFrameIsPresentedBeforeTheObjectIsRead) {
  // Two objects whose fixed parts are there, the first claiming 1000
  // vertices that are not: the first object's item, 993, is due a frame, and
  // that frame is presented before its read fails.
  testsupport::TempDir dir;
  scenetest::Bytes::HeaderFields h;
  h.materialCount = 1;
  h.objectCount = 2;
  scenetest::Bytes b;
  b.Header(h).Material("m", "m.tga", 0, 0, 1, 1, 0, 1);
  scenetest::Bytes::ObjectFields o;
  o.vertexCount = 1000;
  b.Object(o).Object({});
  b.Write(dir.File("short.3dw"));
  scene::LoadedItems = 992;
  scene::ProgressBlocks = 0;
  platform::SetUnhandledErrorHandler(ThrowReadFailed);
  scene::Scene s;
  bool failed = false;
  try {
    scene::LoadScene(s, dir.File("short.3dw"));
  } catch (const ReadFailed&) {
    failed = true;
  }
  platform::SetUnhandledErrorHandler(nullptr);
  EXPECT_TRUE(failed);
  EXPECT_EQ(scene::LoadedItems, 993);
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "Present"), 1);
}

TEST_F(LoadingProgress, LoadSceneAdvancesOncePerObjectAndDrawsItsFrame) {
  testsupport::TempDir dir;
  scenetest::Bytes::HeaderFields h;
  h.materialCount = 3;
  h.objectCount = 2;
  scenetest::Bytes b;
  b.Header(h);
  for (int i = 0; i < 3; ++i) b.Material("m", "m.tga", 0, 0, 1, 1, 0, 1);
  b.Object({}).Object({});
  b.Write(dir.File("two.3dw"));
  scene::LoadedItems = 991;
  scene::Scene s;
  scene::LoadScene(s, dir.File("two.3dw"));
  EXPECT_EQ(scene::LoadedItems, 993);
  EXPECT_EQ(presents, 1);
  EXPECT_EQ(scene::ProgressBlocks, 1);
  EXPECT_EQ(ReadPixel(5, 5), Rgba(255, 255, 255));
}

}  // namespace
