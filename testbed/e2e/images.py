# SPDX-License-Identifier: GPL-3.0-or-later
"""Pixels: a quick look at an X display's pixels (Screen, through libX11),
and whole pictures (Image) from it, from screenshots of other displays and
from PNG files, through ImageMagick's import and convert."""

import ctypes
import os
import subprocess

from .processes import E2EError

# Prefer the real ImageMagick over any wrapper earlier on PATH.
_IMPORT = "/usr/bin/import" if os.path.exists("/usr/bin/import") else "import"
_CONVERT = "/usr/bin/convert" if os.path.exists("/usr/bin/convert") else "convert"


class _XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.c_void_p), ("byte_order", ctypes.c_int),
                ("bitmap_unit", ctypes.c_int), ("bitmap_bit_order", ctypes.c_int),
                ("bitmap_pad", ctypes.c_int), ("depth", ctypes.c_int),
                ("bytes_per_line", ctypes.c_int), ("bits_per_pixel", ctypes.c_int)]


class Screen:
    """Reads pixels of the root window of an X display."""
    ZPixmap, AllPlanes = 2, ctypes.c_ulong(0xFFFFFFFF)

    def __init__(self, display):
        self.x = ctypes.CDLL("libX11.so.6")
        self.x.XOpenDisplay.restype = ctypes.c_void_p
        self.x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x.XDefaultRootWindow.restype = ctypes.c_ulong
        self.x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        self.x.XGetImage.restype = ctypes.POINTER(_XImage)
        self.x.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                     ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        self.x.XDestroyImage.argtypes = [ctypes.POINTER(_XImage)]
        self.x.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.dpy = self.x.XOpenDisplay(display.encode())
        if not self.dpy:
            raise E2EError("cannot open display " + display)
        self.root = self.x.XDefaultRootWindow(self.dpy)

    def close(self):
        self.x.XCloseDisplay(self.dpy)

    def strip(self, x, y, w, h=1):
        """The pixels of a rectangle as [(r, g, b)], row by row."""
        image = self.image(x, y, w, h)
        if image is None:
            raise E2EError("the screen's pixels are not 32-bit little-endian")
        d = image.data
        return [(d[i], d[i + 1], d[i + 2]) for i in range(0, len(d), 3)]

    def pixel(self, x, y):
        return self.strip(x, y, 1)[0]

    def image(self, x, y, w, h):
        """A rectangle as an Image; None on a screen whose pixels are not
        32-bit little-endian. Ten times as fast as ImageMagick's import,
        which the tests that walk the focus ring feel."""
        img = self.x.XGetImage(self.dpy, self.root, x, y, w, h, self.AllPlanes, self.ZPixmap)
        if not img:
            raise E2EError("XGetImage failed")
        try:
            im = img.contents
            if im.bits_per_pixel != 32 or im.byte_order != 0:
                return None
            raw = ctypes.string_at(im.data, im.bytes_per_line * h)
            if im.bytes_per_line != 4 * w:
                raw = b"".join(raw[r * im.bytes_per_line:r * im.bytes_per_line + 4 * w] for r in range(h))
            rgb = bytearray(3 * w * h)
            rgb[0::3], rgb[1::3], rgb[2::3] = raw[2::4], raw[1::4], raw[0::4]
            return Image(w, h, bytes(rgb))
        finally:
            self.x.XDestroyImage(img)


class Image:
    """An RGB picture, 8 bits a channel; pixel(x, y) -> (r, g, b)."""

    def __init__(self, width, height, data):
        self.width, self.height, self.data = width, height, data

    @classmethod
    def from_ppm(cls, blob):
        # P6 header: magic, width, height, maxval, separated by whitespace,
        # with optional comments; then one whitespace byte and the samples.
        fields, pos = [], 0
        while len(fields) < 4:
            while blob[pos:pos + 1].isspace():
                pos += 1
            if blob[pos:pos + 1] == b"#":
                pos = blob.index(b"\n", pos) + 1
                continue
            start = pos
            while not blob[pos:pos + 1].isspace():
                pos += 1
            fields.append(blob[start:pos])
        if fields[0] != b"P6" or int(fields[3]) != 255:
            raise E2EError("not an 8-bit binary PPM: %r" % fields)
        width, height = int(fields[1]), int(fields[2])
        data = blob[pos + 1:pos + 1 + width * height * 3]
        if len(data) != width * height * 3:
            raise E2EError("truncated PPM")
        return cls(width, height, data)

    @classmethod
    def grab(cls, env):
        """The whole screen of the X display named in `env` (its DISPLAY)."""
        res = subprocess.run([_IMPORT, "-window", "root", "-depth", "8", "ppm:-"], env=env,
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
        if res.returncode != 0 or not res.stdout:
            # Fall back on xwd when import cannot grab the screen.
            xwd = subprocess.run(["xwd", "-root", "-silent"], env=env,
                                 stdout=subprocess.PIPE, check=True, timeout=60).stdout
            res = subprocess.run([_CONVERT, "xwd:-", "-depth", "8", "ppm:-"], input=xwd,
                                 stdout=subprocess.PIPE, check=True, timeout=60)
        return cls.from_ppm(res.stdout)

    @classmethod
    def load(cls, path):
        blob = subprocess.run([_CONVERT, path, "-depth", "8", "ppm:-"], stdout=subprocess.PIPE,
                              check=True, timeout=60).stdout
        return cls.from_ppm(blob)

    def pixel(self, x, y):
        if not (0 <= x < self.width and 0 <= y < self.height):
            raise IndexError("pixel (%d, %d) outside %dx%d" % (x, y, self.width, self.height))
        i = (y * self.width + x) * 3
        return tuple(self.data[i:i + 3])

    def crop(self, x, y, w, h):
        rows = [self.data[((y + r) * self.width + x) * 3:((y + r) * self.width + x + w) * 3]
                for r in range(h)]
        return Image(w, h, b"".join(rows))

    def count(self, colour, rect=None, tolerance=0):
        """How many pixels (within rect=(x, y, w, h)) are `colour`, each
        channel within `tolerance`."""
        img = self.crop(*rect) if rect else self
        r0, g0, b0 = colour
        d = img.data
        n = 0
        for i in range(0, len(d), 3):
            if (abs(d[i] - r0) <= tolerance and abs(d[i + 1] - g0) <= tolerance
                    and abs(d[i + 2] - b0) <= tolerance):
                n += 1
        return n

    @classmethod
    def beside(cls, *images):
        """The images side by side, left to right, all of one height."""
        height = images[0].height
        if any(i.height != height for i in images):
            raise E2EError("images of different heights side by side")
        rows = [b"".join(i.data[r * i.width * 3:(r + 1) * i.width * 3] for i in images) for r in range(height)]
        return cls(sum(i.width for i in images), height, b"".join(rows))

    def to_ppm(self):
        return b"P6\n%d %d\n255\n" % (self.width, self.height) + self.data

    def save_png(self, path, options=(), fmt="png"):
        """Writes a PNG; options and fmt (e.g. "png8") go to ImageMagick's convert."""
        subprocess.run([_CONVERT, "ppm:-", *options, fmt + ":" + path], input=self.to_ppm(), check=True,
                       timeout=60)
