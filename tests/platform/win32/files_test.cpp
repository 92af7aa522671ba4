// Files on Windows: the unhandled-error report and its exit code through
// the C runtime of Windows, saving over an existing file (which rename
// refuses there), a failed save leaving the old file, backslash paths, and
// the folder search.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <regex>

#include "platform/files.h"
#include "support/temp_dir.h"

namespace {

using testsupport::RunInChild;
using testsupport::TempDir;

void WriteText(const std::string& path, const std::string& text) {
  platform::WriteWholeFile(path, text.data(), text.size());
}

std::string ReadText(const std::string& path) {
  auto bytes = platform::ReadWholeFile(path);
  return std::string(bytes.begin(), bytes.end());
}

TEST(Win32Files, UnhandledErrorIsTwoLinesExit217AndExitHandlersStillRun) {
  auto result = RunInChild([] {
    std::atexit([] { std::printf("handler ran\n"); });
    platform::RaiseUnhandledError("Read past end of file");
  });
  EXPECT_EQ(result.exitCode, 217);
  EXPECT_TRUE(std::regex_match(result.out, std::regex("An unhandled exception occurred at 0x[0-9A-F]{8} :\n"
                                                      "Read past end of file\nhandler ran\n")))
      << result.out;

  TempDir dir;
  auto missing = RunInChild([&] { platform::OpenRead(dir.File("absent.3dw")); });
  EXPECT_EQ(missing.exitCode, 217);
  EXPECT_NE(missing.out.find(" :\nFile not found\n"), std::string::npos) << missing.out;
}

TEST(Win32Files, SavingReplacesAnExistingFileAndLeavesNothingBeside) {
  TempDir dir;
  const std::string target = dir.File("scene.3dw");
  WriteText(target, "first version");
  WriteText(target, "second");
  EXPECT_EQ(ReadText(target), "second");
  EXPECT_EQ(platform::FindFiles(dir.path(), "*").size(), 1u) << "no temporary file left";
}

TEST(Win32Files, FailedSaveLeavesTheExistingFileAsItWas) {
  TempDir dir;
  const std::string target = dir.File("scene.3dw");
  WriteText(target, "original");
  // A file held open without delete sharing cannot be replaced: the save
  // fails at its last step, after every byte was written.
  HANDLE held = CreateFileA(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  auto result = RunInChild([&] { WriteText(target, "replacement"); });
  CloseHandle(held);
  EXPECT_EQ(result.exitCode, 217);
  EXPECT_NE(result.out.find("Disk write error"), std::string::npos) << result.out;
  EXPECT_EQ(ReadText(target), "original");
  EXPECT_EQ(platform::FindFiles(dir.path(), "*.tmp-*").size(), 0u);
}

TEST(Win32Files, BackslashesSeparateFolders) {
  TempDir dir;
  CreateDirectoryA(dir.File("textures").c_str(), nullptr);
  WriteText(dir.File("textures") + "\\wall.tga", "x");
  EXPECT_EQ(ReadText(dir.path() + "\\textures\\wall.tga"), "x");
  EXPECT_EQ(platform::FindFiles(dir.path() + "\\textures", "*.tga"), (std::vector<std::string>{"wall.tga"}));
}

TEST(Win32Files, FolderSearchMatchesWholeNamesInAnyLetterCase) {
  TempDir dir;
  for (const char* name : {"a.wav", "b.wav", "c.txt", "D.WAV", "e.Wav", "f.wave", "long name.wav"}) {
    WriteText(dir.File(name), "");
  }
  auto names = platform::FindFiles(dir.path(), "*.wav");
  std::sort(names.begin(), names.end());
  // "f.wave" is "F.WAV" to the system's 8.3 names; it is not a ".wav".
  EXPECT_EQ(names, (std::vector<std::string>{"D.WAV", "a.wav", "b.wav", "e.Wav", "long name.wav"}));
  EXPECT_EQ(platform::FindFiles(dir.path(), "?.txt"), (std::vector<std::string>{"c.txt"}));
  EXPECT_TRUE(platform::FindFiles(dir.File("missing"), "*.wav").empty());
}

}  // namespace
