// Pictures decoded ahead on worker threads and the mipmap chains built
// beside them, on real OpenGL: a texture loaded through either holds the
// same bytes, level by level, as one that GLU built, and the loading reports
// (boxes, error lines) come at each picture's own step, in order.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "asset_files.h"
#include "picture_folder.h"
#include "assets/mipmaps.h"
#include "assets/prefetch.h"
#include "assets/texture.h"
#include "platform/gl.h"
#include "platform/image_write.h"
#include "platform/out_of_memory.h"
#include "support/sanitizers.h"
#include "support/temp_dir.h"

namespace {

using assettest::Bytes;

std::vector<std::string> events;

std::vector<std::uint8_t> Noise(int width, int height, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<std::uint8_t> rgba(static_cast<std::size_t>(width) * height * 4);
  for (auto& v : rgba) v = static_cast<std::uint8_t>(random());
  return rgba;
}

// Every level of the bound texture, level 0 first.
std::vector<std::vector<std::uint8_t>> Levels() {
  std::vector<std::vector<std::uint8_t>> levels;
  for (GLint level = 0;; ++level) {
    GLint w = 0, h = 0;
    gl::glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &w);
    gl::glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_HEIGHT, &h);
    if (w <= 0 || h <= 0) break;
    std::vector<std::uint8_t> texels(static_cast<std::size_t>(w) * h * 4);
    gl::glGetTexImage(GL_TEXTURE_2D, level, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    levels.push_back(std::move(texels));
    if (w == 1 && h == 1) break;
  }
  return levels;
}

class MipmapChain : public testsupport::GlTest {};

TEST_F(MipmapChain, EveryLevelMatchesWhatGluBuilds) {
  const int sizes[][2] = {{1, 1}, {2, 1}, {1, 2}, {1, 16}, {16, 1}, {8, 2}, {2, 8}, {64, 64}, {256, 32}, {32, 512}};
  unsigned seed = 1;
  for (const auto& size : sizes) {
    const int w = size[0], h = size[1];
    ASSERT_TRUE(assets::HasOwnMipmapSize(w, h, 8192));
    const std::vector<std::uint8_t> rgba = Noise(w, h, seed++);
    GLuint names[2];
    gl::glGenTextures(2, names);
    gl::glBindTexture(GL_TEXTURE_2D, names[0]);
    gl::gluBuild2DMipmaps(GL_TEXTURE_2D, 4, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    const auto fromGlu = Levels();

    const std::vector<assets::MipmapLevel> ours = assets::BuildMipmapLevels(w, h, rgba.data());
    ASSERT_EQ(ours.size() + 1, fromGlu.size()) << w << " x " << h << ": one level per halving down to 1 x 1";
    for (std::size_t i = 0; i < ours.size(); ++i)
      EXPECT_EQ(ours[i].Pixels, fromGlu[i + 1]) << w << " x " << h << " level " << i + 1;
    gl::glDeleteTextures(2, names);
  }
}

TEST(MipmapSizes, OnlyPowersOfTwoWithinTheLargestSide) {
  EXPECT_TRUE(assets::HasOwnMipmapSize(512, 256, 8192));
  EXPECT_TRUE(assets::HasOwnMipmapSize(1, 1, 1));
  EXPECT_FALSE(assets::HasOwnMipmapSize(512, 192, 8192));
  EXPECT_FALSE(assets::HasOwnMipmapSize(100, 64, 8192));
  EXPECT_FALSE(assets::HasOwnMipmapSize(0, 64, 8192));
  EXPECT_FALSE(assets::HasOwnMipmapSize(-64, 64, 8192));
  EXPECT_FALSE(assets::HasOwnMipmapSize(16384, 64, 8192));
}

// Runs inside a temporary folder of pictures, as the show runs in its data folder.
class Prefetch : public assettest::PictureFolderTest {
 protected:
  void SetUp() override {
    PictureFolderTest::SetUp();
    events.clear();
  }
  void TearDown() override {
    assets::EndPrefetch();
    PictureFolderTest::TearDown();
  }
  void OnBox(const char* text, const char*, bool) override { events.push_back(std::string("box ") + text); }
  static void Picture(const std::string& name, int w, int h, unsigned seed) {
    const std::vector<std::uint8_t> rgba = Noise(w, h, seed);
    Bytes rgb;
    for (std::size_t i = 0; i < rgba.size(); i += 4) rgb.insert(rgb.end(), {rgba[i], rgba[i + 1], rgba[i + 2]});
    assettest::WriteFile(name, assettest::Tga24(w, h, rgb, true));
  }
  // Loads each name in turn, noting the error lines among the boxes, and
  // returns every level of every texture.
  static std::vector<std::vector<std::vector<std::uint8_t>>> LoadAll(const std::vector<std::string>& names) {
    std::vector<std::vector<std::vector<std::uint8_t>>> textures;
    for (const std::string& name : names) {
      std::uint32_t texture = 0;
      testing::internal::CaptureStdout();
      assets::LoadTexture(name, texture);
      const std::string out = testing::internal::GetCapturedStdout();
      events.push_back(name + (out.empty() ? "" : " printed" + out));
      textures.push_back(Levels());
    }
    return textures;
  }
};

TEST_F(Prefetch, AheadOrOnTheSpotGivesTheSameTexturesAndReportsInOrder) {
  Picture("a.tga", 64, 32, 1);
  Picture("b.tga", 100, 60, 2);  // rescaled by GLU in both cases
  Picture("c.tga", 256, 256, 3);
  assettest::WriteFile("bad.tga", Bytes{1, 2, 3});
  const std::vector<std::string> names = {"a.tga", "missing.tga", "b.tga", "bad.tga", "c.tga", "a.tga"};

  const auto direct = LoadAll(names);
  const std::vector<std::string> directEvents = events;
  events.clear();

  assets::PrefetchPictures({"a.tga", "missing.tga", "b.tga", "bad.tga", "c.tga"});
  EXPECT_TRUE(assets::PrefetchRunning());
  const auto ahead = LoadAll(names);
  assets::EndPrefetch();
  EXPECT_FALSE(assets::PrefetchRunning());

  EXPECT_EQ(events, directEvents);
  EXPECT_EQ(events, (std::vector<std::string>{"a.tga", "box File not found : missing.tga",
                                              "missing.tga printed ERROR \n", "b.tga", "bad.tga printed ERROR \n",
                                              "c.tga", "a.tga"}));
  ASSERT_EQ(ahead.size(), direct.size());
  for (std::size_t i = 0; i < names.size(); ++i) EXPECT_EQ(ahead[i], direct[i]) << names[i];
  EXPECT_EQ(direct[0].size(), 7u) << "64 x 32 down to 1 x 1";
  EXPECT_TRUE(direct[1].empty()) << "a missing picture builds no levels";
}

TEST_F(Prefetch, PicturesNobodyTakesAreDroppedAndLaterLoadsDecodeOnTheSpot) {
  for (int i = 0; i < 40; ++i) Picture(testsupport::Join({"p", std::to_string(i), ".tga"}), 16, 16, 10 + i);
  std::vector<std::string> names;
  for (int i = 0; i < 40; ++i) names.push_back(testsupport::Join({"p", std::to_string(i), ".tga"}));
  names.push_back(std::string(300, 'x'));  // a name the loaders refuse is never queued
  assets::PrefetchPictures(names);
  assets::DecodedPicture picture;
  // Out of order, and beyond how far the workers run ahead.
  ASSERT_TRUE(assets::TakePrefetchedPicture("p39.tga", picture));
  ASSERT_NE(picture.Image, nullptr);
  EXPECT_EQ(picture.Image->Width, 16);
  EXPECT_TRUE(picture.HasLevels);
  EXPECT_EQ(picture.Levels.size(), 4u);
  assets::ReleaseTextureImage(picture.Image);
  EXPECT_FALSE(assets::TakePrefetchedPicture("p39.tga", picture)) << "each queued picture is taken once";
  EXPECT_FALSE(assets::TakePrefetchedPicture(std::string(300, 'x'), picture));
  assets::EndPrefetch();  // the other 39 are freed unused
  EXPECT_FALSE(assets::TakePrefetchedPicture("p0.tga", picture));

  std::uint32_t texture = 0;
  assets::LoadTexture("p0.tga", texture);
  EXPECT_EQ(Levels().size(), 5u) << "loaded on the spot once nothing is queued";
}

TEST_F(Prefetch, AForkedCopyEndsWithoutWaitingForWorkersItDoesNotHave) {
  // A copy made while the workers run (a library's helper, a test's child)
  // has no worker threads; its end must not wait for them.
  for (int i = 0; i < 8; ++i) Picture(testsupport::Join({"p", std::to_string(i), ".tga"}), 64, 64, 30 + i);
  std::vector<std::string> names;
  for (int i = 0; i < 8; ++i) names.push_back(testsupport::Join({"p", std::to_string(i), ".tga"}));
  assets::PrefetchPictures(names);
  std::fflush(stdout);
  pid_t copy = fork();
  if (copy == 0) {
    alarm(10);  // a copy that hangs ends as a signal, which fails the case
    std::exit(0);
  }
  int status = 0;
  waitpid(copy, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the copy hung or crashed at its end";
  assets::DecodedPicture picture;
  ASSERT_TRUE(assets::TakePrefetchedPicture("p7.tga", picture)) << "the parent's workers go on";
  EXPECT_NE(picture.Image, nullptr);
  assets::ReleaseTextureImage(picture.Image);
}

// The process's address space now, in bytes.
std::uint64_t AddressSpace() {
  std::ifstream statm("/proc/self/statm");
  std::uint64_t pages = 0;
  statm >> pages;
  return pages * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
}

// A picture whose pixels need more memory than the process may have: the
// worker that decodes it (or the loader, when it gets there first) finds no
// memory, and the loader ends the program with the report and 217 on the
// main thread. Once through our TGA decoder, once through stb_image.
class PrefetchOutOfMemory : public Prefetch, public ::testing::WithParamInterface<const char*> {};

TEST_P(PrefetchOutOfMemory, IsReportedByTheMainThreadWith217) {
  if (testsupport::kAddressSanitizer) GTEST_SKIP() << "AddressSanitizer reserves more address space than any limit";
  const std::string name = GetParam();
  // 8192 x 8192 grey: 64 MB on file at most, 256 MB once decoded to RGBA.
  const std::vector<std::uint8_t> grey(std::size_t{8192} * 8192, 40);
  ASSERT_TRUE(name.ends_with(".png") ? platform::WritePng(name, 8192, 8192, 1, grey.data())
                                     : platform::WriteTga(name, 8192, 8192, 1, grey.data(), true));
  auto result = testsupport::RunInChild([&name] {
    platform::InstallOutOfMemoryReport();
    std::atexit([] { std::printf("exit handler ran\n"); });
    rlimit limit{};
    limit.rlim_cur = limit.rlim_max = AddressSpace() + (160u << 20);
    if (setrlimit(RLIMIT_AS, &limit) != 0) std::exit(4);
    assets::PrefetchPictures({name});
    usleep(300'000);  // a worker has begun it
    std::uint32_t texture = 0;
    assets::LoadTexture(name, texture);
    std::printf("loaded\n");
  });
  EXPECT_EQ(result.signal, 0) << strsignal(result.signal);
  EXPECT_EQ(result.exitCode, 217) << result.out << result.err;
  EXPECT_TRUE(std::regex_match(result.out, std::regex("An unhandled exception occurred at 0x[0-9A-F]{8} :\n"
                                                      "Out of memory\nexit handler ran\n")))
      << result.out;
}

INSTANTIATE_TEST_SUITE_P(TgaAndStbImage, PrefetchOutOfMemory, ::testing::Values("huge.tga", "huge.png"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           return std::string(info.param).substr(5);
                         });

}  // namespace
