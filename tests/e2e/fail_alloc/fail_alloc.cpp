// Refuses one chosen allocation of the program it is preloaded into
// (LD_PRELOAD), as an exhausted heap would: malloc, calloc and realloc return
// null, operator new consults the program's new_handler and throws
// std::bad_alloc when there is none.
//
// QUILLON_FAIL_ALLOC=THREAD:KIND:N[:FROM-TO] picks it: the N-th (from 0) call
// of KIND ("new", "malloc", "calloc", "realloc" or "any") made on THREAD
// ("main", "other", or "named=PREFIX": a thread whose name starts with
// PREFIX, such as SDL's sound thread "SDLAudioP") by the program's own code, optionally only by the code
// at offsets FROM to TO (hexadecimal) of the executable, or called from there:
// a function of the range anywhere on the call stack counts, so an
// allocation the optimiser does not inline into it (a std::vector growing)
// is still that function's. Calls from shared
// libraries (SDL, Mesa, the C++ runtime) are neither counted nor refused. On
// the main thread counting starts once the program has put a new_handler in
// place, so what is counted is the program's own running, not its loading.
// The refusal is announced on standard error:
//   fail_alloc: refused 262144 bytes to new on the main thread at exe+0x1a2b3c
// and, when the range was found further up the call stack, " via exe+0x…"
// with the return address there.
#include <link.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <unwind.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
}

namespace {

enum Kind { kNew = 1, kMalloc = 2, kCalloc = 4, kRealloc = 8 };

struct Choice {
  bool armed = false;
  bool mainThread = true;
  char threadName[17] = {};  // a prefix of the thread's name, or empty
  int kinds = 0;
  long index = 0;
  std::uintptr_t from = 0, to = ~std::uintptr_t{0};
};

Choice choice;
std::uintptr_t exeBase = 0, exeStart = 0, exeEnd = 0;
std::atomic<long> counted{0};
std::atomic<bool> refused{false};

int FindExecutable(dl_phdr_info* info, std::size_t, void* done) {
  if (*static_cast<bool*>(done)) return 0;
  *static_cast<bool*>(done) = true;  // the first object listed is the program itself
  exeBase = info->dlpi_addr;
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& segment = info->dlpi_phdr[i];
    if (segment.p_type != PT_LOAD || !(segment.p_flags & PF_X)) continue;
    const std::uintptr_t start = info->dlpi_addr + segment.p_vaddr;
    if (exeStart == 0 || start < exeStart) exeStart = start;
    if (start + segment.p_memsz > exeEnd) exeEnd = start + segment.p_memsz;
  }
  return 0;
}

long Number(const char*& p, int base) {
  char* end = nullptr;
  long value = std::strtol(p, &end, base);
  p = end;
  return value;
}

__attribute__((constructor)) void ReadChoice() {
  const char* text = std::getenv("QUILLON_FAIL_ALLOC");
  if (!text) return;
  bool done = false;
  dl_iterate_phdr(FindExecutable, &done);
  const char* p = text;
  if (std::strncmp(p, "main:", 5) == 0) {
    p += 5;
  } else if (std::strncmp(p, "other:", 6) == 0) {
    choice.mainThread = false;
    p += 6;
  } else if (std::strncmp(p, "named=", 6) == 0) {
    choice.mainThread = false;
    p += 6;
    std::size_t n = 0;
    while (*p && *p != ':' && n + 1 < sizeof choice.threadName) choice.threadName[n++] = *p++;
    if (*p++ != ':' || n == 0) return;
  } else {
    return;
  }
  const struct {
    const char* name;
    int kinds;
  } kinds[] = {{"new:", kNew}, {"malloc:", kMalloc}, {"calloc:", kCalloc}, {"realloc:", kRealloc},
               {"any:", kNew | kMalloc | kCalloc | kRealloc}};
  for (const auto& k : kinds) {
    if (std::strncmp(p, k.name, std::strlen(k.name)) == 0) {
      choice.kinds = k.kinds;
      p += std::strlen(k.name);
    }
  }
  if (choice.kinds == 0) return;
  choice.index = Number(p, 10);
  if (*p == ':') {
    ++p;
    choice.from = static_cast<std::uintptr_t>(Number(p, 16));
    if (*p == '-') {
      ++p;
      choice.to = static_cast<std::uintptr_t>(Number(p, 16));
    }
  }
  choice.armed = exeEnd > exeStart;
}

void Put(char*& at, const char* text) {
  while (*text) *at++ = *text++;
}

void PutNumber(char*& at, std::uintptr_t value, int base) {
  char digits[32];
  int n = 0;
  do {
    digits[n++] = "0123456789abcdef"[value % base];
    value /= base;
  } while (value);
  while (n) *at++ = digits[--n];
}

const char* KindName(int kind) {
  switch (kind) {
    case kNew: return "new";
    case kMalloc: return "malloc";
    case kCalloc: return "calloc";
    default: return "realloc";
  }
}

bool InRange(std::uintptr_t offset) { return offset >= choice.from && offset < choice.to; }

// The first return address of the program within the chosen range on the
// call stack, as an offset; 0 when there is none in the nearest frames.
_Unwind_Reason_Code VisitFrame(_Unwind_Context* context, void* data) {
  auto* walk = static_cast<std::uintptr_t*>(data);  // {frames seen, offset found}
  const std::uintptr_t ip = _Unwind_GetIP(context);
  if (ip > exeStart && ip <= exeEnd && InRange(ip - 1 - exeBase)) {
    walk[1] = ip - exeBase;
    return _URC_END_OF_STACK;
  }
  return ++walk[0] < 32 ? _URC_NO_REASON : _URC_END_OF_STACK;
}

std::uintptr_t CallerInRange() {
  std::uintptr_t walk[2] = {0, 0};
  _Unwind_Backtrace(VisitFrame, walk);
  return walk[1];
}

// True when this call is the one to refuse. Never allocates.
bool Refuse(int kind, std::size_t bytes, void* caller) {
  if (!choice.armed || !(choice.kinds & kind) || refused.load(std::memory_order_relaxed)) return false;
  const auto address = reinterpret_cast<std::uintptr_t>(caller);
  if (address < exeStart || address >= exeEnd) return false;
  const std::uintptr_t offset = address - exeBase;
  const bool onMain = syscall(SYS_gettid) == getpid();
  if (onMain != choice.mainThread) return false;
  if (choice.threadName[0]) {
    char name[17] = {};
    prctl(PR_GET_NAME, name);
    if (std::strncmp(name, choice.threadName, std::strlen(choice.threadName)) != 0) return false;
  }
  if (onMain && std::get_new_handler() == nullptr) return false;
  std::uintptr_t via = 0;
  if (!InRange(offset) && (via = CallerInRange()) == 0) return false;
  if (counted.fetch_add(1) != choice.index) return false;
  refused.store(true);
  char line[160];
  char* at = line;
  Put(at, "fail_alloc: refused ");
  PutNumber(at, bytes, 10);
  Put(at, " bytes to ");
  Put(at, KindName(kind));
  Put(at, onMain ? " on the main thread at exe+0x" : " on another thread at exe+0x");
  PutNumber(at, offset, 16);
  if (via) {
    Put(at, " via exe+0x");
    PutNumber(at, via, 16);
  }
  Put(at, "\n");
  ssize_t ignored = write(2, line, static_cast<std::size_t>(at - line));
  (void)ignored;
  return true;
}

// What operator new does when the heap says no.
void* RefusedNew(std::size_t bytes, bool nothrow) {
  for (;;) {
    std::new_handler handler = std::get_new_handler();
    if (!handler) {
      if (nothrow) return nullptr;
      throw std::bad_alloc();
    }
    if (nothrow) {
      try {
        handler();
      } catch (const std::bad_alloc&) {
        return nullptr;
      }
    } else {
      handler();
    }
    if (void* memory = __libc_malloc(bytes ? bytes : 1)) return memory;
  }
}

}  // namespace

extern "C" {
__attribute__((visibility("default"))) void* malloc(std::size_t bytes) {
  if (Refuse(kMalloc, bytes, __builtin_return_address(0))) return nullptr;
  return __libc_malloc(bytes);
}
__attribute__((visibility("default"))) void* calloc(std::size_t count, std::size_t size) {
  if (Refuse(kCalloc, count * size, __builtin_return_address(0))) return nullptr;
  return __libc_calloc(count, size);
}
__attribute__((visibility("default"))) void* realloc(void* memory, std::size_t bytes) {
  if (Refuse(kRealloc, bytes, __builtin_return_address(0))) return nullptr;
  return __libc_realloc(memory, bytes);
}
}

void* operator new(std::size_t bytes) {
  if (Refuse(kNew, bytes, __builtin_return_address(0))) return RefusedNew(bytes, false);
  if (void* memory = __libc_malloc(bytes ? bytes : 1)) return memory;
  return RefusedNew(bytes, false);
}
void* operator new[](std::size_t bytes) {
  if (Refuse(kNew, bytes, __builtin_return_address(0))) return RefusedNew(bytes, false);
  if (void* memory = __libc_malloc(bytes ? bytes : 1)) return memory;
  return RefusedNew(bytes, false);
}
void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept {
  if (Refuse(kNew, bytes, __builtin_return_address(0))) return RefusedNew(bytes, true);
  if (void* memory = __libc_malloc(bytes ? bytes : 1)) return memory;
  return RefusedNew(bytes, true);
}
void* operator new[](std::size_t bytes, const std::nothrow_t&) noexcept {
  if (Refuse(kNew, bytes, __builtin_return_address(0))) return RefusedNew(bytes, true);
  if (void* memory = __libc_malloc(bytes ? bytes : 1)) return memory;
  return RefusedNew(bytes, true);
}
