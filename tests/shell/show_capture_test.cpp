// The show through quillon-capture on the generated data set: the frames of
// every segment show what the segment draws (lit where something is drawn,
// black where the show leaves black), the same options give the same bytes,
// and the tool's own usage errors.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/image.h"
#include "support/temp_dir.h"

namespace {

std::string Tool() { return testsupport::BinaryDir() + "/tools/quillon-capture/quillon-capture"; }

std::string Data() {
  const char* given = std::getenv("QUILLON_SHOW_DATA");
  return given ? given : testsupport::BinaryDir() + "/show";
}

bool HaveShow() {
  return std::filesystem::exists(Tool()) && std::filesystem::exists(Data() + "/cam.3dw");
}

struct Picture {
  int width = 0, height = 0;
  std::vector<std::uint8_t> rgba;
  // The brightest channel in a rectangle (x, y from the top-left, inclusive).
  int Brightest(int x0, int y0, int x1, int y1) const {
    int most = 0;
    for (int y = y0; y <= y1; ++y) {
      for (int x = x0; x <= x1; ++x) {
        const std::uint8_t* p = &rgba[(static_cast<std::size_t>(y) * width + x) * 4];
        most = std::max({most, int{p[0]}, int{p[1]}, int{p[2]}});
      }
    }
    return most;
  }
};

Picture Load(const std::string& path) {
  Picture picture;
  platform::TextureImage* image = platform::txLoad(0, path.c_str(), 0);
  if (!image) {
    ADD_FAILURE() << "cannot read " << path;
    return picture;
  }
  picture.width = image->Width;
  picture.height = image->Height;
  picture.rgba.assign(image->Pixels, image->Pixels + static_cast<std::size_t>(image->Width) * image->Height * 4);
  platform::txFree(image);
  return picture;
}

std::string Capture(const std::string& options) {
  return testsupport::Join({"'", Tool(), "' --quiet --data '", Data(), "' ", options});
}

#define REQUIRE_SHOW()                                                                      \
  if (!HaveShow()) GTEST_SKIP() << "needs quillon-capture and the generated data set in " << Data()

TEST(ShowCapture, EverySegmentShowsWhatItShould) {
  REQUIRE_SHOW();
  testsupport::TempDir dir;
  // A: before the second title, and with all three; B: flight with its first
  // caption; C: dream layers; D: lens; E: video scene with its first
  // caption; F: the finale.
  const auto run = testsupport::RunCommand(
      Capture("--fps 20 --at 600000,1500000,2800000,5000000,7000000,9300000,12000000 --out '" + dir.path() + "'"));
  ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
  auto frame = [&](const char* name) { return Load(dir.File(name)); };

  const Picture a1 = frame("00600000.png");
  ASSERT_EQ(a1.width, 800);
  ASSERT_EQ(a1.height, 600);
  // Title rows in the -1..1 space: upper at y 0.66 (rows about 30..170),
  // middle at 0 (rows about 230..370), lower at -0.66.
  EXPECT_GT(a1.Brightest(150, 60, 650, 140), 60) << "the first title";
  EXPECT_LT(a1.Brightest(0, 280, 799, 320), 16) << "no second title before 730,000";
  const Picture a2 = frame("01500000.png");
  EXPECT_GT(a2.Brightest(150, 260, 650, 340), 60) << "the second title";
  EXPECT_GT(a2.Brightest(150, 460, 650, 540), 60) << "the third title";

  const Picture b = frame("02800000.png");
  EXPECT_GT(b.Brightest(0, 0, 799, 599), 60) << "the flight scene";
  EXPECT_GT(b.Brightest(472, 66, 728, 138), 60) << "follow1.tga";

  const Picture c = frame("05000000.png");
  for (auto [x, y] : {std::pair{100, 100}, {700, 500}, {400, 300}}) {
    EXPECT_GT(c.Brightest(x - 20, y - 20, x + 20, y + 20), 20) << "dream layers cover the frame at " << x << "," << y;
  }
  const Picture d = frame("07000000.png");
  for (auto [x, y] : {std::pair{20, 20}, {780, 580}, {400, 300}}) {
    EXPECT_GT(d.Brightest(x - 15, y - 15, x + 15, y + 15), 20) << "the lens grid covers the frame at " << x << "," << y;
  }
  const Picture e = frame("09300000.png");
  EXPECT_GT(e.Brightest(0, 0, 799, 599), 60) << "the video scene";
  EXPECT_GT(e.Brightest(472, 66, 728, 138), 40) << "party.tga";

  const Picture f = frame("12000000.png");
  EXPECT_EQ(f.Brightest(0, 0, 799, 43), 0) << "black bar on top";
  EXPECT_EQ(f.Brightest(0, 556, 799, 599), 0) << "black bar below";
  EXPECT_GT(f.Brightest(0, 44, 511, 555), 60) << "the feedback trail";
  EXPECT_GT(f.Brightest(512, 44, 799, 555), 60) << "the end scroller";
}

TEST(ShowCapture, TheSameOptionsGiveTheSameBytesAndASheet) {
  REQUIRE_SHOW();
  testsupport::TempDir first, second;
  for (const auto* dir : {&first, &second}) {
    const auto run = testsupport::RunCommand(Capture("--fps 10 --at 2400000 --out '" + dir->path() +
                                                     "' --sheet '" + dir->File("sheet.png") + "'"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
  }
  EXPECT_EQ(platform::ReadWholeFile(first.File("02400000.png")), platform::ReadWholeFile(second.File("02400000.png")));
  EXPECT_EQ(platform::ReadWholeFile(first.File("sheet.png")), platform::ReadWholeFile(second.File("sheet.png")));
  const Picture sheet = Load(first.File("sheet.png"));
  EXPECT_EQ(sheet.width, 216);
  EXPECT_EQ(sheet.height, 188);
}

TEST(ShowCapture, HelpAndUsageErrors) {
  if (!std::filesystem::exists(Tool())) GTEST_SKIP() << "quillon-capture is not built";
  auto help = testsupport::RunCommand(testsupport::Join({"'", Tool(), "' --help"}));
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("--sheet FILE.png"), std::string::npos);
  for (const char* bad : {"--fps 0 --out x", "--bogus", "--at 12,abc --out x", "--at 5", "--from 10 --to 5 --out x",
                          "--data /nonexistent --out x"}) {
    auto run = testsupport::RunCommand(testsupport::Join({"'", Tool(), "' ", bad}));
    EXPECT_EQ(run.exitCode, 2) << bad;
    EXPECT_NE(run.err.find("quillon-capture: "), std::string::npos) << bad;
  }
}

}  // namespace
