#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds and starts the trainer.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "abacorn: no display found (DISPLAY is not set); start it from a desktop session." >&2
  exit 1
fi
install_missing "${RUN_PACKAGES[@]}"
build
exec "$BUILD/abacorn"
