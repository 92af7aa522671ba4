// Memory refused on waveOut's filling thread, aimed at by the thread's name
// as the Linux cases aim at SDL's sound thread: playing allocates nothing
// there, and where the mixer must still grow something there (more end
// notices at once than the queue was sized for), the refusal is silence and
// the main thread's out-of-memory report with 217, never a crash.
//
// operator new of this suite is replaced here; it refuses only in a child
// run that arms it.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cwchar>
#include <new>
#include <regex>
#include <vector>

#include "platform/audio.h"
#include "platform/out_of_memory.h"
#include "support/mp3_fixture.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"

namespace {

enum class Refuse { Nothing, First, Every };
std::atomic<Refuse> refuse{Refuse::Nothing};
std::atomic<int> refusals{0};

bool OnFillingThread() {
  using GetDescription = HRESULT(WINAPI*)(HANDLE, PWSTR*);
  static const auto get = reinterpret_cast<GetDescription>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetThreadDescription")));
  PWSTR name = nullptr;
  if (!get || FAILED(get(GetCurrentThread(), &name)) || !name) return false;
  const bool filling = std::wcscmp(name, L"Quillon waveOut") == 0;
  LocalFree(name);
  return filling;
}

void* Allocate(std::size_t size) {
  const Refuse mode = refuse.load();
  if (mode != Refuse::Nothing && OnFillingThread() && (mode == Refuse::Every || refusals.load() == 0)) {
    ++refusals;
    if (std::new_handler handler = std::get_new_handler()) handler();
    throw std::bad_alloc();
  }
  for (;;) {
    if (void* p = std::malloc(size ? size : 1)) return p;
    std::new_handler handler = std::get_new_handler();
    if (!handler) throw std::bad_alloc();
    handler();
  }
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

using namespace std::chrono_literals;
using testsupport::WaitFor;

TEST(FillingThreadMemory, PlayingAllocatesNothingAndARefusalThereIsReportedBy217) {
  testsupport::TempDir dir;
  const std::string path = dir.File("tone.mp3");
  testsupport::WriteTestMp3(path, 0.5, 44100, 2);
  struct Case {
    const char* name;
    Refuse refuse;
    int endNotices;  // end notices set on the stream
    int exitCode;
  };
  // 1: every allocation there refused, the MP3 plays to its end and its end
  // notice comes; 2: more end notices than the queue holds, its growth there
  // refused.
  for (const Case& c : {Case{"every allocation refused", Refuse::Every, 1, 0},
                        Case{"the end-notice queue's growth refused", Refuse::First, 100, 217}}) {
    SCOPED_TRACE(c.name);
    auto result = testsupport::RunInChild([&] {
      platform::InstallOutOfMemoryReport();
      if (!platform::AudioInit(0, 44100, 0, nullptr)) std::exit(2);
      const std::uint32_t stream = platform::StreamCreateFile(false, path.c_str(), 0, 0, 0);
      static std::atomic<int> ends{0};
      for (int i = 0; i < c.endNotices; ++i) {
        platform::ChannelSetSync(stream, platform::kSyncEnd, 0,
                                 [](std::uint32_t, std::uint32_t, std::uint32_t, void*) { ++ends; }, nullptr);
      }
      refuse = c.refuse;
      if (!platform::StreamPlay(stream, true, 0) || !platform::AudioStart()) std::exit(3);
      // Every call may be the report; it returns only while none is due.
      WaitFor([&] { return platform::ChannelIsActive(stream) == platform::kChannelStopped && ends.load() > 0; }, 10s);
      WaitFor([] {
        platform::AudioGetVersion();
        return false;
      }, 1s);
      std::exit(ends.load() == c.endNotices && refusals.load() == 0 ? 0 : 4);
    });
    EXPECT_EQ(result.exitCode, c.exitCode) << result.out << result.err;
    if (c.exitCode == 217) {
      EXPECT_TRUE(std::regex_search(result.out,
                                    std::regex("An unhandled exception occurred at 0x[0-9A-F]{8} :\nOut of memory\n")))
          << result.out;
    }
  }
}

}  // namespace
