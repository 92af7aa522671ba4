#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <regex>

#include "platform/files.h"
#include "platform/random.h"
#include "support/temp_dir.h"

namespace {

using testsupport::RunInChild;
using testsupport::TempDir;

void WriteText(const std::string& path, const std::string& text) {
  platform::WriteWholeFile(path, text.data(), text.size());
}

TEST(UnhandledErrorReport, TwoLinesExit217AndExitHandlersStillRun) {
  auto result = RunInChild([] {
    std::atexit([] { std::printf("handler ran\n"); });
    platform::RaiseUnhandledError("Read past end of file");
  });
  EXPECT_EQ(result.exitCode, 217);
  EXPECT_TRUE(std::regex_match(result.out, std::regex("An unhandled exception occurred at 0x[0-9A-F]{8} :\n"
                                                      "Read past end of file\nhandler ran\n")))
      << result.out;
}

TEST(UnhandledErrorReport, MissingFileIsFileNotFound) {
  TempDir dir;
  auto result = RunInChild([&] { platform::OpenRead(dir.File("absent.3dw")); });
  EXPECT_EQ(result.exitCode, 217);
  EXPECT_NE(result.out.find(" :\nFile not found\n"), std::string::npos) << result.out;
}

TEST(UnhandledErrorReport, ShortReadAndOversizedCountAreReadPastEndOfFile) {
  TempDir dir;
  WriteText(dir.File("short"), "abc");
  auto shortRead = RunInChild([&] {
    platform::InFile f = platform::OpenRead(dir.File("short"));
    char buffer[8];
    platform::ReadExact(f, buffer, 4);
  });
  EXPECT_EQ(shortRead.exitCode, 217);
  EXPECT_NE(shortRead.out.find("Read past end of file"), std::string::npos);

  // A count that asks for more than remains is refused before any allocation.
  auto count = RunInChild([&] {
    platform::InFile f = platform::OpenRead(dir.File("short"));
    platform::RequireRemaining(f, std::uint64_t{1} << 40);
  });
  EXPECT_EQ(count.exitCode, 217);
  EXPECT_NE(count.out.find("Read past end of file"), std::string::npos);
}

TEST(Files, ReadsExactlyAndTracksWhatRemains) {
  TempDir dir;
  WriteText(dir.File("data"), "0123456789");
  platform::InFile f = platform::OpenRead(dir.File("data"));
  char buffer[4] = {};
  platform::ReadExact(f, buffer, 4);
  EXPECT_EQ(std::string(buffer, 4), "0123");
  EXPECT_EQ(platform::Remaining(f), 6u);
  platform::ReadExact(f, buffer, 0);
  EXPECT_EQ(platform::Remaining(f), 6u);
  platform::Close(f);
}

TEST(Files, BackslashIsAPathSeparator) {
  TempDir dir;
  WriteText(dir.File("wall.tga"), "x");
  std::string windowsName = dir.path() + "\\wall.tga";
  EXPECT_EQ(platform::NativePath(windowsName), dir.File("wall.tga"));
  EXPECT_EQ(platform::ReadWholeFile(windowsName).size(), 1u);
}

TEST(Files, FailedSaveLeavesTheExistingFileAsItWas) {
  TempDir dir;
  std::string target = dir.File("scene.3dw");
  WriteText(target, "original");
  auto result = RunInChild([&] {
    // A file-size limit makes the write fail part-way, as a full disk would.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{4096, 4096};
    setrlimit(RLIMIT_FSIZE, &limit);
    std::vector<char> big(1 << 21, 'x');
    platform::OutFile out = platform::OpenWrite(target);
    platform::WriteBytes(out, big.data(), big.size());
    platform::Commit(out);
  });
  EXPECT_EQ(result.exitCode, 217);
  EXPECT_NE(result.out.find("Disk write error"), std::string::npos) << result.out;
  auto bytes = platform::ReadWholeFile(target);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "original");
  EXPECT_EQ(platform::FindFiles(dir.path(), "*.tmp-*").size(), 0u);
}

TEST(Files, FindFilesMatchesThePattern) {
  TempDir dir;
  WriteText(dir.File("a.wav"), "");
  WriteText(dir.File("b.wav"), "");
  WriteText(dir.File("c.txt"), "");
  WriteText(dir.File("D.WAV"), "");
  WriteText(dir.File("e.Wav"), "");
  WriteText(dir.File("f.wave"), "");
  auto names = platform::FindFiles(dir.path(), "*.wav");
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"D.WAV", "a.wav", "b.wav", "e.Wav"})) << "any letter case, whole name";
  EXPECT_TRUE(platform::FindFiles(dir.File("missing"), "*.wav").empty());
}

TEST(Random, SameSequenceFromStartAndWithinRange) {
  platform::ResetRandom();
  std::vector<std::uint32_t> first;
  for (int i = 0; i < 100; ++i) first.push_back(platform::Random(1023));
  platform::ResetRandom();
  for (int i = 0; i < 100; ++i) EXPECT_EQ(platform::Random(1023), first[i]);
  for (auto v : first) EXPECT_LT(v, 1023u);
  // Not a constant: a generator stuck on one value would pass the checks above.
  std::sort(first.begin(), first.end());
  EXPECT_GT(std::unique(first.begin(), first.end()) - first.begin(), 80);
  EXPECT_EQ(platform::Random(0), 0u);
}

}  // namespace
