// The test helpers of support/temp_dir.h on Windows. There is no fork: a
// child is this test program started again, running only the current test,
// which is told by its environment which of the test's RunInChild calls to
// carry out; the calls before it give back nothing, as in the parent.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/temp_dir.h"

namespace testsupport {
namespace {

constexpr const char* kChildVariable = "QUILLON_CHILD_RUN";

std::string Slurp(const std::string& path) {
  // Text mode: the child's line breaks read back as '\n', as on Linux.
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string CurrentTest() {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  return info ? std::string(info->test_suite_name()) + "." + info->name() : std::string();
}

// Counts the RunInChild calls of the test that is running.
int NextCallOfThisTest() {
  static std::string test;
  static int calls = 0;
  std::string now = CurrentTest();
  if (now != test) {
    test = now;
    calls = 0;
  }
  return ++calls;
}

HANDLE NullFile() {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  return CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                     OPEN_EXISTING, 0, nullptr);
}

}  // namespace

TempDir::TempDir() {
  char base[MAX_PATH];
  GetTempPathA(MAX_PATH, base);
  for (unsigned attempt = GetTickCount() ^ GetCurrentProcessId();; ++attempt) {
    std::string candidate = std::string(base) + "quillon-test-" + std::to_string(attempt % 1000000);
    if (CreateDirectoryA(candidate.c_str(), nullptr)) {
      path_ = candidate;
      return;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) std::abort();
  }
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

ChildResult RunInChild(const std::function<void()>& body) {
  const int call = NextCallOfThisTest();
  if (const char* order = std::getenv(kChildVariable)) {
    // In a child: "call|out|err".
    std::string text = order;
    std::size_t first = text.find('|'), second = text.find('|', first + 1);
    if (std::atoi(text.substr(0, first).c_str()) != call) return ChildResult{};
    std::string out = text.substr(first + 1, second - first - 1), err = text.substr(second + 1);
    std::fflush(stdout);
    std::fflush(stderr);
    if (!std::freopen(out.c_str(), "w", stdout) || !std::freopen(err.c_str(), "w", stderr)) std::_Exit(120);
    body();
    std::exit(0);
  }

  TempDir dir;
  const std::string out = dir.File("out"), err = dir.File("err");
  char program[MAX_PATH];
  GetModuleFileNameA(nullptr, program, MAX_PATH);
  std::string commandLine = std::string("\"") + program + "\" --gtest_filter=" + CurrentTest();
  std::string order = std::to_string(call) + "|" + out + "|" + err;
  SetEnvironmentVariableA(kChildVariable, order.c_str());
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  HANDLE null = NullFile();
  startup.hStdInput = startup.hStdOutput = startup.hStdError = null;
  PROCESS_INFORMATION process{};
  BOOL started = CreateProcessA(program, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                                &process);
  SetEnvironmentVariableA(kChildVariable, nullptr);
  CloseHandle(null);
  ChildResult result;
  if (!started) return result;
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  result.exitCode = static_cast<int>(code);
  result.out = Slurp(out);
  result.err = Slurp(err);
  return result;
}

ChildResult RunCommand(const std::string& command) {
  TempDir dir;
  std::string full = command + " >\"" + dir.File("out") + "\" 2>\"" + dir.File("err") + "\"";
  ChildResult result;
  result.exitCode = std::system(full.c_str());
  result.out = Slurp(dir.File("out"));
  result.err = Slurp(dir.File("err"));
  return result;
}

std::string Join(std::initializer_list<std::string_view> parts) {
  std::string joined;
  for (std::string_view part : parts) joined.append(part);
  return joined;
}

std::string SourceDir() {
  const char* s = std::getenv("QUILLON_SOURCE_DIR");
  return s ? s : QUILLON_SOURCE_DIR_DEFAULT;
}

std::string BinaryDir() {
  const char* s = std::getenv("QUILLON_BINARY_DIR");
  return s ? s : QUILLON_BINARY_DIR_DEFAULT;
}

}  // namespace testsupport
