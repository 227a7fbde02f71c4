# Cross-compiling the Windows program on Debian with the packaged mingw-w64
# toolchain, its POSIX-threads flavour (std::thread and std::mutex need it).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MPTEST_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MPTEST_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MPTEST_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${MPTEST_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MPTEST_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One .exe that runs on a clean Windows: the C++ runtime and winpthreads
# are linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
