// quillon-capture as a tool: the same options give the same bytes, the
// loading frames on their own, and its usage errors. What the frames show is
// checked against the show's reference frames (reference_frames_test.cpp).
#include <gtest/gtest.h>

#include <algorithm>
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

TEST(ShowCapture, LoadingAloneWritesTheSixLoadingFramesAndNothingElse) {
  REQUIRE_SHOW();
  testsupport::TempDir dir;
  const auto run = testsupport::RunCommand(Capture("--loading --out '" + dir.path() + "'"));
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"loading1.png", "loading2.png", "loading3.png", "loading4.png",
                                             "loading5.png", "loading6.png"}));
}

TEST(ShowCapture, HelpAndUsageErrors) {
  if (!std::filesystem::exists(Tool())) GTEST_SKIP() << "quillon-capture is not built";
  auto help = testsupport::RunCommand(testsupport::Join({"'", Tool(), "' --help"}));
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("--sheet FILE.png"), std::string::npos);
  for (const char* bad : {"--fps 0 --out x", "--bogus", "--at 12,abc --out x", "--at 5", "--from 10 --to 5 --out x",
                          "--data /nonexistent --out x", "--loading --sheet x.png", "--reduce 3 --out x",
                          "--reduce 4 --sheet x.png"}) {
    auto run = testsupport::RunCommand(testsupport::Join({"'", Tool(), "' ", bad}));
    EXPECT_EQ(run.exitCode, 2) << bad;
    EXPECT_NE(run.err.find("quillon-capture: "), std::string::npos) << bad;
  }
}

}  // namespace
