# Running a Linux build for another processor (the aarch64 and armhf
# presets) on the Linux machine that cross-builds it, under qemu-user
# (package qemu-user): the sample disc generator and the sample conversion
# at build time, the unit, end-to-end and fault tests under CTest.
#
# The build and CTest put CMAKE_CROSSCOMPILING_EMULATOR in front of every
# program they start, and the tests start cuesmelt through it too
# (tests/CMakeLists.txt). Nothing relies on a binfmt handler, through which
# the kernel would start a foreign program by itself: registering one
# changes the whole machine, needs root, and is refused in an unprivileged
# container such as CI's.
#
# A dynamically linked program finds its loader and its C and C++
# libraries where Debian's multiarch packages of the target architecture
# put them (libc6:arm64 and the like; tools/setup.sh --arm), as on an ARM
# system. qemu's -L, which would take them from the cross compiler's
# /usr/<triplet> instead, leaves a forked child of such a program hanging or
# crashing under Debian 12's qemu 7.2, and the tests fork.
#
# Sets CMAKE_CROSSCOMPILING_EMULATOR (unless the caller chose one) and, when
# qemu-user is found, CUESMELT_QEMU.

if(CMAKE_CROSSCOMPILING_EMULATOR)
  return()
endif()
# qemu-user names its emulators after the triplet's processor: qemu-aarch64, qemu-arm.
string(REGEX MATCH "^[^-]+" qemu_processor "${CMAKE_LIBRARY_ARCHITECTURE}")
find_program(CUESMELT_QEMU NAMES qemu-${qemu_processor} qemu-${qemu_processor}-static)
if(NOT CUESMELT_QEMU)
  message(STATUS "qemu-${qemu_processor} not found (Debian package qemu-user)")
  return()
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${CUESMELT_QEMU})
if(NOT EXISTS /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/libstdc++.so.6)
  message(WARNING "No ${CUESMELT_DEBIAN_ARCHITECTURE} C++ runtime in /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE} "
                  "(libstdc++6:${CUESMELT_DEBIAN_ARCHITECTURE}; bash tools/setup.sh --arm): "
                  "nothing built here can run")
endif()
