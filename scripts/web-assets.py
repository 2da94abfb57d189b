#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes the static files the browser build ships beside the program:

    scripts/web-assets.py SITE_DIR

SITE_DIR/fonts/   the window's faces cut to the characters it can show
                  (WOFF2), fonts.css with their @font-face rules, and the
                  fonts' licences;
SITE_DIR/assets/  the window's pictures: the BMPs and the icon as PNG, the
                  JPEGs and the GIF as they are;
SITE_DIR/assets/3x/  the same pictures drawn at three times their size,
                  which the page shows, sharp on screens of up to three
                  device pixels to a design pixel;
SITE_DIR/icons/   the program icon at 32 to 512 px, and at 512 px for a home
                  screen that cuts it to a shape (maskable).

Same sources, same bytes. Needs Debian's python3-fonttools and
python3-brotli, ImageMagick's `convert`, fonts-comic-neue and
fonts-liberation2. Run with /usr/bin/python3: fontTools is Debian's.
"""
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

from fontTools import subset
from fontTools.ttLib import TTFont

ROOT = Path(__file__).resolve().parent.parent
ASSETS = ROOT / "assets"

# The table's families and the free faces that stand in for them, as the Qt
# binding has them (qt/fonts.cpp); the page asks for the stand-in's name.
STAND_INS = {
    "Comic Sans MS": ("Comic Neue", "fonts-comic-neue", "/usr/share/fonts/opentype/comic-neue/ComicNeue-{}.otf"),
    "Times New Roman": ("Liberation Serif", "fonts-liberation2",
                        "/usr/share/fonts/truetype/liberation2/LiberationSerif-{}.ttf"),
    "MS Sans Serif": ("Liberation Sans", "fonts-liberation2",
                      "/usr/share/fonts/truetype/liberation2/LiberationSans-{}.ttf"),
}
DEFAULT_FAMILY = "MS Sans Serif"  # ui/control_table.h: a row that names no family

# Where the window's texts come from: the table, and every text the logic
# writes into a label. Their literals are a few more than the captions (the
# names of controls, stored words), which costs a handful of letters.
TEXT_SOURCES = ["ui/control_table.cpp", "app/*.cpp", "app/*.h", "words/words.h", "problems/operations.cpp"]
# Numbers as problems::writeNumber writes them: "-3", "2.25", "1e+16".
NUMBER_CHARACTERS = "0123456789-.e+ "

# The maskable icon's acorn, in px of 512: its corners then lie inside the
# safe circle (radius 205 px).
MASKABLE_ART = 360
PNG_OPTIONS = ["-define", "png:exclude-chunks=date,time", "+set", "date:create", "+set", "date:modify", "-strip"]


def string_literals(source):
    """The C++ string literals of a source, unescaped, comments skipped."""
    found, i, n = [], 0, len(source)
    escapes = {"n": "\n", "t": "\t", "\\": "\\", '"': '"', "'": "'", "0": "\0"}
    while i < n:
        c = source[i]
        if source.startswith("//", i):
            i = source.find("\n", i)
            i = n if i < 0 else i
        elif source.startswith("/*", i):
            i = source.index("*/", i) + 2
        elif c == "'" and source[i - 1].isalnum():  # a digit separator: 1'000
            i += 1
        elif c == "'":  # a character literal, which may be '"'
            i = source.index("'", i + 2 if source[i + 1] == "\\" else i + 1) + 1
        elif c == '"':
            if source[i - 1] == "R":
                raise SystemExit("raw string literals are not read: extend string_literals()")
            text, i = [], i + 1
            while source[i] != '"':
                if source[i] == "\\":
                    text.append(escapes[source[i + 1]])
                    i += 2
                else:
                    text.append(source[i])
                    i += 1
            found.append("".join(text))
            i += 1
        else:
            i += 1
    return found


def text_characters():
    chars = set(NUMBER_CHARACTERS)
    for pattern in TEXT_SOURCES:
        files = sorted(ROOT.glob(pattern))
        if not files:
            raise SystemExit(f"no source {pattern}")
        for f in files:
            for literal in string_literals(f.read_text(encoding="utf-8")):
                chars.update(ch for ch in literal if ch.isprintable())
    return "".join(sorted(chars))


def faces_in_table():
    """(design family, bold) of every font the table's rows give, and the
    default family's regular face for the rows that give none."""
    source = (ROOT / "ui/control_table.cpp").read_text(encoding="utf-8")
    names = dict(re.findall(r'constexpr const char\*\s+(\w+)\s*=\s*"([^"]*)"', source))
    faces = {(DEFAULT_FAMILY, False)}
    for family, bold in re.findall(r'\.font\s*=\s*\{\s*(\w+|"[^"]*")\s*,\s*[\d.]+\s*(?:,\s*(true|false)\s*)?\}', source):
        family = family.strip('"') if family.startswith('"') else names[family]
        faces.add((family, bold == "true"))
    unknown = sorted({f for f, _ in faces} - STAND_INS.keys())
    if unknown:
        raise SystemExit(f"no stand-in for the table's families {unknown}: add them to STAND_INS")
    return sorted(faces)


def subset_face(source, characters, target):
    options = subset.Options()
    options.flavor = "woff2"
    options.hinting = False  # the browser draws unhinted at these sizes anyway
    options.desubroutinize = True  # smaller after compression
    options.drop_tables += ["FFTM"]  # FontForge's time stamps
    options.layout_features = ["kern", "liga", "clig", "calt", "ccmp", "locl", "mark", "mkmk"]
    options.name_IDs = [0, 1, 2, 3, 4, 5, 6, 13, 14]  # copyright and licence stay in the file
    font = subset.load_font(source, options)
    subsetter = subset.Subsetter(options)
    subsetter.populate(text=characters)
    subsetter.subset(font)
    subset.save_font(font, target, options)


def make_fonts(site):
    out = site / "fonts"
    out.mkdir(parents=True, exist_ok=True)
    characters = text_characters()
    rules, packages, sizes = [], set(), []
    for family, bold in faces_in_table():
        name, package, pattern = STAND_INS[family]
        source = Path(pattern.format("Bold" if bold else "Regular"))
        if not source.exists():
            raise SystemExit(f"{source} is missing: install {package}")
        target = out / (source.stem + ".woff2")
        subset_face(source, characters, target)
        packages.add(package)
        sizes.append((target, source.stat().st_size))
        rules.append(
            "@font-face {\n"
            f'  font-family: "{name}";\n'
            "  font-style: normal;\n"
            f"  font-weight: {700 if bold else 400};\n"
            "  font-display: block;\n"
            f'  src: url("{target.name}") format("woff2");\n'
            "}\n")
    (out / "fonts.css").write_text(
        f"/* Cut to the characters the window shows: {characters.strip()} */\n" + "\n".join(rules),
        encoding="utf-8")
    for package in sorted(packages):
        shutil.copyfile(f"/usr/share/doc/{package}/copyright", out / f"LICENSE-{package}.txt")
    return sizes


def convert(*args):
    subprocess.run(["convert", *map(str, args)], check=True)


def make_pictures(site):
    out = site / "assets"
    out.mkdir(parents=True, exist_ok=True)
    for f in sorted(ASSETS.iterdir()):
        if f.suffix == ".bmp":
            convert(f, *PNG_OPTIONS, f"PNG:{out / (f.stem + '.png')}")
        elif f.suffix == ".ico":
            # The largest of its images; identify lists them in order.
            sizes = subprocess.run(["identify", "-format", "%w %h\n", f], check=True, capture_output=True,
                                   text=True).stdout.split("\n")
            areas = [int(w) * int(h) for w, h in (s.split() for s in sizes if s)]
            convert(f"{f}[{areas.index(max(areas))}]", *PNG_OPTIONS, f"PNG32:{out / (f.stem + '.png')}")
        elif f.suffix in (".jpg", ".gif"):
            shutil.copyfile(f, out / f.name)
    icons = site / "icons"
    icons.mkdir(parents=True, exist_ok=True)
    for f in sorted((ASSETS / "icons").glob("*.png")):
        shutil.copyfile(f, icons / f.name)
    subprocess.run(["bash", ASSETS / "make-artwork.sh", "--web-icons", icons], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["bash", ASSETS / "make-artwork.sh", "--web-3x", out / "3x"], check=True, stdout=subprocess.DEVNULL)
    # A home screen may cut the icon to any shape inside the middle circle
    # of 80 %: the acorn drawn smaller, on the black the page is shown on.
    convert(icons / "abacorn-512.png", "-resize", f"{MASKABLE_ART}x{MASKABLE_ART}", "-background", "black",
            "-gravity", "center", "-extent", "512x512", *PNG_OPTIONS, f"PNG24:{icons / 'abacorn-maskable-512.png'}")


def main():
    if len(sys.argv) != 2:
        raise SystemExit(f"usage: {sys.argv[0]} SITE_DIR")
    site = Path(sys.argv[1]).resolve()
    font_sizes = make_fonts(site)
    make_pictures(site)
    total = 0
    for target, before in font_sizes:
        total += target.stat().st_size
        print(f"{target.relative_to(site)}: {target.stat().st_size} bytes (from {before})")
    print(f"fonts together: {total} bytes")
    for folder in ("assets", "assets/3x", "icons"):
        for f in sorted(p for p in (site / folder).iterdir() if p.is_file()):
            print(f"{f.relative_to(site)}: {f.stat().st_size} bytes")


if __name__ == "__main__":
    main()
