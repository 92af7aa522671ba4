#pragma once
// A headless OpenGL test that runs inside a temporary folder of its own, as
// the show runs in its data folder, with the message boxes going to a
// handler of the test's choosing.
#include <filesystem>

#include "platform/present.h"
#include "support/gl_context.h"
#include "support/temp_dir.h"

namespace assettest {

class PictureFolderTest : public testsupport::GlTest {
 protected:
  testsupport::TempDir dir;
  std::filesystem::path previous;
  virtual void OnBox(const char*, const char*, bool) {}
  void SetUp() override {
    GlTest::SetUp();
    previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    current = this;
    platform::SetMessageBoxHandler(
        [](const char* text, const char* caption, bool errorIcon) { current->OnBox(text, caption, errorIcon); });
  }
  void TearDown() override {
    platform::SetMessageBoxHandler(nullptr);
    current = nullptr;
    std::filesystem::current_path(previous);
    GlTest::TearDown();
  }

 private:
  static inline PictureFolderTest* current = nullptr;
};

}  // namespace assettest
