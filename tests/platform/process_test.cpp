// Stop requests: each stop signal only notes the request (the flag and the
// descriptor waits watch), whichever thread it lands on and however often it
// comes, and the program ends where it next looks, through its exit path
// with the exit code of a closed window.
#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

#include "platform/backend.h"
#include "platform/process.h"
#include "support/temp_dir.h"

namespace {

using testsupport::RunInChild;

bool DescriptorReadable() {
  pollfd watched{platform::backend::StopRequestDescriptor(), POLLIN, 0};
  return watched.fd >= 0 && poll(&watched, 1, 0) == 1 && (watched.revents & POLLIN);
}

void Say(const char* text) {
  std::printf("%s\n", text);
  std::fflush(stdout);
}

class StopSignal : public ::testing::TestWithParam<int> {};

TEST_P(StopSignal, IsNotedAndEndsTheProgramWhereItLooksWithExitCodeZero) {
  const int sig = GetParam();
  auto result = RunInChild([sig] {
    std::atexit([] { Say("exit handler ran"); });
    platform::InstallStopRequests();
    if (platform::StopRequested() || DescriptorReadable()) Say("requested too early");
    platform::EndIfStopRequested();
    Say("goes on while nothing is requested");
    // From another thread, twice: one request, noted without a fault.
    std::thread([sig] {
      kill(getpid(), sig);
      kill(getpid(), sig);
    }).join();
    if (platform::StopRequested()) Say("requested");
    if (DescriptorReadable()) Say("descriptor readable");
    if (DescriptorReadable()) Say("and stays readable");
    platform::EndIfStopRequested();
    Say("not ended");
    std::exit(3);
  });
  EXPECT_EQ(result.signal, 0) << strsignal(result.signal);
  EXPECT_EQ(result.exitCode, platform::kStopExitCode);
  EXPECT_EQ(result.out,
            "goes on while nothing is requested\nrequested\ndescriptor readable\nand stays readable\n"
            "exit handler ran\n");
}

INSTANTIATE_TEST_SUITE_P(IntTermHup, StopSignal, ::testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return std::string(sigabbrev_np(info.param));
                         });

TEST(StopRequests, ARequestBeforeTheHandlersWereInPlaceStillWakesTheWatchers) {
  auto result = RunInChild([] {
    if (platform::backend::StopRequestDescriptor() < 0) Say("no descriptor yet");
    platform::RequestStop();
    platform::InstallStopRequests();
    if (DescriptorReadable()) Say("descriptor readable");
    std::exit(3);
  });
  EXPECT_EQ(result.exitCode, 3);
  EXPECT_EQ(result.out, "no descriptor yet\ndescriptor readable\n");
}

TEST(StopRequests, ABlockingReadIsNotCutShortByAStop) {
  // A read interrupted by the signal goes on: a stop must not look like a
  // damaged or short file to the loaders.
  auto result = RunInChild([] {
    platform::InstallStopRequests();
    int ends[2];
    if (pipe(ends) != 0) std::exit(4);
    std::thread writer([&] {
      usleep(100'000);
      kill(getpid(), SIGTERM);
      usleep(100'000);
      if (write(ends[1], "x", 1) != 1) std::exit(5);
    });
    char byte = 0;
    const ssize_t got = read(ends[0], &byte, 1);
    writer.join();
    std::printf("read %zd %c\n", got, byte);
    std::exit(platform::StopRequested() ? 6 : 7);
  });
  EXPECT_EQ(result.exitCode, 6);
  EXPECT_EQ(result.out, "read 1 x\n");
}

}  // namespace
