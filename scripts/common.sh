# SPDX-License-Identifier: GPL-3.0-or-later
# Shared by the set-up scripts: installs what is missing and builds.
# shellcheck shell=bash
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${ABACORN_BUILD_DIR:-$ROOT/build}

# What the trainer needs to build and to run.
RUN_PACKAGES=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev libgl-dev libfontconfig-dev qt6-wayland
  libspeechd-dev flite1-dev libpulse-dev
  speech-dispatcher speech-dispatcher-espeak-ng
  fonts-comic-neue fonts-liberation2
  libgtest-dev libbenchmark-dev
)
# What scripts/build-deb.sh needs on top of RUN_PACKAGES, and the package's
# checker.
DEB_PACKAGES=(debhelper dpkg-dev lintian)
# What the test suite needs on top: an X server, real clicks, screenshots;
# window managers, a panel and a Wayland compositor; the accessibility bus,
# a client of it and a screen reader; the speech recogniser of the
# intelligibility benchmark; PipeWire with its PulseAudio server, for the
# audio benchmarks; the compiler cache the test command's builds share.
TEST_PACKAGES=(ccache xvfb xdotool libxtst6 imagemagick x11-utils python3
  strace pulseaudio pulseaudio-utils sox desktop-file-utils appstream
  pipewire pipewire-pulse wireplumber iproute2
  openbox tint2 xfwm4 weston at-spi2-core python3-pyatspi dbus dbus-x11 orca
  pocketsphinx pocketsphinx-en-us "${DEB_PACKAGES[@]}")
# What scripts/build-windows.sh needs, and the Windows tests: the mingw-w64
# cross compiler (posix threads), ImageMagick to make bitmaps of the JPEG
# and GIF artwork, GoogleTest's sources to cross-build, NSIS for the setup
# and Wine to run them all.
WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix imagemagick googletest nsis wine64)
# What the browser build and its tests need: Emscripten to build it;
# Chromium to run it headless, driven over the DevTools Protocol by the
# system Python's websocket client; fontTools to subset the fonts the page
# ships, and brotli to write them as WOFF2.
WEB_PACKAGES=(emscripten chromium python3-websocket python3-fonttools python3-brotli)

# The accessibility checker the browser build's tests inject into the page,
# from the npm registry, at this version only.
AXE_CORE_VERSION=4.14.1

# install_axe_core DIR: axe-core at AXE_CORE_VERSION in DIR/node_modules,
# unless it is there already.
install_axe_core() {
  local have
  have=$(node -p "require('$1/node_modules/axe-core/package.json').version" 2>/dev/null || true)
  [ "$have" = "$AXE_CORE_VERSION" ] && return 0
  echo "Installing axe-core@$AXE_CORE_VERSION into $1"
  mkdir -p "$1"
  npm install --prefix "$1" --no-audit --no-fund --no-save --save-exact "axe-core@$AXE_CORE_VERSION" >/dev/null
}

# The build scripts' one argument, OUTDIR: made if missing, and named in
# OUT as an absolute path. Anything else is a usage error.
take_output_dir() {
  if [ $# -ne 1 ]; then
    echo "usage: $0 OUTDIR" >&2
    exit 2
  fi
  mkdir -p "$1"
  OUT=$(cd "$1" && pwd)
}

install_missing() {
  local missing=()
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

build() {
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$BUILD" --parallel "$(nproc)"
}

# cross_build DIR TOOLCHAIN BUILD_TYPE TESTS: a cross build in DIR with the
# toolchain file under cmake/, warnings as errors, no benchmarks, the test
# programs when TESTS is ON; through the compiler cache, as
# scripts/run-tests.sh builds.
cross_build() {
  export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$ROOT} CCACHE_NOHASHDIR=true
  cmake -S "$ROOT" -B "$1" -G Ninja --toolchain "$ROOT/cmake/$2" -DCMAKE_BUILD_TYPE="$3" -DABACORN_WERROR=ON \
    -DABACORN_BENCHMARKS=OFF -DABACORN_TESTS="$4" >/dev/null
  cmake --build "$1" --parallel "$(nproc)"
}
