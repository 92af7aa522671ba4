#include "platform/out_of_memory.h"

#include <atomic>
#include <cstdint>
#include <new>
#include <thread>

#include "platform/files.h"

namespace platform {

namespace {

// Written once on the main thread before any other thread starts, read
// from any thread afterwards.
std::thread::id reportingThread;
bool installed = false;
std::atomic<bool> refusedElsewhere{false};

std::uint32_t Location(void* address) {
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(address));
}

// operator new calls this each time the heap refuses it. On the main thread
// the report ends the program at once, inside the failed allocation: no
// destructor runs and no lock is let go first, so no exit handler meets a
// half-updated structure it then waits on. Elsewhere the refusal is thrown
// as it would be without a handler.
void OnRefusedAllocation() {
  if (installed && std::this_thread::get_id() == reportingThread) {
    RaiseUnhandledErrorAt(Location(__builtin_return_address(0)), "Out of memory");
  }
  throw std::bad_alloc();
}

}  // namespace

void InstallOutOfMemoryReport() {
  reportingThread = std::this_thread::get_id();
  installed = true;
  std::set_new_handler(OnRefusedAllocation);
}

bool OnReportingThread() { return installed && std::this_thread::get_id() == reportingThread; }

void NoteOutOfMemoryElsewhere() { refusedElsewhere.store(true); }

void EndIfOutOfMemoryNoted() {
  // Taken once: a call from the teardown the report starts does not report again.
  if (OnReportingThread() && refusedElsewhere.load() && refusedElsewhere.exchange(false)) RaiseOutOfMemory();
}

__attribute__((noinline)) void RaiseOutOfMemory() {
  RaiseUnhandledErrorAt(Location(__builtin_return_address(0)), "Out of memory");
}

}  // namespace platform
