#!/usr/bin/env python3
"""End-to-end runs of tessaly-headless against the world server and the
stand-in host downloader and engine, in one Wine prefix of their own.

    e2e_test.py --build BUILD_DIR [unittest options]

Each case starts a world server on a free loopback port, makes a branded
folder (tessaly-headless.exe, dl_peer_id.dll, tessaly.ini) pointed at it and
checks exit codes, SHA-256 digests, the beacon log and the request log.
"""

import argparse
import glob
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import time
import unittest
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
import junit_report  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
BUILD = None
PREFIX = None
WORK = None
RUN_TIMEOUT = 240

HOST_SHORTCUT = "Torvane高清影片免费下载.lnk"
PLAYER_SHORTCUT = "Torvane影音.lnk"


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def wine(mode, *program, timeout=RUN_TIMEOUT, background=None):
    cmd = [os.path.join(HERE, "wine_run.sh"), PREFIX, mode] + list(program)
    env = dict(os.environ)
    env.pop("E2E_BACKGROUND", None)
    if background:
        env["E2E_BACKGROUND"] = background
    return subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          timeout=timeout, text=True, errors="replace", env=env)


def read_text(path, encoding="utf-8"):
    try:
        with open(path, encoding=encoding, errors="replace") as f:
            return f.read()
    except OSError:
        return ""


def sha256(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            h.update(block)
    return h.hexdigest()


class World:
    def __init__(self, name, *args):
        self.root = os.path.join(WORK, name, "world")
        os.makedirs(self.root, exist_ok=True)
        for setup, target in (("torvane_setup.exe", "TorvaneSetup.exe"),):
            shutil.copy(os.path.join(BUILD, "standins", "host", setup),
                        os.path.join(self.root, target))
        port_file = os.path.join(self.root, "port")
        if os.path.exists(port_file):
            os.remove(port_file)
        self.process = subprocess.Popen(
            [sys.executable, os.path.join(SOURCE, "standins", "world", "world.py"),
             "--port", "0", "--root", self.root, "--port-file", port_file] + list(args),
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.time() + 20
        while not read_text(port_file).strip():
            if time.time() > deadline or self.process.poll() is not None:
                self.stop()
                raise RuntimeError("the world server did not start")
            time.sleep(0.05)
        self.port = int(read_text(port_file).strip())

    def get(self, path):
        with urllib.request.urlopen("http://127.0.0.1:%d%s" % (self.port, path),
                                    timeout=10) as answer:
            return answer.read()

    def fetch(self, path):
        """Gets a file as a client would and waits until the server has logged
        the request: the log entry is written after the last byte is sent, so
        a log cleared at once could otherwise still receive it."""
        body = self.get(path)
        deadline = time.time() + 10
        while not [r for r in self.requests() if r["path"] == path and r["complete"]]:
            if time.time() > deadline:
                raise AssertionError("the world never logged " + path)
            time.sleep(0.05)
        return body

    def clear_logs(self):
        # Both together, so that beacons() can match one log against the other.
        self.get("/_control/requests?clear=1")
        self.get("/_control/beacons?clear=1")

    def control(self, path):
        return json.loads(self.get("/_control/" + path))

    def beacons(self):
        """The beacons in the order their connections were accepted: each
        travels on a connection of its own, and the handler threads may log
        them in any order. The request log holds a beacon once its answer
        ended, so wait until it has every beacon the beacon log has seen."""
        deadline = time.time() + 10
        while True:
            seen = [line.split(" ", 1)[1] for line in
                    self.get("/_control/beacons").decode("utf-8").splitlines() if " " in line]
            logged = sorted((r for r in self.requests() if r["path"].startswith("/UPV")),
                            key=lambda r: r["conn"])
            if len(logged) >= len(seen) or time.time() > deadline:
                return [r["path"] for r in logged]
            time.sleep(0.05)

    def requests(self):
        return [json.loads(line) for line in
                self.get("/_control/requests").decode("utf-8").splitlines() if line.strip()]

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


class Branded:
    """A folder with the driver, the peer-id library and tessaly.ini."""

    def __init__(self, name, world, game_id="1001"):
        # game_id None: no GameId key at all.
        self.folder = os.path.join(WORK, name)
        os.makedirs(self.folder, exist_ok=True)
        for exe in (os.path.join(BUILD, "tools", "headless", "tessaly-headless.exe"),
                    os.path.join(BUILD, "standins", "peer_id", "dl_peer_id.dll")):
            shutil.copy(exe, self.folder)
        with open(os.path.join(self.folder, "tessaly.ini"), "w", newline="") as f:
            f.write("[Tessaly]\r\n")
            if game_id is not None:
                f.write("GameId=%s\r\n" % game_id)
            f.write("ConfigServer=127.0.0.1:%d\r\nStatServer=127.0.0.1:%d\r\n"
                    % (world.port, world.port))
        self.games = os.path.join(self.folder, "games")
        os.makedirs(self.games, exist_ok=True)

    def run(self, *args, background=None):
        return wine("keep", os.path.join(self.folder, "tessaly-headless.exe"),
                    windows_path(self.games), *args, background=background)

    def path(self, name):
        return os.path.join(self.folder, name)


def host_state():
    """(installed version or None, shortcuts present) in the prefix."""
    system = os.path.join(PREFIX, "system.reg")
    version = None
    if os.path.exists(system):
        text = read_text(system, "latin-1")
        key = "[Software\\\\Torvane Network\\\\TorvaneOem\\\\torvane_backwnd]"
        at = text.find(key)
        if at >= 0:
            section = text[at:text.find("\n[", at + 1)]
            for line in section.splitlines():
                if line.startswith('"Version"='):
                    version = line.split("=", 1)[1].strip('"')
    desktop = os.path.join(PREFIX, "drive_c", "users", "Public", "Desktop")
    shortcuts = sorted(n for n in (HOST_SHORTCUT, PLAYER_SHORTCUT)
                       if os.path.exists(os.path.join(desktop, n)))
    return version, shortcuts


def prefix_temp():
    """The prefix's temporary folder (the user's AppData\\Local\\Temp)."""
    found = glob.glob(os.path.join(PREFIX, "drive_c", "users", "*", "AppData", "Local", "Temp"))
    found = [f for f in found if "Public" not in f]
    return found[0] if found else None


def host_installers():
    """Installers the client downloaded over HTTP still in the prefix's temp."""
    temp = prefix_temp()
    if not temp:
        return []
    return sorted(n for n in os.listdir(temp) if re.match(r"(?i)torvane\d{14}\.exe", n))


def remove_host():
    wine("keep", "reg", "delete", "HKLM\\SOFTWARE\\Torvane Network", "/f")
    shutil.rmtree(os.path.join(PREFIX, "drive_c", "Program Files", "Torvane Network"),
                  ignore_errors=True)
    desktop = os.path.join(PREFIX, "drive_c", "users", "Public", "Desktop")
    for name in (HOST_SHORTCUT, PLAYER_SHORTCUT):
        if os.path.exists(os.path.join(desktop, name)):
            os.remove(os.path.join(desktop, name))


def install_host(setup):
    staged = os.path.join(WORK, setup)
    shutil.copy(os.path.join(BUILD, "standins", "host", setup), staged)
    return wine("keep", staged, "/S")


def subsequence(items, wanted):
    it = iter(items)
    return all(any(w in item for item in it) for w in wanted)


class E2E(unittest.TestCase):
    def start_world(self, name, *args):
        world = World(name, *args)
        self.addCleanup(world.stop)
        return world

    def assert_complete(self, run, world, branded):
        self.assertEqual(run.returncode, 0, run.stdout)
        self.assertIn("done: complete", run.stdout)
        info = world.control("info?digests=1")
        for game in info["game_files"]:
            path = os.path.join(branded.games, game["name"])
            self.assertTrue(os.path.exists(path), game["name"])
            self.assertEqual(sha256(path), game["sha256"], game["name"])
            self.assertFalse(os.path.exists(path + ".td"))

    def test_1_no_host_installs_over_http(self):
        remove_host()
        world = self.start_world("nohost", "--game-file", "demo.exe:5M",
                                 "--game-file", "demo.pak:3M")
        branded = Branded("nohost", world)
        run = branded.run()
        self.assert_complete(run, world, branded)
        beacons = world.beacons()
        self.assertTrue(subsequence(beacons, [
            "gs=dragconf&gameid=1001&pid=",
            "gs=downertask&gameid=1001&pid=",
            "style=httpsucc",
            "gs=downerrun&gameid=1001&pid="]), beacons)
        http = [b for b in beacons if b.startswith("/UPV?gs=downertask") and b.endswith("&style=http")]
        self.assertEqual(len(http), 1, beacons)
        run_beacon = [b for b in beacons if "gs=downerrun" in b]
        self.assertEqual(run_beacon, [b for b in run_beacon if b.endswith("&style=0")], beacons)
        self.assertEqual(len(run_beacon), 1)
        # The peer id is the library's, marked with the product character.
        pid = beacons[0].split("&pid=")[1].split("&")[0]
        self.assertEqual(len(pid), 16)
        self.assertEqual(pid[15], "N")
        version, shortcuts = host_state()
        self.assertEqual(version, "7.2.0.1000")
        # The silent install's shortcuts were not there before: removed.
        self.assertEqual(shortcuts, [])
        # The downloaded installer is gone once it ran.
        self.assertEqual(host_installers(), [])

    def test_2_old_host_gets_the_installer_through_the_engine(self):
        remove_host()
        self.assertEqual(install_host("torvane_setup_old.exe").returncode, 0)
        self.assertEqual(host_state()[0], "7.1.9.9999")
        world = self.start_world("oldhost", "--game-file", "old.bin:4M")
        branded = Branded("oldhost", world)
        run = branded.run()
        self.assert_complete(run, world, branded)
        beacons = world.beacons()
        self.assertFalse([b for b in beacons if b.endswith("&style=http")], beacons)
        self.assertFalse([b for b in beacons if b.endswith("&style=httpsucc")], beacons)
        self.assertEqual([b for b in beacons if "gs=downerrun" in b][-1][-8:], "&style=1")
        installer = [r for r in world.requests() if r["path"].endswith("/TorvaneSetup.exe")]
        self.assertTrue(installer)
        version, shortcuts = host_state()
        self.assertEqual(version, "7.2.0.1000")
        # Shortcuts that existed before the upgrade stay.
        self.assertEqual(shortcuts, sorted([HOST_SHORTCUT, PLAYER_SHORTCUT]))

    def test_3_current_host_no_installer_and_local_game_info(self):
        remove_host()
        self.assertEqual(install_host("torvane_setup.exe").returncode, 0)
        world = self.start_world("current", "--host-version", "7.2.0.1000",
                                 "--game-file", "cur.bin:2M")
        branded = Branded("current", world)
        run = branded.run()
        self.assert_complete(run, world, branded)
        requests = world.requests()
        self.assertFalse([r for r in requests if "TorvaneSetup" in r["path"]], requests)
        beacons = world.beacons()
        self.assertFalse([b for b in beacons if "downerrun" in b or "style=http" in b], beacons)

        # An empty required version: no installer either.
        world.get("/_control/set?host_version=")
        world.clear_logs()
        empty = Branded("current-empty", world)
        run = empty.run()
        self.assert_complete(run, world, empty)
        self.assertFalse([r for r in world.requests() if "TorvaneSetup" in r["path"]])

        # A GameInfo.xml beside the program is used without any request.
        local = Branded("current-local", world)
        with open(local.path("GameInfo.xml"), "wb") as f:
            f.write(world.fetch("/Configuration/1001.xml"))
        world.clear_logs()
        run = local.run()
        self.assert_complete(run, world, local)
        self.assertFalse([r for r in world.requests() if r["path"].startswith("/Configuration/")])

    def test_4_pause_and_restart(self):
        world = self.start_world("pause", "--game-file", "p1.bin:24M", "--game-file",
                                 "p2.bin:12M", "--set-rate", "196608", "--set-rate-path", "/game/")
        branded = Branded("pause", world)
        # The engine counts whole pieces (1 MiB) as downloaded once stopped:
        # long enough for a few of them, far too short for the whole file.
        run = branded.run("--pause-after", "8")
        self.assertEqual(run.returncode, 0, run.stdout)
        self.assertIn("done: paused", run.stdout)
        db = read_text(branded.path("db.ini"), "latin-1")
        self.assertIn("TaskCount=2", db)
        tds = sorted(n for n in os.listdir(branded.games) if n.endswith(".td"))
        self.assertEqual(tds, ["p1.bin.td", "p2.bin.td"], os.listdir(branded.games))
        sections = {}
        current = None
        for line in db.splitlines():
            if line.startswith("["):
                current = line.strip("[]")
                sections[current] = {}
            elif "=" in line and current:
                k, v = line.split("=", 1)
                sections[current][k] = v
        p1 = [s for s in sections.values() if s.get("Name") == "p1.bin"][0]
        self.assertGreater(int(p1["DownSize"]), 0)
        self.assertLess(int(p1["DownSize"]), int(p1["TotalSize"]))
        self.assertEqual(int(p1["TotalSize"]), 24 << 20)

        # The second file's data is lost: it comes back at 0 and stopped.
        os.remove(os.path.join(branded.games, "p2.bin.td"))
        if os.path.exists(os.path.join(branded.games, "p2.bin")):
            os.remove(os.path.join(branded.games, "p2.bin"))
        world.get("/_control/set?rate=0")
        world.clear_logs()
        run = branded.run()
        self.assert_complete(run, world, branded)
        stored = [l for l in run.stdout.splitlines() if l.startswith("stored ")]
        self.assertEqual(len(stored), 2, run.stdout)
        self.assertRegex(stored[0], r"/game/p1\.bin state 5 downloaded [1-9]\d* total %d"
                         % (24 << 20))
        self.assertRegex(stored[1], r"/game/p2\.bin state 5 downloaded 0 total %d" % (12 << 20))
        # The engine carried on from its temporary file instead of starting over.
        p1_requests = [r for r in world.requests() if r["path"] == "/game/p1.bin"]
        starts = [int(r["range"].split("=")[1].split("-")[0]) for r in p1_requests
                  if r.get("range")]
        self.assertTrue(starts and min(starts) > 0, p1_requests)

    def test_6_running_host_is_closed_only_when_the_user_agrees(self):
        remove_host()
        self.assertEqual(install_host("torvane_setup_old.exe").returncode, 0)
        host = os.path.join(PREFIX, "drive_c", "Program Files", "Torvane Network", "Torvane",
                            "Program", "Torvane.exe")
        self.assertTrue(os.path.exists(host))
        world = self.start_world("running", "--game-file", "r.bin:1M")
        refused = Branded("running-refused", world)
        run = refused.run("--host-running-answer", "3", background=host)
        self.assertNotEqual(run.returncode, 0, run.stdout)
        self.assertIn("host downloader running: answering 3", run.stdout)
        self.assertIn("could not be prepared", run.stdout)
        self.assertEqual(host_state()[0], "7.1.9.9999")

        agreed = Branded("running-agreed", world)
        run = agreed.run("--host-running-answer", "2", background=host)
        self.assert_complete(run, world, agreed)
        self.assertIn("host downloader running: answering 2", run.stdout)
        self.assertEqual(host_state()[0], "7.2.0.1000")

    def test_7_no_game_id_and_a_garbled_host_version(self):
        remove_host()
        # Without "GameId" the copy is game 0000 and the worker sends no
        # report of its own, but the host is still installed.
        world = self.start_world("noid", "--game-id", "0000", "--game-file", "n.bin:1M")
        branded = Branded("noid", world, game_id=None)
        run = branded.run()
        self.assert_complete(run, world, branded)
        beacons = world.beacons()
        self.assertTrue([b for b in beacons if "gs=downerstart&gameid=0000" in b], beacons)
        for event in ("dragconf", "downerrun", "style=http"):
            self.assertFalse([b for b in beacons if event in b], beacons)
        self.assertEqual(host_state()[0], "7.2.0.1000")

        # A "Version" that is not four numbers reads as older: upgraded
        # through the engine, without a crash.
        wine("keep", "reg", "add", "HKLM\\SOFTWARE\\Torvane Network\\TorvaneOem\\torvane_backwnd",
             "/v", "Version", "/t", "REG_SZ", "/d", "banana", "/f")
        self.assertEqual(host_state()[0], "banana")
        garbled = Branded("garbled", world, game_id="0000")
        run = garbled.run()
        self.assert_complete(run, world, garbled)
        self.assertEqual(host_state()[0], "7.2.0.1000")
        self.assertTrue([b for b in world.beacons() if "gs=downerrun" in b and
                         b.endswith("&style=1")])

    def test_8_a_broken_configuration_is_fetched_again(self):
        world = self.start_world("broken", "--game-file", "k.bin:1M")
        branded = Branded("broken", world)
        game_info = branded.path("GameInfo.xml")
        # Left by a run killed mid-download: removed at the next start.
        with open(game_info + ".tmp", "wb") as f:
            f.write(b"<half")
        temp = prefix_temp()
        stale = os.path.join(temp, "torvane20200101000000.exe.tmp") if temp else None
        if stale:
            with open(stale, "wb") as f:
                f.write(b"MZ")
        for mode in ("html", "empty", "short"):
            world.get("/_control/set?config=" + mode)
            run = branded.run("--config-only")
            self.assertNotEqual(run.returncode, 0, mode + "\n" + run.stdout)
            self.assertRegex(run.stdout, "could not be (parsed|fetched)|lists no game file", mode)
            # The broken copy the client downloaded is not kept.
            self.assertFalse(os.path.exists(game_info), mode)
            self.assertFalse(os.path.exists(game_info + ".tmp"), mode)
        if stale:
            self.assertFalse(os.path.exists(stale))

        # A good answer on the next start is fetched and used.
        world.get("/_control/set?config=xml")
        world.clear_logs()
        run = branded.run("--config-only")
        self.assertEqual(run.returncode, 0, run.stdout)
        fetched = [r for r in world.requests() if r["path"].startswith("/Configuration/")]
        self.assertEqual([r["status"] for r in fetched], [200], fetched)

        # The client's own copy is asked for again on each start: unchanged,
        # a 304 keeps it; changed on the server, the new one replaces it.
        world.clear_logs()
        run = branded.run("--config-only")
        self.assertEqual(run.returncode, 0, run.stdout)
        fetched = [r for r in world.requests() if r["path"].startswith("/Configuration/")]
        self.assertEqual([r["status"] for r in fetched], [304], fetched)
        self.assertTrue(fetched[0]["ims"])
        time.sleep(1.1)  # Last-Modified counts whole seconds
        world.get("/_control/set?encoding=gb2312")
        world.clear_logs()
        run = branded.run("--config-only")
        self.assertEqual(run.returncode, 0, run.stdout)
        fetched = [r for r in world.requests() if r["path"].startswith("/Configuration/")]
        self.assertEqual([r["status"] for r in fetched], [200], fetched)
        with open(game_info, "rb") as f:
            self.assertEqual(f.read(), world.get("/Configuration/1001.xml"))

    def test_9_an_interrupted_host_upgrade_resumes_on_the_next_run(self):
        remove_host()
        self.assertEqual(install_host("torvane_setup_old.exe").returncode, 0)
        world = self.start_world("resume", "--game-file", "u.bin:1M")
        size = os.path.getsize(os.path.join(world.root, "TorvaneSetup.exe"))
        # About twelve seconds for the installer through the engine.
        world.get("/_control/set?rate=%d&rate_path=/files/TorvaneSetup.exe" % max(1, size // 12))
        branded = Branded("resume", world)
        run = branded.run("--quit-after", "5")
        self.assertNotEqual(run.returncode, 0, run.stdout)
        self.assertIn("quitting", run.stdout)
        self.assertNotIn("engine ready", run.stdout)
        self.assertEqual(host_state()[0], "7.1.9.9999")
        db = read_text(branded.path("db.ini"), "latin-1")
        self.assertIn("TorvaneSetup.exe", db)

        world.get("/_control/set?rate=0")
        started = time.time()
        run = branded.run()
        self.assert_complete(run, world, branded)
        ready = [l for l in run.stdout.splitlines() if l.startswith("environment ready after ")]
        self.assertEqual(len(ready), 1, run.stdout)
        self.assertLess(int(ready[0].split()[3]), 30000, run.stdout)
        self.assertLess(time.time() - started, 120)
        self.assertEqual(host_state()[0], "7.2.0.1000")
        self.assertEqual([b for b in world.beacons() if "gs=downerrun" in b][-1][-8:], "&style=1")

    def test_5_encodings(self):
        world = self.start_world("enc", "--game-file", "e.bin:1M")
        outputs = {}
        for encoding in ("utf-8", "gb2312", "GB2312"):
            world.get("/_control/set?encoding=" + encoding)
            branded = Branded("enc-" + encoding, world)
            outputs[encoding] = branded.run("--config-only")
        self.assertEqual(outputs["utf-8"].returncode, 0, outputs["utf-8"].stdout)
        self.assertEqual(outputs["gb2312"].returncode, 0, outputs["gb2312"].stdout)
        config = lambda r: [l for l in r.stdout.splitlines() if l.startswith("config ")]
        self.assertTrue(config(outputs["utf-8"]))
        self.assertEqual(config(outputs["utf-8"]), config(outputs["gb2312"]))
        self.assertNotEqual(outputs["GB2312"].returncode, 0)
        self.assertIn("could not be parsed", outputs["GB2312"].stdout)


def runs_32_bit():
    try:
        return subprocess.run(["/usr/lib/wine/wine", "--version"], stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL).returncode == 0
    except OSError:
        return False


def main():
    global BUILD, PREFIX, WORK
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--pointer-size", type=int, default=8)
    parser.add_argument("--report")
    args, rest = parser.parse_known_args()
    if args.pointer_size == 4 and not runs_32_bit():
        print("e2e: this Wine cannot run 32-bit programs; run the 64-bit tree's e2e test")
        sys.exit(77)
    BUILD = os.path.abspath(args.build)
    PREFIX = os.path.join(BUILD, "e2e-prefix")
    WORK = os.path.join(BUILD, "e2e-work")
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    wine("fresh", timeout=300)
    try:
        loader = unittest.defaultTestLoader
        suite = (loader.loadTestsFromNames(rest, sys.modules[__name__]) if rest
                 else loader.loadTestsFromModule(sys.modules[__name__]))
        cases = list(iterate_cases(suite))
        result = unittest.TextTestRunner(verbosity=2).run(unittest.TestSuite(cases))
    finally:
        wine("kill", timeout=60)
    if args.report:
        junit_report.write_unittest(args.report, "e2e_service", result, cases)
    sys.exit(0 if result.wasSuccessful() else 1)


def iterate_cases(suite):
    for item in suite:
        if isinstance(item, unittest.TestSuite):
            yield from iterate_cases(item)
        else:
            yield item


if __name__ == "__main__":
    main()
