#!/usr/bin/env bash
# check_package.sh: builds the Debian package from a release build (the
# "package" presets), checks its metadata and contents, installs it with
# dpkg, converts the sample disc with the installed /usr/bin/cuesmelt,
# compares that image with the one the build tree made, and removes the
# package again. The package is removed on every way out, failures included.
#
# It changes the system's set of packages, so it runs only as root (CI runs
# it as root on a throwaway machine), and it leaves a system alone that
# already has a cuesmelt of its own.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "$(id -u)" -ne 0 ]; then
  echo "skipped: installing the package needs root"
  exit 0
fi
if dpkg-query -W -f='${Status}\n' cuesmelt 2>/dev/null | grep -q ' installed$' ||
  [ -e /usr/bin/cuesmelt ]; then
  echo "cuesmelt is installed on this system already; not replacing it" >&2
  exit 1
fi

work=$(mktemp -d)
installing=
cleanup() {
  if [ -n "$installing" ]; then
    dpkg --purge cuesmelt >/dev/null || echo "could not remove the cuesmelt package" >&2
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# The build tree converts the sample disc too: build-package/sample.cdi.
rm -rf build-package/packages
cmake --preset package >/dev/null
cmake --build --preset package
cpack --preset package
debs=(build-package/packages/cuesmelt_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || {
  echo "expected one package in build-package/packages" >&2
  exit 1
}
deb=${debs[0]}

field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = cuesmelt ] || { echo "package name: $(field Package)" >&2; exit 1; }
[ "$(field Section)" = otherutils ] || { echo "section: $(field Section)" >&2; exit 1; }
case $(field Depends) in
  *libc6*) ;;
  *) echo "no shared library dependencies: '$(field Depends)'" >&2; exit 1 ;;
esac
contents=$(dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ {print $6}' | LC_ALL=C sort)
expected='./usr/bin/cuesmelt
./usr/share/bash-completion/completions/cuesmelt
./usr/share/man/man1/cuesmelt.1
./usr/share/zsh/vendor-completions/_cuesmelt'
[ "$contents" = "$expected" ] || {
  printf 'unexpected package contents:\n%s\n' "$contents" >&2
  exit 1
}

installing=1
dpkg -i "$deb"
version=$(/usr/bin/cuesmelt --version | tail -n 1)
echo "installed: $version"
[ "$version" = "cuesmelt $(field Version)" ] || {
  echo "the program says '$version', the package $(field Version)" >&2
  exit 1
}
/usr/bin/cuesmelt --cue "build-package/sample/Sample Disc.cue" --cdi "$work/sample.cdi"
cmp "$work/sample.cdi" build-package/sample.cdi
echo "the installed cuesmelt converts the sample disc as the build tree does"

dpkg -r cuesmelt
installing=
[ ! -e /usr/bin/cuesmelt ] || { echo "/usr/bin/cuesmelt is still there" >&2; exit 1; }
echo "package built, installed, used and removed: $deb"
