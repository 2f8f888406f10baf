# Cross-building cuesmelt for 32-bit ARM Linux with hardware floating point
# (Debian's armhf: ARMv7 and later, Raspberry Pi OS 32-bit on a Pi 2 or
# later) on Debian with g++-arm-linux-gnueabihf: cmake --preset armhf,
# package-armhf, release-armhf. Its programs run under qemu-arm
# (cmake/qemu.cmake). Its size_t and long have 32 bits; its off_t has 64,
# as everywhere (CMakeLists.txt).
set(CMAKE_SYSTEM_PROCESSOR arm)
set(cuesmelt_triplet arm-linux-gnueabihf)
# The packages' architecture (cmake/install.cmake).
set(CUESMELT_DEBIAN_ARCHITECTURE armhf)
# GCC notes wherever it passes a structure that holds 64-bit numbers, as
# disc::Index does, otherwise than GCC 7.0 did. Nothing here is linked with
# code of such an old compiler.
set(CMAKE_CXX_FLAGS_INIT -Wno-psabi)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
