#pragma once
// The WGL functions of the system's OpenGL library, bound by name from
// "opengl32.dll" like the OpenGL entry points. Private to platform/win32.
#include <windows.h>

namespace platform::win32 {

struct WglFunctions {
  HGLRC(WINAPI* CreateContext)(HDC);
  BOOL(WINAPI* MakeCurrent)(HDC, HGLRC);
  BOOL(WINAPI* DeleteContext)(HGLRC);
  HGLRC(WINAPI* GetCurrentContext)();
  PROC(WINAPI* GetProcAddress)(LPCSTR);
};

// Bound on first use; a library without them ends the program with a line
// naming the missing entry point (exit 1), as the OpenGL binding does.
const WglFunctions& Wgl();

}  // namespace platform::win32
