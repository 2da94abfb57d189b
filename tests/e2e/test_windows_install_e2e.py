# SPDX-License-Identifier: GPL-3.0-or-later
"""The trainer as a Windows family installs it: scripts/build-windows.sh
(run by the test command) writes the program (statically linked, with
its icon and version) and its setup; under Wine, in a copy of the run's
prefix, the setup's /S installs
the program into Program Files with a Start-menu entry and an entry in Apps
& features, the installed program opens its window and closes on Ctrl+Q,
and the uninstaller's /S takes all of it away again."""
import os
import re
import shutil
import subprocess
import tempfile
import time
import unittest

from testbed import e2e
from testbed.e2e.wine import WinePrefix, windows_build_dir

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Abacorn"
INSTALL_DIR = r"C:\Program Files\Abacorn"
START_MENU_LINK = "drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Abacorn.lnk"


def project_version():
    with open(os.path.join(ROOT, "CMakeLists.txt"), encoding="utf-8") as f:
        return re.search(r"project\(abacorn VERSION ([0-9.]+)", f.read()).group(1)


def abacorn_lines(wine):
    """The registry's lines that name the trainer (the run's prefix has the
    tests' SAPI server registered from a folder that may)."""
    lines = []
    for hive in ("system.reg", "user.reg"):
        with open(os.path.join(wine.path, hive), encoding="utf-8", errors="replace") as f:
            lines += [line for line in f if "abacorn" in line.lower() and not line.startswith("#time")]
    return lines


class WindowsSetupTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="abacorn-windows-setup-")
        cls.out = os.path.join(windows_build_dir(), "out")
        cls.exe = os.path.join(cls.out, "abacorn.exe")
        cls.setup = os.path.join(cls.out, "abacorn-%s-setup.exe" % project_version())

    @classmethod
    def tearDownClass(cls):
        if not os.environ.get("ABACORN_E2E_KEEP"):
            shutil.rmtree(cls.tmp, ignore_errors=True)

    def test_script_writes_a_program_with_its_icon_and_version_and_a_setup(self):
        self.assertEqual(sorted(os.listdir(self.out)), sorted(map(os.path.basename, (self.exe, self.setup))))
        with open(self.exe, "rb") as f:
            exe = f.read()
        self.assertLessEqual(len(exe), 3000000)
        # build-windows.sh has checked the DLLs; this checks its check.
        res = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", self.exe], stdout=subprocess.PIPE, check=True)
        dlls = re.findall(r"DLL Name: (\S+)", res.stdout.decode())
        self.assertIn("KERNEL32.dll", dlls)
        self.assertEqual([d for d in dlls if d.lower().startswith("lib")], [])
        self.assertNotIn(b".debug_info", exe)
        # The icon's image is the resource as it stands in the .ico file.
        with open(os.path.join(ROOT, "assets", "abacorn.ico"), "rb") as f:
            ico = f.read()
        size, offset = int.from_bytes(ico[14:18], "little"), int.from_bytes(ico[18:22], "little")
        self.assertIn(ico[offset:offset + size], exe)
        for name, value in (("ProductName", "Abacorn"), ("FileVersion", project_version()),
                            ("ProductVersion", project_version()), ("OriginalFilename", "abacorn.exe"),
                            ("CompanyName", "Abacorn developers")):
            self.assertIsNotNone(re.search(re.escape(name.encode("utf-16-le")) + b"(\0\0)+" +
                                           re.escape(value.encode("utf-16-le")) + b"\0\0", exe), name)
        self.assertIn("GPL-3.0-or-later".encode("utf-16-le"), exe)
        res = subprocess.run(["x86_64-w64-mingw32-objdump", "-f", self.setup], stdout=subprocess.PIPE, check=True)
        self.assertIn("pei-x86-64", res.stdout.decode())

    def test_silent_install_start_and_silent_uninstall_leave_nothing_behind(self):
        times = {}
        with e2e.Xvfb() as x, WinePrefix(os.path.join(self.tmp, "wine"), xvfb=x) as wine:
            before = wine.files()
            hives_before = abacorn_lines(wine)
            start = time.monotonic()
            self.assertEqual(wine.run(self.setup, "/S"), 0)
            times["install"] = time.monotonic() - start

            # The program and the licence, a Start-menu entry for every
            # user and an entry in Apps & features.
            exe = os.path.join(wine.unix(INSTALL_DIR), "abacorn.exe")
            with open(exe, "rb") as f, open(self.exe, "rb") as g:
                self.assertEqual(f.read(), g.read())
            with open(os.path.join(wine.unix(INSTALL_DIR), "LICENSE.txt"), "rb") as f, \
                    open(os.path.join(ROOT, "LICENSE"), "rb") as g:
                self.assertEqual(f.read(), g.read())
            with open(os.path.join(wine.path, START_MENU_LINK), "rb") as f:
                link = f.read()
            self.assertIn((INSTALL_DIR + r"\abacorn.exe").encode("utf-16-le"), link)
            values = wine.reg_query(UNINSTALL_KEY)
            quoted_uninstaller = '"%s\\uninstall.exe"' % INSTALL_DIR
            self.assertEqual({k: values.get(k) for k in (
                "DisplayName", "DisplayVersion", "Publisher", "DisplayIcon", "UninstallString",
                "QuietUninstallString", "InstallLocation", "NoModify", "NoRepair")}, {
                "DisplayName": ("REG_SZ", "Abacorn"),
                "DisplayVersion": ("REG_SZ", project_version()),
                "Publisher": ("REG_SZ", "Abacorn developers"),
                "DisplayIcon": ("REG_SZ", INSTALL_DIR + r"\abacorn.exe,0"),
                "UninstallString": ("REG_SZ", quoted_uninstaller),
                "QuietUninstallString": ("REG_SZ", quoted_uninstaller + " /S"),
                "InstallLocation": ("REG_SZ", INSTALL_DIR),
                "NoModify": ("REG_DWORD", "0x1"),
                "NoRepair": ("REG_DWORD", "0x1")})
            # In KiB: the program, the licence and the uninstaller.
            installed = sum(os.path.getsize(os.path.join(wine.unix(INSTALL_DIR), n))
                            for n in os.listdir(wine.unix(INSTALL_DIR)))
            self.assertEqual(values["EstimatedSize"][0], "REG_DWORD")
            self.assertAlmostEqual(int(values["EstimatedSize"][1], 16), installed / 1024, delta=4)

            # The installed program opens its window over the whole screen
            # and closes on Ctrl+Q.
            start = time.monotonic()
            program = wine.start(INSTALL_DIR + r"\abacorn.exe")
            win = x.wait_for_window(pid=program.pid, timeout=30)
            times["window"] = time.monotonic() - start
            geo = x.window_geometry(win)
            self.assertEqual((geo["x"], geo["y"], geo["width"], geo["height"]), (0, 0, x.width, x.height))
            # While it runs, neither the setup nor the uninstaller touches
            # it. The uninstaller runs here as its own copy does, from
            # outside the folder with _?= naming it, so that the test can
            # wait for its end (it ends with status 0 all the same). _?=
            # takes the rest of the command line, unquoted: Wine quotes an
            # argument with a space, so the folder is passed in words.
            installed_now = wine.files()
            self.assertEqual(wine.run(self.setup, "/S"), 2)
            copy = os.path.join(self.tmp, "uninstall-copy.exe")
            shutil.copy(os.path.join(wine.unix(INSTALL_DIR), "uninstall.exe"), copy)
            wine.run(copy, "/S", *("_?=" + INSTALL_DIR).split(" "))
            self.assertEqual(wine.files(), installed_now)
            self.assertEqual(wine.reg_query(UNINSTALL_KEY), values)
            x.run(["xdotool", "windowfocus", "--sync", str(win), "key", "ctrl+q"])
            self.assertEqual(program.wait(30), 0)
            wine.wait_idle()

            # The uninstaller copies itself to the temporary folder, starts
            # the copy and returns; the copy takes the installation folder
            # last.
            start = time.monotonic()
            self.assertEqual(wine.run(INSTALL_DIR + r"\uninstall.exe", "/S"), 0)
            e2e.wait_until(lambda: not os.path.exists(wine.unix(INSTALL_DIR)), timeout=60,
                           what="the uninstaller to remove %s" % INSTALL_DIR)
            times["uninstall"] = time.monotonic() - start
            self.assertFalse(os.path.exists(os.path.join(wine.path, START_MENU_LINK)))
            self.assertIsNone(wine.reg_query(UNINSTALL_KEY))
            wine.wait_idle()
            self.assertEqual(wine.files() - before, set())
            self.assertEqual(abacorn_lines(wine), hives_before)
            self.assertEqual(os.listdir(wine.home), [])
        print("windows setup: install %.1f s, window %.1f s, uninstall %.1f s" %
              (times["install"], times["window"], times["uninstall"]))


if __name__ == "__main__":
    unittest.main()
