# What both Windows cross builds share; the toolchain file of each sets
# CMAKE_SYSTEM_PROCESSOR and QUILLON_MINGW_TRIPLE and includes this.
# One self-contained console program: the C and C++ runtimes and the POSIX
# threads of the -posix compilers are linked in, so no DLL travels with it.
set(CMAKE_SYSTEM_NAME Windows)

# The -posix compilers: std::thread and std::mutex need their thread model.
set(CMAKE_C_COMPILER ${QUILLON_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUILLON_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QUILLON_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QUILLON_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No link time in the program's header: the same sources make the same bytes.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp")
# A release program goes out without its symbols.
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
# Tests made by the build run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
