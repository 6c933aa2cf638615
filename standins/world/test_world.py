"""Tests of the world stand-in, driven over 127.0.0.1 with http.client."""

import hashlib
import http.client
import io
import json
import os
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import urllib.parse
import xml.etree.ElementTree as ET
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
WORLD = os.path.join(HERE, "world.py")
sys.path.insert(0, HERE)
import world  # noqa: E402

MIB = 1 << 20
GAME_FILES = ["setup.exe:3M:7", "data.pak:1537K", "tiny.bin:100:3"]


class WorldProcess:
    def __init__(self, *extra, root=None):
        self.tmp = tempfile.TemporaryDirectory(prefix="world-test-")
        self.root = root or os.path.join(self.tmp.name, "root")
        self.pidfile = os.path.join(self.tmp.name, "world.pid")
        args = [sys.executable, WORLD, "--port", "0", "--root", self.root, "--pidfile", self.pidfile]
        for spec in GAME_FILES:
            args += ["--game-file", spec]
        self.proc = subprocess.Popen(list(args) + list(extra), stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        line = self.proc.stdout.readline()
        if not line.strip().isdigit():
            self.proc.kill()
            raise RuntimeError("world did not start: %r %r" % (line, self.proc.stderr.read()))
        self.port = int(line)

    def conn(self, timeout=10):
        return http.client.HTTPConnection("127.0.0.1", self.port, timeout=timeout)

    def get(self, path, headers=None, method="GET"):
        c = self.conn()
        try:
            c.request(method, path, headers=headers or {})
            r = c.getresponse()
            return r.status, r.headers, r.read()
        finally:
            c.close()

    def control(self, cmd, **params):
        status, _, body = self.get("/_control/%s?%s" % (cmd, urllib.parse.urlencode(params)))
        if status != 200:
            raise AssertionError("control %s failed: %d %r" % (cmd, status, body))
        return body

    def requests(self):
        return [json.loads(l) for l in self.control("requests").decode("utf-8").splitlines()]

    def stop(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.proc.stdout.close()
        self.proc.stderr.close()
        self.tmp.cleanup()


class WorldTestCase(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.w = WorldProcess()
        cls.info = json.loads(cls.w.control("info"))
        cls.files = {f["name"]: f for f in cls.info["game_files"]}

    @classmethod
    def tearDownClass(cls):
        cls.w.stop()

    def setUp(self):
        self.w.control("reset")
        self.w.control("requests", clear=1)
        self.w.control("beacons", clear=1)

    def expected(self, name, start=0, end=None):
        f = self.files[name]
        return world.game_bytes(f["size"], f["seed"], start, end)


class GeneratedContent(unittest.TestCase):
    def test_pieces_match_whole_for_any_range(self):
        size = 2 * MIB + 123
        whole = world.game_bytes(size, 42)
        self.assertEqual(len(whole), size)
        for a, b in [(0, 1), (5, 40), (world.BLOCK - 3, world.BLOCK + 20), (size - 7, size), (17, size)]:
            self.assertEqual(world.game_bytes(size, 42, a, b), whole[a:b], (a, b))
        self.assertEqual(world.game_digest(size, 42), hashlib.sha256(whole).hexdigest())

    def test_blocks_and_seeds_differ(self):
        two = world.game_bytes(2 * MIB, 1)
        self.assertNotEqual(two[: world.BLOCK], two[world.BLOCK :])
        self.assertNotEqual(world.game_bytes(4096, 1), world.game_bytes(4096, 2))

    def test_digest_helper_command(self):
        out = subprocess.run(
            [sys.executable, WORLD, "--digest", "x.bin:1M:9"], capture_output=True, text=True, check=True
        ).stdout.strip()
        self.assertEqual(out, world.game_digest(MIB, 9))

    def test_size_parsing(self):
        self.assertEqual(world.parse_size("3M"), 3 * MIB)
        self.assertEqual(world.parse_size("2k"), 2048)
        self.assertEqual(world.parse_size("17"), 17)
        with self.assertRaises(ValueError):
            world.GameFile("../x:1M")


class Ranges(WorldTestCase):
    def test_whole_file_and_digest(self):
        status, h, body = self.w.get("/game/setup.exe")
        self.assertEqual(status, 200)
        self.assertEqual(int(h["Content-Length"]), 3 * MIB)
        self.assertEqual(h["Accept-Ranges"], "bytes")
        info = json.loads(self.w.control("info", digests=1))
        digest = {f["name"]: f["sha256"] for f in info["game_files"]}
        self.assertEqual(hashlib.sha256(body).hexdigest(), digest["setup.exe"])

    def test_single_open_suffix_and_clamped_ranges(self):
        size = self.files["data.pak"]["size"]
        cases = [
            ("bytes=10-99", 10, 100),
            ("bytes=%d-" % (size - 1000), size - 1000, size),
            ("bytes=-500", size - 500, size),
            ("bytes=1048570-%d" % (size + 5000), 1048570, size),
        ]
        for header, a, b in cases:
            with self.subTest(header):
                status, h, body = self.w.get("/game/data.pak", {"Range": header})
                self.assertEqual(status, 206)
                self.assertEqual(h["Content-Range"], "bytes %d-%d/%d" % (a, b - 1, size))
                self.assertEqual(body, self.expected("data.pak", a, b))

    def test_range_beyond_end_is_416(self):
        size = self.files["tiny.bin"]["size"]
        for header in ("bytes=%d-" % size, "bytes=500-600"):
            status, h, _ = self.w.get("/game/tiny.bin", {"Range": header})
            self.assertEqual(status, 416, header)
            self.assertEqual(h["Content-Range"], "bytes */%d" % size)

    def test_stale_if_range_gives_whole_file(self):
        status, _, body = self.w.get(
            "/game/tiny.bin", {"Range": "bytes=10-", "If-Range": "Sat, 01 Jan 2000 00:00:00 GMT"}
        )
        self.assertEqual((status, len(body)), (200, 100))

    def test_data_folder_file_with_sendfile_and_ranges(self):
        data = os.urandom(300000)
        with open(os.path.join(self.w.root, "TorvaneSetup.exe"), "wb") as f:
            f.write(data)
        status, _, body = self.w.get("/files/TorvaneSetup.exe")
        self.assertEqual((status, body), (200, data))
        status, _, body = self.w.get("/files/TorvaneSetup.exe", {"Range": "bytes=1000-1999"})
        self.assertEqual((status, body), (206, data[1000:2000]))
        status, h, body = self.w.get("/files/TorvaneSetup.exe", method="HEAD")
        self.assertEqual((status, int(h["Content-Length"]), body), (200, len(data), b""))

    def test_missing_and_escaping_paths_are_404(self):
        for p in ("/files/nothing.exe", "/files/../world-test-escape", "/files/%2e%2e/etc/passwd", "/game/none"):
            self.assertEqual(self.w.get(p)[0], 404, p)


class Conditional(WorldTestCase):
    def test_if_modified_since(self):
        status, h, _ = self.w.get("/game/tiny.bin")
        lm = h["Last-Modified"]
        self.assertEqual(lm, "Mon, 01 Jan 2024 00:00:00 GMT")
        status, _, body = self.w.get("/game/tiny.bin", {"If-Modified-Since": lm})
        self.assertEqual((status, body), (304, b""))
        status, _, body = self.w.get("/game/tiny.bin", {"If-Modified-Since": "Sun, 06 Nov 1994 08:49:37 GMT"})
        self.assertEqual((status, len(body)), (200, 100))

    def test_configuration_changes_invalidate_cached_copy(self):
        _, h, _ = self.w.get("/Configuration/1001.xml")
        lm = h["Last-Modified"]
        self.assertEqual(self.w.get("/Configuration/1001.xml", {"If-Modified-Since": lm})[0], 304)
        self.w.control("set", host_version="7.3.0.0001")
        status, _, body = self.w.get("/Configuration/1001.xml", {"If-Modified-Since": lm})
        self.assertEqual(status, 200)
        self.assertIn(b"<torvaneversion>7.3.0.0001</torvaneversion>", body)


class KeepAlive(WorldTestCase):
    def test_connection_reused(self):
        c = self.w.conn()
        try:
            for path in ("/game/tiny.bin", "/Configuration/1001.xml", "/game/tiny.bin"):
                c.request("GET", path)
                r = c.getresponse()
                r.read()
                self.assertEqual(r.status, 200)
                self.assertFalse(r.will_close)
        finally:
            c.close()
        conns = {e["conn"] for e in self.w.requests()}
        self.assertEqual(len(conns), 1)

    def test_connections_are_numbered_in_the_order_they_were_accepted(self):
        first = socket.create_connection(("127.0.0.1", self.w.port), timeout=5)
        time.sleep(0.2)  # accepted before the second one connects
        second = socket.create_connection(("127.0.0.1", self.w.port), timeout=5)
        try:
            for s, name in ((second, "b"), (first, "a")):
                s.sendall(b"GET /UPV?gs=" + name.encode() + b" HTTP/1.1\r\nHost: x\r\n"
                          b"Connection: close\r\n\r\n")
                while s.recv(4096):
                    pass
        finally:
            first.close()
            second.close()
        time.sleep(0.2)
        conns = {r["path"]: r["conn"] for r in self.w.requests()}
        self.assertLess(conns["/UPV?gs=a"], conns["/UPV?gs=b"], conns)

    def test_keepalive_off_closes(self):
        self.w.control("set", keepalive=0)
        c = self.w.conn()
        try:
            c.request("GET", "/game/tiny.bin")
            r = c.getresponse()
            r.read()
            self.assertEqual(r.headers["Connection"], "close")
            self.assertTrue(r.will_close)
        finally:
            c.close()


class Switches(WorldTestCase):
    def test_rate_limit_per_connection(self):
        self.w.control("set", rate=400000, rate_path="/game/")
        t0 = time.monotonic()
        status, _, body = self.w.get("/game/data.pak", {"Range": "bytes=0-199999"})
        elapsed = time.monotonic() - t0
        self.assertEqual((status, len(body)), (206, 200000))
        self.assertGreater(elapsed, 0.4)
        self.assertLess(elapsed, 2.0)
        # Outside rate_path nothing is throttled.
        t0 = time.monotonic()
        self.w.get("/Configuration/1001.xml")
        self.assertLess(time.monotonic() - t0, 0.3)

    def test_rate_limit_applies_to_each_connection_separately(self):
        self.w.control("set", rate=300000)
        results = []

        def fetch():
            results.append(len(self.w.get("/game/data.pak", {"Range": "bytes=0-149999"})[2]))

        t0 = time.monotonic()
        threads = [threading.Thread(target=fetch) for _ in range(3)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        elapsed = time.monotonic() - t0
        self.assertEqual(results, [150000] * 3)
        self.assertGreater(elapsed, 0.4)
        self.assertLess(elapsed, 1.2)  # three in series would take 1.5 s

    def test_clearing_the_log_waits_for_requests_in_flight(self):
        # A throttled answer whose client gives up: the server notices only
        # at its next write and logs the request then.  Clearing must wait
        # for that entry, or it would turn up in the next test's log.
        self.w.control("set", rate=100000, rate_path="/game/")
        s = socket.create_connection(("127.0.0.1", self.w.port), timeout=5)
        s.sendall(b"GET /game/data.pak HTTP/1.1\r\nHost: x\r\nRange: bytes=0-999999\r\n\r\n")
        self.assertTrue(s.recv(4096))
        s.close()
        t0 = time.monotonic()
        self.w.control("requests", clear=1)
        self.assertLess(time.monotonic() - t0, 10.0)
        self.w.control("set", rate=0)
        self.w.get("/Configuration/1001.xml")
        time.sleep(0.3)
        self.assertEqual([r["path"] for r in self.w.requests()], ["/Configuration/1001.xml"])

    def test_cut_after_n_bytes_then_resume(self):
        self.w.control("set", cut=70000, cut_times=1, cut_path="/game/")
        c = self.w.conn()
        c.request("GET", "/game/setup.exe")
        r = c.getresponse()
        with self.assertRaises(http.client.IncompleteRead) as cm:
            r.read()
        c.close()
        partial = cm.exception.partial
        self.assertEqual(partial, self.expected("setup.exe", 0, 70000))
        status, _, rest = self.w.get("/game/setup.exe", {"Range": "bytes=%d-" % len(partial)})
        self.assertEqual(status, 206)
        self.assertEqual(hashlib.sha256(partial + rest).digest(), hashlib.sha256(self.expected("setup.exe")).digest())
        log = [e for e in self.w.requests() if e["path"] == "/game/setup.exe"]
        self.assertEqual([(e["sent"], e["complete"]) for e in log], [(70000, False), (3 * MIB - 70000, True)])
        self.assertEqual(log[1]["range"], "bytes=70000-")

    def test_cut_with_reset(self):
        self.w.control("set", cut=1000, cut_mode="reset")
        c = self.w.conn()
        c.request("GET", "/game/setup.exe")
        r = c.getresponse()
        with self.assertRaises((http.client.IncompleteRead, ConnectionResetError)):
            r.read()
        c.close()

    def test_status_override_with_count(self):
        self.w.control("status", path="/game/tiny.bin", code=503, times=2)
        self.assertEqual(self.w.get("/game/tiny.bin")[0], 503)
        self.assertEqual(self.w.get("/game/tiny.bin")[0], 503)
        self.assertEqual(self.w.get("/game/tiny.bin")[0], 200)
        self.w.control("status", path="/Configuration/1001.xml", code=404)
        for _ in range(3):
            self.assertEqual(self.w.get("/Configuration/1001.xml")[0], 404)
        self.w.control("status", path="/Configuration/1001.xml", code=0)
        self.assertEqual(self.w.get("/Configuration/1001.xml")[0], 200)

    def test_redirect_chain(self):
        self.w.control("set", redirect=3, redirect_path="/game/")
        c = self.w.conn()
        path, hops = "/game/tiny.bin", 0
        try:
            while True:
                c.request("GET", path)
                r = c.getresponse()
                r.read()
                if r.status != 302:
                    break
                hops += 1
                loc = urllib.parse.urlsplit(r.headers["Location"])
                self.assertEqual((loc.scheme, loc.netloc), ("http", "127.0.0.1:%d" % self.w.port))
                path = loc.path
                self.assertLess(hops, 10)
        finally:
            c.close()
        self.assertEqual(hops, 3)
        self.assertEqual(r.status, 200)
        # Paths outside redirect_path are answered directly.
        self.assertEqual(self.w.get("/Configuration/1001.xml")[0], 200)

    def test_chunked_answer(self):
        self.w.control("set", chunked=1, chunk_size=4096)
        status, h, body = self.w.get("/game/data.pak", {"Range": "bytes=100-20099"})
        self.assertEqual(status, 206)
        self.assertEqual(h["Transfer-Encoding"], "chunked")
        self.assertIsNone(h["Content-Length"])
        self.assertEqual(body, self.expected("data.pak", 100, 20100))
        # The raw framing: first chunk of 4096 bytes, last chunk of 0.
        s = socket.create_connection(("127.0.0.1", self.w.port), timeout=5)
        s.sendall(b"GET /game/tiny.bin HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
        raw = b""
        while True:
            b = s.recv(65536)
            if not b:
                break
            raw += b
        s.close()
        head, _, rest = raw.partition(b"\r\n\r\n")
        self.assertEqual(rest, b"64\r\n" + self.expected("tiny.bin") + b"\r\n0\r\n\r\n")

    def test_close_delimited_answer(self):
        self.w.control("set", framing="close")
        status, h, body = self.w.get("/game/tiny.bin")
        self.assertEqual((status, h["Content-Length"], h["Connection"]), (200, None, "close"))
        self.assertEqual(body, self.expected("tiny.bin"))

    def test_refusing_ranges(self):
        self.w.control("set", ranges=0)
        status, h, body = self.w.get("/game/tiny.bin", {"Range": "bytes=10-19"})
        self.assertEqual((status, h["Accept-Ranges"], body), (200, "none", self.expected("tiny.bin")))

    def test_bad_control_requests_are_refused(self):
        for q in ("set?nosuch=1", "set?encoding=latin1", "set?rate=fast", "status?path=x&code=500"):
            self.assertEqual(self.w.get("/_control/" + q)[0], 400, q)
        state = json.loads(self.w.control("state"))
        self.assertEqual(state["switches"]["encoding"], "utf-8")


def xml_values(data):
    # ElementTree refuses multi-byte declarations, so decode by the declared
    # name first, as the client's unknown-encoding handler does.
    head = data[: data.index(b"?>") + 2].decode("ascii")
    enc = head.split('encoding="', 1)[1].split('"', 1)[0]
    root = ET.fromstring(data[len(head) :].decode(enc))
    out = {}
    for section in root:
        for el in section:
            if el.tag == "gameurls":
                out["gameurls"] = [u.text for u in el if u.tag == "gameurl"]
            else:
                out[section.tag + "/" + el.tag] = el.text
    return out


class Configuration(WorldTestCase):
    def test_configuration_values(self):
        status, h, body = self.w.get("/Configuration/1001.xml")
        self.assertEqual(status, 200)
        v = xml_values(body)
        base = "http://127.0.0.1:%d" % self.w.port
        self.assertEqual(v["public/torvaneversion"], "7.2.0.0000")
        self.assertEqual(v["public/torvaneurl"], base + "/files/TorvaneSetup.exe")
        self.assertEqual(v["public/addinurl"], base + "/files/ZudUrirOzoduro.zip")
        self.assertEqual(v["game/skinurl"], base + "/files/TessalyDemo.skn")
        self.assertEqual(v["gameurls"], [base + "/game/setup.exe", base + "/game/data.pak", base + "/game/tiny.bin"])
        self.assertEqual(int(v["game/gamesize"]), 3 * MIB + 1537 * 1024 + 100)
        for key in ("game/newsurl", "game/taburl", "game/tabinfourl", "game/hotspoturl"):
            path = urllib.parse.urlsplit(v[key]).path
            self.assertEqual(self.w.get(path)[0], 200, key)
        self.assertEqual(self.w.get("/Configuration/9999.xml")[0], 404)

    def test_gb2312_decodes_to_the_same_values(self):
        _, _, utf8_cfg = self.w.get("/Configuration/1001.xml")
        _, _, utf8_tips = self.w.get("/DownloadAds/1001.xml")
        self.w.control("set", encoding="gb2312")
        _, h, gb_cfg = self.w.get("/Configuration/1001.xml")
        _, _, gb_tips = self.w.get("/DownloadAds/1001.xml")
        self.assertTrue(gb_cfg.startswith(b'<?xml version="1.0" encoding="gb2312"?>'))
        self.assertIn("泰萨利传说".encode("gb2312"), gb_cfg)
        self.assertNotEqual(gb_tips, utf8_tips)
        self.assertEqual(xml_values(gb_cfg), xml_values(utf8_cfg))
        self.assertEqual(xml_values(gb_tips), xml_values(utf8_tips))
        self.assertEqual(xml_values(gb_tips)["downloader/text"], "点击查看新手攻略")

    def test_capitals_declaration(self):
        self.w.control("set", encoding="GB2312")
        _, _, body = self.w.get("/DownloadAds/1001.xml")
        self.assertTrue(body.startswith(b'<?xml version="1.0" encoding="GB2312"?>'))

    def test_settings_at_run_time(self):
        self.w.control("set", tips_text="新的提示", tips_url="http://example.invalid/t")
        v = xml_values(self.w.get("/DownloadAds/1001.xml")[2])
        self.assertEqual((v["downloader/text"], v["downloader/url"]), ("新的提示", "http://example.invalid/t"))

    def test_xml_file_in_data_folder_wins(self):
        os.makedirs(os.path.join(self.w.root, "DownloadAds"), exist_ok=True)
        with open(os.path.join(self.w.root, "DownloadAds", "1001.xml"), "wb") as f:
            f.write(b'<?xml version="1.0" encoding="utf-8"?><tips><downloader><text>own</text></downloader></tips>')
        try:
            self.assertEqual(xml_values(self.w.get("/DownloadAds/1001.xml")[2])["downloader/text"], "own")
        finally:
            os.unlink(os.path.join(self.w.root, "DownloadAds", "1001.xml"))


class Packages(WorldTestCase):
    def test_addin_package_layout(self):
        status, _, data = self.w.get("/files/ZudUrirOzoduro.zip")
        self.assertEqual(status, 200)
        z = zipfile.ZipFile(io.BytesIO(data))
        self.assertIsNone(z.testzip())
        names = set(z.namelist())
        for n in (
            "ZudUrirOzoduro/startup.lua",
            "ZudUrirOzoduro/qar/ZudUrirOzoduro/layout.qar",
            "ZudUrirOzoduro/qar/ZudUrirOzoduro/onload.lua",
            "ZudUrirOzoduro/QAR/ZudUrirOzoduro/res/default.zip",
            "ZudUrirOzoduro/addin.cfg",
        ):
            self.assertIn(n, names)
        self.assertTrue(all(n.startswith("ZudUrirOzoduro/") for n in names))
        cfg = z.read("ZudUrirOzoduro/addin.cfg").decode("utf-8")
        self.assertIn('name="ZudUrirOzoduro"', cfg)
        self.assertRegex(cfg, r'show_name="[^"]+"')
        inner = zipfile.ZipFile(io.BytesIO(z.read("ZudUrirOzoduro/QAR/ZudUrirOzoduro/res/default.zip")))
        self.assertIn("bitmap/", inner.namelist())

    def test_skin_package_is_a_zip(self):
        status, _, data = self.w.get("/files/TessalyDemo.skn")
        self.assertEqual(status, 200)
        self.assertIn("skin.xml", zipfile.ZipFile(io.BytesIO(data)).namelist())

    def test_existing_package_is_kept(self):
        # Packages placed by the project beforehand are served as they are.
        tmp = tempfile.mkdtemp(prefix="world-root-")
        with open(os.path.join(tmp, "ZudUrirOzoduro.zip"), "wb") as f:
            f.write(b"project build")
        w = WorldProcess("--addin-torvane", "1.6", root=tmp)
        try:
            self.assertEqual(w.get("/files/ZudUrirOzoduro.zip")[2], b"project build")
            self.assertEqual(w.get("/files/TessalyDemo.skn")[0], 200)
        finally:
            w.stop()
            for n in os.listdir(tmp):
                os.unlink(os.path.join(tmp, n))
            os.rmdir(tmp)


class Beacons(WorldTestCase):
    def test_beacons_are_logged_with_time(self):
        t0 = time.time()
        q = "/UPV?gs=downertask&gameid=1001&pid=ABCDEF0123&style=start"
        status, _, _ = self.w.get(q)
        self.assertEqual(status, 200)
        lines = self.w.control("beacons").decode("utf-8").splitlines()
        self.assertEqual(len(lines), 1)
        stamp, target = lines[0].split(" ", 1)
        self.assertEqual(target, q)
        when = time.mktime(time.strptime(stamp[:19], "%Y-%m-%dT%H:%M:%S")) - time.timezone
        self.assertLess(abs(when - t0), 5)
        with open(self.info["beacon_log"], encoding="utf-8") as f:
            self.assertEqual(f.read().splitlines(), lines)

    def test_burst_of_parallel_beacons(self):
        threads = [
            threading.Thread(target=self.w.get, args=("/UPV?gs=downerstart&gameid=1001&pid=%d" % i,))
            for i in range(10)
        ]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        lines = self.w.control("beacons").decode("utf-8").splitlines()
        self.assertEqual(sorted(l.rsplit("=", 1)[1] for l in lines), sorted(str(i) for i in range(10)))

    def test_beacon_with_absolute_target_and_host_only(self):
        # The client's request carries nothing but the Host field.
        s = socket.create_connection(("127.0.0.1", self.w.port), timeout=5)
        s.sendall(b"GET http://stats.example/UPV?gs=downerbk&gameid=1001&pid=Q HTTP/1.1\r\nHost: stats.example\r\n\r\n")
        self.assertTrue(s.recv(4096).startswith(b"HTTP/1.1 200"))
        s.close()
        line = self.w.control("beacons").decode("utf-8").strip()
        self.assertTrue(line.endswith(" /UPV?gs=downerbk&gameid=1001&pid=Q"), line)

    def test_failing_beacon_is_still_logged(self):
        self.w.control("status", path="/UPV", code=500)
        self.assertEqual(self.w.get("/UPV?gs=dragconf&gameid=1001&pid=P")[0], 500)
        self.assertIn("gs=dragconf", self.w.control("beacons").decode("utf-8"))


class HostileModes(WorldTestCase):
    """Answers a careless or hostile server gives: none, the wrong kind, too
    little, too much."""

    def raw_get(self, path, timeout=5):
        s = socket.create_connection(("127.0.0.1", self.w.port), timeout=timeout)
        s.sendall(b"GET %s HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n" % path.encode("ascii"))
        return s

    def read_to_close(self, s):
        data = b""
        while True:
            piece = s.recv(65536)
            if not piece:
                return data
            data += piece

    def test_stall_accepts_and_never_answers_until_the_client_leaves(self):
        self.w.control("set", stall=1, stall_path="/Configuration/")
        s = self.raw_get("/Configuration/1001.xml", timeout=1.5)
        t0 = time.monotonic()
        with self.assertRaises(socket.timeout):
            s.recv(1)
        self.assertGreaterEqual(time.monotonic() - t0, 1.0)
        # Other paths and the control port keep working meanwhile.
        self.assertEqual(self.w.get("/DownloadAds/1001.xml")[0], 200)
        s.close()
        deadline = time.monotonic() + 5
        entry = None
        while time.monotonic() < deadline and entry is None:
            entry = next((r for r in self.w.requests() if r["path"] == "/Configuration/1001.xml"), None)
            time.sleep(0.05)
        self.assertIsNotNone(entry, "a stalled request is logged once the client leaves")
        self.assertIsNone(entry["status"])
        self.assertFalse(entry["complete"])

    def test_stall_times_limits_the_stalled_requests(self):
        self.w.control("set", stall=1, stall_path="/game/", stall_times=1)
        s = self.raw_get("/game/tiny.bin", timeout=1)
        with self.assertRaises(socket.timeout):
            s.recv(1)
        s.close()
        status, _, body = self.w.get("/game/tiny.bin")
        self.assertEqual((status, body), (200, self.expected("tiny.bin")))

    def test_stalled_connection_ends_when_the_server_stops(self):
        w = WorldProcess("--set-stall", "1")
        try:
            s = socket.create_connection(("127.0.0.1", w.port), timeout=10)
            s.sendall(b"GET /game/tiny.bin HTTP/1.1\r\nHost: x\r\n\r\n")
            time.sleep(0.3)
            w.proc.send_signal(signal.SIGTERM)
            self.assertEqual(w.proc.wait(10), 0)
            self.assertEqual(s.recv(1), b"")
            s.close()
        finally:
            w.stop()

    def test_configuration_as_html_page(self):
        self.w.control("set", config="html")
        status, h, body = self.w.get("/Configuration/1001.xml")
        self.assertEqual(status, 200)
        self.assertTrue(h["Content-Type"].startswith("text/html"))
        self.assertTrue(body.startswith(b"<!DOCTYPE html>"))
        self.assertEqual(ET.fromstring(body).tag, "html")  # well formed, but no configuration
        # The tips file is not touched.
        self.assertEqual(xml_values(self.w.get("/DownloadAds/1001.xml")[2])["downloader/text"], "点击查看新手攻略")

    def test_configuration_empty(self):
        self.w.control("set", config="empty")
        status, h, body = self.w.get("/Configuration/1001.xml")
        self.assertEqual((status, h["Content-Length"], body), (200, "0", b""))

    def test_configuration_cut_short_by_a_clean_close(self):
        _, _, whole = self.w.get("/Configuration/1001.xml")
        self.w.control("set", config="short")
        s = self.raw_get("/Configuration/1001.xml")
        raw = self.read_to_close(s)
        s.close()
        head, _, body = raw.partition(b"\r\n\r\n")
        self.assertTrue(head.startswith(b"HTTP/1.1 200"))
        self.assertNotIn(b"content-length", head.lower())
        self.assertNotIn(b"chunked", head.lower())
        self.assertEqual(body, whole[: len(whole) // 2])
        with self.assertRaises(ET.ParseError):
            ET.fromstring(body)

    def test_changing_the_configuration_mode_makes_cached_copies_stale(self):
        _, h, _ = self.w.get("/Configuration/1001.xml")
        stamp = h["Last-Modified"]
        time.sleep(1.1)
        self.w.control("set", config="html")
        status, _, body = self.w.get("/Configuration/1001.xml", headers={"If-Modified-Since": stamp})
        self.assertEqual(status, 200)
        self.assertTrue(body.startswith(b"<!DOCTYPE html>"))
        self.w.control("set", config="xml")
        status, _, body = self.w.get("/Configuration/1001.xml", headers={"If-Modified-Since": stamp})
        self.assertEqual(status, 200)
        self.assertIn(b"<config>", body)

    def read_endless(self, s, want):
        got = b""
        while len(got) < want:
            piece = s.recv(65536)
            self.assertTrue(piece, "the endless body ended after %d bytes" % len(got))
            got += piece
        return got

    def test_endless_beacon_body(self):
        self.w.control("set", endless=1)
        s = self.raw_get("/UPV?gs=downerstart&gameid=1001")
        got = self.read_endless(s, 8 * MIB)
        s.close()
        head = got.partition(b"\r\n\r\n")[0].lower()
        self.assertTrue(head.startswith(b"http/1.1 200"))
        self.assertNotIn(b"content-length", head)
        self.assertIn(b"connection: close", head)
        self.assertIn("gs=downerstart", self.w.control("beacons").decode("utf-8"))
        # Other paths are served as usual.
        self.assertEqual(self.w.get("/game/tiny.bin")[2], self.expected("tiny.bin"))

    def test_endless_chunked_error_body_on_any_path(self):
        self.w.control("set", endless=1, endless_path="/game/", endless_code=500, framing="chunked")
        s = self.raw_get("/game/tiny.bin")
        got = self.read_endless(s, 2 * MIB)
        s.close()
        head, _, body = got.partition(b"\r\n\r\n")
        self.assertTrue(head.startswith(b"HTTP/1.1 500"))
        self.assertIn(b"transfer-encoding: chunked", head.lower())
        size_line, _, rest = body.partition(b"\r\n")
        n = int(size_line, 16)
        self.assertGreater(n, 0)
        self.assertEqual(rest[n : n + 2], b"\r\n")
        self.assertEqual(int(rest[n + 2 :].partition(b"\r\n")[0], 16), n)

    def test_bad_mode_values_are_refused(self):
        for params in ({"config": "json"}, {"endless_code": "100"}, {"stall": "x"}):
            with self.subTest(params=params):
                status, _, _ = self.w.get("/_control/set?" + urllib.parse.urlencode(params))
                self.assertEqual(status, 400)

    def test_usage_text_documents_the_modes(self):
        out = subprocess.run([sys.executable, WORLD, "--help"], capture_output=True, text=True, timeout=30).stdout
        for word in ("stall(0|1)", "stall_times", "config(xml|html|empty|short)", "endless(0|1)", "endless_code"):
            self.assertIn(word, out)


class Lifecycle(unittest.TestCase):
    def test_sigterm_stops_cleanly_and_removes_pidfile(self):
        w = WorldProcess()
        try:
            with open(w.pidfile) as f:
                self.assertEqual(int(f.read()), w.proc.pid)
            # An idle keep-alive connection must not hold the shutdown up.
            c = w.conn()
            c.request("GET", "/game/tiny.bin")
            c.getresponse().read()
            w.proc.send_signal(signal.SIGTERM)
            self.assertEqual(w.proc.wait(5), 0)
            self.assertFalse(os.path.exists(w.pidfile))
            c.close()
        finally:
            w.stop()

    def test_control_shutdown(self):
        w = WorldProcess()
        try:
            w.control("shutdown")
            self.assertEqual(w.proc.wait(5), 0)
        finally:
            w.stop()


if __name__ == "__main__":
    unittest.main()
