// Damaged files: a real mesh and real pictures, truncated at every offset and
// with flipped bytes and mutated counts. Every case runs in a child of its
// own and must end with the unhandled-error report or a clean " ERROR "
// line, never a crash.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <random>

#include "asset_files.h"
#include "assets/mesh.h"
#include "assets/texture.h"
#include "platform/files.h"
#include "platform/gl.h"
#include "platform/image_write.h"
#include "support/temp_dir.h"

namespace {

using assettest::Bytes;
using assettest::WriteFile;

// ---- Meshes ----

// An octahedron: 6 vertices, 8 faces, 176 bytes.
Bytes Octahedron() {
  assettest::MeshData m;
  m.xyz = {1, 0, 0, -1, 0, 0, 0, 1, 0, 0, -1, 0, 0, 0, 1, 0, 0, -1};
  m.abc = {0, 2, 4, 2, 1, 4, 1, 3, 4, 3, 0, 4, 2, 0, 5, 1, 2, 5, 3, 1, 5, 0, 3, 5};
  return assettest::MeshFile(m);
}

enum class MeshOutcome { Loaded, Report, Crash };

MeshOutcome LoadDamagedMesh(const testsupport::TempDir& dir, const Bytes& bytes, std::string* out = nullptr) {
  std::string path = dir.File("damaged._3d");
  WriteFile(path, bytes);
  auto result = testsupport::RunInChild([&] {
    assets::Mesh mesh;
    assets::LoadMesh(mesh, path);
    // Touch everything that was derived, as drawing would.
    float sum = 0;
    for (const auto& info : mesh.vertexInfo) {
      sum += info.normal.x;
      for (std::int32_t i = 0; i < info.useCount; ++i) sum += mesh.faceNormals.at(info.useFaces[i]).y;
    }
    std::printf("%d\n", sum == sum ? 1 : 0);
  });
  if (out) *out = result.out;
  if (result.signal != 0) return MeshOutcome::Crash;
  if (result.exitCode == 0) return MeshOutcome::Loaded;
  if (result.exitCode == 217 && result.out.rfind("An unhandled exception occurred at 0x", 0) == 0) {
    return MeshOutcome::Report;
  }
  return MeshOutcome::Crash;
}

void PutAt(Bytes& b, std::size_t at, std::int32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>((static_cast<std::uint32_t>(v) >> (8 * i)) & 255);
}

TEST(BadMeshFiles, EveryTruncationIsReadPastEndOfFile) {
  testsupport::TempDir dir;
  Bytes whole = Octahedron();
  ASSERT_EQ(LoadDamagedMesh(dir, whole), MeshOutcome::Loaded);
  for (std::size_t n = 0; n < whole.size(); ++n) {
    std::string out;
    EXPECT_EQ(LoadDamagedMesh(dir, Bytes(whole.begin(), whole.begin() + n), &out), MeshOutcome::Report) << n;
    EXPECT_THAT(out, testing::HasSubstr("Read past end of file")) << "cut at " << n;
  }
}

TEST(BadMeshFiles, MutatedCountsEndCleanly) {
  testsupport::TempDir dir;
  const std::int32_t counts[] = {0, -1, 1, 5, 7, 8, 9, 1000, 0x10000, INT_MAX, INT_MIN, INT_MAX / 12 + 1};
  for (int field = 0; field < 2; ++field) {
    for (std::int32_t count : counts) {
      Bytes bytes = Octahedron();
      PutAt(bytes, field * 4, count);
      MeshOutcome outcome = LoadDamagedMesh(dir, bytes);
      EXPECT_NE(outcome, MeshOutcome::Crash) << "field " << field << " count " << count;
    }
  }
}

TEST(BadMeshFiles, EveryOutOfRangeIndexIsRefused) {
  testsupport::TempDir dir;
  const std::int32_t bad[] = {-1, 6, INT_MAX, INT_MIN};
  for (std::size_t corner = 0; corner < 24; ++corner) {
    for (std::int32_t index : bad) {
      Bytes bytes = Octahedron();
      PutAt(bytes, 8 + 72 + corner * 4, index);
      std::string out;
      EXPECT_EQ(LoadDamagedMesh(dir, bytes, &out), MeshOutcome::Report) << corner << " " << index;
      EXPECT_THAT(out, testing::HasSubstr("Invalid mesh data")) << corner << " " << index;
    }
  }
}

TEST(BadMeshFiles, FlippedBytesEndCleanly) {
  testsupport::TempDir dir;
  std::mt19937 random(11);
  Bytes whole = Octahedron();
  for (int i = 0; i < 150; ++i) {
    Bytes bytes = whole;
    int flips = 1 + static_cast<int>(random() % 4);
    for (int k = 0; k < flips; ++k) bytes[random() % bytes.size()] ^= static_cast<std::uint8_t>(1u << (random() % 8));
    EXPECT_NE(LoadDamagedMesh(dir, bytes), MeshOutcome::Crash) << "case " << i;
  }
}

// ---- Pictures, through the texture loader over a recorder that reads every
// pixel OpenGL or GLU would be given ----

volatile unsigned pixelSum = 0;
void NoGen(GLsizei n, GLuint* names) {
  for (GLsizei i = 0; i < n; ++i) names[i] = 1;
}
void NoEnable(GLenum) {}
void NoBind(GLenum, GLuint) {}
void NoParam(GLenum, GLenum, GLint) {}
GLint ReadAll(GLenum, GLint components, GLint w, GLint h, GLenum, GLenum, const void* data) {
  if (components != 4 || w <= 0 || h <= 0 || !data) std::abort();
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  unsigned sum = 0;
  for (std::size_t i = 0; i < static_cast<std::size_t>(w) * h * 4; ++i) sum += bytes[i];
  pixelSum = sum;
  return 0;
}
void ReadLevel(GLenum target, GLint level, GLint components, GLsizei w, GLsizei h, GLint border, GLenum format,
               GLenum type, const void* data) {
  if (level < 0 || border != 0) std::abort();
  ReadAll(target, components, w, h, format, type, data);
}
void LargestSide(GLenum, GLint* value) { *value = 16384; }

enum class PictureOutcome { Loaded, Error, Crash };

PictureOutcome LoadDamagedPicture(const testsupport::TempDir& dir, const Bytes& bytes, const std::string& name) {
  std::string path = dir.File(name);
  WriteFile(path, bytes);
  auto result = testsupport::RunInChild([&] {
    gl::glGenTextures = NoGen;
    gl::glEnable = NoEnable;
    gl::glBindTexture = NoBind;
    gl::glTexParameteri = NoParam;
    gl::gluBuild2DMipmaps = ReadAll;
    gl::glTexImage2D = ReadLevel;
    gl::glGetIntegerv = LargestSide;
    std::uint32_t texture = 0;
    assets::LoadTexture(path, texture);
  });
  if (result.signal != 0 || result.exitCode != 0) return PictureOutcome::Crash;
  if (result.out.empty()) return PictureOutcome::Loaded;
  if (result.out == " ERROR \n") return PictureOutcome::Error;
  return PictureOutcome::Crash;
}

void SweepTruncations(const Bytes& whole, const std::string& name, bool everyCutIsAnError) {
  testsupport::TempDir dir;
  ASSERT_EQ(LoadDamagedPicture(dir, whole, name), PictureOutcome::Loaded) << name;
  for (std::size_t n = 0; n < whole.size(); ++n) {
    PictureOutcome outcome = LoadDamagedPicture(dir, Bytes(whole.begin(), whole.begin() + n), name);
    EXPECT_NE(outcome, PictureOutcome::Crash) << name << " cut at " << n;
    if (everyCutIsAnError) {
      EXPECT_EQ(outcome, PictureOutcome::Error) << name << " cut at " << n;
    }
  }
}

void SweepFlips(const Bytes& whole, const std::string& name, unsigned seed, int cases) {
  testsupport::TempDir dir;
  std::mt19937 random(seed);
  for (int i = 0; i < cases; ++i) {
    Bytes bytes = whole;
    int flips = 1 + static_cast<int>(random() % 6);
    for (int k = 0; k < flips; ++k) {
      std::size_t at = random() % bytes.size();
      bytes[at] = (random() % 3 == 0) ? static_cast<std::uint8_t>(random()) : bytes[at] ^ static_cast<std::uint8_t>(1u << (random() % 8));
    }
    EXPECT_NE(LoadDamagedPicture(dir, bytes, name), PictureOutcome::Crash) << name << " case " << i;
  }
}

Bytes Gradient(int width, int height, int channels) {
  Bytes p;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < channels; ++c) p.push_back(static_cast<std::uint8_t>((x * 37 + y * 11 + c * 60) & 255));
  return p;
}

// Run-length 32-bit TGA with both packet kinds: runs of a flat left half, raw right half.
Bytes RunLengthTga() {
  Bytes data;
  for (int y = 0; y < 8; ++y) {
    data.insert(data.end(), {0x83, 10, 20, 30, 255});
    data.push_back(0x03);
    for (int x = 0; x < 4; ++x) data.insert(data.end(), {std::uint8_t(x * 40), std::uint8_t(y * 30), 7, 128});
  }
  return assettest::TgaFile(10, 32, 0x28, 8, 8, data);
}

Bytes SixteenBitTga() {
  Bytes data;
  for (int i = 0; i < 64; ++i) assettest::Put16(data, (i * 997) & 0xFFFF);
  return assettest::TgaFile(2, 16, 0x01, 8, 8, data);
}

TEST(BadPictureFiles, TruncatedTgaIsAnErrorEveryTime) {
  SweepTruncations(RunLengthTga(), "rle.tga", true);
  SweepTruncations(SixteenBitTga(), "raw16.tga", true);
}

TEST(BadPictureFiles, FlippedTgaEndsCleanly) {
  SweepFlips(RunLengthTga(), "rle.tga", 1, 200);
  SweepFlips(SixteenBitTga(), "raw16.tga", 2, 100);
}

Bytes BaselineJpeg() {
  Bytes rgb = Gradient(16, 16, 3);
  return platform::EncodeJpeg(16, 16, 3, rgb.data(), 80);
}

TEST(BadPictureFiles, TruncatedAndFlippedBaselineJpegEndCleanly) {
  Bytes jpeg = BaselineJpeg();
  ASSERT_FALSE(jpeg.empty());
  SweepTruncations(jpeg, "cut.jpg", false);
  SweepFlips(jpeg, "flip.jpg", 3, 150);
}

TEST(BadPictureFiles, TruncatedAndFlippedProgressiveJpegEndCleanly) {
  if (testsupport::RunCommand("command -v convert").exitCode != 0) GTEST_SKIP() << "ImageMagick convert is missing";
  testsupport::TempDir dir;
  Bytes rgb = Gradient(16, 16, 3);
  ASSERT_TRUE(platform::WritePng(dir.File("s.png"), 16, 16, 3, rgb.data()));
  auto made = testsupport::RunCommand("convert '" + dir.File("s.png") + "' -interlace JPEG '" + dir.File("p.jpg") + "'");
  ASSERT_EQ(made.exitCode, 0) << made.err;
  Bytes jpeg = platform::ReadWholeFile(dir.File("p.jpg"));
  SweepTruncations(jpeg, "cut.jpg", false);
  SweepFlips(jpeg, "flip.jpg", 4, 150);
}

TEST(BadPictureFiles, FlippedPngEndsCleanly) {
  Bytes rgba = Gradient(8, 8, 4);
  Bytes png = platform::EncodePng(8, 8, 4, rgba.data());
  ASSERT_FALSE(png.empty());
  SweepTruncations(png, "cut.png", false);
  SweepFlips(png, "flip.png", 5, 150);
}

}  // namespace
