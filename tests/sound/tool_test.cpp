// quillon-sound from the command line: exit codes and messages.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/mp3_fixture.h"
#include "support/temp_dir.h"

namespace {

class SoundToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tool_ = testsupport::BinaryDir() + "/tools/quillon-sound/quillon-sound";
    if (!std::filesystem::exists(tool_)) GTEST_SKIP() << "quillon-sound is not built";
    testsupport::WriteTestWav(dir_.File("beep.wav"), testsupport::TestTone(0.1, 44100, 1), 44100, 1);
    testsupport::WriteTestWav(dir_.File("broken.wav"), {}, 44100, 1);
  }
  testsupport::ChildResult Run(const std::string& args, const std::string& driver = "dummy") {
    return testsupport::RunCommand("SDL_AUDIODRIVER=" + driver + " '" + tool_ + "' " + args);
  }
  std::string tool_;
  testsupport::TempDir dir_;
};

TEST_F(SoundToolTest, PlaysANamedSampleWithAPresetAndExplainsFailures) {
  auto played = Run("play '" + dir_.path() + "' BEEP.WAV 2");
  EXPECT_EQ(played.exitCode, 0) << played.err;
  EXPECT_NE(played.out.find("beep.wav"), std::string::npos);

  auto missing = Run("play '" + dir_.path() + "' other.wav");
  EXPECT_EQ(missing.exitCode, 1);
  // The names there are, so that the user can pick one.
  EXPECT_NE(missing.err.find("no file called \"other.wav\"; there are "), std::string::npos) << missing.err;
  EXPECT_NE(missing.err.find("beep.wav"), std::string::npos) << missing.err;

  auto broken = Run("play '" + dir_.path() + "' broken.wav");
  EXPECT_EQ(broken.exitCode, 1);
  EXPECT_NE(broken.err.find("cannot be played"), std::string::npos) << broken.err;

  auto noDevice = Run("play '" + dir_.path() + "' beep.wav", "no-such-driver");
  EXPECT_EQ(noDevice.exitCode, 1);
  EXPECT_NE(noDevice.err.find("BASS init error ( 2 )"), std::string::npos) << noDevice.err;
}

TEST_F(SoundToolTest, HelpAndWrongArguments) {
  auto help = Run("--help");
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_EQ(help.out.rfind("usage: quillon-sound play DIR NAME [PRESET]", 0), 0u) << help.out;
  EXPECT_EQ(Run("").exitCode, 2);
  EXPECT_EQ(Run("stop a b").exitCode, 2);
  EXPECT_EQ(Run("play '" + dir_.path() + "'").exitCode, 2);
  auto badPreset = Run("play '" + dir_.path() + "' beep.wav loud");
  EXPECT_EQ(badPreset.exitCode, 2);
  EXPECT_NE(badPreset.err.find("PRESET must be a whole number"), std::string::npos);
}

}  // namespace
