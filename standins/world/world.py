#!/usr/bin/env python3
"""Loopback stand-in for the game-configuration server and the statistics server.

Serves, on 127.0.0.1 only:
  /Configuration/<id>.xml   game configuration (UTF-8, or gb2312 when switched)
  /DownloadAds/<id>.xml     tips file
  /game/<name>              generated game files (deterministic, never held in memory)
  /files/<name>             any file of the data folder (host installer, add-in zip, ...)
  /channel/<page>.html      small pages the configuration links to
  /UPV?...                  statistics beacons, one log line each
  /_control/...             run-time switches for tests (see --help and README.md)

Standard library only. Run with --help for the options.
"""

import argparse
import email.utils
import hashlib
import io
import json
import os
import random
import select
import signal
import socket
import socketserver
import struct
import sys
import threading
import time
import urllib.parse
import zipfile
import zlib
from http.server import BaseHTTPRequestHandler, HTTPServer

# ---------------------------------------------------------------------------
# Deterministic game file content
# ---------------------------------------------------------------------------

BLOCK = 1 << 20  # content is made of 1 MiB blocks, each computable on its own
HEADER = 16


class Pattern:
    """Content of a generated file: block i is a 16-byte tag followed by a
    seed-specific random MiB rotated by an amount derived from i. Any byte
    range can be produced without producing what comes before it, and every
    block is a slice of one buffer, so serving costs no more than a copy."""

    _cache = {}
    _cache_lock = threading.Lock()

    def __init__(self, seed):
        self.seed = seed
        base = random.Random(seed).randbytes(BLOCK)
        self.base2 = memoryview(base + base)

    @classmethod
    def get(cls, seed):
        with cls._cache_lock:
            p = cls._cache.get(seed)
            if p is None:
                p = cls._cache[seed] = Pattern(seed)
            return p

    def tag(self, index):
        return hashlib.sha256(b"%d:%d" % (self.seed, index)).digest()[:HEADER]

    def pieces(self, start, end, max_piece=BLOCK):
        """Yields memoryviews covering [start, end)."""
        pos = start
        while pos < end:
            index, off = divmod(pos, BLOCK)
            block_end = min(end, (index + 1) * BLOCK)
            tag = self.tag(index)
            if off < HEADER:
                take = min(HEADER, off + (block_end - pos)) - off
                yield memoryview(tag)[off : off + take]
                pos += take
                continue
            rot = int.from_bytes(tag[:4], "little") % BLOCK
            a = rot + (off - HEADER)
            while pos < block_end:
                n = min(block_end - pos, max_piece)
                yield self.base2[a : a + n]
                a += n
                pos += n


def seed_for(name):
    return zlib.crc32(name.encode("utf-8"))


def game_digest(size, seed):
    """SHA-256 (hex) of a generated file."""
    h = hashlib.sha256()
    for piece in Pattern.get(seed).pieces(0, size):
        h.update(piece)
    return h.hexdigest()


def game_bytes(size, seed, start=0, end=None):
    """Bytes [start, end) of a generated file (for small checks in tests)."""
    end = size if end is None else min(end, size)
    return b"".join(bytes(p) for p in Pattern.get(seed).pieces(start, end))


def parse_size(text):
    text = text.strip()
    mult = 1
    units = {"K": 1 << 10, "M": 1 << 20, "G": 1 << 30}
    if text and text[-1].upper() in units:
        mult = units[text[-1].upper()]
        text = text[:-1]
    value = int(text) * mult
    if value < 0:
        raise ValueError("negative size")
    return value


class GameFile:
    """One entry of the game URL list: generated (NAME:SIZE[:SEED]) or a file
    of the data folder (NAME@FILE, served under /files/FILE)."""

    def __init__(self, spec):
        if "@" in spec:
            self.name, self.data_file = spec.split("@", 1)
            self.size = None
            self.seed = None
        else:
            parts = spec.split(":")
            if len(parts) not in (2, 3) or not parts[0]:
                raise ValueError("game file must be NAME:SIZE[:SEED] or NAME@FILE: %r" % spec)
            self.name = parts[0]
            self.size = parse_size(parts[1])
            self.seed = int(parts[2]) if len(parts) == 3 else seed_for(self.name)
            self.data_file = None
        if "/" in self.name or "\\" in self.name or self.name in (".", ".."):
            raise ValueError("bad game file name %r" % self.name)

    @property
    def path(self):
        if self.data_file is not None:
            return "/files/" + urllib.parse.quote(self.data_file)
        return "/game/" + urllib.parse.quote(self.name)


DEFAULT_GAME_FILES = ["TessalyDemoSetup.exe:6M", "TessalyDemo.pak1:24M", "TessalyDemo.pak2:3M"]

# ---------------------------------------------------------------------------
# Packages built at start-up
# ---------------------------------------------------------------------------

ADDIN = "ZudUrirOzoduro"
FIXED_ZIP_TIME = (2024, 1, 1, 0, 0, 0)


def _png(width, height, rgba):
    raw = b"".join(b"\x00" + bytes(rgba) * width for _ in range(height))

    def chunk(kind, data):
        return (
            struct.pack(">I", len(data))
            + kind
            + data
            + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
        )

    ihdr = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b"")


def _zip_bytes(entries):
    """entries: list of (name, bytes or None for a folder)."""
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in entries:
            info = zipfile.ZipInfo(name, FIXED_ZIP_TIME)
            if data is None:
                info.external_attr = 0o40755 << 16 | 0x10
                z.writestr(info, b"")
            else:
                info.compress_type = zipfile.ZIP_DEFLATED
                info.external_attr = 0o644 << 16
                z.writestr(info, data)
    return buf.getvalue()


def build_addin_zip(torvane_attr="1.7"):
    default_zip = _zip_bytes(
        [
            ("bitmap/", None),
            ("bitmap/zudurirozoduro.tab.png", _png(16, 16, (0x20, 0x80, 0xD0, 0xFF))),
            (
                "default.xml",
                b'<QMUE><resource> <bitmap id="bitmap.zudurirozoduro.tab" '
                b'path="bitmap\\zudurirozoduro.tab.png" /> </resource></QMUE>',
            ),
        ]
    )
    cfg = (
        '<?xml version="1.0" encoding="utf-8"?>\r\n'
        '<addin name="%s" show_name="游戏频道" version="1.0.0.1" torvane="%s" '
        'entry="startup.lua" />\r\n' % (ADDIN, torvane_attr)
    ).encode("utf-8")
    root = ADDIN + "/"
    return _zip_bytes(
        [
            (root, None),
            (root + "addin.cfg", cfg),
            (root + "startup.lua", b'-- game channel add-in\r\nrequire("onload")\r\n'),
            (root + "qar/", None),
            (root + "qar/" + ADDIN + "/", None),
            (root + "qar/" + ADDIN + "/layout.qar", b"<layout><tab id=\"game\" /></layout>\r\n"),
            (root + "qar/" + ADDIN + "/onload.lua", b"function OnLoad() return true end\r\n"),
            (root + "QAR/", None),
            (root + "QAR/" + ADDIN + "/", None),
            (root + "QAR/" + ADDIN + "/res/", None),
            (root + "QAR/" + ADDIN + "/res/default.zip", default_zip),
        ]
    )


def build_skin_package():
    return _zip_bytes(
        [
            ("skin.xml", '<?xml version="1.0" encoding="utf-8"?>\r\n<skin name="泰萨利" scheme="default" />\r\n'.encode("utf-8")),
            ("images/", None),
            ("images/background.png", _png(32, 32, (0x30, 0x30, 0x40, 0xFF))),
        ]
    )


# ---------------------------------------------------------------------------
# Settings and switches
# ---------------------------------------------------------------------------

SWITCH_DEFAULTS = {
    "rate": 0,  # bytes per second per connection, 0 = unlimited
    "rate_path": "",  # only paths starting with this are throttled
    "cut": -1,  # close the connection after this many body bytes, -1 = never
    "cut_times": -1,  # how many responses get cut, -1 = all
    "cut_path": "",
    "cut_mode": "close",  # close (FIN) or reset (RST)
    "redirect": 0,  # length of the redirect chain in front of matching paths
    "redirect_code": 302,
    "redirect_path": "",
    "framing": "length",  # length, chunked or close
    "chunk_size": 65536,
    "ranges": 1,  # 0: ignore Range, always 200 with the whole body
    "keepalive": 1,  # 0: every answer carries Connection: close
    "encoding": "utf-8",  # utf-8, gb2312, or GB2312 (declared in capitals)
    "delay_ms": 0,  # wait before every answer
    "stall": 0,  # 1: read the request, then never answer (until the client leaves)
    "stall_path": "",
    "stall_times": -1,  # how many requests stall, -1 = all
    "config": "xml",  # xml, html (200 with a web page), empty (200, no body), short (cut by a clean close)
    "endless": 0,  # 1: matching paths get a body that never ends
    "endless_path": "/UPV",
    "endless_code": 200,
}
INT_SWITCHES = {
    "rate",
    "cut",
    "cut_times",
    "redirect",
    "redirect_code",
    "chunk_size",
    "ranges",
    "keepalive",
    "delay_ms",
    "stall",
    "stall_times",
    "endless",
    "endless_code",
}
CONFIG_MODES = ("xml", "html", "empty", "short")
ENCODINGS = ("utf-8", "gb2312", "GB2312")

SETTING_DEFAULTS = {
    "title": "泰萨利传说",
    "host_version": "7.2.0.0000",
    "host_installer": "TorvaneSetup.exe",
    "addin": ADDIN + ".zip",
    "skin": "TessalyDemo.skn",
    "accelerator": "DozurudireSetup.exe",
    "tips_text": "点击查看新手攻略",
    "tips_url": "",  # empty: the server's own /channel/tips.html
    "base_url": "",  # empty: http://127.0.0.1:<port>
}


class State:
    def __init__(self, args):
        self.lock = threading.Lock()
        self.root = os.path.abspath(args.root)
        self.game_ids = set(args.game_id or ["1001"])
        self.any_game = args.any_game
        self.game_files = [GameFile(s) for s in (args.game_file or DEFAULT_GAME_FILES)]
        self.game_mtime = args.mtime
        self.config_mtime = int(time.time())
        self.settings = dict(SETTING_DEFAULTS)
        for key in SETTING_DEFAULTS:
            v = getattr(args, key, None)
            if v is not None:
                self.settings[key] = v
        self.switches = dict(SWITCH_DEFAULTS)
        self.status_overrides = {}  # path -> [code, times left or -1]
        self.port = 0
        self.digests = {}
        self.beacon_log = os.path.abspath(args.beacon_log or os.path.join(self.root, "world-beacons.log"))
        self.request_log = os.path.abspath(args.request_log or os.path.join(self.root, "world-requests.log"))
        self.log_lock = threading.Lock()
        # Requests being answered; their log entries are written when they end.
        self.in_flight = 0
        self.in_flight_done = threading.Condition(self.log_lock)
        self.conn_counter = 0
        open(self.beacon_log, "w").close()
        open(self.request_log, "w").close()

    def set_switch(self, key, value):
        if key == "chunked":
            key, value = "framing", ("chunked" if value not in ("0", "") else "length")
        if key in SWITCH_DEFAULTS:
            if key in INT_SWITCHES:
                value = int(value)
            if key == "framing" and value not in ("length", "chunked", "close"):
                raise ValueError("framing must be length, chunked or close")
            if key == "cut_mode" and value not in ("close", "reset"):
                raise ValueError("cut_mode must be close or reset")
            if key == "encoding" and value not in ENCODINGS:
                raise ValueError("encoding must be one of %s" % ", ".join(ENCODINGS))
            if key == "redirect_code" and value not in (301, 302, 303, 307, 308):
                raise ValueError("redirect_code must be a redirect status")
            if key == "chunk_size" and value <= 0:
                raise ValueError("chunk_size must be positive")
            if key == "config" and value not in CONFIG_MODES:
                raise ValueError("config must be one of %s" % ", ".join(CONFIG_MODES))
            if key == "endless_code" and not 200 <= value <= 599:
                raise ValueError("endless_code must be a final status")
            with self.lock:
                self.switches[key] = value
                if key in ("encoding", "config"):
                    self.touch_config()
        elif key in SETTING_DEFAULTS:
            with self.lock:
                self.settings[key] = value
                self.touch_config()
        else:
            raise KeyError(key)

    def touch_config(self):
        # A changed configuration must look newer than any copy a client holds.
        self.config_mtime = max(int(time.time()), self.config_mtime + 1)

    def reset(self):
        with self.lock:
            self.switches = dict(SWITCH_DEFAULTS)
            self.status_overrides = {}
            self.touch_config()

    def base_url(self):
        return self.settings["base_url"] or "http://127.0.0.1:%d" % self.port

    def file_size(self, gf):
        if gf.data_file is not None:
            try:
                return os.path.getsize(self.data_path(gf.data_file))
            except OSError:
                return 0
        return gf.size

    def data_path(self, rel):
        """Maps a /files/ name to the data folder, refusing escapes."""
        full = os.path.realpath(os.path.join(self.root, rel))
        if full != self.root and not full.startswith(self.root + os.sep):
            return None
        return full

    def game_size(self):
        return sum(self.file_size(gf) for gf in self.game_files)

    def digest_of(self, gf):
        key = gf.name
        with self.lock:
            if key in self.digests:
                return self.digests[key]
        if gf.data_file is not None:
            h = hashlib.sha256()
            with open(self.data_path(gf.data_file), "rb") as f:
                for block in iter(lambda: f.read(BLOCK), b""):
                    h.update(block)
            d = h.hexdigest()
        else:
            d = game_digest(gf.size, gf.seed)
        with self.lock:
            self.digests[key] = d
        return d

    def info(self, with_digests=False):
        base = self.base_url()
        s = self.settings
        files = []
        for gf in self.game_files:
            e = {"name": gf.name, "path": gf.path, "url": base + gf.path, "size": self.file_size(gf)}
            if gf.seed is not None:
                e["seed"] = gf.seed
            if with_digests:
                e["sha256"] = self.digest_of(gf)
            files.append(e)
        return {
            "port": self.port,
            "base_url": base,
            "root": self.root,
            "game_ids": sorted(self.game_ids),
            "game_size": self.game_size(),
            "game_files": files,
            "host_installer_url": base + "/files/" + urllib.parse.quote(s["host_installer"]),
            "addin_url": base + "/files/" + urllib.parse.quote(s["addin"]),
            "skin_url": base + "/files/" + urllib.parse.quote(s["skin"]),
            "accelerator_url": base + "/files/" + urllib.parse.quote(s["accelerator"]),
            "beacon_url": base + "/UPV",
            "beacon_log": self.beacon_log,
            "request_log": self.request_log,
            "settings": dict(s),
        }

    def begin_request(self):
        with self.log_lock:
            self.in_flight += 1

    def log_request(self, entry):
        line = json.dumps(entry, ensure_ascii=False) + "\n"
        with self.log_lock:
            with open(self.request_log, "a", encoding="utf-8") as f:
                f.write(line)
            self.in_flight -= 1
            self.in_flight_done.notify_all()

    def settle(self, seconds=10.0):
        """Waits (with the log lock held) until every request in flight has
        been logged, so that clearing the log drops all that came before."""
        deadline = time.monotonic() + seconds
        while self.in_flight > 0:
            left = deadline - time.monotonic()
            if left <= 0 or not self.in_flight_done.wait(left):
                break

    def log_beacon(self, target):
        now = time.time()
        stamp = time.strftime("%Y-%m-%dT%H:%M:%S", time.gmtime(now)) + ".%03dZ" % int((now % 1) * 1000)
        with self.log_lock:
            with open(self.beacon_log, "a", encoding="utf-8", errors="replace") as f:
                f.write("%s %s\n" % (stamp, target))

    def take_status_override(self, path):
        with self.lock:
            o = self.status_overrides.get(path)
            if not o:
                return None
            code, left = o
            if left > 0:
                left -= 1
                if left == 0:
                    del self.status_overrides[path]
                else:
                    o[1] = left
            return code

    def take_cut(self, path):
        with self.lock:
            sw = self.switches
            if sw["cut"] < 0 or not path.startswith(sw["cut_path"]) or sw["cut_times"] == 0:
                return -1
            if sw["cut_times"] > 0:
                sw["cut_times"] -= 1
            return sw["cut"]

    def take_stall(self, path):
        with self.lock:
            sw = self.switches
            if not sw["stall"] or not path.startswith(sw["stall_path"]) or sw["stall_times"] == 0:
                return False
            if sw["stall_times"] > 0:
                sw["stall_times"] -= 1
            return True

    # -- XML ------------------------------------------------------------

    def _encode(self, body):
        enc = self.switches["encoding"]
        data = ('<?xml version="1.0" encoding="%s"?>\r\n' % enc + body).encode(
            "utf-8" if enc == "utf-8" else "gb2312", errors="xmlcharrefreplace"
        )
        return data, enc

    def config_xml(self):
        base = self.base_url()
        s = self.settings

        def esc(t):
            return t.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")

        urls = "".join("\r\n      <gameurl>%s</gameurl>" % esc(base + gf.path) for gf in self.game_files)
        body = (
            "<config>\r\n"
            "  <public>\r\n"
            "    <torvaneversion>{hv}</torvaneversion>\r\n"
            "    <torvaneurl>{hu}</torvaneurl>\r\n"
            "    <addinurl>{au}</addinurl>\r\n"
            "  </public>\r\n"
            "  <game>\r\n"
            "    <gametitle>{title}</gametitle>\r\n"
            "    <skinurl>{su}</skinurl>\r\n"
            "    <tabinfourl>{b}/channel/tabinfo.html</tabinfourl>\r\n"
            "    <taburl>{b}/channel/tab.html</taburl>\r\n"
            "    <newsurl>{b}/channel/news.html</newsurl>\r\n"
            "    <hotspoturl>{b}/channel/hotspot.html</hotspoturl>\r\n"
            "    <gamesize>{size}</gamesize>\r\n"
            "    <gameurls>{urls}\r\n"
            "    </gameurls>\r\n"
            "  </game>\r\n"
            "</config>\r\n"
        ).format(
            hv=esc(s["host_version"]),
            hu=esc(base + "/files/" + urllib.parse.quote(s["host_installer"])),
            au=esc(base + "/files/" + urllib.parse.quote(s["addin"])),
            title=esc(s["title"]),
            su=esc(base + "/files/" + urllib.parse.quote(s["skin"])),
            b=esc(base),
            size=self.game_size(),
            urls=urls,
        )
        return self._encode(body)

    def tips_xml(self):
        s = self.settings
        url = s["tips_url"] or self.base_url() + "/channel/tips.html"

        def esc(t):
            return t.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")

        body = "<tips>\r\n  <downloader>\r\n    <text>%s</text>\r\n    <url>%s</url>\r\n  </downloader>\r\n</tips>\r\n" % (
            esc(s["tips_text"]),
            esc(url),
        )
        return self._encode(body)


# ---------------------------------------------------------------------------
# Bodies
# ---------------------------------------------------------------------------


class Body:
    """A resource to send: size, modification time, and a way to produce [a, b)."""

    def __init__(self, size, mtime, ctype, pieces=None, path=None, data=None):
        self.size = size
        self.mtime = mtime
        self.ctype = ctype
        self._pieces = pieces
        self.file_path = path
        self.data = data

    def pieces(self, start, end, max_piece=BLOCK):
        if self.data is not None:
            mv = memoryview(self.data)
            for a in range(start, end, max_piece):
                yield mv[a : min(end, a + max_piece)]
        elif self._pieces is not None:
            yield from self._pieces(start, end, max_piece)
        else:
            with open(self.file_path, "rb") as f:
                f.seek(start)
                pos = start
                while pos < end:
                    chunk = f.read(min(max_piece, end - pos))
                    if not chunk:
                        return
                    pos += len(chunk)
                    yield memoryview(chunk)


def regroup(pieces, size):
    """Re-cuts a stream of pieces into pieces of exactly `size` bytes (the last
    may be shorter), so that chunk boundaries do not depend on block layout."""
    buf = bytearray()
    for p in pieces:
        if not buf and len(p) == size:
            yield p
            continue
        buf += p
        while len(buf) >= size:
            yield memoryview(bytes(buf[:size]))
            del buf[:size]
    if buf:
        yield memoryview(bytes(buf))


def bytes_body(data, ctype, mtime):
    return Body(len(data), mtime, ctype, data=data)


class CutConnection(Exception):
    pass


# ---------------------------------------------------------------------------
# HTTP handler
# ---------------------------------------------------------------------------


def http_date(t):
    return email.utils.formatdate(t, usegmt=True)


def parse_http_date(text):
    try:
        dt = email.utils.parsedate_to_datetime(text)
    except (TypeError, ValueError, IndexError):
        return None
    if dt is None:
        return None
    if dt.tzinfo is None:
        return None
    return int(dt.timestamp())


def parse_range(header, size):
    """Returns None (no usable single range: serve all), 'unsatisfiable', or (a, b) half-open."""
    if not header:
        return None
    header = header.strip()
    if not header.lower().startswith("bytes="):
        return None
    spec = header[6:].strip()
    if "," in spec:
        return None  # several ranges: answered with the whole body
    if "-" not in spec:
        return None
    first, last = (p.strip() for p in spec.split("-", 1))
    try:
        if first == "":
            if not last.isdigit():
                return None
            n = int(last)
            if n == 0:
                return "unsatisfiable"
            return (max(0, size - n), size)
        if not first.isdigit() or (last and not last.isdigit()):
            return None
        a = int(first)
        b = int(last) + 1 if last else size
    except ValueError:
        return None
    if b <= a:
        return None if last else "unsatisfiable"
    if a >= size:
        return "unsatisfiable"
    return (a, min(b, size))


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "TessalyWorld/1.0"

    def version_string(self):
        return self.server_version

    def setup(self):
        super().setup()
        with self.server.state.lock:
            self.conn_id = self.server.conn_ids.pop(id(self.connection), 0)
        self.server.track(self.connection, True)
        self.connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)

    def finish(self):
        try:
            super().finish()
        finally:
            self.server.track(self.connection, False)

    def log_message(self, fmt, *args):
        pass

    # -- entry points ---------------------------------------------------

    def do_GET(self):
        self.dispatch(head=False)

    def do_HEAD(self):
        self.dispatch(head=True)

    def dispatch(self, head):
        st = self.server.state
        url = urllib.parse.urlsplit(self.path)
        if url.scheme:
            # Absolute request target: keep only what an origin server sees.
            self.path = (url.path or "/") + ("?" + url.query if url.query else "")
        path = urllib.parse.unquote(url.path)
        self.log_entry = {
            "time": round(time.time(), 3),
            "conn": self.conn_id,
            "method": self.command,
            "path": self.path,
            "range": self.headers.get("Range"),
            "ims": self.headers.get("If-Modified-Since"),
            "status": None,
            "length": 0,
            "sent": 0,
            "complete": False,
        }
        if path.startswith("/_control/") or path == "/_control":
            self.control(path, urllib.parse.parse_qs(url.query, keep_blank_values=True), head)
            return
        st.begin_request()
        try:
            self.serve(path, url.query, head)
        except CutConnection:
            pass
        except (BrokenPipeError, ConnectionResetError, ConnectionAbortedError):
            self.close_connection = True
        finally:
            st.log_request(self.log_entry)

    def serve(self, path, query, head):
        st = self.server.state
        sw = dict(st.switches)
        if sw["delay_ms"] > 0:
            time.sleep(sw["delay_ms"] / 1000.0)

        if path == "/UPV":
            st.log_beacon(self.path)
        if st.take_stall(path):
            return self.stall()

        # Redirect chain: /x -> /_redir/K-1/x -> ... -> /_redir/0/x, which is served.
        if path.startswith("/_redir/"):
            rest = self.path[len("/_redir/") :]
            n, _, target = rest.partition("/")
            target = "/" + target
            if not n.isdigit():
                return self.simple(404, "bad redirect", head)
            if int(n) > 0:
                return self.redirect("/_redir/%d%s" % (int(n) - 1, target), sw, head)
            return self.serve_target(urllib.parse.unquote(urllib.parse.urlsplit(target).path), head, sw)
        if sw["redirect"] > 0 and path.startswith(sw["redirect_path"]):
            return self.redirect("/_redir/%d%s" % (sw["redirect"] - 1, self.path), sw, head)
        return self.serve_target(path, head, sw)

    def serve_target(self, path, head, sw):
        st = self.server.state
        code = st.take_status_override(path)
        if code is not None and code != 200:
            return self.simple(code, "status override %d" % code, head)

        if sw["endless"] and path.startswith(sw["endless_path"]):
            return self.endless(sw, head)

        body = self.resolve(path)
        if body is None:
            return self.simple(404, "not found", head)
        if path.startswith("/Configuration/") and sw["config"] != "xml":
            if sw["config"] == "html":
                page = (
                    "<!DOCTYPE html>\r\n<html><head><title>503 Service Unavailable</title></head>"
                    "<body><h1>Service Unavailable</h1><p>The server is busy. Please try again later.</p>"
                    "</body></html>\r\n"
                ).encode("utf-8")
                body = bytes_body(page, "text/html; charset=utf-8", body.mtime)
            elif sw["config"] == "empty":
                body = bytes_body(b"", body.ctype, body.mtime)
            else:
                return self.send_short(body, head, sw)
        self.send_body(body, path, head, sw)

    def resolve(self, path):
        st = self.server.state
        parts = path.split("/")
        if path == "/UPV":
            return bytes_body(b"OK", "text/plain", int(time.time()))
        if len(parts) == 3 and parts[1] in ("Configuration", "DownloadAds") and parts[2].endswith(".xml"):
            gid = parts[2][:-4]
            if not gid or (gid not in st.game_ids and not st.any_game):
                return None
            # A file laid into the data folder under the same path wins.
            override = st.data_path(os.path.join(parts[1], parts[2]))
            if override and os.path.isfile(override):
                return Body(os.path.getsize(override), int(os.path.getmtime(override)), "text/xml", path=override)
            with st.lock:
                data, enc = st.config_xml() if parts[1] == "Configuration" else st.tips_xml()
                mtime = st.config_mtime
            return bytes_body(data, "text/xml; charset=" + enc, mtime)
        if len(parts) == 3 and parts[1] == "game":
            for gf in st.game_files:
                if gf.data_file is None and gf.name == parts[2]:
                    pat = Pattern.get(gf.seed)
                    return Body(gf.size, st.game_mtime, "application/octet-stream", pieces=pat.pieces)
            return None
        if path.startswith("/files/"):
            full = st.data_path(path[len("/files/") :])
            if not full or not os.path.isfile(full):
                return None
            return Body(os.path.getsize(full), int(os.path.getmtime(full)), "application/octet-stream", path=full)
        if len(parts) == 3 and parts[1] == "channel" and parts[2].endswith(".html"):
            page = parts[2][:-5]
            html = (
                '<html><head><meta charset="utf-8"><title>%s</title></head>'
                "<body><h1>%s</h1><p>%s</p></body></html>" % (st.settings["title"], st.settings["title"], page)
            ).encode("utf-8")
            return bytes_body(html, "text/html; charset=utf-8", st.config_mtime)
        return None

    # -- answers ----------------------------------------------------------

    def keepalive_headers(self, sw, framing):
        if not sw["keepalive"] or framing == "close" or self.close_connection:
            self.close_connection = True
            self.send_header("Connection", "close")
        else:
            self.send_header("Connection", "keep-alive")

    def simple(self, code, text, head):
        sw = self.server.state.switches
        data = (text + "\n").encode("utf-8")
        self.log_entry["status"] = code
        self.send_response(code)
        self.send_header("Content-Type", "text/plain; charset=utf-8")
        if code in (204, 304) or 100 <= code < 200:
            data = b""
        else:
            self.send_header("Content-Length", str(len(data)))
        self.keepalive_headers(sw, "length")
        self.end_headers()
        if not head and data:
            self.wfile.write(data)
            self.log_entry["sent"] = len(data)
        self.log_entry["length"] = len(data)
        self.log_entry["complete"] = True

    def redirect(self, target, sw, head):
        host = self.headers.get("Host") or "127.0.0.1:%d" % self.server.state.port
        location = "http://" + host + target
        code = sw["redirect_code"]
        data = ("redirect to %s\n" % location).encode("utf-8")
        self.log_entry["status"] = code
        self.send_response(code)
        self.send_header("Location", location)
        self.send_header("Content-Type", "text/plain; charset=utf-8")
        self.send_header("Content-Length", str(len(data)))
        self.keepalive_headers(sw, "length")
        self.end_headers()
        if not head:
            self.wfile.write(data)
            self.log_entry["sent"] = len(data)
        self.log_entry["length"] = len(data)
        self.log_entry["complete"] = True

    def send_body(self, body, path, head, sw):
        st = self.server.state
        size = body.size
        ims = parse_http_date(self.headers.get("If-Modified-Since", ""))
        if ims is not None and body.mtime <= ims:
            self.log_entry["status"] = 304
            self.send_response(304)
            self.send_header("Last-Modified", http_date(body.mtime))
            self.keepalive_headers(sw, "length")
            self.end_headers()
            self.log_entry["complete"] = True
            return

        rng = None
        if sw["ranges"]:
            rng = parse_range(self.headers.get("Range"), size)
            if_range = self.headers.get("If-Range")
            if rng is not None and if_range is not None:
                t = parse_http_date(if_range)
                if t is None or t != body.mtime:
                    rng = None  # the client's partial copy is stale
        if rng == "unsatisfiable":
            data = b"range not satisfiable\n"
            self.log_entry["status"] = 416
            self.send_response(416)
            self.send_header("Content-Range", "bytes */%d" % size)
            self.send_header("Content-Type", "text/plain")
            self.send_header("Content-Length", str(len(data)))
            self.keepalive_headers(sw, "length")
            self.end_headers()
            if not head:
                self.wfile.write(data)
            self.log_entry["complete"] = True
            return

        if rng is None:
            start, end, code = 0, size, 200
        else:
            start, end = rng
            code = 206
        length = end - start
        framing = sw["framing"]
        self.log_entry["status"] = code
        self.log_entry["length"] = length
        self.send_response(code)
        self.send_header("Content-Type", body.ctype)
        self.send_header("Last-Modified", http_date(body.mtime))
        self.send_header("Accept-Ranges", "bytes" if sw["ranges"] else "none")
        if code == 206:
            self.send_header("Content-Range", "bytes %d-%d/%d" % (start, end - 1, size))
        if framing == "chunked":
            self.send_header("Transfer-Encoding", "chunked")
        elif framing == "length":
            self.send_header("Content-Length", str(length))
        self.keepalive_headers(sw, framing)
        self.end_headers()
        if head:
            self.log_entry["complete"] = True
            return

        cut = st.take_cut(path)
        rate = sw["rate"] if path.startswith(sw["rate_path"]) else 0
        sock = self.connection
        sent = 0

        def account(n):
            self.log_entry["sent"] += n

        if framing != "chunked" and cut < 0 and rate <= 0 and body.file_path is not None:
            with open(body.file_path, "rb") as f:
                while sent < length:
                    n = sock.sendfile(f, start + sent, length - sent)
                    if n == 0:
                        break
                    sent += n
                    account(n)
        else:
            piece_max = BLOCK
            if rate > 0:
                piece_max = max(1024, min(BLOCK, rate // 20))
            if framing == "chunked":
                piece_max = min(piece_max, sw["chunk_size"])
            t0 = time.monotonic()
            pieces = body.pieces(start, end, piece_max)
            if framing == "chunked":
                pieces = regroup(pieces, piece_max)
            for piece in pieces:
                n = len(piece)
                if cut >= 0 and sent + n >= cut:
                    piece = piece[: cut - sent]
                    if framing == "chunked" and len(piece):
                        sock.sendall(b"%x\r\n" % n)  # announced whole, delivered short
                    if len(piece):
                        sock.sendall(piece)
                    sent += len(piece)
                    account(len(piece))
                    self.cut(sw)
                if framing == "chunked":
                    sock.sendall(b"%x\r\n" % n)
                    sock.sendall(piece)
                    sock.sendall(b"\r\n")
                else:
                    sock.sendall(piece)
                sent += n
                account(n)
                if rate > 0:
                    due = t0 + sent / rate
                    delay = due - time.monotonic()
                    if delay > 0:
                        time.sleep(delay)
            if cut >= 0 and sent >= cut:
                self.cut(sw)
            if framing == "chunked":
                sock.sendall(b"0\r\n\r\n")
        if sent == length:
            self.log_entry["complete"] = True
        else:
            self.close_connection = True

    def stall(self):
        """Answers nothing. The connection stays open until the client closes
        it or the server stops; whatever the client sends is read and dropped."""
        sock = self.connection
        self.close_connection = True
        stop = self.server.stop_event
        while not stop.is_set():
            try:
                readable, _, _ = select.select([sock], [], [], 0.2)
                if readable and not sock.recv(65536):
                    return
            except (OSError, ValueError):
                return

    def endless(self, sw, head):
        """A body that never ends: chunked when the framing switch says so,
        else delimited by the close that never comes."""
        code = sw["endless_code"]
        chunked = sw["framing"] == "chunked"
        self.close_connection = True
        self.log_entry["status"] = code
        self.log_entry["length"] = -1
        self.send_response(code)
        self.send_header("Content-Type", "text/plain")
        if chunked:
            self.send_header("Transfer-Encoding", "chunked")
        self.send_header("Connection", "close")
        self.end_headers()
        if head:
            self.log_entry["complete"] = True
            return
        piece = b"endless body " * 5041  # 65533 bytes
        framed = b"%x\r\n" % len(piece) + piece + b"\r\n" if chunked else piece
        sock = self.connection
        stop = self.server.stop_event
        # Ends when the client leaves (the send fails) or the server stops
        # (close_all shuts the socket down under a blocked send).
        try:
            while not stop.is_set():
                sock.sendall(framed)
                self.log_entry["sent"] += len(piece)
        except OSError:
            pass

    def send_short(self, body, head, sw):
        """The configuration's first half, delimited by a clean close: the
        client cannot tell it from a whole answer by its framing."""
        ims = parse_http_date(self.headers.get("If-Modified-Since", ""))
        if ims is not None and body.mtime <= ims:
            self.log_entry["status"] = 304
            self.send_response(304)
            self.send_header("Last-Modified", http_date(body.mtime))
            self.keepalive_headers(sw, "length")
            self.end_headers()
            self.log_entry["complete"] = True
            return
        data = b"".join(bytes(p) for p in body.pieces(0, body.size))[: body.size // 2]
        self.close_connection = True
        self.log_entry["status"] = 200
        self.log_entry["length"] = body.size
        self.send_response(200)
        self.send_header("Content-Type", body.ctype)
        self.send_header("Last-Modified", http_date(body.mtime))
        self.send_header("Connection", "close")
        self.end_headers()
        if head:
            return
        self.wfile.write(data)
        self.log_entry["sent"] = len(data)
        self.wfile.flush()
        try:
            self.connection.shutdown(socket.SHUT_WR)
        except OSError:
            pass

    def cut(self, sw):
        sock = self.connection
        self.close_connection = True
        try:
            if sw["cut_mode"] == "reset":
                sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            else:
                sock.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        raise CutConnection()

    # -- control ----------------------------------------------------------

    def reply_json(self, obj, code=200):
        self.reply(code, json.dumps(obj, ensure_ascii=False, indent=1).encode("utf-8"), "application/json")

    def reply(self, code, data, ctype="text/plain; charset=utf-8"):
        self.send_response(code)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(data)))
        self.send_header("Cache-Control", "no-store")
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(data)

    def control(self, path, q, head):
        st = self.server.state
        cmd = path[len("/_control/") :] if path.startswith("/_control/") else ""
        one = {k: v[-1] for k, v in q.items()}
        try:
            if cmd in ("", "state"):
                with st.lock:
                    overrides = {p: {"code": c, "times": t} for p, (c, t) in st.status_overrides.items()}
                    self.reply_json({"switches": dict(st.switches), "settings": dict(st.settings), "status": overrides})
            elif cmd == "set":
                for k, v in one.items():
                    st.set_switch(k, v)
                self.reply_json({"switches": dict(st.switches), "settings": dict(st.settings)})
            elif cmd == "reset":
                st.reset()
                self.reply_json({"switches": dict(st.switches)})
            elif cmd == "status":
                p = one.get("path", "")
                if not p.startswith("/"):
                    raise ValueError("path must start with /")
                code = int(one.get("code", "0"))
                times = int(one.get("times", "-1"))
                with st.lock:
                    if code == 0:
                        st.status_overrides.pop(p, None)
                    else:
                        if not 100 <= code <= 599:
                            raise ValueError("code out of range")
                        st.status_overrides[p] = [code, times]
                self.reply_json({"path": p, "code": code, "times": times})
            elif cmd == "info":
                self.reply_json(st.info(with_digests=one.get("digests") not in (None, "", "0")))
            elif cmd in ("beacons", "requests"):
                log = st.beacon_log if cmd == "beacons" else st.request_log
                with st.log_lock:
                    if one.get("clear") not in (None, "", "0"):
                        st.settle()
                    with open(log, "rb") as f:
                        data = f.read()
                    if one.get("clear") not in (None, "", "0"):
                        open(log, "w").close()
                self.reply(200, data)
            elif cmd == "shutdown":
                self.close_connection = True
                self.reply(200, b"bye\n")
                self.server.stop_event.set()
            else:
                self.reply(404, b"unknown control command\n")
        except (KeyError, ValueError) as e:
            self.reply(400, ("bad control request: %s\n" % e).encode("utf-8"))


class Server(socketserver.ThreadingMixIn, HTTPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 64

    def __init__(self, addr, state):
        self.state = state
        self.stop_event = threading.Event()
        self.open_sockets = set()
        self.sock_lock = threading.Lock()
        self.conn_ids = {}  # id(socket) -> connection number, until its handler takes it
        super().__init__(addr, Handler)

    def get_request(self):
        # Connections are numbered here, in the order they are accepted, not
        # by the handler threads, which may start in any order.
        sock, addr = super().get_request()
        with self.state.lock:
            self.state.conn_counter += 1
            self.conn_ids[id(sock)] = self.state.conn_counter
        return sock, addr

    def track(self, sock, add):
        with self.sock_lock:
            if add:
                self.open_sockets.add(sock)
            else:
                self.open_sockets.discard(sock)

    def close_all(self):
        with self.sock_lock:
            socks = list(self.open_sockets)
        for s in socks:
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass


# ---------------------------------------------------------------------------
# Main
# ---------------------------------------------------------------------------

USAGE_EPILOG = """\
control (GET, on the same port):
  /_control/state                    switches, settings and status overrides (JSON)
  /_control/set?KEY=VALUE&...        change switches or settings (see below)
  /_control/reset                    switches back to their defaults, overrides cleared
  /_control/status?path=P&code=C[&times=N]   answer C for path P (N times; code=0 removes)
  /_control/info[?digests=1]         URLs, sizes (and SHA-256) of everything served (JSON)
  /_control/beacons[?clear=1]        the beacon log; /_control/requests[?clear=1] the request log
                                     (clearing first waits up to 10 s for the
                                     requests still being answered)
  /_control/shutdown                 stop the server
switches: rate rate_path cut cut_times cut_path cut_mode(close|reset) redirect redirect_code
  redirect_path framing(length|chunked|close) chunked(0|1) chunk_size ranges(0|1) keepalive(0|1)
  encoding(utf-8|gb2312|GB2312) delay_ms
  stall(0|1) stall_path stall_times   accept and read the request, never answer (stall_times
                                     requests, -1 all); the connection stays until the client leaves
  config(xml|html|empty|short)       /Configuration/: the XML; 200 with an HTML error page; 200 with
                                     no body; or the XML's first half ended by a clean close
  endless(0|1) endless_path endless_code   a body that never ends for paths starting with
                                     endless_path (default /UPV), status endless_code (default 200),
                                     chunked when framing=chunked, else delimited by the close
settings: title host_version host_installer addin skin accelerator tips_text tips_url base_url
"""


def main(argv=None):
    ap = argparse.ArgumentParser(
        description="Loopback game-configuration and statistics server stand-in.",
        epilog=USAGE_EPILOG,
        formatter_class=argparse.RawDescriptionHelpFormatter,
    )
    ap.add_argument("--port", type=int, help="port on 127.0.0.1 (0: pick one, printed on the first stdout line)")
    ap.add_argument("--root", help="data folder: served under /files/, packages built into it")
    ap.add_argument("--pidfile")
    ap.add_argument("--port-file", help="also write the port into this file once listening")
    ap.add_argument("--game-id", action="append", help="game id served (repeatable, default 1001)")
    ap.add_argument("--any-game", action="store_true", help="serve the configuration for any game id")
    ap.add_argument(
        "--game-file",
        action="append",
        help="game URL list entry, NAME:SIZE[:SEED] (generated, SIZE may end in K/M/G) or NAME@FILE (data folder)",
    )
    ap.add_argument("--mtime", type=int, default=1704067200, help="Last-Modified of generated files (epoch)")
    ap.add_argument("--beacon-log")
    ap.add_argument("--request-log")
    ap.add_argument("--addin-torvane", default="1.7", help='value of the torvane="" attribute of addin.cfg')
    for key in SETTING_DEFAULTS:
        ap.add_argument("--" + key.replace("_", "-"), dest=key)
    for key in SWITCH_DEFAULTS:
        ap.add_argument("--set-" + key.replace("_", "-"), dest="sw_" + key, metavar="V")
    ap.add_argument("--rate", type=int, help="same as --set-rate")
    ap.add_argument("--chunked", action="store_true", help="same as --set-framing chunked")
    ap.add_argument("--no-ranges", action="store_true", help="same as --set-ranges 0")
    ap.add_argument("--encoding", choices=ENCODINGS, help="same as --set-encoding")
    ap.add_argument("--status", action="append", metavar="PATH=CODE", help="status override")
    ap.add_argument("--digest", metavar="NAME:SIZE[:SEED]", help="print the SHA-256 of a generated file and exit")
    args = ap.parse_args(argv)

    if args.digest:
        gf = GameFile(args.digest)
        if gf.seed is None:
            ap.error("--digest needs NAME:SIZE[:SEED]")
        print(game_digest(gf.size, gf.seed))
        return 0
    if args.port is None or not args.root:
        ap.error("--port and --root are required")
    os.makedirs(args.root, exist_ok=True)

    state = State(args)
    for key in SWITCH_DEFAULTS:
        v = getattr(args, "sw_" + key)
        if v is not None:
            state.set_switch(key, v)
    if args.rate is not None:
        state.set_switch("rate", str(args.rate))
    if args.chunked:
        state.set_switch("framing", "chunked")
    if args.no_ranges:
        state.set_switch("ranges", "0")
    if args.encoding:
        state.set_switch("encoding", args.encoding)
    for spec in args.status or []:
        p, _, c = spec.rpartition("=")
        state.status_overrides[p] = [int(c), -1]

    for name, build in (
        (state.settings["addin"], lambda: build_addin_zip(args.addin_torvane)),
        (state.settings["skin"], build_skin_package),
    ):
        target = os.path.join(state.root, name)
        if not os.path.exists(target):
            tmp = target + ".tmp%d" % os.getpid()
            with open(tmp, "wb") as f:
                f.write(build())
            os.replace(tmp, target)

    server = Server(("127.0.0.1", args.port), state)
    state.port = server.server_address[1]
    if args.pidfile:
        with open(args.pidfile, "w") as f:
            f.write("%d\n" % os.getpid())
    if args.port_file:
        tmp = args.port_file + ".tmp"
        with open(tmp, "w") as f:
            f.write("%d\n" % state.port)
        os.replace(tmp, args.port_file)
    sys.stdout.write("%d\n" % state.port)
    sys.stdout.flush()

    signal.signal(signal.SIGTERM, lambda *_: server.stop_event.set())
    signal.signal(signal.SIGINT, lambda *_: server.stop_event.set())
    t = threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.2}, daemon=True)
    t.start()
    try:
        while not server.stop_event.wait(0.5):
            pass
    finally:
        server.shutdown()
        server.close_all()
        server.server_close()
        if args.pidfile:
            try:
                os.unlink(args.pidfile)
            except OSError:
                pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
