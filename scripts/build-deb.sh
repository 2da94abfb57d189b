#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package from debian/ and leaves it in OUTDIR:
# abacorn_<version>_<arch>.deb and its debug symbols,
# abacorn-dbgsym_<version>_<arch>.ddeb.
#
#   ./scripts/build-deb.sh OUTDIR
#
# The package is built from a copy of the tree (without build directories)
# in a temporary directory, so the tree stays clean and dpkg-buildpackage's
# files beside the source end up there too.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
take_output_dir "$@"
install_missing "${RUN_PACKAGES[@]}" "${DEB_PACKAGES[@]}"

WORK=$(mktemp -d "${TMPDIR:-/tmp}/abacorn-deb.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
mkdir "$WORK/abacorn"
tar -C "$ROOT" --exclude=./.git --exclude='./build*' --exclude='./obj-*' --exclude=./out --exclude=__pycache__ -cf - . |
  tar -C "$WORK/abacorn" -xf -
# When the caller builds through ccache (scripts/run-tests.sh does), the
# copy is its base and Debian's -ffile-prefix-map, which names the copy, is
# left out of the hash: one temporary copy finds what the last one cached.
export CCACHE_BASEDIR="$WORK/abacorn" CCACHE_IGNOREOPTIONS='-ffile-prefix-map=*'
(cd "$WORK/abacorn" &&
  DEB_BUILD_OPTIONS="parallel=$(nproc) ${DEB_BUILD_OPTIONS:-}" dpkg-buildpackage -b -us -uc)
shopt -s nullglob
built=("$WORK"/*.deb "$WORK"/*.ddeb)
[ ${#built[@]} -gt 0 ] || { echo "$0: dpkg-buildpackage left no package" >&2; exit 1; }
cp "${built[@]}" "$OUT/"
for f in "${built[@]}"; do echo "$OUT/$(basename "$f")"; done
