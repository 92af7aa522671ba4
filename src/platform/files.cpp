#include "platform/files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/backend.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "files are read straight into little-endian storage");

namespace platform {

namespace {
constexpr std::size_t kWriteBuffer = 1 << 20;

std::uint32_t Location(void* address) {
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(address));
}
}  // namespace

namespace {
UnhandledErrorHandler unhandledErrorHandler = nullptr;
}  // namespace

void SetUnhandledErrorHandler(UnhandledErrorHandler handler) { unhandledErrorHandler = handler; }

void RaiseUnhandledErrorAt(std::uint32_t location, const char* message) {
  if (unhandledErrorHandler) unhandledErrorHandler(message);
  std::fflush(stdout);
  std::printf("An unhandled exception occurred at 0x%08X :\n%s\n", location, message);
  std::fflush(stdout);
  std::exit(kUnhandledErrorExitCode);
}

__attribute__((noinline)) void RaiseUnhandledError(const char* message) {
  RaiseUnhandledErrorAt(Location(__builtin_return_address(0)), message);
}

std::string NativePath(std::string_view name) {
  std::string path(name);
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

__attribute__((noinline)) void* AllocateOrDie(std::size_t bytes) {
  void* memory = std::malloc(bytes ? bytes : 1);
  if (!memory) RaiseUnhandledErrorAt(Location(__builtin_return_address(0)), "Out of memory");
  return memory;
}

namespace {
// A stream is taken in a chunk at a time, each as large as what came
// before it, so the buffer never holds much more than the stream delivered.
constexpr std::size_t kFirstChunk = 64 << 10;
constexpr std::size_t kLargestChunk = 16 << 20;

// Takes in stream bytes until `wanted` of them wait unread or the stream
// ends; a failed read is the report.
void TakeIn(InFile& file, std::uint64_t wanted, std::uint32_t location) {
  while (!file.ended && Remaining(file) < wanted) {
    // Read bytes are dropped once they are most of the buffer.
    if (file.aheadStart > kFirstChunk && file.aheadStart > file.ahead.size() / 2) {
      file.ahead.erase(file.ahead.begin(), file.ahead.begin() + static_cast<std::ptrdiff_t>(file.aheadStart));
      file.aheadStart = 0;
    }
    const std::uint64_t missing = wanted - Remaining(file);
    const std::size_t chunk = static_cast<std::size_t>(
        std::min<std::uint64_t>(missing, std::clamp<std::uint64_t>(file.size, kFirstChunk, kLargestChunk)));
    const std::size_t before = file.ahead.size();
    file.ahead.resize(before + chunk);
    const std::size_t got = std::fread(file.ahead.data() + before, 1, chunk, file.handle);
    file.ahead.resize(before + got);
    file.size += got;
    if (got < chunk) {
      if (std::ferror(file.handle)) RaiseUnhandledErrorAt(location, "Disk read error");
      file.ended = true;
    }
  }
}

std::FILE* OpenNamed(const std::string& name, std::uint32_t location) {
  std::string path = NativePath(name);
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) RaiseUnhandledErrorAt(location, "File not found");
  if (S_ISDIR(info.st_mode)) RaiseUnhandledErrorAt(location, "Access denied");
  std::FILE* handle = std::fopen(path.c_str(), "rb");
  if (!handle) RaiseUnhandledErrorAt(location, errno == EACCES ? "Access denied" : "File not found");
  return handle;
}
}  // namespace

__attribute__((noinline)) InFile OpenRead(std::string_view name) {
  InFile file;
  file.name = std::string(name);
  if (name == kStandardInputName) {
    file.handle = backend::OpenStandardInput();
    if (!file.handle) RaiseUnhandledErrorAt(Location(__builtin_return_address(0)), "File not found");
  } else {
    file.handle = OpenNamed(file.name, Location(__builtin_return_address(0)));
  }
  file.stream = !backend::SizeKnownInAdvance(file.handle, file.size);
  return file;
}

__attribute__((noinline)) void ReadExact(InFile& file, void* destination, std::size_t n) {
  if (n == 0) return;
  const std::uint32_t location = Location(__builtin_return_address(0));
  if (file.stream) {
    TakeIn(file, n, location);
    if (n > Remaining(file)) RaiseUnhandledErrorAt(location, "Read past end of file");
    std::memcpy(destination, file.ahead.data() + file.aheadStart, n);
    file.aheadStart += n;
    file.position += n;
    return;
  }
  if (n > Remaining(file)) RaiseUnhandledErrorAt(location, "Read past end of file");
  std::size_t got = std::fread(destination, 1, n, file.handle);
  file.position += got;
  if (got != n) {
    RaiseUnhandledErrorAt(Location(__builtin_return_address(0)),
                          std::ferror(file.handle) ? "Disk read error" : "Read past end of file");
  }
}

__attribute__((noinline)) void RequireRemaining(InFile& file, std::uint64_t n) {
  const std::uint32_t location = Location(__builtin_return_address(0));
  if (file.stream) TakeIn(file, n, location);
  if (n > Remaining(file)) RaiseUnhandledErrorAt(location, "Read past end of file");
}

std::uint64_t Remaining(const InFile& file) {
  return file.position >= file.size ? 0 : file.size - file.position;
}

__attribute__((noinline)) void Close(InFile& file) {
  if (!file.handle) return;
  int result = std::fclose(file.handle);
  file.handle = nullptr;
  if (result != 0) RaiseUnhandledErrorAt(Location(__builtin_return_address(0)), "Disk read error");
}

__attribute__((noinline)) OutFile OpenWrite(std::string_view name) {
  OutFile file;
  file.target = NativePath(name);
  file.temporary = file.target + ".tmp-" + std::to_string(getpid());
  file.handle = std::fopen(file.temporary.c_str(), "wb");
  if (!file.handle) {
    RaiseUnhandledErrorAt(Location(__builtin_return_address(0)),
                          errno == EACCES ? "Access denied" : "File not found");
  }
  file.buffer.reserve(kWriteBuffer);
  return file;
}

namespace {
void FailWrite(OutFile& file, std::uint32_t location) {
  if (file.handle) std::fclose(file.handle);
  file.handle = nullptr;
  std::remove(file.temporary.c_str());
  RaiseUnhandledErrorAt(location, "Disk write error");
}

bool FlushBuffer(OutFile& file) {
  if (file.buffer.empty()) return true;
  bool ok = std::fwrite(file.buffer.data(), 1, file.buffer.size(), file.handle) == file.buffer.size();
  file.buffer.clear();
  return ok;
}
}  // namespace

__attribute__((noinline)) void WriteBytes(OutFile& file, const void* source, std::size_t n) {
  if (n == 0) return;
  std::uint32_t location = Location(__builtin_return_address(0));
  if (file.buffer.size() + n > kWriteBuffer) {
    if (!FlushBuffer(file)) FailWrite(file, location);
    if (n >= kWriteBuffer) {
      if (std::fwrite(source, 1, n, file.handle) != n) FailWrite(file, location);
      return;
    }
  }
  const auto* bytes = static_cast<const unsigned char*>(source);
  file.buffer.insert(file.buffer.end(), bytes, bytes + n);
}

__attribute__((noinline)) void Commit(OutFile& file) {
  std::uint32_t location = Location(__builtin_return_address(0));
  if (!FlushBuffer(file)) FailWrite(file, location);
  if (std::fflush(file.handle) != 0) FailWrite(file, location);
  int result = std::fclose(file.handle);
  file.handle = nullptr;
  if (result != 0) FailWrite(file, location);
  if (!backend::MoveOver(file.temporary, file.target)) {
    std::remove(file.temporary.c_str());
    RaiseUnhandledErrorAt(location, "Disk write error");
  }
}

std::vector<unsigned char> ReadWholeFile(std::string_view name) {
  InFile file = OpenRead(name);
  if (file.stream) {
    TakeIn(file, UINT64_MAX, Location(__builtin_return_address(0)));
    std::vector<unsigned char> data = std::move(file.ahead);
    Close(file);
    return data;
  }
  std::vector<unsigned char> data(static_cast<std::size_t>(file.size));
  ReadExact(file, data.data(), data.size());
  Close(file);
  return data;
}

void WriteWholeFile(std::string_view name, const void* data, std::size_t n) {
  OutFile file = OpenWrite(name);
  WriteBytes(file, data, n);
  Commit(file);
}

}  // namespace platform
