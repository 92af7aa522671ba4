// The texture loaders on real OpenGL (headless Mesa), plus the order of the
// creation steps seen through a recorder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "asset_files.h"
#include "picture_folder.h"
#include "assets/texture.h"
#include "platform/present.h"
#include "scene/progress.h"
#include "support/gl_context.h"
#include "support/temp_dir.h"

namespace {

using assettest::Bytes;
using assettest::TgaFile;
using assettest::WriteFile;

struct Box {
  std::string text, caption;
  bool errorIcon;
};
std::vector<Box> boxes;

// Runs the test inside a temporary working folder, as the show runs in its data folder.
class TextureLoader : public assettest::PictureFolderTest {
 protected:
  void SetUp() override {
    PictureFolderTest::SetUp();
    boxes.clear();
  }
  void OnBox(const char* text, const char* caption, bool errorIcon) override {
    boxes.push_back({text, caption, errorIcon});
  }
};

Bytes SolidTga(int width, int height, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  Bytes rgb(static_cast<std::size_t>(width) * height * 3);
  for (std::size_t i = 0; i < rgb.size(); i += 3) {
    rgb[i] = r;
    rgb[i + 1] = g;
    rgb[i + 2] = b;
  }
  return assettest::Tga24(width, height, rgb, true);
}

Bytes AlphaTga() { return TgaFile(2, 32, 8, 1, 1, Bytes{0, 0, 255, 128}); }

GLint Bound() {
  GLint name = 0;
  gl::glGetIntegerv(GL_TEXTURE_BINDING_2D, &name);
  return name;
}

GLint LevelWidth(int level) {
  GLint width = 0;
  gl::glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &width);
  return width;
}

bool PowerOfTwo(GLint v) { return v > 0 && (v & (v - 1)) == 0; }

scene::Scene SceneWith(const std::vector<std::string>& files) {
  scene::Scene s;
  s.MaterialCount = static_cast<std::int32_t>(files.size());
  for (const std::string& f : files) {
    scene::SceneMaterial m;
    m.TextureFile = f;
    m.AlphaFlag = 1;  // whatever the scene file held
    m.TextureName = 12345;
    s.Materials.push_back(m);
  }
  return s;
}

TEST_F(TextureLoader, HundredBySixtyPictureIsAcceptedMipmappedAndSampled) {
  WriteFile("odd.tga", SolidTga(100, 60, 200, 100, 40));
  std::uint32_t name = 0;
  testing::internal::CaptureStdout();
  assets::LoadTexture("odd.tga", name);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  ASSERT_NE(name, 0u);
  EXPECT_EQ(Bound(), static_cast<GLint>(name));
  EXPECT_TRUE(gl::glIsEnabled(GL_TEXTURE_2D));
  GLint width0 = LevelWidth(0), height0 = 0;
  gl::glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height0);
  EXPECT_TRUE(PowerOfTwo(width0)) << width0;
  EXPECT_TRUE(PowerOfTwo(height0)) << height0;
  EXPECT_EQ(LevelWidth(1), width0 / 2) << "the mipmap chain is built";
  GLint components = 0;
  gl::glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &components);
  EXPECT_TRUE(components == 4 || components == GL_RGBA || components == GL_RGBA8) << components;

  // A small quad far from the viewer samples the smaller levels; both give the colour.
  for (float half : {1.0f, 0.01f}) {
    gl::glClearColor(0, 0, 0, 1);
    gl::glClear(GL_COLOR_BUFFER_BIT);
    gl::glColor3f(1, 1, 1);
    gl::glBegin(GL_QUADS);
    gl::glTexCoord2f(0, 0);
    gl::glVertex2f(-half, -half);
    gl::glTexCoord2f(1, 0);
    gl::glVertex2f(half, -half);
    gl::glTexCoord2f(1, 1);
    gl::glVertex2f(half, half);
    gl::glTexCoord2f(0, 1);
    gl::glVertex2f(-half, half);
    gl::glEnd();
    auto pixel = testsupport::ReadPixel(400, 300);
    EXPECT_NEAR(pixel[0], 200, 3) << "half size " << half;
    EXPECT_NEAR(pixel[1], 100, 3);
    EXPECT_NEAR(pixel[2], 40, 3);
  }
}

TEST_F(TextureLoader, FirstRowOfTheTextureIsTheTopOfThePicture) {
  // 2 x 2, top row white, bottom row black, stored bottom-up.
  Bytes rgb = {255, 255, 255, 255, 255, 255, 0, 0, 0, 0, 0, 0};
  WriteFile("updown.tga", assettest::Tga24(2, 2, rgb, true));
  std::uint32_t name = 0;
  assets::LoadTexture("updown.tga", name);
  std::vector<std::uint8_t> texels(16);
  gl::glPixelStorei(GL_PACK_ALIGNMENT, 1);
  gl::glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
  EXPECT_EQ(texels[0], 255);
  EXPECT_EQ(texels[8], 0);
}

TEST_F(TextureLoader, MissingPictureShowsTheBoxAndLeavesAnEmptyTexture) {
  std::uint32_t name = 0;
  testing::internal::CaptureStdout();
  assets::LoadTexture("hund.tga", name);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), " ERROR \n");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "File not found : hund.tga");
  EXPECT_EQ(boxes[0].caption, "Texture Loader Error Message");
  EXPECT_FALSE(boxes[0].errorIcon);
  ASSERT_NE(name, 0u);
  EXPECT_EQ(Bound(), static_cast<GLint>(name));
  EXPECT_EQ(LevelWidth(0), 0) << "no picture behind the name";
}

TEST_F(TextureLoader, UndecodablePictureWritesTheErrorLineWithoutABox) {
  WriteFile("bad.jpg", Bytes{0xFF, 0xD8, 0xFF, 0xE0, 1, 2, 3});
  std::uint32_t name = 0;
  testing::internal::CaptureStdout();
  assets::LoadTexture("bad.jpg", name);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), " ERROR \n");
  EXPECT_TRUE(boxes.empty());
  EXPECT_NE(name, 0u);
  EXPECT_EQ(LevelWidth(0), 0);
}

TEST_F(TextureLoader, SceneMaterialsEachGetTheirOwnTextureAndTheFilesAlpha) {
  WriteFile("wall.tga", AlphaTga());
  WriteFile("floor.tga", SolidTga(4, 4, 1, 2, 3));
  scene::Scene s = SceneWith({"wall.tga", "floor.tga", "wall.tga"});
  s.Materials[1].Textured = 0;  // untextured materials get a texture too
  std::int32_t before = scene::LoadedItems;
  testing::internal::CaptureStdout();
  assets::LoadSceneTextures(s, ".");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(scene::LoadedItems - before, 3);
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(s.Materials[0].AlphaFlag, 1);
  EXPECT_EQ(s.Materials[1].AlphaFlag, 0);
  EXPECT_EQ(s.Materials[2].AlphaFlag, 1);
  EXPECT_NE(s.Materials[0].TextureName, s.Materials[2].TextureName);
  EXPECT_NE(s.Materials[0].TextureName, s.Materials[1].TextureName);
  for (const auto& m : s.Materials) {
    EXPECT_TRUE(gl::glIsTexture(m.TextureName));
    gl::glBindTexture(GL_TEXTURE_2D, m.TextureName);
    EXPECT_GT(LevelWidth(0), 0);
  }
}

TEST_F(TextureLoader, SceneTextureNamesAreJoinedWithABackslash) {
  std::filesystem::create_directory("pics");
  WriteFile("pics/wall.tga", SolidTga(2, 2, 9, 9, 9));
  WriteFile("wall.tga", SolidTga(2, 2, 9, 9, 9));
  scene::Scene inPics = SceneWith({"wall.tga", "gone.tga"});
  testing::internal::CaptureStdout();
  assets::LoadSceneTextures(inPics, "pics");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), " ERROR \n");
  gl::glBindTexture(GL_TEXTURE_2D, inPics.Materials[0].TextureName);
  EXPECT_GT(LevelWidth(0), 0) << "pics\\wall.tga was found";
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "File not found : gone.tga") << "the message names the file alone";
  EXPECT_EQ(inPics.Materials[1].AlphaFlag, 0) << "a missing picture has no alpha to test";

  std::filesystem::remove("wall.tga");
  boxes.clear();
  scene::Scene here = SceneWith({"wall.tga"});
  testing::internal::CaptureStdout();
  assets::LoadSceneTextures(here, ".");
  testing::internal::GetCapturedStdout();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "File not found : wall.tga");
}

TEST_F(TextureLoader, OverlongNamesAreRefusedSafely) {
  std::uint32_t name = 0;
  testing::internal::CaptureStdout();
  assets::LoadTexture(std::string(300, 'a'), name);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), " ERROR \n");
  EXPECT_TRUE(boxes.empty()) << "never handed to the image library";
  EXPECT_NE(name, 0u);

  // Fits as a file name, but the message would run past 255 characters.
  std::string longName(250, 'b');
  scene::Scene s = SceneWith({longName});
  testing::internal::CaptureStdout();
  assets::LoadSceneTextures(s, ".");
  testing::internal::GetCapturedStdout();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text.size(), 255u);
  EXPECT_EQ(boxes[0].text.rfind("File not found : bbb", 0), 0u);
}

// ---- The creation steps in order, through a recorder over the real table ----

std::vector<std::string> calls;
std::vector<std::int32_t> itemsAtGen;
GLuint nextName = 100;

void RecGen(GLsizei n, GLuint* names) {
  calls.push_back("gen " + std::to_string(n));
  itemsAtGen.push_back(scene::LoadedItems);
  names[0] = nextName++;
}
void RecEnable(GLenum cap) { calls.push_back(cap == GL_TEXTURE_2D ? "enable texture" : "enable other"); }
void RecBind(GLenum target, GLuint name) {
  calls.push_back(std::string(target == GL_TEXTURE_2D ? "bind " : "bind? ") + std::to_string(name));
}
void RecParam(GLenum target, GLenum pname, GLint param) {
  std::string p = pname == GL_TEXTURE_MAG_FILTER ? "mag" : pname == GL_TEXTURE_MIN_FILTER ? "min" : "other";
  std::string v = param == GL_LINEAR ? "linear" : param == GL_LINEAR_MIPMAP_LINEAR ? "linear-mipmap-linear" : "other";
  calls.push_back((target == GL_TEXTURE_2D ? "param " : "param? ") + p + " " + v);
}
GLint RecBuild(GLenum target, GLint components, GLint w, GLint h, GLenum format, GLenum type, const void* data) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  calls.push_back(std::string(target == GL_TEXTURE_2D ? "build " : "build? ") + std::to_string(components) + " " +
                  std::to_string(w) + "x" + std::to_string(h) + (format == GL_RGBA ? " rgba" : " ?") +
                  (type == GL_UNSIGNED_BYTE ? " ubyte " : " ? ") + std::to_string(bytes[0]));
  return 0;
}

TEST_F(TextureLoader, CreationStepsRunInOrderAfterTheProgressStep) {
  WriteFile("a.tga", SolidTga(5, 3, 77, 0, 0));
  scene::Scene s = SceneWith({"a.tga", "missing.tga"});
  gl::GlTable saved = gl::SaveGlTable();
  calls.clear();
  itemsAtGen.clear();
  gl::glGenTextures = RecGen;
  gl::glEnable = RecEnable;
  gl::glBindTexture = RecBind;
  gl::glTexParameteri = RecParam;
  gl::gluBuild2DMipmaps = RecBuild;
  // Keep the progress frame out of the recording: no new block is due.
  std::int32_t savedItems = scene::LoadedItems, savedBlocks = scene::ProgressBlocks;
  scene::LoadedItems = 10;
  scene::ProgressBlocks = 0;
  testing::internal::CaptureStdout();
  assets::LoadSceneTextures(s, ".");
  std::string out = testing::internal::GetCapturedStdout();
  gl::RestoreGlTable(saved);
  scene::LoadedItems = savedItems;
  scene::ProgressBlocks = savedBlocks;

  std::vector<std::string> want = {
      "gen 1", "enable texture", "bind 100", "param mag linear", "param min linear-mipmap-linear",
      "build 4 5x3 rgba ubyte 77",
      "gen 1", "enable texture", "bind 101", "param mag linear", "param min linear-mipmap-linear",
  };
  EXPECT_EQ(calls, want);
  EXPECT_EQ(itemsAtGen, (std::vector<std::int32_t>{11, 12})) << "each material is counted before its texture";
  EXPECT_EQ(s.Materials[0].TextureName, 100u);
  EXPECT_EQ(s.Materials[1].TextureName, 101u);
  EXPECT_EQ(out, " ERROR \n");
}

TEST(TextureImages, ReleaseGivesBackLibraryAndSystemRecords) {
  assets::ReleaseTextureImage(nullptr);

  platform::TextureImage own;
  own.Width = 2;
  own.Height = 1;
  own.LibraryField = 7;
  own.DataSize = 8;
  own.Pixels = static_cast<std::uint8_t*>(std::malloc(8));
  own.HasAlphaChannel = 1;
  EXPECT_TRUE(assets::ImageHasAlpha(&own));
  assets::ReleaseTextureImage(&own);
  EXPECT_EQ(own.Width, 0);
  EXPECT_EQ(own.Height, 0);
  EXPECT_EQ(own.LibraryField, 0);
  EXPECT_EQ(own.DataSize, 0);
  EXPECT_EQ(own.Pixels, nullptr);
  EXPECT_EQ(own.HasAlphaChannel, 0);
  EXPECT_FALSE(assets::ImageHasAlpha(&own));
  EXPECT_FALSE(assets::ImageHasAlpha(nullptr));

  testsupport::TempDir dir;
  WriteFile(dir.File("p.tga"), AlphaTga());
  platform::TextureImage* image = platform::txLoad(0, dir.File("p.tga").c_str(), 0);
  ASSERT_NE(image, nullptr);
  EXPECT_TRUE(assets::ImageHasAlpha(image));
  assets::ReleaseTextureImage(image);  // the library's record goes back to txFree (checked under ASan)
}

}  // namespace
