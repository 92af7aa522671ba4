#pragma once
// The POSIX environment calls the shared test sources use, for the Windows
// suite (the C runtime of Windows has only _putenv_s). Included into every
// source of that suite by the build.
#ifdef __cplusplus
#include <cerrno>
#include <cstdlib>

inline int setenv(const char* name, const char* value, int overwrite) {
  if (!overwrite && std::getenv(name)) return 0;
  return _putenv_s(name, value);
}

inline int unsetenv(const char* name) { return _putenv_s(name, ""); }

// Named pipes are POSIX: the suite's run leaves out the test that makes one.
inline int mkfifo(const char*, int) {
  errno = ENOSYS;
  return -1;
}
#endif
