#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes SITE_DIR/sw.js, the service worker that keeps the site for the
next start, from web/page/sw.js: every file of the site (but sw.js) with the
SHA-256 of its bytes, and the version they make together.

    scripts/web-offline.py SITE_DIR

Run it last: a file added or changed after it is not kept. The site's root
("./") is kept as index.html is. Same files, same sw.js.
"""
import hashlib
import json
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
TEMPLATE = ROOT / "web" / "page" / "sw.js"
WORKER = "sw.js"


def site_files(site):
    """{path relative to the site: sha256 hex}, sorted, the worker left out."""
    files = {}
    for f in sorted(site.rglob("*")):
        path = f.relative_to(site).as_posix()
        if f.is_file() and path != WORKER:
            files[path] = hashlib.sha256(f.read_bytes()).hexdigest()
    if "index.html" not in files:
        raise SystemExit(f"{site} holds no index.html")
    return dict(files, **{"./": files["index.html"]})


def version(files):
    whole = hashlib.sha256()
    for path in sorted(files):
        whole.update(f"{path}\0{files[path]}\n".encode())
    return "abacorn-" + whole.hexdigest()[:16]


def worker(files):
    source = TEMPLATE.read_text(encoding="utf-8")
    listed = "const FILES = " + json.dumps(files, indent=2, sort_keys=True) + ";"
    for placeholder, text in (("const FILES = {};", listed), ("const VERSION = 'abacorn';",
                                                              "const VERSION = '%s';" % version(files))):
        if source.count(placeholder) != 1:
            raise SystemExit(f"{TEMPLATE} lacks {placeholder!r}")
        source = source.replace(placeholder, text)
    return source


def write(site):
    """Writes site/sw.js; returns the version."""
    site = Path(site).resolve()
    files = site_files(site)
    (site / WORKER).write_text(worker(files), encoding="utf-8")
    return len(files), version(files)


def main():
    if len(sys.argv) != 2:
        raise SystemExit(f"usage: {sys.argv[0]} SITE_DIR")
    print("%s: %d files, %s" % ((WORKER,) + write(sys.argv[1])))


if __name__ == "__main__":
    main()
