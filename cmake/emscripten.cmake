# Builds Quillon for web browsers with Debian's emscripten (WebAssembly,
# WebGL 2, Web Audio):
#   export NODE_PATH=/usr/share/nodejs
#   cmake -S . -B build-web -DCMAKE_TOOLCHAIN_FILE=cmake/emscripten.cmake
# The web backend (platform/web) is chosen by this file.
set(EMSCRIPTEN_ROOT_PATH /usr/share/emscripten CACHE PATH "Where emscripten is installed")
include(${EMSCRIPTEN_ROOT_PATH}/cmake/Modules/Platform/Emscripten.cmake)
set(QUILLON_PLATFORM web CACHE STRING "Platform backend: sdl (Linux), win32 (Windows) or web (browsers)")
# emscripten's platform file confines header searches to its own system
# root; stb's two headers come from the build machine, as in the mingw builds.
find_path(STB_INCLUDE_DIR stb_image.h PATHS /usr/include /usr/local/include PATH_SUFFIXES stb
          NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
