#!/usr/bin/env bash
# check_windows.sh: the Windows build, made and tried on Linux. Cross-builds
# cuesmelt.exe and its tests with MinGW-w64 (the "windows" presets), runs the
# unit and end-to-end tests under Wine, checks that cuesmelt.exe needs no DLL
# beside it, only Windows' own, and that it converts the sample disc byte for
# byte as the Linux build does: the sample that the Windows build generated,
# and the Linux build's own files; alone on a console, as Explorer starts
# it, that it waits for Enter and converts sheets and folders dropped on it
# (tried in a pseudo-terminal). Then packs the release zip the way the
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

# Wine started from a terminal gives the program a console of its own, as
# Explorer does: with nothing to do, it shows its usage (status 2); given
# paths, as when sheets or folders are dropped on its icon, it converts each
# sheet beside it and sums up (status 1 when one failed). Either way it then
# holds the window open until Enter, and only then ends.
WINEPREFIX=$PWD/build-windows/wineprefix WINEDEBUG=-all LC_ALL=C.UTF-8 python3 - "$wine" "$exe" \
  build/sample build/sample.cdi "$work" <<'EOF'
import fcntl, filecmp, glob, os, pty, re, select, shutil, struct, subprocess, sys, termios, time, zipfile

wine, exe, sample, reference, work = sys.argv[1:]

def in_own_window(paths):
    """cuesmelt.exe alone on a console with `paths` (Linux ones, as Wine's
    drive Z: shows them): its status after Enter, and the window's lines."""
    master, terminal = pty.openpty()
    # Wide enough that the console breaks no line.
    fcntl.ioctl(terminal, termios.TIOCSWINSZ, struct.pack("HHHH", 50, 500, 0, 0))
    child = subprocess.Popen([wine, exe] + ["Z:" + p.replace("/", "\\") for p in paths],
                             stdin=terminal, stdout=terminal, stderr=terminal, start_new_session=True)
    os.close(terminal)
    prompt, shown, text, deadline = "Press Enter to close this window.", b"", "", time.monotonic() + 120
    try:
        while not text.rstrip().endswith(prompt) and time.monotonic() < deadline:
            if select.select([master], [], [], 1)[0]:
                shown += os.read(master, 4096)
                # The console draws with escape sequences: a move right is
                # spaces, the others have no words.
                text = re.sub(rb"\x1b\[(\d*)C", lambda m: b" " * int(m[1] or 1), shown)
                text = re.sub(rb"\x1b\[[0-9;?]*[A-Za-z]", b"", text).decode(errors="replace")
        time.sleep(1)
        if not text.rstrip().endswith(prompt) or child.poll() is not None:
            sys.exit(f"cuesmelt.exe in a window of its own did not wait for Enter: {text[-300:]!r}")
        os.write(master, b"\r")
        return child.wait(timeout=20), [line.rstrip() for line in text.split("\n")]
    except subprocess.TimeoutExpired:
        sys.exit("cuesmelt.exe in a window of its own did not end after Enter")
    finally:
        if child.poll() is None:
            os.killpg(child.pid, 9)

def disc(folder, sheet, track_2="Track 2"):
    """A copy of the sample disc in `folder`, its sheet named `sheet`."""
    os.makedirs(folder, exist_ok=True)
    for track in glob.glob(f"{sample}/*.bin"):
        shutil.copy(track, folder)
    with open(f"{sample}/Sample Disc.cue") as original, open(f"{folder}/{sheet}", "w") as copy:
        copy.write(original.read().replace("(Track 2)", f"({track_2})"))
    return f"{folder}/{sheet}"

def shown(path):  # as messages show a path
    return '"Z:' + path.replace("/", "\\\\") + '"'

def zipped(archive, folders):
    """A zip archive of the sample disc, once in each of `folders` within it."""
    os.makedirs(os.path.dirname(archive), exist_ok=True)
    with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as packed:
        for folder in folders:
            for name in os.listdir(sample):
                packed.write(f"{sample}/{name}", folder + name)
    return archive

one = disc(f"{work}/Disc One", "Game One (USA).cue")
two = disc(f"{work}/Disc Two", "ソニック Two (日本).cue")
broken = disc(f"{work}/Broken Dump", "Broken Dump (Japan).cue", "Track 9")
empty, track = f"{work}/Empty", f"{work}/Disc One/Sample Disc (Track 1).bin"
os.makedirs(empty)
beta, alpha = disc(f"{work}/All", "beta (USA).cue"), disc(f"{work}/All", "Alpha (Europe).cue")
zip_one = zipped(f"{work}/Zips/Game (Japan).zip", [""])
zip_two = zipped(f"{work}/Zips Two/Two Discs.zip", ["Disc A/", "Disc B/"])
as_sheet = lambda folder: f"{work}/{folder}/Sample Disc.cue"  # whose image the archive gives
cases = [  # paths, status, lines in this order, sheets that get an image (or stand for one)
    ([], 2, ["error: the following required arguments were not provided:"], []),
    ([one, two], 0, ["== Game One (USA).cue", "enjoy!", "== ソニック Two (日本).cue", "enjoy!",
                     "2 converted, 0 not converted"], [one, two]),
    ([broken, one, empty, track], 1,
     ["== Broken Dump (Japan).cue",
      f"FILE not found at {shown(work + '/Broken Dump/Sample Disc (Track 9).bin')}. Quitting...",
      "== Game One (USA).cue", "enjoy!", "== Empty", f"No CUE sheet (.cue) or zip archive in the folder {shown(empty)}",
      "== Sample Disc (Track 1).bin",
      f"Neither a CUE sheet (.cue), a zip archive nor a folder: {shown(track)}",
      "1 converted, 3 not converted"], [one]),
    ([f"{work}/All"], 0, ["== Alpha (Europe).cue", "== beta (USA).cue", "2 converted, 0 not converted"],
     [alpha, beta]),
    # An archive gives <sheet name>.cdi beside it, for each sheet it holds;
    # a folder's archives convert with its sheets.
    ([zip_one], 0, ["== Game (Japan).zip/Sample Disc.cue", "enjoy!", "1 converted, 0 not converted"],
     [as_sheet("Zips")]),
    # Sheets of one name in two folders of an archive: images named after
    # their whole paths there, so that neither replaces the other.
    ([zip_two], 0, ["== Two Discs.zip/Disc A/Sample Disc.cue", "enjoy!",
                    "== Two Discs.zip/Disc B/Sample Disc.cue", "enjoy!", "2 converted, 0 not converted"],
     [f"{work}/Zips Two/Disc A - Sample Disc.cue", f"{work}/Zips Two/Disc B - Sample Disc.cue"]),
    ([f"{work}/Zips"], 0, ["== Game (Japan).zip/Sample Disc.cue", "1 converted, 0 not converted"],
     [as_sheet("Zips")]),
]
for paths, status, lines, converted in cases:
    for image in glob.glob(f"{work}/*/*.cdi"):
        os.remove(image)
    got, window = in_own_window(paths)
    at = 0
    for line in lines:
        if line not in window[at:]:
            sys.exit(f"{paths}: no {line!r} after line {at} of:\n" + "\n".join(window))
        at = window.index(line, at) + 1
    images = sorted(glob.glob(f"{work}/*/*.cdi"))
    if got != status or images != sorted(sheet[:-4] + ".cdi" for sheet in converted):
        sys.exit(f"{paths}: status {got}, not {status}; images: {images}")
    if not all(filecmp.cmp(image, reference, shallow=False) for image in images):
        sys.exit(f"{paths}: an image differs from the Linux build's")
EOF
echo "cuesmelt.exe in a console of its own waits for Enter and converts dropped sheets and folders"

# The release zip: one folder holding cuesmelt.exe and the documents.
rm -rf build-windows/packages
cpack --config build-windows/CPackConfig.cmake >/dev/null
version=$(project_version build-windows)
top=cuesmelt-$version-windows-x86_64
zip=build-windows/packages/$top.zip
[ -f "$zip" ] || fail "no $zip"
listed=$(unzip -Z1 "$zip" | grep -v '/$' | LC_ALL=C sort)
expected=$({ documents; echo cuesmelt.exe; } | sed "s|^|$top/|" | LC_ALL=C sort)
[ "$listed" = "$expected" ] || fail "$zip holds: $listed"
unzip -q "$zip" -d "$work"
check_documents "$work/$top"
WINEPREFIX=$PWD/build-windows/wineprefix WINEDEBUG=-all "$wine" "$work/$top/cuesmelt.exe" \
  --cue "build/sample/Sample Disc.cue" --cdi "$work/sample.cdi" >/dev/null
cmp "$work/sample.cdi" build/sample.cdi
echo "$zip: its cuesmelt.exe converts the sample disc as the Linux build does"

# The README's cmd line and batch file over a collection, as printed, in
# Wine's cmd.
bash tests/docs/check_readme_loops.sh cmd doc/windows.md "$exe" build/sample build/sample.cdi \
  "$wine" "$PWD/build-windows/wineprefix"

echo "Windows step: $((SECONDS - started)) s"
