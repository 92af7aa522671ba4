// Damaged files: a real mesh and real pictures, truncated at every offset and
// with flipped bytes and mutated counts. Every case runs in a child of its
// own and must end with the unhandled-error report or a clean " ERROR "
// line, never a crash. A picture that ends before its pixels do is refused
// as unsupported, never decoded with made-up rows.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <random>

#include "asset_files.h"
#include "assets/mesh.h"
#include "assets/texture.h"
#include "platform/files.h"
#include "platform/gl.h"
#include "platform/image.h"
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

// The image library's own verdict, in this process.
std::int32_t ImageLibraryCode(const testsupport::TempDir& dir, const Bytes& bytes, const std::string& name) {
  const std::string path = dir.File(name);
  WriteFile(path, bytes);
  platform::TextureImage* image = platform::txLoad(0, path.c_str(), 0);
  const std::int32_t code = platform::txGetErrorCode();
  if (image) {
    platform::txFree(image);
    return 0;
  }
  return code;
}

// Every cut of the file that loses pixel bytes, from nothing to one byte
// short of the last pixel, is refused as an unsupported picture (a cut that
// only loses what follows the last pixel, such as the last row's padding, is
// not); the texture loader, each run in a child, reports the cuts cleanly
// (every one of a small file's, a spread of a larger one's and always the
// last few).
void SweepTruncations(const Bytes& whole, const std::string& name, std::size_t pixelsEnd = 0) {
  testsupport::TempDir dir;
  ASSERT_EQ(LoadDamagedPicture(dir, whole, name), PictureOutcome::Loaded) << name;
  if (pixelsEnd == 0) pixelsEnd = whole.size();
  for (std::size_t n = pixelsEnd; n < whole.size(); ++n) {
    EXPECT_EQ(ImageLibraryCode(dir, Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n)), name), 0)
        << name << " cut at " << n << " holds every pixel";
  }
  const std::size_t step = std::max<std::size_t>(1, pixelsEnd / 160);
  for (std::size_t n = 0; n < pixelsEnd; ++n) {
    const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
    EXPECT_EQ(ImageLibraryCode(dir, cut, name), platform::kImageUnsupported) << name << " cut at " << n;
    if (n % step == 0 || n + 16 >= pixelsEnd) {
      EXPECT_EQ(LoadDamagedPicture(dir, cut, name), PictureOutcome::Error) << name << " cut at " << n;
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
  SweepTruncations(RunLengthTga(), "rle.tga");
  SweepTruncations(SixteenBitTga(), "raw16.tga");
}

TEST(BadPictureFiles, FlippedTgaEndsCleanly) {
  SweepFlips(RunLengthTga(), "rle.tga", 1, 200);
  SweepFlips(SixteenBitTga(), "raw16.tga", 2, 100);
}

Bytes BaselineJpeg() {
  Bytes rgb = Gradient(16, 16, 3);
  return platform::EncodeJpeg(16, 16, 3, rgb.data(), 80);
}

TEST(BadPictureFiles, TruncatedBaselineJpegIsAnErrorEveryTimeAndFlippedEndsCleanly) {
  Bytes jpeg = BaselineJpeg();
  ASSERT_FALSE(jpeg.empty());
  SweepTruncations(jpeg, "cut.jpg");
  SweepFlips(jpeg, "flip.jpg", 3, 150);
}

TEST(BadPictureFiles, TruncatedProgressiveJpegIsAnErrorEveryTimeAndFlippedEndsCleanly) {
  if (testsupport::RunCommand("command -v convert").exitCode != 0) GTEST_SKIP() << "ImageMagick convert is missing";
  testsupport::TempDir dir;
  Bytes rgb = Gradient(16, 16, 3);
  ASSERT_TRUE(platform::WritePng(dir.File("s.png"), 16, 16, 3, rgb.data()));
  auto made = testsupport::RunCommand("convert '" + dir.File("s.png") + "' -interlace JPEG '" + dir.File("p.jpg") + "'");
  ASSERT_EQ(made.exitCode, 0) << made.err;
  Bytes jpeg = platform::ReadWholeFile(dir.File("p.jpg"));
  SweepTruncations(jpeg, "cut.jpg");
  SweepFlips(jpeg, "flip.jpg", 4, 150);
}

TEST(BadPictureFiles, TruncatedPngIsAnErrorEveryTimeAndFlippedEndsCleanly) {
  Bytes rgba = Gradient(8, 8, 4);
  Bytes png = platform::EncodePng(8, 8, 4, rgba.data());
  ASSERT_FALSE(png.empty());
  SweepTruncations(png, "cut.png");
  SweepFlips(png, "flip.png", 5, 150);
}

std::size_t BmpRowBytes(int width, int bitsPerPixel) { return (static_cast<std::size_t>(width) * bitsPerPixel + 7) / 8; }
std::size_t BmpPadding(int width, int bitsPerPixel) { return (4 - BmpRowBytes(width, bitsPerPixel) % 4) % 4; }

// Rows padded to four bytes, stored bottom row first unless the height is
// negative.
Bytes BmpRows(int width, int height, int bitsPerPixel) {
  const std::size_t rowBytes = BmpRowBytes(width, bitsPerPixel);
  const std::size_t stride = rowBytes + BmpPadding(width, bitsPerPixel);
  Bytes rows;
  for (int y = 0; y < std::abs(height); ++y) {
    for (std::size_t i = 0; i < stride; ++i) rows.push_back(i < rowBytes ? static_cast<std::uint8_t>((y * 31 + i * 7) & 255) : 0);
  }
  return rows;
}

TEST(BadPictureFiles, TruncatedBmpIsAnErrorEveryTimeAndFlippedEndsCleanly) {
  Bytes palette;
  for (int i = 0; i < 256; ++i) palette.insert(palette.end(), {std::uint8_t(i), std::uint8_t(255 - i), std::uint8_t(i / 2), 0});
  struct Kind {
    Bytes file;
    std::size_t padding;  // after the last pixel
  };
  const Kind kinds[] = {
      {assettest::BmpFile(5, 4, 24, BmpRows(5, 4, 24)), BmpPadding(5, 24)},  // rows padded from 15 to 16 bytes
      {assettest::BmpFile(6, -3, 8, BmpRows(6, -3, 8), palette), BmpPadding(6, 8)},  // top row first, a full palette
      {assettest::BmpFile(7, 2, 4, BmpRows(7, 2, 4), Bytes(palette.begin(), palette.begin() + 64)), BmpPadding(7, 4)},
      {assettest::BmpFile(3, 3, 32, BmpRows(3, 3, 32), {}, {0xFF0000u, 0xFF00u, 0xFFu}), 0},  // bit fields
  };
  for (const Kind& kind : kinds) {
    SweepTruncations(kind.file, "cut.bmp", kind.file.size() - kind.padding);
    SweepFlips(kind.file, "flip.bmp", 6, 40);
  }
}

// The big-endian CRC-32 a PNG chunk ends with, over its type and data.
std::uint32_t PngCrc(const std::uint8_t* p, std::size_t n) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < n; ++i) {
    crc ^= p[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return crc ^ 0xFFFFFFFFu;
}

void PutBigEndian(Bytes& b, std::size_t at, std::uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * (bytes - 1 - i)));
}

TEST(BadPictureFiles, HeadersClaimingMorePixelsThanTheFileHoldsAreRefused) {
  testsupport::TempDir dir;
  std::vector<std::pair<std::string, Bytes>> claims;
  // 8000 x 8000 at 24 bits over 200 KB of rows.
  claims.emplace_back("big.bmp", assettest::BmpFile(8000, 8000, 24, Bytes(200 * 1024, 0x55)));
  claims.emplace_back("tall.bmp", assettest::BmpFile(4, 300, 8, Bytes(4 * 299, 1), Bytes(1024, 9)));  // a row short
  // A 16 x 16 PNG whose header says 8000 x 8000, with a good checksum.
  Bytes png = platform::EncodePng(16, 16, 3, Gradient(16, 16, 3).data());
  ASSERT_EQ(std::string(png.begin() + 12, png.begin() + 16), "IHDR");
  PutBigEndian(png, 16, 8000, 4);
  PutBigEndian(png, 20, 8000, 4);
  PutBigEndian(png, 29, PngCrc(png.data() + 12, 17), 4);
  claims.emplace_back("big.png", png);
  // A 16 x 16 JPEG whose frame header says 8000 x 8000.
  Bytes jpeg = BaselineJpeg();
  std::size_t frame = 2;
  while (frame + 9 < jpeg.size() && !(jpeg[frame] == 0xFF && jpeg[frame + 1] == 0xC0)) ++frame;
  ASSERT_LT(frame + 9, jpeg.size());
  PutBigEndian(jpeg, frame + 5, 8000, 2);
  PutBigEndian(jpeg, frame + 7, 8000, 2);
  claims.emplace_back("big.jpg", jpeg);
  for (const auto& [name, bytes] : claims) {
    EXPECT_EQ(ImageLibraryCode(dir, bytes, name), platform::kImageUnsupported) << name;
    EXPECT_EQ(LoadDamagedPicture(dir, bytes, name), PictureOutcome::Error) << name;
  }
}

}  // namespace
