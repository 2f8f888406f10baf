#!/usr/bin/env bash
# setup.sh [--tests] [--web] [--fuzz] [--arm]: installs, with apt-get on Debian or
# Ubuntu, what building cuesmelt needs on a bare machine: a C++ compiler,
# CMake, make and zlib (zlib1g-dev), which reads zip archives. With
# --tests, also what the tests need: GoogleTest, python3 and Info-ZIP's
# zip (which pack the test archives), and for the install and
# documentation checks groff, man-db, zsh and bash-completion. With --web,
# what the web page's build and tests need: Emscripten (with node-acorn),
# chromium, firefox-esr, webkit2gtk-driver (WebKitGTK's WebDriver),
# libgl1-mesa-dri (WebKitGTK stops without an OpenGL driver) and xvfb, npm
# and unzip. With --fuzz, the system's clang (clang++) and the libFuzzer
# and sanitizer runtimes of its version (libclang-rt-<N>-dev). With --arm,
# what the Linux builds for ARM need (the aarch64 and armhf presets):
# Debian's cross compilers, GoogleTest's sources, qemu-user to run what
# they build (without qemu-user-binfmt, which it recommends: nothing here
# wants the kernel's binfmt handlers changed), file, and from Debian's
# multiarch packages of arm64 and armhf, which dpkg is told about first,
# zlib1g-dev and the C and C++ runtimes that dpkg-shlibdeps reads the
# packages' dependencies from.
# Only what is missing is installed; with everything present it installs
# nothing and needs no privileges. As root it runs apt-get itself, otherwise
# through sudo.
set -euo pipefail

with_tests=no
with_web=no
with_fuzz=no
with_arm=no
for option in "$@"; do
  case "$option" in
    --tests) with_tests=yes ;;
    --web) with_web=yes ;;
    --fuzz) with_fuzz=yes ;;
    --arm) with_arm=yes ;;
    *)
      echo "usage: $0 [--tests] [--web] [--fuzz] [--arm]" >&2
      exit 2
      ;;
  esac
done

missing=()
need_command() {  # need_command <command> <package>
  command -v "$1" >/dev/null 2>&1 || missing+=("$2")
}
need_file() {  # need_file <package> <path>...: the package unless one path exists
  local package=$1
  shift
  for path in "$@"; do [ -e "$path" ] && return 0; done
  missing+=("$package")
}

need_command g++ g++
need_command cmake cmake
need_command make make
need_file zlib1g-dev /usr/include/zlib.h
if [ "$with_tests" = yes ]; then
  need_file libgtest-dev /usr/lib/x86_64-linux-gnu/cmake/GTest /usr/lib/cmake/GTest \
    /usr/lib/"$(uname -m)"-linux-gnu/cmake/GTest
  need_command python3 python3
  need_command zip zip
  need_command groff groff-base
  need_command man man-db
  need_command zsh zsh
  need_file bash-completion /usr/share/bash-completion/bash_completion
fi
if [ "$with_web" = yes ]; then
  need_command emcc emscripten
  need_file node-acorn /usr/share/nodejs/acorn
  need_command chromium chromium
  need_command firefox-esr firefox-esr
  need_command WebKitWebDriver webkit2gtk-driver
  need_file libgl1-mesa-dri /usr/lib/"$(uname -m)"-linux-gnu/dri/swrast_dri.so
  need_command Xvfb xvfb
  need_command npm npm
  need_command unzip unzip
fi
if [ "$with_fuzz" = yes ]; then
  # The runtimes must be those of the clang that clang++ is, which is only
  # known once it is installed (below).
  need_command clang++ clang
fi

if [ "$with_arm" = yes ]; then
  for triplet in aarch64-linux-gnu arm-linux-gnueabihf; do
    need_command "$triplet-g++" "g++-$triplet"
  done
  need_file googletest /usr/src/googletest/CMakeLists.txt
  need_command qemu-aarch64 qemu-user
  need_command file file
fi

run_as_root() {  # run_as_root <command>...: as root, through sudo unless this is root
  if [ "$(id -u)" -eq 0 ]; then
    "$@"
  elif command -v sudo >/dev/null 2>&1; then
    sudo "$@"
  else
    echo "setup.sh: run this as root, or install sudo: $1 needs it" >&2
    exit 1
  fi
}

install_missing() {
  [ ${#missing[@]} -eq 0 ] && return 0
  if ! command -v apt-get >/dev/null 2>&1; then
    echo "setup.sh: this is no Debian or Ubuntu system; install these yourself: ${missing[*]}" >&2
    exit 1
  fi
  echo "setup.sh: installing ${missing[*]}"
  run_as_root env DEBIAN_FRONTEND=noninteractive apt-get update
  run_as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
    "${missing[@]}"
  missing=()
}
install_missing

if [ "$with_fuzz" = yes ]; then
  clang_major=$(clang++ -dumpversion | cut -d. -f1)
  runtimes=libclang-rt-$clang_major-dev
  dpkg-query -W -f='${Status}\n' "$runtimes" 2>/dev/null | grep -q ' installed$' ||
    missing+=("$runtimes")
  install_missing
fi

if [ "$with_arm" = yes ]; then
  # The target architectures' packages install beside the build machine's
  # own once dpkg knows the architectures.
  for architecture in arm64 armhf; do
    if ! dpkg --print-foreign-architectures | grep -qx "$architecture"; then
      echo "setup.sh: adding the architecture $architecture to dpkg"
      run_as_root dpkg --add-architecture "$architecture"
    fi
    for package in zlib1g-dev libc6 libstdc++6 libgcc-s1; do
      dpkg-query -W -f='${Status}\n' "$package:$architecture" 2>/dev/null | grep -q ' installed$' ||
        missing+=("$package:$architecture")
    done
  done
  install_missing
fi
