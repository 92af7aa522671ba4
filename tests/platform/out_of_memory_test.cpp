// Running out of memory: on the main thread the report and exit code 217
// through the exit path, wherever operator new is refused; on another thread
// an ordinary std::bad_alloc there, and the program goes on.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <regex>
#include <thread>

#include "platform/out_of_memory.h"
#include "support/sanitizers.h"
#include "support/temp_dir.h"

namespace {

using testsupport::RunInChild;

// More than any machine here can give.
constexpr std::size_t kTooMuch = std::size_t{1} << 46;

void Say(const char* text) {
  std::printf("%s\n", text);
  std::fflush(stdout);
}

const std::regex kReport("An unhandled exception occurred at 0x[0-9A-F]{8} :\nOut of memory\n");

TEST(OutOfMemory, OnTheMainThreadIsTheReportAndExitCode217ThroughTheExitPath) {
  if (testsupport::kAddressSanitizer) GTEST_SKIP() << "AddressSanitizer answers a refused operator new itself";
  auto result = RunInChild([] {
    std::atexit([] { Say("exit handler ran"); });
    platform::InstallOutOfMemoryReport();
    try {
      void* volatile memory = ::operator new(kTooMuch);
      (void)memory;
      Say("allocated");
    } catch (const std::bad_alloc&) {
      Say("thrown to the caller");
    }
    std::exit(3);
  });
  EXPECT_EQ(result.signal, 0);
  EXPECT_EQ(result.exitCode, 217);
  std::smatch match;
  ASSERT_TRUE(std::regex_search(result.out, match, kReport)) << result.out;
  EXPECT_EQ(match.position(0), 0);
  EXPECT_EQ(match.suffix().str(), "exit handler ran\n");
}

TEST(OutOfMemory, OnAnotherThreadIsThrownThereAndTheProgramGoesOn) {
  if (testsupport::kAddressSanitizer) GTEST_SKIP() << "AddressSanitizer answers a refused operator new itself";
  auto result = RunInChild([] {
    platform::InstallOutOfMemoryReport();
    std::thread([] {
      if (platform::OnReportingThread()) Say("wrong thread");
      try {
        void* volatile memory = ::operator new(kTooMuch);
        (void)memory;
      } catch (const std::bad_alloc&) {
        Say("caught on the worker");
      }
      // The no-throw form answers null there, as without a handler.
      if (!::operator new(kTooMuch, std::nothrow)) Say("null on the worker");
    }).join();
    if (platform::OnReportingThread()) Say("main goes on");
    std::exit(3);
  });
  EXPECT_EQ(result.exitCode, 3);
  EXPECT_EQ(result.out, "caught on the worker\nnull on the worker\nmain goes on\n");
}

TEST(OutOfMemory, RaisedDirectlyIsTheSameReport) {
  auto result = RunInChild([] { platform::RaiseOutOfMemory(); });
  EXPECT_EQ(result.exitCode, 217);
  EXPECT_TRUE(std::regex_match(result.out, kReport)) << result.out;
}

}  // namespace
