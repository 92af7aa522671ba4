#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <stdexcept>
#include <thread>

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

// A pipe that a thread of the test fills and closes; read through its name
// in /dev/fd, it is a stream with no size to stat.
class Pipe {
 public:
  explicit Pipe(std::vector<unsigned char> bytes) {
    previous_ = std::signal(SIGPIPE, SIG_IGN);  // a reader that gives up early ends the writer cleanly
    if (pipe(ends_) != 0) throw std::runtime_error("pipe");
    writer_ = std::thread([this, bytes = std::move(bytes)] {
      std::size_t at = 0;
      while (at < bytes.size()) {
        ssize_t n = write(ends_[1], bytes.data() + at, bytes.size() - at);
        if (n <= 0) break;
        at += static_cast<std::size_t>(n);
      }
      close(ends_[1]);
    });
  }
  ~Pipe() {
    close(ends_[0]);
    writer_.join();
    std::signal(SIGPIPE, previous_);
  }
  std::string Name() const { return "/dev/fd/" + std::to_string(ends_[0]); }

 private:
  int ends_[2] = {-1, -1};
  std::thread writer_;
  void (*previous_)(int) = nullptr;
};

struct Refused : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Turns the unhandled-error report into an exception for the length of a test.
class RefusalsThrow {
 public:
  RefusalsThrow() {
    platform::SetUnhandledErrorHandler([](const char* message) { throw Refused(message); });
  }
  ~RefusalsThrow() { platform::SetUnhandledErrorHandler(nullptr); }
};

std::vector<unsigned char> Pattern(std::size_t n) {
  std::vector<unsigned char> bytes(n);
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<unsigned char>((i * 131 + i / 4099) & 255);
  return bytes;
}

TEST(Streams, APipeIsTakenInAsTheCountsAskAndReadExactly) {
  const std::vector<unsigned char> bytes = Pattern(3'000'000);
  Pipe pipe(bytes);
  RefusalsThrow refusals;
  platform::InFile f = platform::OpenRead(pipe.Name());
  ASSERT_TRUE(f.stream);
  platform::RequireRemaining(f, 10);
  EXPECT_GE(platform::Remaining(f), 10u);
  EXPECT_LE(f.ahead.capacity(), std::size_t{128} << 10) << "a small count takes in one small chunk";
  std::vector<unsigned char> got(bytes.size());
  platform::ReadExact(f, got.data(), 10);
  platform::RequireRemaining(f, 2'000'000);
  platform::ReadExact(f, got.data() + 10, 1'999'990);
  // The rest in odd pieces, each straight after its check.
  for (std::size_t at = 2'000'000; at < bytes.size();) {
    const std::size_t n = std::min<std::size_t>(77'777, bytes.size() - at);
    platform::RequireRemaining(f, n);
    platform::ReadExact(f, got.data() + at, n);
    at += n;
  }
  EXPECT_EQ(got, bytes);
  EXPECT_LE(f.ahead.capacity(), std::size_t{8} << 20) << "never much more than the stream delivered";
  EXPECT_THROW(platform::RequireRemaining(f, 1), Refused);
  EXPECT_THROW(platform::ReadValue<std::uint8_t>(f), Refused);
  platform::Close(f);
}

TEST(Streams, ACountBeyondThePipesEndIsRefusedWithoutItsMemory) {
  Pipe pipe(Pattern(100));
  RefusalsThrow refusals;
  platform::InFile f = platform::OpenRead(pipe.Name());
  try {
    platform::RequireRemaining(f, std::uint64_t{1} << 40);
    ADD_FAILURE() << "a terabyte from a hundred bytes";
  } catch (const Refused& refusal) {
    EXPECT_STREQ(refusal.what(), "Read past end of file");
  }
  EXPECT_LE(f.ahead.capacity(), std::size_t{128} << 10);
  EXPECT_EQ(platform::Remaining(f), 100u) << "what did come can still be read";
  platform::Close(f);
}

TEST(Streams, WholePipesAndStandardInput) {
  const std::vector<unsigned char> bytes = Pattern(300'000);
  {
    Pipe pipe(bytes);
    EXPECT_EQ(platform::ReadWholeFile(pipe.Name()), bytes);
  }
  // "-" is standard input: here, in a child, a pipe put in its place, filled
  // before it is read (it holds what fits in the pipe's buffer).
  const std::vector<unsigned char> small = Pattern(60'000);
  auto result = RunInChild([&] {
    int ends[2];
    if (pipe(ends) != 0 || write(ends[1], small.data(), small.size()) != static_cast<ssize_t>(small.size())) std::exit(3);
    close(ends[1]);
    if (dup2(ends[0], 0) != 0) std::exit(3);
    platform::InFile f = platform::OpenRead("-");
    std::vector<unsigned char> got(small.size());
    platform::ReadExact(f, got.data(), got.size());
    platform::Close(f);
    std::exit(f.stream && got == small ? 0 : 4);
  });
  EXPECT_EQ(result.exitCode, 0) << result.err;
  // A regular file opened as standard input keeps its size.
  TempDir dir;
  WriteText(dir.File("data"), "0123456789");
  auto regular = RunInChild([&] {
    if (!std::freopen(dir.File("data").c_str(), "rb", stdin)) std::exit(3);
    platform::InFile f = platform::OpenRead("-");
    std::exit(!f.stream && f.size == 10 ? 0 : 4);
  });
  EXPECT_EQ(regular.exitCode, 0);
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
