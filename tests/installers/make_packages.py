#!/usr/bin/env python3
"""Writes the packages the installer tests install: make_packages.py OUTDIR.

The add-in package and the skin package are the world stand-in's own; the
variants differ from them only where a test needs it."""
import io
import os
import sys
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                "standins", "world"))
import world  # noqa: E402

CFG = "ZudUrirOzoduro/addin.cfg"


def with_cfg(package, cfg):
    """The package with its addin.cfg replaced by cfg (bytes)."""
    entries = []
    with zipfile.ZipFile(io.BytesIO(package)) as z:
        for info in z.infolist():
            data = None if info.filename.endswith("/") else z.read(info)
            entries.append((info.filename, cfg if info.filename == CFG else data))
    return world._zip_bytes(entries)


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    addin = world.build_addin_zip("1.7")
    with zipfile.ZipFile(io.BytesIO(addin)) as z:
        cfg = z.read(CFG)
    no_name = cfg.replace(b' name="ZudUrirOzoduro"', b"")
    no_show_name = cfg.replace(" show_name=\"游戏频道\"".encode("utf-8"), b"")
    assert no_name != cfg and no_show_name != cfg
    files = {
        "ZudUrirOzoduro.zip": addin,
        "ZudUrirOzoduro16.zip": world.build_addin_zip("1.6"),
        "NoName.zip": with_cfg(addin, no_name),
        "NoName.cfg": no_name,
        "NoShowName.zip": with_cfg(addin, no_show_name),
        "NoShowName.cfg": no_show_name,
        "Broken.zip": b"not a zip archive\r\n" * 8,
        "TessalyDemo.skn": world.build_skin_package(),
    }
    for name, data in files.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
