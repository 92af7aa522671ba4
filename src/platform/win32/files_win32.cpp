// Folder searches with FindFirstFileA, replacing files with MoveFileExA,
// standard input and file sizes.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cctype>
#include <cstdio>
#include <string>

#include "platform/backend.h"
#include "platform/files.h"

namespace platform {
namespace {

// '*' and '?' against the whole name in any letter case. The system's own
// search also matches the generated 8.3 names ("f.wave" is "F.WAV" there),
// so every name it yields is checked again against its long form.
bool Matches(const char* pattern, const char* name) {
  if (*pattern == '\0') return *name == '\0';
  if (*pattern == '*') {
    for (const char* rest = name;; ++rest) {
      if (Matches(pattern + 1, rest)) return true;
      if (*rest == '\0') return false;
    }
  }
  if (*name == '\0') return false;
  if (*pattern != '?' && std::tolower(static_cast<unsigned char>(*pattern)) !=
                             std::tolower(static_cast<unsigned char>(*name))) {
    return false;
  }
  return Matches(pattern + 1, name + 1);
}

}  // namespace

std::vector<std::string> FindFiles(std::string_view directory, std::string_view pattern) {
  std::vector<std::string> names;
  std::string search(directory.empty() ? std::string_view(".") : directory);
  if (search.back() != '\\' && search.back() != '/') search += '\\';
  search += pattern;
  std::string wanted(pattern);
  WIN32_FIND_DATAA found;
  HANDLE handle = FindFirstFileA(search.c_str(), &found);
  if (handle == INVALID_HANDLE_VALUE) return names;
  do {
    const char* name = found.cFileName;
    if ((name[0] == '.' && name[1] == '\0') || (name[0] == '.' && name[1] == '.' && name[2] == '\0')) continue;
    if (Matches(wanted.c_str(), name)) names.emplace_back(name);
  } while (FindNextFileA(handle, &found));
  FindClose(handle);
  return names;
}

namespace backend {

// rename refuses an existing target on Windows; the move replaces it and
// reaches the disk before it returns.
bool MoveOver(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

std::FILE* OpenStandardInput() {
  const int descriptor = _dup(_fileno(stdin));
  if (descriptor < 0) return nullptr;
  // Bytes as they come: no line-break translation, no end at a Ctrl+Z.
  _setmode(descriptor, _O_BINARY);
  std::FILE* file = _fdopen(descriptor, "rb");
  if (!file) _close(descriptor);
  return file;
}

bool SizeKnownInAdvance(std::FILE* file, std::uint64_t& size) {
  HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  LARGE_INTEGER bytes;
  if (handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_DISK || !GetFileSizeEx(handle, &bytes)) {
    return false;
  }
  size = static_cast<std::uint64_t>(bytes.QuadPart);
  return true;
}

}  // namespace backend
std::string ExecutablePath() {
  // Wide, so a folder name outside the ANSI code page survives; handed on
  // as UTF-8, the form the rest of the program's names take.
  std::wstring path(32768, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  if (length == 0 || length >= path.size()) return {};
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, path.data(), static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return {};
  std::string utf8(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, path.data(), static_cast<int>(length), utf8.data(), bytes, nullptr, nullptr);
  return utf8;
}

}  // namespace platform
