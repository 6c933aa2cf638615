#!/usr/bin/env python3
"""skin-gallery.exe driven as a person drives it: real X input through
xdotool on the test display, read back from another process (window-probe,
through the window manager's view and Active Accessibility) and from the
gallery's own lines ("click <name>", "result <n>").

    gallery_test.py --gallery EXE --probe EXE --wine LOADER [--report XML]

Needs DISPLAY and the Wine prefix of the test command (scripts/test.sh, or
scripts/wine-env.sh's tessaly_display_up and tessaly_wine_up); exits with 77
(skipped) without a display or without xdotool.
"""

import argparse
import os
import queue
import re
import shutil
import subprocess
import sys
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
import junit_report  # noqa: E402

ARGS = None
TITLE = "Tessaly skin gallery"

ROLE_PUSHBUTTON = 0x2B
ROLE_CHECKBUTTON = 0x2C
ROLE_RADIOBUTTON = 0x2D
ROLE_PROGRESSBAR = 0x30
ROLE_STATICTEXT = 0x29
ROLE_LINK = 0x1E
STATE_UNAVAILABLE = 0x1
STATE_FOCUSED = 0x4
STATE_CHECKED = 0x10


def xdotool(*args):
    subprocess.run(["xdotool"] + [str(a) for a in args], check=True, timeout=20,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def probe(*extra):
    """Runs window-probe and returns (window, owned, elements)."""
    out = subprocess.run([ARGS.wine, ARGS.probe, TITLE] + list(extra), stdout=subprocess.PIPE,
                         stderr=subprocess.DEVNULL, timeout=60).stdout.decode("utf-8", "replace")
    window, owned, elements = None, [], {}
    for line in out.splitlines():
        m = re.match(r"(window|owned) (-?\d+) (-?\d+) (-?\d+) (-?\d+) enabled (\d) caption (.*)",
                     line)
        if m:
            item = {"rect": tuple(int(m.group(i)) for i in range(2, 6)),
                    "enabled": m.group(6) == "1", "caption": m.group(7)}
            if m.group(1) == "window":
                window = item
            else:
                owned.append(item)
            continue
        m = re.match(r"element help=(.*?) role=(-?\d+) state=0x([0-9a-f]+) name=(.*?) "
                     r"value=(.*?) at (-?\d+) (-?\d+) (-?\d+) (-?\d+)$", line)
        if m:
            elements.setdefault(m.group(1), {
                "role": int(m.group(2)), "state": int(m.group(3), 16), "name": m.group(4),
                "value": m.group(5), "at": tuple(int(m.group(i)) for i in range(6, 10))})
    return window, owned, elements


def centre(element):
    x, y, w, h = element["at"]
    return x + w // 2, y + h // 2


class Gallery:
    """The running program and the lines it printed."""

    def __init__(self):
        folder = os.path.dirname(os.path.abspath(ARGS.gallery))
        self.process = subprocess.Popen([ARGS.wine, ARGS.gallery], cwd=folder,
                                        stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                        stderr=subprocess.DEVNULL)
        self.lines = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for raw in self.process.stdout:
            self.lines.put(raw.decode("utf-8", "replace").strip())

    def expect(self, line, timeout=10):
        """Waits for this line, skipping others; fails after timeout seconds."""
        deadline = time.monotonic() + timeout
        seen = []
        while time.monotonic() < deadline:
            try:
                got = self.lines.get(timeout=max(0.05, deadline - time.monotonic()))
            except queue.Empty:
                break
            if got == line:
                return
            seen.append(got)
        raise AssertionError(f"no line {line!r} within {timeout} s; saw {seen}")

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
        try:
            self.process.wait(timeout=20)
        except subprocess.TimeoutExpired:
            pass


def wait_for(predicate, timeout=10, step=0.2):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(step)
    return predicate()


class GalleryTest(unittest.TestCase):
    """One gallery for the whole class; the cases run in name order."""

    @classmethod
    def setUpClass(cls):
        cls.gallery = Gallery()
        found = wait_for(lambda: probe()[0], timeout=60, step=0.5)
        if not found:
            cls.gallery.stop()
            raise AssertionError("the gallery window did not appear")

    @classmethod
    def tearDownClass(cls):
        cls.gallery.stop()

    def click(self, element):
        x, y = centre(element)
        xdotool("mousemove", x, y, "click", 1)

    def test_1_another_process_reads_every_control(self):
        window, owned, e = probe()
        left, top, right, bottom = window["rect"]
        self.assertEqual((469, 420), (right - left, bottom - top))
        self.assertTrue(window["enabled"])
        self.assertEqual([], owned)
        self.assertEqual((ROLE_PUSHBUTTON, "对话框"), (e["DialogButton"]["role"],
                                                       e["DialogButton"]["name"]))
        self.assertEqual("禁用", e["DisabledButton"]["name"])
        self.assertTrue(e["DisabledButton"]["state"] & STATE_UNAVAILABLE)
        self.assertFalse(e["DialogButton"]["state"] & STATE_UNAVAILABLE)
        self.assertEqual((ROLE_CHECKBUTTON, "复选框"), (e["CheckBox"]["role"],
                                                       e["CheckBox"]["name"]))
        for name, caption in (("Radio1", "选项一"), ("Radio2", "选项二"), ("Radio3", "选项三")):
            self.assertEqual((ROLE_RADIOBUTTON, caption), (e[name]["role"], e[name]["name"]))
        self.assertTrue(e["Radio1"]["state"] & STATE_CHECKED)
        self.assertEqual(ROLE_PROGRESSBAR, e["Progress"]["role"])
        self.assertEqual("下载进度 30%", e["Progress"]["value"])
        self.assertEqual((ROLE_LINK, "链接"), (e["LinkText"]["role"], e["LinkText"]["name"]))
        self.assertEqual(ROLE_STATICTEXT, e["TextLine1"]["role"])
        # Locations are on the screen, inside the window.
        x, y, w, h = e["CheckBox"]["at"]
        self.assertTrue(left <= x and x + w <= right and top <= y and y + h <= bottom)

    def test_2_a_real_click_toggles_the_check_box(self):
        e = probe()[2]
        before = bool(e["CheckBox"]["state"] & STATE_CHECKED)
        self.click(e["CheckBox"])
        self.gallery.expect("click CheckBox")
        after = bool(probe()[2]["CheckBox"]["state"] & STATE_CHECKED)
        self.assertEqual(not before, after)
        self.click(e["CheckBox"])
        self.gallery.expect("click CheckBox")
        self.assertEqual(before, bool(probe()[2]["CheckBox"]["state"] & STATE_CHECKED))

    def test_3_a_radio_click_checks_one_and_clears_the_others(self):
        e = probe()[2]
        self.click(e["Radio2"])
        self.gallery.expect("click Radio2")
        e = probe()[2]
        self.assertEqual([False, True, False],
                         [bool(e[f"Radio{i}"]["state"] & STATE_CHECKED) for i in (1, 2, 3)])
        # The disabled button takes no click.
        self.click(e["DisabledButton"])
        self.click(e["Radio1"])
        self.gallery.expect("click Radio1")
        with self.assertRaises(AssertionError):
            self.gallery.expect("click DisabledButton", timeout=1)

    def drag(self, x, y, dx, dy):
        xdotool("mousemove", x, y, "mousedown", 1, "sleep", 0.2, "mousemove", x + dx // 2,
                y + dy // 2, "sleep", 0.2, "mousemove", x + dx, y + dy, "sleep", 0.2, "mouseup", 1)

    def test_4_a_real_drag_on_the_background_moves_the_window(self):
        window, _, e = probe()
        left, top, _, _ = window["rect"]
        # Empty panel background, right of the link: caption code 2.
        self.drag(left + 400, top + 270, 40, 30)
        moved = wait_for(lambda: probe()[0]["rect"][:2] != (left, top), timeout=5)
        self.assertTrue(moved)
        self.assertEqual((left + 40, top + 30), probe()[0]["rect"][:2])
        # The artwork answers as client area (code 1): dragging it moves nothing.
        left, top = left + 40, top + 30
        self.drag(left + 200, top + 100, 40, 30)
        time.sleep(0.5)
        self.assertEqual((left, top), probe()[0]["rect"][:2])

    def test_5_the_dialog_disables_its_owner_and_esc_ends_it(self):
        e = probe()[2]
        self.click(e["DialogButton"])
        self.gallery.expect("click DialogButton")
        window, owned = wait_for(lambda: (lambda p: p[:2] if p[1] else None)(probe()), timeout=10)
        self.assertFalse(window["enabled"])
        self.assertEqual(["提示"], [o["caption"] for o in owned])
        o_left, o_top, o_right, o_bottom = owned[0]["rect"]
        self.assertEqual((350, 180), (o_right - o_left, o_bottom - o_top))
        # Centred over the gallery.
        w_left, w_top, w_right, w_bottom = window["rect"]
        self.assertLessEqual(abs((o_left + o_right) - (w_left + w_right)), 2)
        self.assertLessEqual(abs((o_top + o_bottom) - (w_top + w_bottom)), 2)
        xdotool("key", "Escape")
        self.gallery.expect("click closebtn")
        self.gallery.expect("result 2")
        window, owned = wait_for(lambda: (lambda p: p[:2] if not p[1] else None)(probe()),
                                 timeout=10)
        self.assertTrue(window["enabled"])
        self.assertEqual([], owned)
        # Enter presses the dialog's first button ("确定", IDOK).
        self.click(e["DialogButton"])
        self.gallery.expect("click DialogButton")
        wait_for(lambda: probe()[1], timeout=10)
        xdotool("key", "Return")
        self.gallery.expect("click okbtn")
        self.gallery.expect("result 1")

    def test_6_tab_and_space_reach_the_check_box(self):
        before = bool(probe()[2]["CheckBox"]["state"] & STATE_CHECKED)
        for _ in range(12):
            xdotool("key", "Tab")
            if probe()[2]["CheckBox"]["state"] & STATE_FOCUSED:
                break
        e = probe()[2]
        self.assertTrue(e["CheckBox"]["state"] & STATE_FOCUSED)
        self.assertFalse(e["DialogButton"]["state"] & STATE_FOCUSED)
        xdotool("key", "space")
        self.gallery.expect("click CheckBox")
        self.assertEqual(not before, bool(probe()[2]["CheckBox"]["state"] & STATE_CHECKED))

    def test_7_a_readers_default_action_clicks(self):
        _, _, e = probe("--press", "Radio3")
        self.gallery.expect("click Radio3")
        e = probe()[2]
        self.assertTrue(e["Radio3"]["state"] & STATE_CHECKED)
        self.assertFalse(e["Radio1"]["state"] & STATE_CHECKED)

    def test_8_the_close_button_ends_the_program(self):
        e = probe()[2]
        self.click(e["closebtn"])
        self.gallery.expect("click closebtn")
        self.assertEqual(0, self.gallery.process.wait(timeout=30))


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--gallery", required=True)
    parser.add_argument("--probe", required=True)
    parser.add_argument("--wine", required=True)
    parser.add_argument("--report")
    ARGS, rest = parser.parse_known_args()
    if not os.environ.get("DISPLAY") or not shutil.which("xdotool"):
        print("skipped: no display or no xdotool")
        return 77
    suite = unittest.defaultTestLoader.loadTestsFromTestCase(GalleryTest)
    cases = list(suite)
    result = unittest.TextTestRunner(verbosity=2).run(unittest.TestSuite(cases))
    if ARGS.report:
        junit_report.write_unittest(ARGS.report, "skin_gallery_e2e", result, cases)
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
