# What the toolchain files for Linux on other processors share: Debian's
# cross compiler for the target triplet `cuesmelt_triplet` (package
# g++-<triplet>), and the target's libraries from Debian's multiarch
# packages, which lie beside the build machine's own, in /usr/lib/<triplet>
# (dpkg --add-architecture, then zlib1g-dev:arm64 and the like; bash
# tools/setup.sh --arm installs them). The cross compiler's own C and C++
# libraries lie in /usr/<triplet>.
#
# Running what is built (tests, sample disc) under qemu-user is set up in
# cmake/qemu.cmake, so that these files stay about the compiler alone.
set(CMAKE_SYSTEM_NAME Linux)

set(CMAKE_C_COMPILER ${cuesmelt_triplet}-gcc)
set(CMAKE_CXX_COMPILER ${cuesmelt_triplet}-g++)

# find_library and find_package look in lib/<triplet> of every prefix
# (/usr/lib/aarch64-linux-gnu, say), never in the build machine's
# lib/x86_64-linux-gnu; headers and libraries only under the roots below,
# programs only on the build machine, which runs them.
set(CMAKE_LIBRARY_ARCHITECTURE ${cuesmelt_triplet})
set(CMAKE_FIND_ROOT_PATH /usr/${cuesmelt_triplet} /)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
