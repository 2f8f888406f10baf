#!/usr/bin/env python3
"""make_test_zips.py <sample disc folder> <output folder>

Packs the sample disc into the zip archives that the end-to-end tests
convert or expect refused, with Python's zipfile and Info-ZIP's zip, each
named for what it holds: the ordinary kinds (deflated, stored, in a
folder, with data descriptors, zip64, names in code page 437 or UTF-8),
those that cuesmelt refuses by name (encrypted, bzip2, LZMA, split, no
sheet, two sheets, a missing BIN file, a BIN of no whole number of
sectors), and damaged ones (a flipped byte in stored and in deflated
data, sizes that lie, a cut-short file, a directory out of place).
"""
import io
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile

SHEET = "Sample Disc.cue"
TRACKS = [f"Sample Disc (Track {n}).bin" for n in (1, 2, 3)]
FILES = [SHEET] + TRACKS


class Unseekable(io.RawIOBase):
    """A file that zipfile cannot seek in, so that it writes data descriptors."""

    def __init__(self, path):
        self.file = open(path, "wb")

    def writable(self):
        return True

    def write(self, data):
        return self.file.write(data)

    def close(self):
        self.file.close()
        super().close()


def contents(sample, rename=None):
    """The sample disc's files as {name: bytes}, track 1 named `rename` if given."""
    files = {name: open(os.path.join(sample, name), "rb").read() for name in FILES}
    if rename:
        files[SHEET] = files[SHEET].replace(TRACKS[0].encode(), rename.encode())
        files[rename] = files.pop(TRACKS[0])
    return files


def python_zip(path, files, method=zipfile.ZIP_DEFLATED, stream=None):
    with zipfile.ZipFile(stream or path, "w", method) as archive:
        for name, data in files.items():
            if stream:
                with archive.open(name, "w") as entry:
                    entry.write(data)
            else:
                archive.writestr(name, data)


def info_zip(path, files, *options):
    with tempfile.TemporaryDirectory() as work:
        for name, data in files.items():
            with open(os.path.join(work, name), "wb") as out:
                out.write(data)
        subprocess.run(["zip", "-q", *options, os.path.abspath(path), *files], cwd=work,
                       check=True, env={**os.environ, "LC_ALL": "C.UTF-8"})


def patched(source, path, edit):
    data = bytearray(open(source, "rb").read())
    edit(data)
    open(path, "wb").write(bytes(data))


def central_header(data, name):
    """The offset of the central directory header of the entry `name`."""
    at = data.find(b"PK\x01\x02")
    while at >= 0:
        length = struct.unpack_from("<H", data, at + 28)[0]
        if data[at + 46:at + 46 + length] == name.encode():
            return at
        at = data.find(b"PK\x01\x02", at + 4)
    raise SystemExit(f"no entry {name}")


def data_of(data, name):
    """The offset of the data of the entry `name`, from its local header."""
    local = struct.unpack_from("<I", data, central_header(data, name) + 42)[0]
    name_length, extra_length = struct.unpack_from("<HH", data, local + 26)
    return local + 30 + name_length + extra_length


def add_to_size(name, change):
    def edit(data):
        at = central_header(data, name) + 24
        struct.pack_into("<I", data, at, struct.unpack_from("<I", data, at)[0] + change)
    return edit


def flip_in(name):
    def edit(data):
        data[data_of(data, name) + 5000] ^= 0x10
    return edit


def cp437_names(archive_path, files):
    """Names stored in code page 437 without the UTF-8 flag, as old zip tools wrote them."""
    original = zipfile.ZipInfo._encodeFilenameFlags
    zipfile.ZipInfo._encodeFilenameFlags = lambda info: (info.filename.encode("cp437"), info.flag_bits)
    try:
        python_zip(archive_path, files)
    finally:
        zipfile.ZipInfo._encodeFilenameFlags = original


def main(sample, out):
    os.makedirs(out, exist_ok=True)
    at = lambda name: os.path.join(out, name)
    disc = contents(sample)
    info_zip(at("deflated.zip"), disc, "-9")
    info_zip(at("stored.zip"), disc, "-0")
    info_zip(at("zip64 by zip.zip"), disc, "-fz")
    info_zip(at("encrypted.zip"), disc, "-P", "secret")
    with zipfile.ZipFile(at("in a folder.zip"), "w", zipfile.ZIP_DEFLATED) as archive:
        archive.writestr(zipfile.ZipInfo("Disc/"), b"")
        for name, data in disc.items():
            archive.writestr("Disc/" + name, data)
        archive.writestr("__MACOSX/Disc/._Sample Disc.cue", b"\0\5\26\7")
    python_zip(at("descriptors.zip"), disc, stream=Unseekable(at("descriptors.zip")))
    limit = zipfile.ZIP64_LIMIT
    zipfile.ZIP64_LIMIT = 1000  # every size and offset past it goes into zip64 fields
    try:
        python_zip(at("zip64.zip"), disc)
    finally:
        zipfile.ZIP64_LIMIT = limit
    cp437_names(at("cp437 names.zip"), contents(sample, "Pièce ½ (Track 1).bin"))
    info_zip(at("utf-8 names.zip"), contents(sample, "ソニック (Track 1).bin"))
    python_zip(at("bzip2.zip"), disc, zipfile.ZIP_BZIP2)
    python_zip(at("lzma.zip"), disc, zipfile.ZIP_LZMA)
    python_zip(at("no sheet.zip"), {name: disc[name] for name in TRACKS})
    python_zip(at("two sheets.zip"), {**disc, "Disc 2/" + SHEET: disc[SHEET]})
    python_zip(at("missing track.zip"), {name: disc[name] for name in FILES[:3]})
    python_zip(at("odd size.zip"), {
        "odd.cue": b'REM SESSION 01\nFILE "odd.bin" BINARY\nTRACK 01 AUDIO\n',
        "odd.bin": bytes(2353)})

    patched(at("stored.zip"), at("flipped stored.zip"), flip_in(TRACKS[1]))
    patched(at("deflated.zip"), at("flipped deflated.zip"), flip_in(TRACKS[1]))
    patched(at("deflated.zip"), at("longer than its data.zip"), add_to_size(TRACKS[1], 2352))
    patched(at("deflated.zip"), at("shorter than its data.zip"), add_to_size(TRACKS[1], -2352))
    whole = open(at("deflated.zip"), "rb").read()
    open(at("cut short.zip"), "wb").write(whole[: len(whole) // 2])
    # The end record's offset of the directory, moved a byte on.
    patched(at("deflated.zip"), at("directory out of place.zip"),
            lambda data: struct.pack_into("<I", data, len(data) - 6,
                                          struct.unpack_from("<I", data, len(data) - 6)[0] + 1))
    with tempfile.TemporaryDirectory() as work:
        info_zip(os.path.join(work, "split.zip"), disc, "-0", "-s", "1m")
        shutil.copy(os.path.join(work, "split.zip"), at("split.zip"))


if __name__ == "__main__":
    main(*sys.argv[1:])
