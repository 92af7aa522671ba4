// The image library: every picture kind the show and its tools use, decoded
// to RGBA top row first with the alpha flag the file declares.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <filesystem>
#include <thread>

#include "asset_files.h"
#include "platform/files.h"
#include "platform/image.h"
#include "platform/image_write.h"
#include "support/temp_dir.h"

namespace {

using assettest::Bytes;
using assettest::TgaFile;
using assettest::WriteFile;
using platform::TextureImage;

struct Loaded {
  TextureImage* image = nullptr;
  std::int32_t code = 0;
  ~Loaded() { platform::txFree(image); }
};

void Load(Loaded& out, const std::string& path) {
  out.image = platform::txLoad(0, path.c_str(), 0);
  out.code = platform::txGetErrorCode();
}

std::array<int, 4> Pixel(const TextureImage* image, int x, int y) {
  const std::uint8_t* p = image->Pixels + (static_cast<std::size_t>(y) * image->Width + x) * 4;
  return {p[0], p[1], p[2], p[3]};
}

// Six distinct colours, 3 wide and 2 high, top row first.
const Bytes kSix = {255, 0, 0, 0, 255, 0, 0, 0, 255, 10, 20, 30, 40, 50, 60, 70, 80, 90};

void ExpectSix(const TextureImage* image) {
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->Width, 3);
  EXPECT_EQ(image->Height, 2);
  EXPECT_EQ(image->DataSize, 3 * 2 * 4);
  EXPECT_EQ(image->LibraryOwned, 1);
  EXPECT_EQ(image->HasAlphaChannel, 0);
  for (int i = 0; i < 6; ++i) {
    std::array<int, 4> want = {kSix[i * 3], kSix[i * 3 + 1], kSix[i * 3 + 2], 255};
    EXPECT_EQ(Pixel(image, i % 3, i / 3), want) << "pixel " << i;
  }
}

class ImageLibrary : public ::testing::Test {
 protected:
  testsupport::TempDir dir;
  std::string Write(const std::string& name, const Bytes& bytes) {
    std::string path = dir.File(name);
    WriteFile(path, bytes);
    return path;
  }
};

TEST_F(ImageLibrary, TgaOfEitherVerticalOriginIsDeliveredTopRowFirst) {
  Loaded bottomUp, topDown;
  Load(bottomUp, Write("bottom.tga", assettest::Tga24(3, 2, kSix, true)));
  Load(topDown, Write("top.tga", assettest::Tga24(3, 2, kSix, false)));
  EXPECT_EQ(bottomUp.code, 0);
  ExpectSix(bottomUp.image);
  ExpectSix(topDown.image);
}

TEST_F(ImageLibrary, TgaStoredRightToLeftIsMirroredBack) {
  Bytes data;
  for (int r = 0; r < 2; ++r) {
    for (int c = 2; c >= 0; --c) {
      const std::uint8_t* p = &kSix[(r * 3 + c) * 3];
      data.insert(data.end(), {p[2], p[1], p[0]});
    }
  }
  Loaded loaded;
  Load(loaded, Write("rtl.tga", TgaFile(2, 24, 0x30, 3, 2, data)));
  ExpectSix(loaded.image);
}

TEST_F(ImageLibrary, RunLengthTgaWithPacketsCrossingRows) {
  // Bottom-up 3 x 2: a run of four pixels that spans both rows, then two raw ones.
  Bytes data = {0x83, 30, 20, 10, 0x01, 1, 2, 3, 4, 5, 6};
  Loaded loaded;
  Load(loaded, Write("rle.tga", TgaFile(10, 24, 0, 3, 2, data)));
  ASSERT_NE(loaded.image, nullptr);
  // File order is the bottom row first: bottom row = run, run, run; top row = run, raw, raw.
  std::array<int, 4> run = {10, 20, 30, 255};
  for (int x = 0; x < 3; ++x) EXPECT_EQ(Pixel(loaded.image, x, 1), run);
  EXPECT_EQ(Pixel(loaded.image, 0, 0), run);
  EXPECT_EQ(Pixel(loaded.image, 1, 0), (std::array<int, 4>{3, 2, 1, 255}));
  EXPECT_EQ(Pixel(loaded.image, 2, 0), (std::array<int, 4>{6, 5, 4, 255}));
}

TEST_F(ImageLibrary, SixteenBitTgaHonoursItsAttributeBit) {
  // 0x7C00 pure red, 0x03E0 pure green, 0x001F blue, 0x4210 mid grey (16 of 31).
  auto pixels = [](bool attribute) {
    Bytes d;
    for (int v : {0x7C00, 0x03E0, 0x001F, 0x4210}) assettest::Put16(d, v | (attribute ? 0x8000 : 0));
    return d;
  };
  Loaded opaque, withAlpha, cleared, runLength;
  Load(opaque, Write("a.tga", TgaFile(2, 16, 0x20, 4, 1, pixels(false))));
  Load(withAlpha, Write("b.tga", TgaFile(2, 16, 0x21, 4, 1, pixels(true))));
  Load(cleared, Write("c.tga", TgaFile(2, 16, 0x21, 4, 1, pixels(false))));
  Bytes rle = {0x83};
  assettest::Put16(rle, 0x7C00);
  Load(runLength, Write("d.tga", TgaFile(10, 16, 0x20, 4, 1, rle)));
  ASSERT_NE(opaque.image, nullptr);
  ASSERT_NE(withAlpha.image, nullptr);
  ASSERT_NE(cleared.image, nullptr);
  ASSERT_NE(runLength.image, nullptr);

  EXPECT_EQ(opaque.image->HasAlphaChannel, 0);
  EXPECT_EQ(Pixel(opaque.image, 0, 0), (std::array<int, 4>{255, 0, 0, 255}));
  EXPECT_EQ(Pixel(opaque.image, 1, 0), (std::array<int, 4>{0, 255, 0, 255}));
  EXPECT_EQ(Pixel(opaque.image, 2, 0), (std::array<int, 4>{0, 0, 255, 255}));
  EXPECT_EQ(Pixel(opaque.image, 3, 0), (std::array<int, 4>{132, 132, 132, 255}));

  EXPECT_EQ(withAlpha.image->HasAlphaChannel, 1);
  EXPECT_EQ(Pixel(withAlpha.image, 0, 0), (std::array<int, 4>{255, 0, 0, 255}));
  EXPECT_EQ(cleared.image->HasAlphaChannel, 1);
  EXPECT_EQ(Pixel(cleared.image, 2, 0), (std::array<int, 4>{0, 0, 255, 0}));

  for (int x = 0; x < 4; ++x) EXPECT_EQ(Pixel(runLength.image, x, 0), (std::array<int, 4>{255, 0, 0, 255}));
}

TEST_F(ImageLibrary, ThirtyTwoBitTgaKeepsItsAlpha) {
  Bytes data = {1, 2, 3, 0, 4, 5, 6, 128};  // BGRA, bottom-up, 2 x 1
  Loaded loaded, runLength;
  Load(loaded, Write("a.tga", TgaFile(2, 32, 8, 2, 1, data)));
  Load(runLength, Write("b.tga", TgaFile(10, 32, 8, 2, 1, Bytes{0x81, 9, 8, 7, 6})));
  ASSERT_NE(loaded.image, nullptr);
  ASSERT_NE(runLength.image, nullptr);
  EXPECT_EQ(loaded.image->HasAlphaChannel, 1);
  EXPECT_EQ(Pixel(loaded.image, 0, 0), (std::array<int, 4>{3, 2, 1, 0}));
  EXPECT_EQ(Pixel(loaded.image, 1, 0), (std::array<int, 4>{6, 5, 4, 128}));
  EXPECT_EQ(Pixel(runLength.image, 1, 0), (std::array<int, 4>{7, 8, 9, 6}));
  EXPECT_EQ(runLength.image->HasAlphaChannel, 1);
}

TEST_F(ImageLibrary, GreyTgaRawAndRunLength) {
  Loaded raw, rle, greyAlpha;
  Load(raw, Write("a.tga", TgaFile(3, 8, 0x20, 2, 1, Bytes{7, 200})));
  Load(rle, Write("b.tga", TgaFile(11, 8, 0x20, 3, 1, Bytes{0x82, 99})));
  Load(greyAlpha, Write("c.tga", TgaFile(3, 16, 0x28, 1, 1, Bytes{50, 60})));
  ASSERT_NE(raw.image, nullptr);
  ASSERT_NE(rle.image, nullptr);
  ASSERT_NE(greyAlpha.image, nullptr);
  EXPECT_EQ(raw.image->HasAlphaChannel, 0);
  EXPECT_EQ(Pixel(raw.image, 1, 0), (std::array<int, 4>{200, 200, 200, 255}));
  EXPECT_EQ(Pixel(rle.image, 2, 0), (std::array<int, 4>{99, 99, 99, 255}));
  EXPECT_EQ(greyAlpha.image->HasAlphaChannel, 1);
  EXPECT_EQ(Pixel(greyAlpha.image, 0, 0), (std::array<int, 4>{50, 50, 50, 60}));
}

TEST_F(ImageLibrary, TgaImageIdAndColourMapAreSkipped) {
  Bytes file = TgaFile(2, 24, 0x20, 1, 1, Bytes{1, 2, 3}, "an id");
  // Declare an unused colour map of two 24-bit entries in front of the pixels.
  file[1] = 1;
  file[5] = 2;
  file[7] = 24;
  file.insert(file.begin() + 18 + 5, {0, 0, 0, 0, 0, 0});
  Loaded loaded;
  Load(loaded, Write("id.tga", file));
  ASSERT_NE(loaded.image, nullptr);
  EXPECT_EQ(Pixel(loaded.image, 0, 0), (std::array<int, 4>{3, 2, 1, 255}));
}

TEST_F(ImageLibrary, ColourMappedTga) {
  Bytes file = TgaFile(1, 8, 0x20, 2, 1, Bytes{});
  file[1] = 1;
  file[5] = 2;  // two entries
  file[7] = 24;
  file.insert(file.end(), {0, 0, 255, 255, 0, 0});  // entry 0 red, entry 1 blue (BGR)
  file.insert(file.end(), {1, 0});
  Loaded loaded;
  Load(loaded, Write("map.tga", file));
  ASSERT_NE(loaded.image, nullptr);
  EXPECT_EQ(Pixel(loaded.image, 0, 0), (std::array<int, 4>{0, 0, 255, 255}));
  EXPECT_EQ(Pixel(loaded.image, 1, 0), (std::array<int, 4>{255, 0, 0, 255}));
  EXPECT_EQ(loaded.image->HasAlphaChannel, 0);
}

// Top half red, bottom half blue, 16 x 16, RGB.
Bytes RedOverBlue() {
  Bytes rgb;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) rgb.insert(rgb.end(), {std::uint8_t(y < 8 ? 250 : 0), 0, std::uint8_t(y < 8 ? 0 : 250)});
  return rgb;
}

void ExpectRedOverBlue(const TextureImage* image) {
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->Width, 16);
  EXPECT_EQ(image->Height, 16);
  EXPECT_EQ(image->HasAlphaChannel, 0);
  std::array<int, 4> top = Pixel(image, 8, 1), bottom = Pixel(image, 8, 14);
  EXPECT_GT(top[0], 200);
  EXPECT_LT(top[2], 50);
  EXPECT_GT(bottom[2], 200);
  EXPECT_LT(bottom[0], 50);
  EXPECT_EQ(top[3], 255);
}

bool HasMarker(const std::string& path, std::uint8_t second) {
  Bytes bytes = platform::ReadWholeFile(path);
  for (std::size_t i = 0; i + 1 < bytes.size(); ++i)
    if (bytes[i] == 0xFF && bytes[i + 1] == second) return true;
  return false;
}

TEST_F(ImageLibrary, BaselineJpeg) {
  Bytes rgb = RedOverBlue();
  std::string path = dir.File("base.jpg");
  ASSERT_TRUE(platform::WriteJpeg(path, 16, 16, 3, rgb.data(), 95));
  Loaded loaded;
  Load(loaded, path);
  ExpectRedOverBlue(loaded.image);
}

TEST_F(ImageLibrary, ProgressiveJpeg) {
  Bytes rgb = RedOverBlue();
  std::string source = dir.File("source.png"), path = dir.File("prog.jpg");
  ASSERT_TRUE(platform::WritePng(source, 16, 16, 3, rgb.data()));
  if (testsupport::RunCommand("command -v convert").exitCode != 0) GTEST_SKIP() << "ImageMagick convert is missing";
  auto made = testsupport::RunCommand("convert '" + source + "' -interlace JPEG -quality 95 '" + path + "'");
  ASSERT_EQ(made.exitCode, 0) << made.err;
  ASSERT_TRUE(HasMarker(path, 0xC2)) << "convert wrote no progressive frame";
  Loaded loaded;
  Load(loaded, path);
  ExpectRedOverBlue(loaded.image);
}

TEST_F(ImageLibrary, PngAlphaAsTheFileDeclaresIt) {
  const std::uint8_t rgba[] = {10, 20, 30, 40, 50, 60, 70, 80};
  const std::uint8_t rgb[] = {10, 20, 30, 50, 60, 70};
  const std::uint8_t greyAlpha[] = {90, 7, 91, 8};
  ASSERT_TRUE(platform::WritePng(dir.File("rgba.png"), 2, 1, 4, rgba));
  ASSERT_TRUE(platform::WritePng(dir.File("rgb.png"), 2, 1, 3, rgb));
  ASSERT_TRUE(platform::WritePng(dir.File("ga.png"), 2, 1, 2, greyAlpha));
  Loaded a, b, c;
  Load(a, dir.File("rgba.png"));
  Load(b, dir.File("rgb.png"));
  Load(c, dir.File("ga.png"));
  ASSERT_NE(a.image, nullptr);
  ASSERT_NE(b.image, nullptr);
  ASSERT_NE(c.image, nullptr);
  EXPECT_EQ(a.image->HasAlphaChannel, 1);
  EXPECT_EQ(Pixel(a.image, 1, 0), (std::array<int, 4>{50, 60, 70, 80}));
  EXPECT_EQ(b.image->HasAlphaChannel, 0);
  EXPECT_EQ(Pixel(b.image, 1, 0), (std::array<int, 4>{50, 60, 70, 255}));
  EXPECT_EQ(c.image->HasAlphaChannel, 1);
  EXPECT_EQ(Pixel(c.image, 1, 0), (std::array<int, 4>{91, 91, 91, 8}));
}

TEST_F(ImageLibrary, PngWithTransparencyChunkCountsAsAlpha) {
  const std::uint8_t rgb[] = {10, 20, 30, 50, 60, 70};
  Bytes png = platform::EncodePng(2, 1, 3, rgb);
  ASSERT_GT(png.size(), 33u);
  // tRNS for RGB: the colour (10, 20, 30) is fully transparent. Placed right
  // after IHDR (8 signature bytes + 25 bytes of IHDR chunk).
  Bytes chunk = {0, 0, 0, 6, 't', 'R', 'N', 'S', 0, 10, 0, 20, 0, 30, 0, 0, 0, 0};
  png.insert(png.begin() + 33, chunk.begin(), chunk.end());
  Loaded loaded;
  Load(loaded, Write("trns.png", png));
  ASSERT_NE(loaded.image, nullptr);
  EXPECT_EQ(loaded.image->HasAlphaChannel, 1);
  EXPECT_EQ(Pixel(loaded.image, 0, 0)[3], 0);
  EXPECT_EQ(Pixel(loaded.image, 1, 0)[3], 255);
}

TEST_F(ImageLibrary, BmpBottomUpIsDeliveredTopRowFirst) {
  // 2 x 2, 24 bits, rows padded to 8 bytes, bottom row first.
  Bytes b = {'B', 'M'};
  assettest::Put32(b, 54 + 16);
  assettest::Put32(b, 0);
  assettest::Put32(b, 54);
  assettest::Put32(b, 40);
  assettest::Put32(b, 2);
  assettest::Put32(b, 2);
  assettest::Put16(b, 1);
  assettest::Put16(b, 24);
  for (int i = 0; i < 6; ++i) assettest::Put32(b, 0);
  b.insert(b.end(), {255, 0, 0, 255, 0, 0, 0, 0});  // bottom: blue, blue
  b.insert(b.end(), {0, 0, 255, 0, 0, 255, 0, 0});  // top: red, red
  Loaded loaded;
  Load(loaded, Write("p.bmp", b));
  ASSERT_NE(loaded.image, nullptr);
  EXPECT_EQ(loaded.image->HasAlphaChannel, 0);
  EXPECT_EQ(Pixel(loaded.image, 0, 0), (std::array<int, 4>{255, 0, 0, 255}));
  EXPECT_EQ(Pixel(loaded.image, 1, 1), (std::array<int, 4>{0, 0, 255, 255}));
}

TEST_F(ImageLibrary, ErrorCodes) {
  Loaded missing, missingFolder, garbage, empty, folder, good;
  Load(missing, dir.File("nothing.tga"));
  Load(missingFolder, dir.File("none/nothing.tga"));
  Load(garbage, Write("text.tga", Bytes{'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'}));
  Load(empty, Write("empty.jpg", Bytes{}));
  Load(folder, dir.path());
  EXPECT_EQ(missing.image, nullptr);
  EXPECT_EQ(missing.code, platform::kImageFileNotFound);
  EXPECT_EQ(missingFolder.code, platform::kImageFileNotFound);
  EXPECT_EQ(garbage.image, nullptr);
  EXPECT_EQ(garbage.code, platform::kImageUnsupported);
  EXPECT_EQ(empty.image, nullptr);
  EXPECT_EQ(empty.code, platform::kImageUnsupported);
  EXPECT_EQ(folder.image, nullptr);
  EXPECT_NE(folder.code, 0);
  EXPECT_NE(folder.code, platform::kImageFileNotFound);
  Load(good, Write("good.tga", assettest::Tga24(3, 2, kSix, true)));
  EXPECT_EQ(good.code, 0) << "a successful load clears the previous error";
}

// A named pipe has no size to stat: the picture is read as it comes.
TEST_F(ImageLibrary, PicturesFromAPipe) {
  const std::string fifo = dir.File("pipe.tga");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const Bytes whole = assettest::Tga24(3, 2, kSix, true);
  for (std::size_t size : {whole.size(), whole.size() - 1}) {
    std::thread writer([&] {
      int fd = open(fifo.c_str(), O_WRONLY);
      if (fd < 0) return;
      if (write(fd, whole.data(), size) != static_cast<ssize_t>(size)) std::abort();
      close(fd);
    });
    Loaded loaded;
    Load(loaded, fifo);
    writer.join();
    if (size == whole.size()) {
      ExpectSix(loaded.image);
    } else {
      EXPECT_EQ(loaded.image, nullptr);
      EXPECT_EQ(loaded.code, platform::kImageUnsupported) << "a pipe that ends early";
    }
  }
}

TEST_F(ImageLibrary, BackslashIsAPathSeparator) {
  std::filesystem::create_directory(dir.File("pics"));
  WriteFile(dir.File("pics/six.tga"), assettest::Tga24(3, 2, kSix, true));
  Loaded loaded;
  Load(loaded, dir.path() + "\\pics\\six.tga");
  ExpectSix(loaded.image);
}

TEST_F(ImageLibrary, OversizedOrShortTgaIsRefused) {
  Loaded wide, shortRaw, shortRle;
  Load(wide, Write("wide.tga", TgaFile(10, 24, 0, 9000, 1, Bytes{0xFF, 1, 2, 3})));
  // 8192 x 8192 claimed by a file of a few bytes: refused without decoding.
  Load(shortRle, Write("rle.tga", TgaFile(10, 32, 8, 8192, 8192, Bytes{0xFF, 1, 2, 3, 4})));
  Load(shortRaw, Write("raw.tga", TgaFile(2, 24, 0, 4, 4, Bytes(47, 1))));
  EXPECT_EQ(wide.image, nullptr);
  EXPECT_EQ(wide.code, platform::kImageUnsupported);
  EXPECT_EQ(shortRle.image, nullptr);
  EXPECT_EQ(shortRaw.image, nullptr);
  EXPECT_EQ(shortRaw.code, platform::kImageUnsupported);
}

TEST_F(ImageLibrary, JpegWithOverfullHuffmanTableIsRefused) {
  // Symbol counts adding up to more than the 256 a table can hold; the
  // decoder underneath would write past its tables (seen under AddressSanitizer).
  Bytes rgb = RedOverBlue();
  Bytes jpeg = platform::EncodeJpeg(16, 16, 3, rgb.data(), 90);
  std::size_t dht = 0;
  for (std::size_t i = 2; i + 1 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC4) {
      dht = i;
      break;
    }
  }
  ASSERT_NE(dht, 0u);
  for (int k = 0; k < 16; ++k) jpeg[dht + 5 + k] = 0x40;
  Loaded loaded;
  Load(loaded, Write("dht.jpg", jpeg));
  EXPECT_EQ(loaded.image, nullptr);
  EXPECT_EQ(loaded.code, platform::kImageUnsupported);
}

TEST_F(ImageLibrary, JpegScanNamingAnUndefinedTableIsRefused) {
  Bytes rgb = RedOverBlue();
  Bytes jpeg = platform::EncodeJpeg(16, 16, 3, rgb.data(), 90);
  std::size_t sos = 0;
  for (std::size_t i = 2; i + 1 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA) {
      sos = i;
      break;
    }
  }
  ASSERT_NE(sos, 0u);
  jpeg[sos + 6] = 0x33;  // first component: DC and AC table 3, which the file never defines
  Loaded loaded;
  Load(loaded, Write("sos.jpg", jpeg));
  EXPECT_EQ(loaded.image, nullptr);
  EXPECT_EQ(loaded.code, platform::kImageUnsupported);
}

TEST_F(ImageLibrary, ConcurrentDecodesKeepTheirOwnErrorCodes) {
  std::string good = Write("good.tga", assettest::Tga24(3, 2, kSix, true));
  std::string bad = Write("bad.tga", Bytes{1, 2, 3});
  std::string missing = dir.File("missing.tga");
  Bytes rgb = RedOverBlue();
  std::string jpeg = dir.File("j.jpg");
  ASSERT_TRUE(platform::WriteJpeg(jpeg, 16, 16, 3, rgb.data(), 90));
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 6; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 150; ++i) {
        int which = (i + t) % 4;
        const std::string& name = which == 0 ? good : which == 1 ? bad : which == 2 ? missing : jpeg;
        TextureImage* image = platform::txLoad(0, name.c_str(), 0);
        std::int32_t code = platform::txGetErrorCode();
        bool ok = false;
        if (which == 0) ok = image && code == 0 && image->Width == 3 && image->Pixels[0] == 255;
        if (which == 1) ok = !image && code == platform::kImageUnsupported;
        if (which == 2) ok = !image && code == platform::kImageFileNotFound;
        if (which == 3) ok = image && code == 0 && image->Width == 16 && image->Pixels[0] > 200;
        if (!ok) ++wrong;
        platform::txFree(image);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
