#!/usr/bin/env bash
# check_windows.sh: the Windows build, made and tried on Linux. Cross-builds
# cuesmelt.exe and its tests with MinGW-w64 (the "windows" presets), runs the
# unit and end-to-end tests under Wine, checks that cuesmelt.exe needs no DLL
# beside it, only Windows' own, and that it converts the sample disc byte for
# byte as the Linux build does: the sample that the Windows build generated,
# and the Linux build's own files. Then packs the release zip the way the
# README says, unpacks it and converts the sample disc with the cuesmelt.exe
# it holds, and runs the README's cmd loops in Wine's cmd. Prints how long
# it all took.
source "$(dirname "$0")/check_common.sh"
started=$SECONDS

build_reference_sample

cmake --preset windows >/dev/null
cmake --build --preset windows
ctest --preset windows

exe=build-windows/cuesmelt.exe
# The DLLs that come with every Windows (names compared in lower case).
system_dlls='^(kernel32|msvcrt|shell32|user32|advapi32|ntdll|ucrtbase|api-ms-win-[a-z0-9-]+)\.dll$'
dlls=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
[ -n "$dlls" ] || fail "no DLL names found in $exe"
while read -r dll; do
  [[ ${dll,,} =~ $system_dlls ]] || fail "$exe needs $dll, which Windows does not bring"
done <<<"$dlls"
echo "$exe imports only Windows' own DLLs:" $dlls

cmake --build --preset windows --target convert-sample >/dev/null
cmp build-windows/sample.cdi build/sample.cdi

wine=$(sed -n 's/^CUESMELT_WINE:FILEPATH=//p' build-windows/CMakeCache.txt)
[ -x "$wine" ] || fail "no Wine in build-windows/CMakeCache.txt"
WINEPREFIX=$PWD/build-windows/wineprefix WINEDEBUG=-all "$wine" "$exe" \
  --cue "build/sample/Sample Disc.cue" --cdi build-windows/sample-from-linux.cdi >/dev/null
cmp build-windows/sample-from-linux.cdi build/sample.cdi
echo "cuesmelt.exe under Wine converts the sample disc as the Linux build does"

# Wine started from a terminal gives the program a console of its own, as a
# double-click in Explorer does: with nothing to do, it shows its usage, then
# holds the window open until Enter, and only then ends (status 2). Where no
# pseudo-terminal can be opened (no /dev/pts mounted), that is skipped.
console=0
WINEPREFIX=$PWD/build-windows/wineprefix WINEDEBUG=-all python3 - "$wine" "$exe" <<'EOF' || console=$?
import os, pty, re, select, subprocess, sys, time

try:
    master, terminal = pty.openpty()
except OSError as error:
    print(f"skipped the console window: no pseudo-terminal can be opened here ({error})")
    sys.exit(77)
child = subprocess.Popen(sys.argv[1:], stdin=terminal, stdout=terminal, stderr=terminal,
                         start_new_session=True)
os.close(terminal)
prompt, text, deadline = "Press Enter to close this window.", "", time.monotonic() + 60
try:
    while not text.rstrip().endswith(prompt) and time.monotonic() < deadline:
        if select.select([master], [], [], 1)[0]:
            # The console draws with escape sequences; only the words count.
            text += re.sub(r"\x1b\[[0-9;?]*[A-Za-z]", "", os.read(master, 4096).decode())
    time.sleep(1)
    if not text.rstrip().endswith(prompt) or child.poll() is not None:
        sys.exit(f"cuesmelt.exe in a window of its own did not wait for Enter: {text[-200:]!r}")
    os.write(master, b"\r")
    status = child.wait(timeout=20)
    if status != 2:
        sys.exit(f"cuesmelt.exe ended with status {status} after Enter, not 2")
except subprocess.TimeoutExpired:
    sys.exit("cuesmelt.exe in a window of its own did not end after Enter")
finally:
    if child.poll() is None:
        os.killpg(child.pid, 9)
EOF
[ "$console" = 0 ] && echo "cuesmelt.exe in a console of its own waits for Enter, then ends with status 2"
[ "$console" = 0 ] || [ "$console" = 77 ] || exit "$console"

# The release zip: one folder holding cuesmelt.exe, README.md and LICENSE.
rm -rf build-windows/packages
cpack --config build-windows/CPackConfig.cmake >/dev/null
version=$(project_version build-windows)
top=cuesmelt-$version-windows-x86_64
zip=build-windows/packages/$top.zip
[ -f "$zip" ] || fail "no $zip"
listed=$(unzip -Z1 "$zip" | sort | tr '\n' ' ')
[ "$listed" = "$top/LICENSE $top/README.md $top/cuesmelt.exe " ] || fail "$zip holds: $listed"
unzip -q "$zip" -d "$work"
cmp "$work/$top/README.md" README.md
cmp "$work/$top/LICENSE" LICENSE
WINEPREFIX=$PWD/build-windows/wineprefix WINEDEBUG=-all "$wine" "$work/$top/cuesmelt.exe" \
  --cue "build/sample/Sample Disc.cue" --cdi "$work/sample.cdi" >/dev/null
cmp "$work/sample.cdi" build/sample.cdi
echo "$zip: its cuesmelt.exe converts the sample disc as the Linux build does"

# The README's cmd line and batch file over a collection, as printed, in
# Wine's cmd.
bash tests/docs/check_readme_loops.sh cmd doc/windows.md "$exe" build/sample build/sample.cdi \
  "$wine" "$PWD/build-windows/wineprefix"

echo "Windows step: $((SECONDS - started)) s"
