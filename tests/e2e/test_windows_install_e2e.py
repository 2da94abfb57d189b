# SPDX-License-Identifier: GPL-3.0-or-later
"""The trainer as a Windows family installs it: scripts/build-windows.sh
writes the program (statically linked, with its icon and version) and its
setup; under Wine, in a prefix of the test's own, the setup's /S installs
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

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
BUILD_WINDOWS = os.path.join(ROOT, "scripts", "build-windows.sh")
WINE64 = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Abacorn"
INSTALL_DIR = r"C:\Program Files\Abacorn"
START_MENU_LINK = "drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Abacorn.lnk"


def project_version():
    with open(os.path.join(ROOT, "CMakeLists.txt"), encoding="utf-8") as f:
        return re.search(r"project\(abacorn VERSION ([0-9.]+)", f.read()).group(1)


class WinePrefix:
    """A Wine prefix of the test's own under `root`, with a home of its own
    too (Wine links the prefix's Desktop and Documents to $HOME). Every
    process in it ends with `wineserver -k` when the `with` block ends."""

    def __init__(self, xvfb, root):
        self.xvfb = xvfb
        self.path = os.path.join(root, "prefix")
        self.home = os.path.join(root, "home")
        os.makedirs(self.home)
        self.procs = []

    def env(self):
        env = self.xvfb.env()
        env.update(WINEPREFIX=self.path, HOME=self.home, WINEDEBUG="-all",
                   WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d")
        return env

    def __enter__(self):
        try:
            self.run("wineboot", "--init", timeout=120)
            self.wait_idle()
        except BaseException:
            self.stop()
            raise
        return self

    def __exit__(self, *exc):
        self.stop()

    def stop(self):
        for proc in self.procs:
            e2e.stop_process(proc)
        if os.path.isdir(self.path):
            subprocess.run([WINESERVER, "-k"], env=self.env(), stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=30)

    def run(self, *args, timeout=60):
        """Runs a program in the prefix to its end; returns its status."""
        return subprocess.run([WINE64] + list(args), env=self.env(), stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, timeout=timeout).returncode

    def start(self, *args):
        proc = subprocess.Popen([WINE64] + list(args), env=self.env(), stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.procs.append(proc)
        return proc

    def wait_idle(self, timeout=60):
        """Waits until every process in the prefix has ended and the
        wineserver has saved the registry and gone."""
        subprocess.run([WINESERVER, "-w"], env=self.env(), timeout=timeout, check=True)

    def unix(self, windows_path):
        """Where a path on drive C: lies in the prefix."""
        drive, _, rest = windows_path.partition(":\\")
        assert drive.upper() == "C", windows_path
        return os.path.join(self.path, "drive_c", *rest.split("\\"))

    def reg_query(self, key):
        """The values under a registry key, {name: (type, data)}; None when
        the key does not exist."""
        res = subprocess.run([WINE64, "reg", "query", key], env=self.env(), stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL, timeout=60)
        if res.returncode != 0:
            return None
        values = {}
        for line in res.stdout.decode("utf-8", errors="replace").splitlines():
            m = re.match(r"^ {4}(\S+) {4}(REG_\w+) {4}(.*)$", line.rstrip("\r"))
            if m:
                values[m.group(1)] = (m.group(2), m.group(3))
        return values

    def files(self):
        """Every file and folder on drive C: but the users' temporary ones
        (the uninstaller runs from a copy there, which Windows deletes at
        the next start)."""
        found = set()
        drive = os.path.join(self.path, "drive_c")
        for top, dirs, names in os.walk(drive):
            rel = os.path.relpath(top, drive)
            if re.match(r"users/[^/]+/(Temp|AppData/Local/Temp)(/|$)", rel):
                dirs[:] = []
                continue
            found |= {os.path.normpath(os.path.join(rel, n)) for n in dirs + names}
        return found


class WindowsSetupTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        for tool in ("makensis", "x86_64-w64-mingw32-g++-posix", WINE64, "Xvfb", "xdotool"):
            if not shutil.which(tool):
                raise unittest.SkipTest("%s is not installed (scripts/common.sh lists it)" % tool)
        cls.tmp = tempfile.mkdtemp(prefix="abacorn-windows-setup-")
        cls.out = os.path.join(cls.tmp, "out")
        # The cross build the Windows tests use, with their programs, so
        # that this one neither builds the sources again nor drops them.
        env = dict(os.environ)
        env.setdefault("ABACORN_WINDOWS_BUILD_DIR", os.path.join(e2e.build_dir(), "windows"))
        env.setdefault("ABACORN_WINDOWS_TESTS", "ON")
        # At a low priority: the tests beside this one wait for windows and
        # sounds in time, the build can wait.
        res = subprocess.run(["nice", "-n", "15", BUILD_WINDOWS, cls.out], env=env, stdout=subprocess.PIPE,
                             stderr=subprocess.STDOUT, timeout=1500)
        if res.returncode != 0:
            raise AssertionError("build-windows.sh failed:\n" + res.stdout.decode(errors="replace")[-6000:])
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
        with e2e.Xvfb() as x, WinePrefix(x, self.tmp) as wine:
            before = wine.files()
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
            for hive in ("system.reg", "user.reg"):
                with open(os.path.join(wine.path, hive), encoding="utf-8", errors="replace") as f:
                    self.assertEqual([line for line in f if "abacorn" in line.lower()], [], hive)
            self.assertEqual(os.listdir(wine.home), [])
        print("windows setup: install %.1f s, window %.1f s, uninstall %.1f s" %
              (times["install"], times["window"], times["uninstall"]))


if __name__ == "__main__":
    unittest.main()
