# Cross-building cuesmelt for 64-bit ARM Linux (Debian's arm64: Raspberry Pi
# OS 64-bit, most ARM servers, handhelds and Chromebooks' Linux) on Debian
# with g++-aarch64-linux-gnu: cmake --preset aarch64, package-aarch64,
# release-aarch64. Its programs run under qemu-aarch64 (cmake/qemu.cmake).
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(cuesmelt_triplet aarch64-linux-gnu)
# The packages' architecture (cmake/install.cmake).
set(CUESMELT_DEBIAN_ARCHITECTURE arm64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
