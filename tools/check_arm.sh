#!/usr/bin/env bash
# check_arm.sh <aarch64 | armhf>: the Linux build for an ARM processor, made
# and tried on this machine. Cross-builds cuesmelt and its tests with
# Debian's cross compiler (the aarch64 or armhf presets), runs the unit,
# end-to-end and fault tests under qemu-user, and checks that the sample
# disc which that build generated and converted gives the default build's
# image byte for byte. Then builds and checks the Debian package and the
# release archive for the same processor (tools/check_package.sh,
# tools/check_release.sh). Prints how long it all took. What it needs:
# bash tools/setup.sh --arm.
source "$(dirname "$0")/check_common.sh"
started=$SECONDS
case ${1:-} in
  aarch64 | armhf) processor=$1 ;;
  *) fail "usage: $0 <aarch64 | armhf>" ;;
esac

build_reference_sample

cmake --preset "$processor" >/dev/null
cmake --build --preset "$processor"
ctest --preset "$processor"
cmake --build --preset "$processor" --target convert-sample >/dev/null
cmp "build-$processor/sample.cdi" build/sample.cdi
echo "the $processor build converts its own sample disc as the default build does"

bash tools/check_package.sh "package-$processor"
bash tools/check_release.sh "release-$processor"

echo "$processor step: $((SECONDS - started)) s"
