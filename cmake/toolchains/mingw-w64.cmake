# Cross-compiles the Windows program (64-bit) on Linux with MinGW-w64 (Debian: g++-mingw-w64-x86-64).
# The "-posix" compilers use the POSIX thread model, so std::thread and std::mutex work.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(FERRULE_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${FERRULE_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${FERRULE_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${FERRULE_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${FERRULE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything linked in statically (C and C++ runtimes, winpthread): the .exe runs on a bare
# Windows without any MinGW DLL beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
