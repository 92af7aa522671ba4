// Picture writers read back through the image library the show decodes with.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/image.h"
#include "platform/image_write.h"
#include "support/temp_dir.h"

namespace {

// A picture whose every pixel differs from its neighbours, so a flipped,
// mirrored or shifted read-back cannot pass.
std::vector<std::uint8_t> Pattern(int w, int h, int channels) {
  std::vector<std::uint8_t> p(static_cast<std::size_t>(w) * h * channels);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < channels; ++c)
        p[(static_cast<std::size_t>(y) * w + x) * channels + c] = static_cast<std::uint8_t>(x * 7 + y * 31 + c * 60);
  return p;
}

struct Decoded {
  int width = 0, height = 0;
  bool alpha = false;
  std::vector<std::uint8_t> rgba;
};

Decoded Read(const std::string& path) {
  Decoded d;
  platform::TextureImage* image = platform::txLoad(0, path.c_str(), 0);
  if (!image) return d;
  d.width = image->Width;
  d.height = image->Height;
  d.alpha = image->HasAlphaChannel != 0;
  d.rgba.assign(image->Pixels, image->Pixels + static_cast<std::size_t>(d.width) * d.height * 4);
  platform::txFree(image);
  return d;
}

void ExpectSamePixels(const Decoded& d, const std::vector<std::uint8_t>& src, int channels, int tolerance) {
  int worst = 0;
  for (std::size_t i = 0; i < static_cast<std::size_t>(d.width) * d.height; ++i)
    for (int c = 0; c < 3; ++c)
      worst = std::max(worst, std::abs(int(d.rgba[i * 4 + c]) - int(src[i * channels + c])));
  EXPECT_LE(worst, tolerance);
  if (channels == 4) {
    for (std::size_t i = 0; i < static_cast<std::size_t>(d.width) * d.height; ++i) {
      ASSERT_EQ(d.rgba[i * 4 + 3], src[i * 4 + 3]) << "alpha of pixel " << i;
    }
  }
}

TEST(ImageWrite, TgaPlainAndRunLengthReadBackExactlyTopRowFirst) {
  testsupport::TempDir dir;
  for (int channels : {3, 4})
    for (bool rle : {false, true}) {
      auto src = Pattern(37, 23, channels);
      std::string path = dir.File(testsupport::Join({"p", std::to_string(channels), rle ? "r" : "u", ".tga"}));
      ASSERT_TRUE(platform::WriteTga(path, 37, 23, channels, src.data(), rle));
      Decoded d = Read(path);
      ASSERT_EQ(d.width, 37);
      ASSERT_EQ(d.height, 23);
      EXPECT_EQ(d.alpha, channels == 4);
      ExpectSamePixels(d, src, channels, 0);
    }
}

TEST(ImageWrite, RunLengthShrinksFlatPictures) {
  std::vector<std::uint8_t> flat(64 * 64 * 3, 9);
  auto plain = platform::EncodeTga(64, 64, 3, flat.data(), false);
  auto packed = platform::EncodeTga(64, 64, 3, flat.data(), true);
  EXPECT_EQ(plain.size(), 18u + 64 * 64 * 3) << "the 18-byte header, then the pixels";
  EXPECT_LT(packed.size(), plain.size() / 10);
}

TEST(ImageWrite, PngIsLosslessAndJpegClose) {
  testsupport::TempDir dir;
  auto src = Pattern(64, 48, 4);
  ASSERT_TRUE(platform::WritePng(dir.File("a.png"), 64, 48, 4, src.data()));
  Decoded png = Read(dir.File("a.png"));
  ASSERT_EQ(png.width, 64);
  EXPECT_TRUE(png.alpha);
  ExpectSamePixels(png, src, 4, 0);

  // A smooth picture survives JPEG at high quality within a few steps.
  std::vector<std::uint8_t> smooth(64 * 48 * 3);
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x)
      for (int c = 0; c < 3; ++c) smooth[(y * 64 + x) * 3 + c] = static_cast<std::uint8_t>(x * 2 + y + c * 40);
  ASSERT_TRUE(platform::WriteJpeg(dir.File("a.jpg"), 64, 48, 3, smooth.data(), 95));
  Decoded jpg = Read(dir.File("a.jpg"));
  ASSERT_EQ(jpg.height, 48);
  EXPECT_FALSE(jpg.alpha);
  ExpectSamePixels(jpg, smooth, 3, 12);
  // A lower quality gives a smaller file.
  EXPECT_LT(platform::EncodeJpeg(64, 48, 3, src.data(), 30).size(), platform::EncodeJpeg(64, 48, 3, src.data(), 95).size());
}

TEST(ImageWrite, SamePixelsGiveSameBytes) {
  auto src = Pattern(50, 40, 4);
  EXPECT_EQ(platform::EncodePng(50, 40, 4, src.data()), platform::EncodePng(50, 40, 4, src.data()));
  EXPECT_EQ(platform::EncodeJpeg(50, 40, 4, src.data(), 80), platform::EncodeJpeg(50, 40, 4, src.data(), 80));
  // The run-length option of one call does not leak into the next.
  auto plain = platform::EncodeTga(50, 40, 4, src.data(), false);
  platform::EncodeTga(50, 40, 4, src.data(), true);
  EXPECT_EQ(platform::EncodeTga(50, 40, 4, src.data(), false), plain);
}

TEST(ImageWrite, RefusesPicturesItCannotEncodeAndWritesNothing) {
  testsupport::TempDir dir;
  auto src = Pattern(4, 4, 4);
  EXPECT_TRUE(platform::EncodeTga(0, 4, 4, src.data(), false).empty());
  EXPECT_TRUE(platform::EncodePng(4, -1, 4, src.data()).empty());
  EXPECT_TRUE(platform::EncodeJpeg(4, 4, 5, src.data(), 90).empty());
  EXPECT_TRUE(platform::EncodeJpeg(4, 4, 3, src.data(), 0).empty());
  EXPECT_TRUE(platform::EncodeTga(70000, 1, 3, src.data(), false).empty());
  EXPECT_TRUE(platform::EncodePng(4, 4, 4, nullptr).empty());
  EXPECT_FALSE(platform::WritePng(dir.File("none.png"), 0, 0, 4, src.data()));
  EXPECT_TRUE(platform::FindFiles(dir.path(), "*").empty());
}

}  // namespace
