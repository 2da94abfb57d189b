#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the trainer for the browser with Debian's Emscripten
# (cmake/emscripten.cmake) and writes a static site into OUTDIR/web, ready
# for any static host: index.html at its root.
#
#   ./scripts/build-web.sh OUTDIR
#   ./scripts/serve-web.py OUTDIR/web     # try it on this machine
#
# The build folder is $ABACORN_WEB_BUILD_DIR (build-web in the tree by
# default). With ABACORN_WEB_TESTS=ON in the environment the logic's test
# programs are built there too; `ctest -L web` in it runs them under node.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
take_output_dir "$@"
WEB_BUILD=${ABACORN_WEB_BUILD_DIR:-$ROOT/build-web}
command -v em++ >/dev/null || { echo "$0: no em++: install Debian's emscripten package" >&2; exit 1; }
# emcc runs acorn and terser under node above -O0; a node not Debian's does
# not look in Debian's module folder by itself.
export NODE_PATH=${NODE_PATH:+$NODE_PATH:}/usr/share/nodejs

cross_build "$WEB_BUILD" emscripten.cmake Release "${ABACORN_WEB_TESTS:-OFF}"

SITE="$OUT/web"
rm -rf "$SITE"
mkdir -p "$SITE"
cp "$ROOT"/web/page/index.html "$ROOT"/web/page/abacorn-page.js "$ROOT"/web/page/abacorn.css \
  "$ROOT"/web/page/manifest.webmanifest "$WEB_BUILD/web/abacorn.js" "$SITE/"
/usr/bin/python3 "$ROOT/scripts/web-assets.py" "$SITE"
cp "$ROOT/LICENSE" "$SITE/LICENSE.txt"
# Last: the service worker lists every file above with its hash.
/usr/bin/python3 "$ROOT/scripts/web-offline.py" "$SITE"
echo "$SITE/index.html"
