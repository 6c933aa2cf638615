#!/usr/bin/env python3
"""Watches the X display for a top-level window by its title, straight
through Xlib (ctypes), so that a poll costs a millisecond rather than a
helper process.

    window_probe.py startup TITLE TIMEOUT CMD...
        starts CMD and prints "<ms> <pid>": the time from just before the
        process was started to the first poll that found a mapped window
        whose title starts with TITLE and whose pixels are painted, and the
        process that owns it (_NET_WM_PID). CMD is left running.
    window_probe.py pid TITLE TIMEOUT
        prints the process that owns the mapped window once there is one.

"Painted": among pixels sampled on a 4-pixel grid, at least two colours
other than pure black and pure white. An unpainted window shows one
background colour, or the display's black and white root pattern through
a window with no background.
"""

import ctypes
import ctypes.util
import os
import subprocess
import sys
import time

x11 = ctypes.CDLL(ctypes.util.find_library("X11"))
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XDefaultRootWindow.restype = ctypes.c_ulong
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XInternAtom.restype = ctypes.c_ulong
x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x11.XQueryTree.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong),
                           ctypes.POINTER(ctypes.c_ulong),
                           ctypes.POINTER(ctypes.POINTER(ctypes.c_ulong)),
                           ctypes.POINTER(ctypes.c_uint)]
x11.XGetWindowProperty.argtypes = [
    ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_long, ctypes.c_long, ctypes.c_int,
    ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_int),
    ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_ulong),
    ctypes.POINTER(ctypes.c_void_p)]
x11.XFree.argtypes = [ctypes.c_void_p]
x11.XGetImage.restype = ctypes.c_void_p
x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                          ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
x11.XDestroyImage.argtypes = [ctypes.c_void_p]
x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]


class XWindowAttributes(ctypes.Structure):
    _fields_ = [("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int),
                ("height", ctypes.c_int), ("border_width", ctypes.c_int),
                ("depth", ctypes.c_int), ("visual", ctypes.c_void_p),
                ("root", ctypes.c_ulong), ("class_", ctypes.c_int),
                ("bit_gravity", ctypes.c_int), ("win_gravity", ctypes.c_int),
                ("backing_store", ctypes.c_int), ("backing_planes", ctypes.c_ulong),
                ("backing_pixel", ctypes.c_ulong), ("save_under", ctypes.c_int),
                ("colormap", ctypes.c_ulong), ("map_installed", ctypes.c_int),
                ("map_state", ctypes.c_int), ("all_event_masks", ctypes.c_long),
                ("your_event_mask", ctypes.c_long), ("do_not_propagate_mask", ctypes.c_long),
                ("override_redirect", ctypes.c_int), ("screen", ctypes.c_void_p)]


class XImageHead(ctypes.Structure):
    """The leading fields of XImage, enough to read a ZPixmap."""
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.c_void_p),
                ("byte_order", ctypes.c_int), ("bitmap_unit", ctypes.c_int),
                ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int),
                ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int),
                ("bits_per_pixel", ctypes.c_int)]


x11.XGetWindowAttributes.argtypes = [ctypes.c_void_p, ctypes.c_ulong,
                                     ctypes.POINTER(XWindowAttributes)]

# A window can vanish between the listing and the reading: such errors are
# answered, not fatal.
ERROR_HANDLER = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)
_ignore_errors = ERROR_HANDLER(lambda display, event: 0)
x11.XSetErrorHandler(_ignore_errors)

IS_VIEWABLE = 2
ZPIXMAP = 2
ALL_PLANES = 0xFFFFFFFF


class Display:
    def __init__(self):
        self.d = x11.XOpenDisplay(None)
        if not self.d:
            raise SystemExit("window_probe: cannot open display %s" % os.environ.get("DISPLAY"))
        self.root = x11.XDefaultRootWindow(self.d)
        self.net_wm_name = x11.XInternAtom(self.d, b"_NET_WM_NAME", 0)
        self.wm_name = x11.XInternAtom(self.d, b"WM_NAME", 0)
        self.net_wm_pid = x11.XInternAtom(self.d, b"_NET_WM_PID", 0)

    def children(self):
        root, parent = ctypes.c_ulong(), ctypes.c_ulong()
        kids, count = ctypes.POINTER(ctypes.c_ulong)(), ctypes.c_uint()
        if not x11.XQueryTree(self.d, self.root, ctypes.byref(root), ctypes.byref(parent),
                              ctypes.byref(kids), ctypes.byref(count)):
            return []
        out = [kids[i] for i in range(count.value)]
        if kids:
            x11.XFree(kids)
        return out

    def prop(self, window, atom):
        kind, fmt = ctypes.c_ulong(), ctypes.c_int()
        n, after, data = ctypes.c_ulong(), ctypes.c_ulong(), ctypes.c_void_p()
        if x11.XGetWindowProperty(self.d, window, atom, 0, 1024, 0, 0, ctypes.byref(kind),
                                  ctypes.byref(fmt), ctypes.byref(n), ctypes.byref(after),
                                  ctypes.byref(data)) != 0 or not data:
            return None
        try:
            if fmt.value == 8:
                return ctypes.string_at(data, n.value)
            if fmt.value == 32 and n.value:
                return ctypes.cast(data, ctypes.POINTER(ctypes.c_long))[0]
            return None
        finally:
            x11.XFree(data)

    def title(self, window):
        raw = self.prop(window, self.net_wm_name) or self.prop(window, self.wm_name) or b""
        return raw.decode("utf-8", "replace")

    def attributes(self, window):
        a = XWindowAttributes()
        if not x11.XGetWindowAttributes(self.d, window, ctypes.byref(a)):
            return None
        return a

    def find(self, title):
        """The mapped top-level window whose title starts with TITLE."""
        for w in self.children():
            a = self.attributes(w)
            if a and a.map_state == IS_VIEWABLE and self.title(w).startswith(title):
                return w, a
        return None, None

    def painted(self, window, a):
        image = x11.XGetImage(self.d, window, 0, 0, a.width, a.height, ALL_PLANES, ZPIXMAP)
        if not image:
            return False
        try:
            head = ctypes.cast(image, ctypes.POINTER(XImageHead)).contents
            if head.bits_per_pixel != 32 or not head.data:
                raise SystemExit("window_probe: a 24-bit display is needed")
            data = ctypes.string_at(head.data, head.bytes_per_line * head.height)
            colours = set()
            for y in range(0, head.height, 4):
                row = y * head.bytes_per_line
                for x in range(0, head.width, 4):
                    p = row + 4 * x
                    colours.add(data[p:p + 3])
                if len(colours - {b"\0\0\0", b"\xff\xff\xff"}) >= 2:
                    return True
            return False
        finally:
            x11.XDestroyImage(image)

    def pid(self, window):
        return self.prop(window, self.net_wm_pid) or 0


def main():
    what, title, timeout = sys.argv[1], sys.argv[2], float(sys.argv[3])
    display = Display()
    start = time.monotonic()
    if what == "startup":
        subprocess.Popen(sys.argv[4:], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                         stderr=subprocess.DEVNULL, start_new_session=True)
    elif what != "pid":
        raise SystemExit(__doc__)
    while time.monotonic() - start < timeout:
        window, a = display.find(title)
        if window and (what == "pid" or display.painted(window, a)):
            ms = (time.monotonic() - start) * 1000
            pid = display.pid(window)
            print("%.0f %d" % (ms, pid) if what == "startup" else pid)
            return 0
        time.sleep(0.01)
    print("window_probe: no painted window titled %r after %.0f s" % (title, timeout),
          file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main())
