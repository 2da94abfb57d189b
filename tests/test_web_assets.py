#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The browser build's static files (scripts/web-assets.py): the cut fonts
hold every character the window shows in the face it shows it in, the
licences and pictures are there, and a second run gives the same bytes.

The window's texts, fonts and pictures come from the compiled design
(tools/control_text, named by $ABACORN_CONTROL_TEXT), not from reading its
source as the script does.
"""
import filecmp
import importlib.util
import os
import re
import struct
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

from fontTools.ttLib import TTFont

ROOT = Path(__file__).resolve().parent.parent
SCRIPT = ROOT / "scripts" / "web-assets.py"

spec = importlib.util.spec_from_file_location("web_assets", SCRIPT)
web_assets = importlib.util.module_from_spec(spec)
spec.loader.exec_module(web_assets)

# What problems::writeNumber can write into the cards and the answer tiles.
NUMBER_TEXT = "0123456789-."
NUMBER_LABELS = ["lbln1", "lbln2", "lbln3", "lbl1", "lbl2", "lbl3", "lbl4", "lbl5", "lbl6"]


def read_design():
    tool = os.environ.get("ABACORN_CONTROL_TEXT")
    if not tool:
        raise RuntimeError("ABACORN_CONTROL_TEXT names no tools/control_text (ctest sets it)")
    lines = subprocess.run([tool], check=True, capture_output=True, text=True).stdout.splitlines()
    fonts, texts, pictures, operations = {}, [], [], []
    for line in lines:
        kind, *fields = line.split("\t")
        if kind == "control":
            fonts[fields[0]] = (fields[1], fields[2] == "1")
        elif kind == "text":
            texts.append((fields[0], fields[1]))
        elif kind == "picture":
            pictures.append(fields[1])
        elif kind == "operation":
            operations.append((fields[0], fields[1]))
    return fonts, texts, pictures, operations


def png_size(path):
    data = path.read_bytes()[:24]
    assert data[:8] == b"\x89PNG\r\n\x1a\n", f"{path} is no PNG"
    return struct.unpack(">II", data[16:24])


class WebAssetsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.fonts, cls.texts, cls.pictures, cls.operations = read_design()
        cls.tmp = tempfile.TemporaryDirectory()
        cls.site = Path(cls.tmp.name) / "first"
        cls.again = Path(cls.tmp.name) / "second"
        for site in (cls.site, cls.again):
            subprocess.run([sys.executable, SCRIPT, site], check=True, stdout=subprocess.DEVNULL)
        css = (cls.site / "fonts" / "fonts.css").read_text()
        cls.faces = {}  # (CSS family, weight) -> the characters its file maps
        for rule in re.findall(r"@font-face\s*\{(.*?)\}", css, re.S):
            family = re.search(r'font-family:\s*"([^"]+)"', rule).group(1)
            weight = int(re.search(r"font-weight:\s*(\d+)", rule).group(1))
            url = re.search(r'src:\s*url\("([^"]+)"\)\s*format\("woff2"\)', rule).group(1)
            font = TTFont(cls.site / "fonts" / url)
            cls.faces[(family, weight)] = {chr(c) for c in font.getBestCmap()}

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def face_of(self, control):
        family, bold = self.fonts[control]
        self.assertIn(family, web_assets.STAND_INS, f"{control}: no stand-in for {family}")
        key = (web_assets.STAND_INS[family][0], 700 if bold else 400)
        self.assertIn(key, self.faces, f"{control} needs {key}, which fonts.css lacks")
        return key

    def assertShows(self, control, text):
        key = self.face_of(control)
        missing = sorted(set(text) - self.faces[key])
        self.assertEqual(missing, [], f"{control} shows {text!r}; {key} lacks {missing}")

    def test_fonts_hold_every_text_of_the_window_in_its_face(self):
        self.assertTrue(self.texts)
        for control, text in self.texts:
            with self.subTest(control=control, text=text):
                self.assertShows(control, text)
        # The captions the logic writes at run time.
        for word, sign in self.operations:
            self.assertShows("lblAddition", word)
            self.assertShows("lblOperation", sign)
        for control in NUMBER_LABELS:
            self.assertShows(control, NUMBER_TEXT)
        for source in sorted((ROOT / "app").glob("*.cpp")):
            for control, text in re.findall(r'\b(\w+)\.setCaption\("([^"\\]*)"', source.read_text()):
                with self.subTest(source=source.name, control=control):
                    self.assertShows(control, text)

    def test_fonts_are_small_woff2_with_their_licences(self):
        fonts = self.site / "fonts"
        files = sorted(fonts.glob("*.woff2"))
        self.assertEqual(len(files), len(self.faces))
        for f in files:
            self.assertEqual(f.read_bytes()[:4], b"wOF2", f.name)
        # A face left whole would be hundreds of kilobytes.
        self.assertLess(sum(f.stat().st_size for f in files), 60_000)
        for package in sorted({p for _, p, _ in web_assets.STAND_INS.values()}):
            licence = (fonts / f"LICENSE-{package}.txt").read_text()
            self.assertIn("SIL OPEN FONT LICENSE", licence.upper(), package)

    def test_every_picture_of_the_design_is_there(self):
        self.assertTrue(self.pictures)
        for resource in self.pictures:
            with self.subTest(resource=resource):
                name = Path(resource.removeprefix(":/"))
                if name.suffix in (".bmp", ".ico"):
                    out = self.site / name.with_suffix(".png")
                    shown = subprocess.run(["identify", "-format", "%w %h\n", ROOT / name], check=True,
                                           capture_output=True, text=True).stdout.split()
                    self.assertEqual(png_size(out), (int(shown[0]), int(shown[1])))
                else:
                    self.assertEqual((self.site / name).read_bytes(), (ROOT / name).read_bytes())
        for size in (32, 48, 64, 128, 192, 256, 512):
            self.assertEqual(png_size(self.site / "icons" / f"abacorn-{size}.png"), (size, size))

    def test_every_picture_of_the_design_is_there_at_three_times_its_size(self):
        for resource in self.pictures:
            with self.subTest(resource=resource):
                name = Path(resource.removeprefix(":/"))
                shown = subprocess.run(["identify", "-format", "%w %h\n", ROOT / name], check=True,
                                       capture_output=True, text=True).stdout.split()
                stem = "abacorn" if name.suffix == ".ico" else name.stem
                suffix = ".png" if name.suffix in (".bmp", ".ico") else name.suffix
                big = subprocess.run(["identify", "-format", "%w %h\n", self.site / "assets" / "3x" / (stem + suffix)],
                                     check=True, capture_output=True, text=True).stdout.split()
                self.assertEqual((int(big[0]), int(big[1])), (3 * int(shown[0]), 3 * int(shown[1])))

    def test_the_maskable_icon_keeps_the_acorn_in_the_safe_circle(self):
        # A home screen may show only the circle of 80 % in the middle.
        icon = self.site / "icons" / "abacorn-maskable-512.png"
        self.assertEqual(png_size(icon), (512, 512))
        rgba = subprocess.run(["convert", icon, "-depth", "8", "rgba:-"], check=True, capture_output=True).stdout
        inked = [(i % 512 + 0.5 - 256, i // 512 + 0.5 - 256) for i in range(512 * 512)
                 if sum(rgba[4 * i:4 * i + 3]) > 30]
        self.assertGreater(len(inked), 512 * 512 // 4, "the acorn is there, not a speck")
        self.assertLessEqual(max(x * x + y * y for x, y in inked), (0.4 * 512) ** 2)
        self.assertEqual(set(rgba[3::4]), {255}, "opaque: a cut shape shows no hole")

    def test_a_second_run_gives_the_same_bytes(self):
        def files(site):
            return sorted(p.relative_to(site) for p in site.rglob("*") if p.is_file())
        self.assertEqual(files(self.site), files(self.again))
        for f in files(self.site):
            self.assertTrue(filecmp.cmp(self.site / f, self.again / f, shallow=False), f)


if __name__ == "__main__":
    unittest.main()
