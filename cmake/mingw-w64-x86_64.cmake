# Cross-compiles x86-64 Windows programs with Debian's mingw-w64 (the posix
# thread model, for std::thread and std::mutex). Everything is linked
# statically, so that the programs run without DLLs beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(RV4410_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${RV4410_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${RV4410_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${RV4410_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${RV4410_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Lets CMake run what it built (test discovery, try_run) through Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
