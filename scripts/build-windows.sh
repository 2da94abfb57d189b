#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-builds the Windows program with mingw-w64 and its setup with NSIS,
# and leaves two files in OUTDIR:
#   abacorn.exe                  the program, statically linked and stripped
#   abacorn-<version>-setup.exe  the 64-bit setup (dist/windows/abacorn.nsi)
#
#   ./scripts/build-windows.sh OUTDIR
#
# The build folder is $ABACORN_WINDOWS_BUILD_DIR (build-windows in the tree
# by default). With ABACORN_WINDOWS_TESTS=ON in the environment the
# cross-built test programs are built there too.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
take_output_dir "$@"
WINDOWS_BUILD=${ABACORN_WINDOWS_BUILD_DIR:-$ROOT/build-windows}
install_missing cmake ninja-build ccache "${WINDOWS_PACKAGES[@]}"

cross_build "$WINDOWS_BUILD" mingw-w64-x86_64.cmake MinSizeRel "${ABACORN_WINDOWS_TESTS:-OFF}"

VERSION=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$WINDOWS_BUILD/CMakeCache.txt")
[ -n "$VERSION" ] || { echo "$0: no project version in $WINDOWS_BUILD/CMakeCache.txt" >&2; exit 1; }
EXE=$OUT/abacorn.exe
SETUP=$OUT/abacorn-$VERSION-setup.exe
x86_64-w64-mingw32-strip -o "$EXE" "$WINDOWS_BUILD/abacorn.exe"

# The program needs no DLL but those every Windows 10 and 11 has.
SYSTEM_DLLS=(advapi32 bcrypt comctl32 comdlg32 crypt32 dwmapi gdi32 gdiplus imm32 kernel32 msimg32 msvcrt
  ntdll ole32 oleacc oleaut32 propsys rpcrt4 sapi shcore shell32 shlwapi uiautomationcore user32 usp10
  uxtheme version winmm ws2_32)
is_system_dll() {
  local name d
  name=$(echo "${1%.[dD][lL][lL]}" | tr '[:upper:]' '[:lower:]')
  [[ $name == api-ms-win-* ]] && return 0
  for d in "${SYSTEM_DLLS[@]}"; do [ "$name" = "$d" ] && return 0; done
  return 1
}
dlls=$(x86_64-w64-mingw32-objdump -p "$EXE" | sed -n 's/^\s*DLL Name: //p')
[ -n "$dlls" ] || { echo "$0: objdump found no DLL in $EXE" >&2; exit 1; }
for dll in $dlls; do
  is_system_dll "$dll" || { echo "$0: $EXE needs $dll, which Windows does not have (link it statically)" >&2; exit 1; }
done
size=$(stat -c %s "$EXE")
[ "$size" -le 3000000 ] || { echo "$0: $EXE is $size bytes, more than 3 MB" >&2; exit 1; }

makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$VERSION" -DEXE="$EXE" -DICON="$ROOT/assets/abacorn.ico" \
  -DLICENSE="$ROOT/LICENSE" -DOUTFILE="$SETUP" "$ROOT/dist/windows/abacorn.nsi"
echo "$EXE"
echo "$SETUP"
