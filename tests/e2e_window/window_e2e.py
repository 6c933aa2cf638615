#!/usr/bin/env python3
"""End-to-end runs of the real tessaly.exe under Wine on an Xvfb display of
their own, driven with real X clicks (xdotool) at the places the window
reports through Active Accessibility (access-dump.exe from a second
process), against the world server and the stand-in host and engine.

    window_e2e.py --build BUILD_DIR --case NAME

One case a run, so that CTest can run them side by side; each has its own
world, Wine prefix and display.
"""

import argparse
import hashlib
import json
import os
import re
import select
import shutil
import subprocess
import sys
import time
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
import junit_report  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
TITLE = "Demo高速下载器"
GAME_ID = "1001"


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def sha256(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            h.update(block)
    return h.hexdigest()


def wait_until(predicate, timeout, what, step=0.3):
    deadline = time.time() + timeout
    while time.time() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(step)
    raise Failure("timed out after %d s waiting for %s" % (timeout, what))


class Session:
    """A world, a branded client folder, a Wine prefix and a display."""

    def __init__(self, build, case, world_args=()):
        self.build = build
        self.work = os.path.join(build, "e2e_window", case)
        shutil.rmtree(self.work, ignore_errors=True)
        os.makedirs(self.work)
        self.processes = []
        self.xvfb = None
        self.start_display()
        self.start_wine()
        self.start_world(world_args)
        self.make_client()

    # --- set-up -----------------------------------------------------------

    def start_display(self):
        # Xvfb takes a free display number itself (its lock file is made
        # atomically) and writes it once it accepts connections: cases started
        # side by side never end up sharing one display.
        read_end, write_end = os.pipe()
        try:
            self.xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                                          "1280x800x24", "-nolisten", "tcp"],
                                         pass_fds=(write_end,), stdout=subprocess.DEVNULL,
                                         stderr=subprocess.DEVNULL)
        finally:
            os.close(write_end)
        number = b""
        deadline = time.time() + 30
        try:
            while not number.endswith(b"\n") and time.time() < deadline:
                if select.select([read_end], [], [], 0.5)[0]:
                    chunk = os.read(read_end, 16)
                    if not chunk:
                        break
                    number += chunk
        finally:
            os.close(read_end)
        if not number.strip().isdigit():
            self.xvfb.kill()
            raise Failure("no Xvfb display could be started")
        self.display = ":" + number.strip().decode()

    def start_wine(self):
        self.prefix = os.path.join(self.work, "prefix")
        script = ('source "%s/scripts/wine-env.sh"; export TESSALY_PREFIX="%s"; '
                  'tessaly_wine_up fresh >/dev/null 2>&1; env' % (SOURCE, self.prefix))
        out = subprocess.run(["bash", "-c", script], stdout=subprocess.PIPE, text=True,
                             env=dict(os.environ, DISPLAY=self.display), timeout=300).stdout
        self.env = dict(os.environ)
        for line in out.splitlines():
            key, _, value = line.partition("=")
            if key.startswith("WINE"):
                self.env[key] = value
        self.env["DISPLAY"] = self.display
        self.env["WINEDEBUG"] = "-all"
        self.arch = self.env.get("WINEARCH", "win32")

    def start_world(self, args):
        root = os.path.join(self.work, "world")
        os.makedirs(root)
        shutil.copy(os.path.join(self.build, "standins", "host", "torvane_setup.exe"),
                    os.path.join(root, "TorvaneSetup.exe"))
        shutil.copy(os.path.join(self.build, "standins", "game", "demo_game_setup.exe"),
                    os.path.join(root, "DemoSetup.exe"))
        port_file = os.path.join(root, "port")
        world = subprocess.Popen(
            [sys.executable, os.path.join(SOURCE, "standins", "world", "world.py"), "--port", "0",
             "--root", root, "--port-file", port_file,
             "--game-file", "DemoSetup.exe@DemoSetup.exe",
             "--game-file", "Demo.pak1:3M", "--game-file", "Demo.pak2:1M"] + list(args),
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.processes.append(world)
        self.world_root = root
        wait_until(lambda: os.path.exists(port_file) and open(port_file).read().strip(), 20,
                   "the world server")
        self.port = int(open(port_file).read().strip())

    def make_client(self):
        self.client = os.path.join(self.work, "client")
        os.makedirs(self.client)
        shutil.copy(os.path.join(self.build, "app", "tessaly.exe"), self.client)
        shutil.copy(os.path.join(self.build, "standins", "peer_id", "dl_peer_id.dll"), self.client)
        shutil.copytree(os.path.join(SOURCE, "res", "skin", "images"),
                        os.path.join(self.client, "images"))
        shutil.copy(os.path.join(SOURCE, "res", "skin", "downloader.ico"), self.client)
        self.write_ini()
        self.games = os.path.join(self.prefix, "drive_c", "e2e", "Demo")

    def write_ini(self, **extra):
        values = {
            "GameId": GAME_ID, "GameTitle": "Demo", "BkgResType": "1",
            "BkgRes": "images\\bkg1.png", "DefaultPath": "C:\\e2e\\", "ShowFervo": "0",
            "ConfigServer": "127.0.0.1:%d" % self.port, "StatServer": "127.0.0.1:%d" % self.port,
            "FervoUrl": "http://127.0.0.1:%d/files/DozurudireSetup.exe" % self.port,
        }
        values.update(extra)
        text = "[Tessaly]\r\n" + "".join("%s=%s\r\n" % kv for kv in values.items())
        with open(os.path.join(self.client, "tessaly.ini"), "wb") as f:
            f.write(b"\xff\xfe" + text.encode("utf-16-le"))

    def close(self):
        subprocess.run([self.env.get("WINESERVER", "wineserver"), "-k"], env=self.env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
        for p in self.processes + [self.xvfb]:
            if p and p.poll() is None:
                p.terminate()
                try:
                    p.wait(10)
                except subprocess.TimeoutExpired:
                    p.kill()

    # --- the world ---------------------------------------------------------

    def get(self, path):
        with urllib.request.urlopen("http://127.0.0.1:%d%s" % (self.port, path),
                                    timeout=10) as answer:
            return answer.read()

    def control(self, path):
        return json.loads(self.get("/_control/" + path))

    def beacons(self):
        time.sleep(0.5)
        logged = [json.loads(line) for line in
                  self.get("/_control/requests").decode("utf-8").splitlines() if line.strip()]
        return [r["path"] for r in sorted(logged, key=lambda r: r["conn"])
                if r["path"].startswith("/UPV")]

    def requests(self):
        return [json.loads(line) for line in
                self.get("/_control/requests").decode("utf-8").splitlines() if line.strip()]

    # --- the client --------------------------------------------------------

    def wine(self, *args, timeout=60):
        loader = [os.path.join(SOURCE, "scripts", "wine64")] if self.arch == "win64" else ["wine"]
        return subprocess.run(loader + list(args), env=self.env, stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, text=True, errors="replace",
                              timeout=timeout, cwd=self.client)

    def start_client(self):
        loader = [os.path.join(SOURCE, "scripts", "wine64")] if self.arch == "win64" else ["wine"]
        p = subprocess.Popen(loader + ["tessaly.exe"], env=self.env, cwd=self.client,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.processes.append(p)
        wait_until(lambda: self.window_title(), 60, "the main window")
        return p

    def xdotool(self, *args):
        return subprocess.run(["xdotool"] + list(args), env=self.env, stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, text=True, timeout=20).stdout

    def window_title(self, visible_only=False):
        args = ["search"] + (["--onlyvisible"] if visible_only else []) + ["--name", "^" + TITLE]
        ids = self.xdotool(*args).split()
        for wid in ids:
            name = self.xdotool("getwindowname", wid).strip()
            if name.startswith(TITLE):
                return name
        return ""

    def read(self, title=None):
        """Element lines of the window by help name: name, value, state and
        location."""
        for _ in range(5):
            now = title or self.window_title()
            if now:
                out = self.wine(os.path.join(self.build, "tools", "access_dump",
                                             "access-dump.exe"), now).stdout
                if out.strip():
                    return parse_dump(out)
            time.sleep(0.2)
        return {}

    def element(self, help_name, title=None):
        # A window that is being shown or restored may not answer for a
        # moment; only a window that answers without the element lacks it.
        for _ in range(10):
            elements = self.read(title)
            if elements:
                return elements.get(help_name)
            time.sleep(0.3)
        return None

    def wait_for(self, help_name, text, timeout=60, title=None):
        return wait_until(lambda: (lambda e: e if e and text in e["line"] else None)(
            self.element(help_name, title)), timeout, "%s to show %s" % (help_name, text))

    def click(self, help_name, title=None):
        e = self.element(help_name, title)
        check(e is not None, "no element " + help_name)
        x, y, w, h = e["location"]
        self.xdotool("mousemove", str(x + w // 2), str(y + h // 2), "click", "1")
        time.sleep(0.3)
        self.xdotool("mousemove", "2", "790")

    def shot(self, name):
        path = os.path.join(self.work, name + ".png")
        subprocess.run(["import", "-window", "root", path], env=self.env, timeout=30,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return path

    def game_files_identical(self):
        info = self.control("info?digests=1")
        for game in info["game_files"]:
            path = os.path.join(self.games, game["name"])
            check(os.path.exists(path), "missing " + path)
            check(sha256(path) == game["sha256"], "different bytes in " + game["name"])
            check(not os.path.exists(path + ".td"), "a .td file is left for " + game["name"])

    def settings(self):
        path = os.path.join(self.client, "tessalyconfig.ini")
        if not os.path.exists(path):
            return ""
        data = open(path, "rb").read()
        return data.decode("utf-16") if data[:2] == b"\xff\xfe" else data.decode("latin-1")


def parse_dump(out):
    elements = {}
    for line in out.splitlines():
        m = re.search(r'help="([^"]*)"', line)
        loc = re.search(r"location=(-?\d+),(-?\d+),(\d+),(\d+)", line)
        name = re.search(r'name="((?:[^"\\]|\\.)*)"', line)
        if m and m.group(1) not in elements:
            elements[m.group(1)] = {
                "line": line, "name": name.group(1) if name else "",
                "location": tuple(int(v) for v in loc.groups()) if loc else (0, 0, 0, 0)}
    return elements


def in_order(seen, wanted):
    it = iter(seen)
    return all(any(w in s for s in it) for w in wanted)


# --- the cases -------------------------------------------------------------


def case_fresh_to_complete(s):
    """Start, pause, resume and complete from the real window."""
    s.start_client()
    s.wait_for("ActionButton", 'name="开始下载"')
    # "ShowFervo" 0: no accelerator offer, so none is fetched at the end.
    check("InstallCheck" not in s.read(), "no InstallCheck without ShowFervo")
    s.get("/_control/set?rate=262144")
    s.click("ActionButton")
    s.wait_for("TextTips1", "正在下载中...", 120)
    titles = set()
    titles.add(s.window_title())
    ids_before = open(os.path.join(s.client, "db.ini"), "rb").read()
    s.click("ActionButton")
    s.wait_for("TextTips1", "已暂停", 60)
    check(s.element("ActionButton")["name"] == "继续下载", "the pause leaves 继续下载")
    s.shot("paused")
    s.click("ActionButton")
    s.wait_for("TextTips1", "正在下载中...", 60)
    s.get("/_control/set?rate=262144")
    deadline = time.time() + 120
    while time.time() < deadline:
        t = s.window_title()
        if t:
            titles.add(t)
        e = s.element("ActionButton")
        if e and e["name"] == "开始安装":
            break
        time.sleep(0.3)
    s.shot("complete")
    check(s.element("ActionButton")["name"] == "开始安装", "the complete layout shows 开始安装")
    check(s.element("TextTips1")["name"] == "现在游戏已经下载完成", "the completion text")
    percents = sorted(int(m.group(1)) for t in titles for m in [re.search(r"-(\d+)%$", t)] if m)
    check(len(percents) >= 2 and percents[0] < percents[-1] < 100,
          "the title moved through percentages: %r" % sorted(titles))
    s.game_files_identical()
    check(not any("Dozurudire" in r["path"] for r in s.requests()), "no accelerator fetched")
    check(re.search(r"AccTime=\d+", s.settings()) is not None, "AccTime written")
    beacons = s.beacons()
    check(in_order(beacons, ["gs=downerstart", "gs=downertask&", "style=start", "style=pause",
                             "style=start", "gs=completeins&gameid=1001&pid="]),
          "beacons in order: %r" % beacons)
    check(sum("gs=completeins" in b and b.endswith("style=1") for b in beacons) == 1,
          "completeins 1 once: %r" % beacons)
    # Resuming re-created the tasks by URL: the same ids, no new task.
    ids_after = open(os.path.join(s.client, "db.ini"), "rb").read()
    for m in re.finditer(rb"ID=(\d+)", ids_before):
        check(m.group(0) in ids_after, "task %s kept its id" % m.group(1))
    s.click("ActionButton")
    marker = os.path.join(s.games, "DemoSetup.exe.ran")
    wait_until(lambda: os.path.exists(marker), 30, "the first game file to run")


def case_killed_resume(s):
    """The process ended hard mid-download; the next start resumes."""
    s.get("/_control/set?rate=131072")
    p = s.start_client()
    s.wait_for("ActionButton", 'name="开始下载"')
    s.click("ActionButton")
    s.wait_for("TextTips1", "正在下载中...", 120)
    wait_until(lambda: any(r["path"].startswith("/game/Demo.pak1") and r["complete"]
                           and (r["range"] or "").startswith("bytes=") for r in s.requests()),
               60, "a finished range of Demo.pak1")
    # The engine records what it has on its own beat: a range counts as kept
    # once it arrived two seconds before the kill.
    time.sleep(2.5)
    killed = time.time()
    subprocess.run([s.env.get("WINESERVER", "wineserver"), "-k"], env=s.env, timeout=30)
    first = [r for r in s.requests() if r["path"].startswith(("/game/", "/files/DemoSetup"))
             and r["complete"] and r["status"] in (200, 206) and r["time"] < killed - 2]
    p.wait(30)
    s.get("/_control/requests?clear=1")
    s.get("/_control/set?rate=0")
    s.start_client()
    s.wait_for("TextTips1", "任务暂停中", 60)
    check(s.element("ActionButton")["name"] == "继续下载", "resume offered")
    s.shot("paused-earlier-run")
    s.click("ActionButton")
    s.wait_for("ActionButton", 'name="开始安装"', 120)
    s.game_files_identical()
    # No byte that arrived before the kill is fetched again.
    done = {}
    for r in first:
        m = re.match(r"bytes=(\d+)-(\d+)", r["range"] or "")
        if m:
            done.setdefault(r["path"], []).append((int(m.group(1)), int(m.group(2))))
    for r in s.requests():
        m = re.match(r"bytes=(\d+)-(\d+)", r["range"] or "")
        if not m or r["path"] not in done:
            continue
        a, b = int(m.group(1)), int(m.group(2))
        for x, y in done[r["path"]]:
            check(b < x or a > y, "%s %s fetched again after %d-%d" % (r["path"], r["range"], x, y))


def case_no_disk_space(s):
    """A game larger than the drive's free space blocks the start."""
    os.makedirs(os.path.join(s.world_root, "Configuration"))
    xml = s.get("/Configuration/%s.xml" % GAME_ID).decode("utf-8")
    xml = re.sub(r"<gamesize>\d+</gamesize>", "<gamesize>1125899906842624</gamesize>", xml)
    with open(os.path.join(s.world_root, "Configuration", GAME_ID + ".xml"), "w") as f:
        f.write(xml)
    s.start_client()
    s.wait_for("ActionButton", 'name="开始下载"')
    s.get("/_control/requests?clear=1")
    s.click("ActionButton")
    box = wait_until(lambda: s.read("提示"), 30, "the message box")
    check("磁盘空间不足" in box.get("TextContent", {}).get("name", ""),
          "the message box says why: %r" % box.get("TextContent"))
    check(set(box) >= {"button1"} and "button2" not in box, "one button")
    s.shot("no-disk-space")
    s.click("button1", "提示")
    wait_until(lambda: not s.read("提示"), 20, "the message box to close")
    check(not any("downertask" in b for b in s.beacons()), "nothing started")
    check(not os.path.exists(s.games), "no download folder made")


def case_bad_configuration(s):
    """A configuration that cannot be fetched: a disabled window, no crash."""
    s.get("/_control/status?path=/Configuration/%s.xml&code=404" % GAME_ID)
    p = s.start_client()
    s.wait_for("TextTips1", "初始化配置失败!", 60)
    check("unavailable" in s.element("ActionButton")["line"], "ActionButton disabled")
    s.shot("bad-configuration")
    time.sleep(1)
    check(p.poll() is None, "the client still runs")
    check(not os.path.exists(os.path.join(s.client, "db.ini")) or
          b"Url" not in open(os.path.join(s.client, "db.ini"), "rb").read(), "no task written")
    check(not os.path.exists(s.games), "no download folder made")


def case_second_start(s):
    """A second copy restores the hidden first and sends no beacon."""
    s.start_client()
    s.wait_for("ActionButton", 'name="开始下载"')
    s.click("closebtn")
    wait_until(lambda: not s.window_title(visible_only=True), 20, "the window to hide")
    before = len(s.beacons())
    second = s.wine("tessaly.exe", timeout=60)
    check(second.returncode == 0, "the second copy ends at once")
    wait_until(lambda: s.window_title(visible_only=True), 20, "the first window to come back")
    check(len(s.beacons()) == before, "no beacon from the second copy")


def tray_click(s, button):
    tray = s.xdotool("search", "--name", "Wine System Tray").split()
    check(tray, "the tray window")
    geo = s.xdotool("getwindowgeometry", "--shell", tray[0])
    pos = dict(line.split("=") for line in geo.split() if "=" in line)
    s.xdotool("mousemove", str(int(pos["X"]) + 9), str(int(pos["Y"]) + 9), "click", button)


def case_tray(s):
    """Closing hides; the tray brings the window back; the tray's exit during
    a download asks how to leave: the background choice hides it and slows
    the engine down, and "将任务移至Torvane7" hands the download to the
    stand-in host, which finishes it."""
    engine_log = use_engine_log(s)
    p = s.start_client()
    s.wait_for("ActionButton", 'name="开始下载"')
    s.click("closebtn")
    wait_until(lambda: not s.window_title(visible_only=True), 20, "the window to hide")
    check(p.poll() is None, "closing does not end the program")
    tray_click(s, "1")
    wait_until(lambda: s.window_title(visible_only=True), 20, "the tray to show the window")
    # The game's files slow enough that the download still runs at the second
    # exit; the host's and the add-in's at full speed.
    s.get("/_control/set?rate=32768&rate_path=/game/")
    s.click("ActionButton")
    s.wait_for("TextTips1", "正在下载中...", 120)
    tray_click(s, "3")
    time.sleep(1)
    s.shot("tray-menu")
    # The menu's last item is "退出".
    s.xdotool("key", "Up", "Return")
    dialog = wait_until(lambda: s.read("提示"), 20, "the exit-choice dialog")
    check({"backgroundRadio", "torvane7Radio", "exitRadio", "okbtn"} <= set(dialog),
          "the exit choices: %r" % sorted(dialog))
    check("checked" in dialog["backgroundRadio"]["line"], "background download chosen at first")
    s.shot("exit-choice")
    s.click("okbtn", "提示")
    wait_until(lambda: not s.window_title(visible_only=True), 20, "the window to hide")
    check(p.poll() is None, "the background choice keeps the download running")
    # Background download is the engine's slow mode; showing the window again
    # gives the full speed back.
    wait_until(lambda: speed_modes(engine_log)[-1:] == [3], 20, "speed limit mode 3")
    check(speed_modes(engine_log) == [1, 3], "modes so far: %r" % speed_modes(engine_log))
    tray_click(s, "1")
    wait_until(lambda: s.window_title(visible_only=True), 20, "the tray to show the window")
    check(p.poll() is None, "still running")
    wait_until(lambda: speed_modes(engine_log) == [1, 3, 1], 20,
               "speed limit mode 1 after the window came back")
    s.wait_for("TextTips1", 'name="正在下载中..."', 20)  # still downloading
    tray_exit_choice(s, "torvane7Radio")
    s.get("/_control/set?rate=0")
    p.wait(60)
    handed_over(s)


def case_hand_over(s):
    """The transfer button hands the download to the stand-in host."""
    s.write_ini(SelMyDownload="1")
    s.get("/_control/set?rate=65536")
    p = s.start_client()
    s.wait_for("ActionButton", 'name="开始下载"')
    s.click("ActionButton")
    s.wait_for("TextTips1", "正在下载中...", 120)
    s.click("CoverButton")
    s.get("/_control/set?rate=0")
    p.wait(60)
    handed_over(s, sel_my_download="yes")


def case_tips_window(s):
    """The tips link opens the tips window on the world's tips page, whose
    script (the stand-in browser, registered in this prefix) reaches the
    client's scripting object; a click while it is open brings the same
    window back to the front; once it is closed the next click makes a new
    one."""
    log = os.path.join(s.work, "browser.log")
    s.env["TESSALY_STANDIN_BROWSER_LOG"] = "Z:" + log.replace("/", "\\")
    dll = os.path.join(s.build, "standins", "browser", "standin_browser.dll")
    check(os.path.exists(dll), "the stand-in browser is built: " + dll)
    check(s.wine("regsvr32", "/s", "Z:" + dll.replace("/", "\\")).returncode == 0,
          "the stand-in browser registers in the case's prefix")
    tips_url = "http://127.0.0.1:%d/channel/tips.html" % s.port
    check(b"<html" in s.get("/channel/tips.html").lower(), "the world serves the tips page")
    s.start_client()
    s.wait_for("ActionButton", 'name="开始下载"')
    link = s.wait_for("TextlinkTips", 'name="点击查看新手攻略"', 30)
    check("invisible" not in link["line"], "the tips link shows: " + link["line"])

    def tips_windows():
        return [w for w in s.xdotool("search", "--name", "^Demo$").split()
                if s.xdotool("getwindowname", w).strip() == "Demo"]

    def shown():
        return [w for w in s.xdotool("search", "--onlyvisible", "--name", "^Demo$").split()
                if w in tips_windows()]

    def navigations():
        if not os.path.exists(log):
            return []
        lines = open(log, encoding="utf-8", errors="replace").read().splitlines()
        return [line for line in lines if line.startswith("navigate ")]

    def active(title):
        # The window holding the keyboard focus is the one in front: its
        # client element reads as focused.
        root = s.read(title).get("UIRoot")
        return root is not None and "focused" in root["line"].split("state=")[1].split()[0]

    s.click("TextlinkTips")
    first = wait_until(shown, 30, "the tips window")[0]
    geo = s.xdotool("getwindowgeometry", "--shell", first)
    size = dict(line.split("=") for line in geo.split() if "=" in line)
    check((size["WIDTH"], size["HEIGHT"]) == ("809", "634"),
          "the tips window is 809 x 634: %r" % size)
    wait_until(lambda: len(navigations()) == 1, 30, "the page to be navigated")
    check(navigations() == ["navigate " + tips_url], "the tips URL: %r" % navigations())
    calls = open(log, encoding="utf-8", errors="replace").read()
    check("call GetDownloadProgress id 1 invoke 0x00000000 VT_I4 0" in calls and
          re.search(r"call GetPeerId id 2 invoke 0x00000000 VT_BSTR \S+", calls),
          "the page's script reached the client:\n" + calls)
    wait_until(lambda: s.read("Demo").get("testBkg"), 20, "the tips window's page panel")
    check(active("Demo") and not active(s.window_title()), "the tips window opens in front")
    s.shot("tips-open")

    # Dragged down by its title strip, with the main window clicked in
    # front of it, it is still open: the link brings the same window to the
    # front, without loading the page again.
    x, y, _, _ = s.element("TextTitle", "Demo")["location"]
    s.xdotool("mousemove", str(x + 150), str(y + 12), "mousedown", "1")
    for step in range(1, 13):
        time.sleep(0.05)
        s.xdotool("mousemove", str(x + 150), str(y + 12 + 46 * step))
    s.xdotool("mouseup", "1")
    wait_until(lambda: (lambda e: e and e["location"][1] >= y + 500)(
        s.element("TextTitle", "Demo")), 20, "the tips window to move down")
    s.click("TextTitle")
    wait_until(lambda: active(s.window_title()) and not active("Demo"), 20,
               "the main window in front of the tips")
    s.click("TextlinkTips")
    wait_until(lambda: active("Demo") and not active(s.window_title()), 20,
               "the tips window back in front")
    check(tips_windows() == [first], "the same window: %r" % tips_windows())
    check(len(navigations()) == 1, "no second page: %r" % navigations())
    s.shot("tips-raised")

    # Closed, the next click makes a new window with a new page.
    s.click("closebtn", "Demo")
    wait_until(lambda: not tips_windows(), 20, "the tips window to close")
    check(s.window_title(visible_only=True), "the main window stays")
    s.click("TextlinkTips")
    wait_until(shown, 30, "a new tips window")
    wait_until(lambda: len(navigations()) == 2, 30, "the new window's page")
    check(navigations()[1] == "navigate " + tips_url, "the tips URL again")
    s.shot("tips-reopened")


def use_engine_log(s):
    """Has the stand-in engine record the speed settings it is asked for;
    returns the file's path on this side."""
    path = os.path.join(s.work, "engine-settings.log")
    s.env["TDENGINE_LOG"] = "Z:" + path.replace("/", "\\")
    return path


def speed_modes(path):
    if not os.path.exists(path):
        return []
    return [int(line.split()[1]) for line in open(path, encoding="ascii", errors="replace")
            if line.startswith("speed_limit_mode ")]


def tray_exit_choice(s, radio):
    """The tray's "退出" during a download, then the given exit choice and OK."""
    tray_click(s, "3")
    time.sleep(1)
    s.xdotool("key", "Up", "Return")
    dialog = wait_until(lambda: s.read("提示"), 20, "the exit-choice dialog")
    check(radio in dialog and "okbtn" in dialog, "the exit choices: %r" % sorted(dialog))
    s.click(radio, "提示")
    wait_until(lambda: "checked" in (s.element(radio, "提示") or {}).get("line", ""), 10,
               radio + " to be checked")
    check("checked" not in s.element("backgroundRadio", "提示")["line"],
          "one choice at a time")
    s.shot("exit-choice-" + radio)
    s.click("okbtn", "提示")


def host_log_path(s):
    return os.path.join(s.prefix, "drive_c", "Program Files", "Torvane Network", "Torvane",
                        "Program", "Torvane.log")


def finished_host_log(s):
    """The host's log once the run that took the hand-over has ended (the
    add-in installation runs the host before, with a log of its own run)."""
    path = host_log_path(s)
    if not os.path.exists(path):
        return ""
    lines = open(path, encoding="utf-8", errors="replace").read().splitlines()
    runs = {line.split("\t", 1)[0] for line in lines if "\targs\t-NetGameCmd:" in line}
    ours = [line for line in lines if line.split("\t", 1)[0] in runs]
    return "\n".join(ours) if any("\texit\t" in line for line in ours) else ""


def game_requests(s):
    return [r for r in s.requests() if r["path"].startswith(("/game/", "/files/DemoSetup"))]


def handed_over(s, sel_my_download="no"):
    """After the client ended by a hand-over: the transfer file, the host's
    command line and the files the host finished."""
    transfer = os.path.join(s.client, "gametaskinfo.ini")
    check(os.path.exists(transfer), "gametaskinfo.ini written")
    check("ConverToTorvane7=1" in s.settings(), "ConverToTorvane7 set")
    log = wait_until(lambda: finished_host_log(s), 120, "the host to finish")
    wanted = '-NetGameCmd:"%s" -SelMyDownload:%s' % ("Z:" + transfer.replace("/", "\\"),
                                                     sel_my_download)
    args = [line.split("\t", 2)[2] for line in log.splitlines() if "\targs\t" in line]
    check(any(a.lower() == wanted.lower() for a in args),
          "the host's command line: %r, wanted %r" % (args, wanted))
    check(re.search(r"\texit\t0", log) is not None, "the host finished the files: %s" % log)
    beacons = s.beacons()
    check(in_order(beacons, ["style=start", "gs=completeins&gameid=1001&pid="]) and
          any("gs=completeins" in b and b.endswith("style=0") for b in beacons),
          "completeins 0 after the start: %r" % beacons)
    try:
        s.game_files_identical()
    except Failure as failure:
        listing = open(transfer, "rb").read().decode("gbk", "replace")  # an ANSI file
        raise Failure("%s\nhand-over file:\n%s\nhost log:\n%s" % (failure, listing, log))


def case_exit_quit(s):
    """The exit-choice dialog's "退出下载器" ends the client with its tasks
    stopped and resumable; the next start shows the paused run."""
    s.get("/_control/set?rate=32768&rate_path=/game/")
    p = s.start_client()
    s.wait_for("ActionButton", 'name="开始下载"')
    s.click("ActionButton")
    s.wait_for("TextTips1", "正在下载中...", 120)
    wait_until(lambda: any(os.path.exists(os.path.join(s.games, n + ".td"))
                           for n in ("Demo.pak1", "Demo.pak2")), 30, "a .td file")
    db = os.path.join(s.client, "db.ini")
    before = open(db, "rb").read()
    tray_exit_choice(s, "exitRadio")
    p.wait(60)
    check(not s.window_title(), "no window left")
    # Stopped: once the client is gone no game bytes are asked for any more.
    time.sleep(2)
    asked = len(game_requests(s))
    time.sleep(4)
    check(len(game_requests(s)) == asked, "requests after the exit: %r" % game_requests(s)[asked:])
    check(any(os.path.exists(os.path.join(s.games, n + ".td"))
              for n in ("Demo.pak1", "Demo.pak2")), "the .td files kept")
    after = open(db, "rb").read()
    ids = re.findall(rb"ID=(\d+)", before.decode("utf-16", "replace").encode("utf-8")
                     if before[:2] == b"\xff\xfe" else before)
    check(ids, "db.ini held task ids: %r" % before[:400])
    after_text = after.decode("utf-16", "replace").encode("utf-8") if after[:2] == b"\xff\xfe" \
        else after
    for i in ids:
        check(b"ID=" + i in after_text, "task %s still in db.ini" % i.decode())
    check("ConverToTorvane7=1" not in s.settings(), "nothing handed over")
    check(not any("style=0" in b and "completeins" in b for b in s.beacons()), "no completeins 0")
    s.start_client()
    s.wait_for("TextTips1", "任务暂停中", 60)
    check(s.element("ActionButton")["name"] == "继续下载", "resume offered")
    check(text_dir(s) == "C:\\e2e\\Demo",
          "the folder of the earlier run: %r" % text_dir(s))
    s.shot("paused-after-exit")


def browser_window(s):
    return s.xdotool("search", "--onlyvisible", "--name", "^Browse for Folder$").split()


def browse(s, keys):
    """Answers the system folder browser from the keyboard, as a person would:
    the keys move through its folder tree; Return takes the selection, Escape
    cancels."""
    wid = wait_until(lambda: browser_window(s), 30, "the folder browser")[0]
    # Its caption line: a click there gives the dialog the keyboard (with no
    # window manager the keys go to the window under the pointer) and leaves
    # the tree's selection alone.
    geo = dict(line.split("=") for line in s.xdotool("getwindowgeometry", "--shell", wid).split()
               if "=" in line)
    s.xdotool("mousemove", str(int(geo["X"]) + 30), str(int(geo["Y"]) + 40), "click", "1")
    time.sleep(0.5)
    for key in keys:
        if len(key) > 1 and key[0].isupper():
            s.xdotool("key", key)
        else:
            s.xdotool("type", key)
        time.sleep(0.4)
    s.shot("browser")
    if keys[-1:] != ["Escape"]:
        s.xdotool("key", "Return")
    wait_until(lambda: wid not in browser_window(s), 20, "the folder browser to close")


def text_dir(s):
    return s.element("TextDir")["name"].replace("\\\\", "\\")


def case_folder_change(s):
    """"更改目录": a folder on a drive without room asks again until the
    person cancels; a good folder becomes the download folder."""
    os.makedirs(os.path.join(s.prefix, "drive_c", "Games2"))
    os.makedirs(os.path.join(s.world_root, "Configuration"))
    xml = s.get("/Configuration/%s.xml" % GAME_ID).decode("utf-8")
    huge = re.sub(r"<gamesize>\d+</gamesize>", "<gamesize>1125899906842624</gamesize>", xml)
    override = os.path.join(s.world_root, "Configuration", GAME_ID + ".xml")
    with open(override, "w") as f:
        f.write(huge)
    p = s.start_client()
    s.wait_for("ActionButton", 'name="开始下载"')
    check(text_dir(s) == "C:\\e2e\\Demo", "the default folder: %r" % text_dir(s))
    # Not enough room: "确定" and the close button open the browser again.
    s.click("DirButton")
    browse(s, ["Right", "Down", "Ga"])
    box = wait_until(lambda: s.read("提示"), 20, "the message box")
    check("磁盘空间不足" in box["TextContent"]["name"], "why: %r" % box["TextContent"])
    check({"button1", "button2"} <= set(box) and "button3" not in box, "two buttons")
    s.shot("folder-no-room")
    s.click("button1", "提示")
    browse(s, ["Right", "Down", "Ga"])
    wait_until(lambda: s.read("提示"), 20, "the message box again")
    s.click("closebtn", "提示")
    browse(s, ["Escape"])
    time.sleep(1)
    check(not browser_window(s) and not s.read("提示"), "cancelling the browser ends the loop")
    check(text_dir(s) == "C:\\e2e\\Demo", "the folder unchanged: %r" % text_dir(s))
    # "取消" of the message box ends the loop too.
    s.click("DirButton")
    browse(s, ["Right", "Down", "Ga"])
    wait_until(lambda: s.read("提示"), 20, "the message box")
    s.click("button2", "提示")
    time.sleep(2)
    check(not browser_window(s) and not s.read("提示"), "取消 ends the loop")
    check(text_dir(s) == "C:\\e2e\\Demo", "the folder unchanged: %r" % text_dir(s))
    # Nothing runs, so the tray's exit ends the client without a question.
    tray_click(s, "3")
    time.sleep(1)
    s.xdotool("key", "Up", "Return")
    p.wait(60)
    # With room: the chosen folder plus the game title, and the download goes there.
    # The copy the client holds is older than this one, so it is fetched again.
    with open(override, "w") as f:
        f.write(xml)
    s.start_client()
    s.wait_for("ActionButton", 'name="开始下载"')
    s.click("DirButton")
    browse(s, ["Right", "Down", "Ga"])
    wait_until(lambda: text_dir(s) == "C:\\Games2\\Demo", 20, "the chosen folder")
    check(not s.read("提示"), "no question when there is room")
    s.shot("folder-chosen")
    s.click("ActionButton")
    s.wait_for("ActionButton", 'name="开始安装"', 180)
    s.games = os.path.join(s.prefix, "drive_c", "Games2", "Demo")
    s.game_files_identical()
    check(not os.path.exists(os.path.join(s.prefix, "drive_c", "e2e", "Demo")),
          "nothing in the default folder")


def accelerator_folder(s):
    for name in ("Program Files", "Program Files (x86)"):
        path = os.path.join(s.prefix, "drive_c", name, "Dozurudire", "dozurudire.exe")
        if os.path.exists(path):
            return path
    return None


def case_accelerator(s):
    """"ShowFervo" 1 with the box checked: after the game the accelerator's
    installer is fetched and run silently, then the complete layout."""
    shutil.copy(os.path.join(s.build, "standins", "accelerator", "dozurudire_setup.exe"),
                os.path.join(s.world_root, "DozurudireSetup.exe"))
    s.write_ini(ShowFervo="1", InstallAccelerator="1")
    s.start_client()
    s.wait_for("ActionButton", 'name="开始下载"')
    box = s.element("InstallCheck")
    check(box is not None and "checked" in box["line"], "InstallCheck shown and checked: %r" % box)
    check(box["name"] == "安装Torvane网游加速器", "the box's caption: %r" % box["name"])
    check(accelerator_folder(s) is None, "no accelerator before")
    s.click("ActionButton")
    s.wait_for("ActionButton", 'name="开始安装"', 180)
    s.shot("complete-with-accelerator")
    # Only a silent ("/S") run of the stand-in installer writes the accelerator.
    check(accelerator_folder(s) is not None, "the accelerator installed")
    check("InstallAccelerator=1" in s.settings(), "the box's state kept")
    accelerator = [r["time"] for r in s.requests()
                   if r["path"].startswith("/files/DozurudireSetup.exe")]
    game = [r["time"] for r in game_requests(s)]
    check(accelerator and game and min(accelerator) >= max(game),
          "the installer fetched after the game's files: %r %r" % (accelerator, game))
    check(any("gs=completeins" in b and b.endswith("style=1") for b in s.beacons()),
          "completeins 1 sent")
    s.game_files_identical()


CASES = {
    "fresh_to_complete": case_fresh_to_complete,
    "killed_resume": case_killed_resume,
    "no_disk_space": case_no_disk_space,
    "bad_configuration": case_bad_configuration,
    "second_start": case_second_start,
    "tray": case_tray,
    "hand_over": case_hand_over,
    "tips_window": case_tips_window,
    "exit_quit": case_exit_quit,
    "folder_change": case_folder_change,
    "accelerator": case_accelerator,
}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--case", required=True, choices=sorted(CASES))
    parser.add_argument("--report")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    started = time.time()
    failure_text = None
    session = None
    try:
        session = Session(build, args.case)
        CASES[args.case](session)
    except Failure as failure:
        shot = session.shot("failure") if session else "none"
        failure_text = "%s (screenshot %s)" % (failure, shot)
    except Exception as error:  # a broken set-up is a failed case too
        failure_text = "%s: %s" % (type(error).__name__, error)
    finally:
        if session:
            session.close()
    if args.report:
        junit_report.write_cases(args.report, "e2e_window", [(args.case, failure_text)])
    if failure_text is not None:
        print("FAILED %s: %s" % (args.case, failure_text))
        return 1
    print("ok %s (%.1f s)" % (args.case, time.time() - started))
    return 0


if __name__ == "__main__":
    sys.exit(main())
