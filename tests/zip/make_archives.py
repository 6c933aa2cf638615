#!/usr/bin/env python3
"""Writes the zip archives the extraction tests read: make_archives.py OUTDIR."""
import io
import os
import struct
import sys
import zipfile
import zlib

TIME = (2021, 6, 15, 13, 45, 30)


def archive(entries, method=zipfile.ZIP_DEFLATED):
    """entries: (name, bytes) pairs; a name ending in a separator is a folder."""
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w") as z:
        for name, data in entries:
            info = zipfile.ZipInfo(name, TIME)
            info.compress_type = method
            z.writestr(info, data)
    return bytearray(buf.getvalue())


def entry_offsets(data, name):
    """Offsets of the local and the central header of the entry called name."""
    raw = name.encode()
    local = central = None
    i = 0
    while i < len(data) - 4:
        sig = bytes(data[i:i + 4])
        if sig == b"PK\x03\x04":
            n = struct.unpack_from("<H", data, i + 26)[0]
            if bytes(data[i + 30:i + 30 + n]) == raw:
                local = i
        elif sig == b"PK\x01\x02":
            n = struct.unpack_from("<H", data, i + 28)[0]
            if bytes(data[i + 46:i + 46 + n]) == raw:
                central = i
        i += 1
    return local, central


def with_wrong_crc(data, name):
    """The entry's stored CRC, in both headers, no longer matches its data."""
    local, central = entry_offsets(data, name)
    crc = struct.unpack_from("<I", data, local + 14)[0] ^ 0x5A5A5A5A
    struct.pack_into("<I", data, local + 14, crc)
    struct.pack_into("<I", data, central + 16, crc)
    return data


def with_garbled_data(data, name):
    """The entry's deflated data is replaced by bytes that cannot inflate."""
    local, _ = entry_offsets(data, name)
    n, extra = struct.unpack_from("<HH", data, local + 26)
    size = struct.unpack_from("<I", data, local + 18)[0]
    start = local + 30 + n + extra
    for k in range(size):
        data[start + k] = 0xFF
    return data


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    files = {
        # No folder entries: the folders come from the file names.
        "plain.zip": archive([("top.txt", b"top\r\n"), ("sub/dir/file.txt", b"deep file")]),
        "folders.zip": archive(
            [("empty/", b""), ("a/", b""), ("a/b/", b""), ("a/b/c.txt", b"c"),
             ("back\\slash\\d.txt", b"d")]),
        "readonly.zip": archive(
            [("one.txt", b"new one"), ("locked.txt", b"new locked"), ("two.txt", b"new two")]),
        "crc.zip": with_wrong_crc(
            archive([("first.txt", b"first"), ("bad.txt", b"bad data " * 100),
                     ("last.txt", b"last")], zipfile.ZIP_STORED), "bad.txt"),
        "inflate.zip": with_garbled_data(
            archive([("first.txt", b"first"), ("broken.bin", bytes(range(256)) * 64),
                     ("last.txt", b"last")]), "broken.bin"),
        "slip.zip": archive(
            [("../slip1.txt", b"x"), ("..\\slip2.txt", b"x"), ("a/../../slip3.txt", b"x"),
             ("a\\..\\..\\slip4.txt", b"x"), ("/slip5.txt", b"x"), ("\\slip6.txt", b"x"),
             ("C:/slip7.txt", b"x"), ("C:slip8.txt", b"x"), ("\\\\server\\share\\slip9.txt", b"x"),
             ("//server/share/slip10.txt", b"x"), (".../slip11.txt", b"x"),
             ("a/b/../slip12.txt", b"x"), ("../slipdir/", b""), ("..", b"x"),
             ("ok/./fine.txt", b"fine"), ("ok/also.txt", b"also")]),
        "longname.zip": archive([("n" * 300 + ".txt", b"long"), ("after.txt", b"after")]),
        "zero.zip": b"",
    }
    files["truncated.zip"] = files["plain.zip"][: len(files["plain.zip"]) // 2]
    for name, data in files.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
