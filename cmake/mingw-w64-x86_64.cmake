# Cross-building cuesmelt.exe for 64-bit Windows on Debian with MinGW-w64
# (package g++-mingw-w64-x86-64-posix), and running what it builds under
# Wine (package wine64): cmake --preset windows.
#
# The POSIX-threads flavour of the compiler is the one whose libstdc++ has
# std::thread and friends; the Win32 flavour lacks them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(mingw_triplet x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${mingw_triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${mingw_triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${mingw_triplet}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${mingw_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every executable carries its C and C++ runtime and the threads library, so
# that it runs with nothing but Windows' own DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Running what is built (tests, sample disc) under Wine is set up in
# cmake/wine.cmake, so that this file stays about the compiler alone.
