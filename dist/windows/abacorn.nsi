# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows setup: installs abacorn.exe into Program Files, a Start-menu
# entry for every user and an entry in Apps & features; its uninstaller
# takes all of it away again. /S installs or uninstalls without a word.
# scripts/build-windows.sh builds it:
#   makensis -DVERSION=2.2.0 -DEXE=abacorn.exe -DICON=abacorn.ico
#            -DLICENSE=LICENSE -DOUTFILE=abacorn-2.2.0-setup.exe abacorn.nsi
!ifndef VERSION | EXE | ICON | LICENSE | OUTFILE
  !error "VERSION, EXE, ICON, LICENSE and OUTFILE must be defined (scripts/build-windows.sh does)"
!endif

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!include MUI2.nsh
!include x64.nsh
!include FileFunc.nsh

!define PUBLISHER "Abacorn developers"
!define HOMEPAGE "https://github.com/abacorn/abacorn"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Abacorn"

Name "Abacorn"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Abacorn"
BrandingText "Abacorn ${VERSION}"
ShowInstDetails nevershow
ShowUninstDetails nevershow

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=0 "ProductName" "Abacorn"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileDescription" "Abacorn ${VERSION} setup"
VIAddVersionKey /LANG=0 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=0 "LegalCopyright" "Copyright 2026 ${PUBLISHER}. GPL-3.0-or-later"
VIAddVersionKey /LANG=0 "OriginalFilename" "abacorn-${VERSION}-setup.exe"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_LICENSEPAGE_TEXT_TOP "Abacorn is free software under the GNU General Public License, version 3 or later."
!define MUI_LICENSEPAGE_BUTTON "&Next >"
!define MUI_LICENSEPAGE_TEXT_BOTTOM "You need not accept the licence to use Abacorn; it says how you may share and change it."
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Start Abacorn"
!define MUI_FINISHPAGE_RUN_FUNCTION StartAbacorn

!insertmacro MUI_PAGE_LICENSE "${LICENSE}"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

# A running trainer holds abacorn.exe open, which then can be neither
# replaced nor deleted: the setup and the uninstaller stop before they
# change anything, with /S too (the setup then ends with status 2; the
# uninstaller's copy ends with 0 all the same).
!macro STOP_WHILE_ABACORN_RUNS
  FindWindow $0 "AbacornWindow"
  ${If} $0 <> 0
    MessageBox MB_ICONEXCLAMATION|MB_OK "Abacorn is open. Close it with Ctrl+Q, then try again." /SD IDOK
    Abort
  ${EndIf}
!macroend

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_ICONSTOP|MB_OK "Abacorn needs the 64-bit edition of Windows." /SD IDOK
    Abort
  ${EndIf}
  !insertmacro STOP_WHILE_ABACORN_RUNS
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Function un.onInit
  !insertmacro STOP_WHILE_ABACORN_RUNS
  SetRegView 64
  SetShellVarContext all
FunctionEnd

# The setup runs with the administrator's rights, which a program it
# starts would inherit, and Windows then keeps programs without them (a
# switch's or an on-screen keyboard's) from sending keys to its window. The
# desktop's shell starts the trainer instead, with the user's own rights.
Function StartAbacorn
  Exec '"$WINDIR\explorer.exe" "$INSTDIR\abacorn.exe"'
FunctionEnd

Section "Abacorn"
  SetOutPath "$INSTDIR"
  File "/oname=abacorn.exe" "${EXE}"
  File "/oname=LICENSE.txt" "${LICENSE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortcut "$SMPROGRAMS\Abacorn.lnk" "$INSTDIR\abacorn.exe" "" "$INSTDIR\abacorn.exe" 0 \
    SW_SHOWNORMAL "" "Talking arithmetic flash cards for young children"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Abacorn"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "URLInfoAbout" "${HOMEPAGE}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\abacorn.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" "$\"$INSTDIR\uninstall.exe$\""
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" "$\"$INSTDIR\uninstall.exe$\" /S"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  # Apps & features shows the size in KiB.
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

Section "Uninstall"
  Delete "$SMPROGRAMS\Abacorn.lnk"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  Delete "$INSTDIR\abacorn.exe"
  Delete "$INSTDIR\LICENSE.txt"
  # The uninstaller runs from a copy in the temporary folder, so it can
  # delete itself here. The folder goes last: once it is gone, so is the
  # rest.
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
SectionEnd
