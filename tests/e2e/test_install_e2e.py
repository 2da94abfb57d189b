# SPDX-License-Identifier: GPL-3.0-or-later
"""The trainer as a family installs it: `cmake --install` lays out the
program, desktop entry, icons and AppStream metadata, which the desktop's
own validators accept; `cpack -G DEB` makes a package whose dependencies
cover every library the program links; the program unpacked from that
package starts under Xvfb with the system's libraries and closes cleanly."""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2elib  # noqa: E402
import realvoice  # noqa: E402

WELCOME = "welcome to abacorn, standard mode. click on flashcard to begin."
ICON_SIZES = (32, 48, 64, 128, 256)


def run(args, **kw):
    res = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=kw.pop("timeout", 600),
                         **kw)
    return res.returncode, res.stdout.decode(errors="replace")


def desktop_entry(path):
    entry = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            key, sep, value = line.rstrip("\n").partition("=")
            if sep:
                entry[key] = value
    return entry


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    assert head[:8] == b"\x89PNG\r\n\x1a\n", path
    return int.from_bytes(head[16:20], "big"), int.from_bytes(head[20:24], "big")


class InstallTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.build = e2elib.build_dir()
        cls.tmp = tempfile.mkdtemp(prefix="abacorn-install-")
        cls.usr = os.path.join(cls.tmp, "root", "usr")
        code, out = run(["cmake", "--install", cls.build, "--prefix", cls.usr])
        if code != 0:
            raise AssertionError("cmake --install failed:\n" + out)

    @classmethod
    def tearDownClass(cls):
        if not os.environ.get("ABACORN_E2E_KEEP"):
            shutil.rmtree(cls.tmp, ignore_errors=True)

    def test_installed_files_hang_together(self):
        program = os.path.join(self.usr, "bin", "abacorn")
        self.assertTrue(os.access(program, os.X_OK))
        desktop = os.path.join(self.usr, "share", "applications", "abacorn.desktop")
        entry = desktop_entry(desktop)
        # The launcher starts the installed program and shows the installed icon.
        self.assertEqual(entry["Exec"].split()[0], "abacorn")
        self.assertEqual(entry["Type"], "Application")
        for size in ICON_SIZES:
            icon = os.path.join(self.usr, "share", "icons", "hicolor", "%dx%d" % (size, size), "apps",
                                entry["Icon"] + ".png")
            self.assertEqual(png_size(icon), (size, size), icon)
        metainfo_dir = os.path.join(self.usr, "share", "metainfo")
        (metainfo,) = os.listdir(metainfo_dir)
        with open(os.path.join(metainfo_dir, metainfo), encoding="utf-8") as f:
            xml = f.read()
        # AppStream finds the launcher by its file name and the program by
        # its name on PATH.
        self.assertIn('<launchable type="desktop-id">abacorn.desktop</launchable>', xml)
        self.assertIn("<binary>abacorn</binary>", xml)
        self.assertEqual(metainfo, re.search(r"<id>([^<]+)</id>", xml).group(1) + ".metainfo.xml")

    def test_desktop_validators_accept_the_metadata(self):
        validate = shutil.which("desktop-file-validate")
        appstream = shutil.which("appstreamcli")
        if not validate or not appstream:
            self.skipTest("desktop-file-utils and appstream are installed by scripts/common.sh")
        code, out = run([validate, os.path.join(self.usr, "share", "applications", "abacorn.desktop")])
        self.assertEqual((code, out), (0, ""))
        metainfo_dir = os.path.join(self.usr, "share", "metainfo")
        for name in os.listdir(metainfo_dir):
            code, out = run([appstream, "validate", "--no-net", os.path.join(metainfo_dir, name)])
            self.assertEqual(code, 0, out)

    def test_debian_package_installs_and_runs(self):
        for tool in ("cpack", "dpkg-deb", "Xvfb", "xdotool"):
            if not shutil.which(tool):
                self.skipTest("%s is not installed" % tool)
        out_dir = os.path.join(self.tmp, "package")
        code, out = run(["cpack", "-G", "DEB", "--config", os.path.join(self.build, "CPackConfig.cmake"),
                         "-B", out_dir], cwd=self.tmp)
        self.assertEqual(code, 0, out)
        debs = [f for f in os.listdir(out_dir) if f.endswith(".deb")]
        self.assertEqual(len(debs), 1, os.listdir(out_dir))
        deb = os.path.join(out_dir, debs[0])

        code, depends = run(["dpkg-deb", "-f", deb, "Depends"])
        self.assertEqual(code, 0, depends)
        depends = {d.strip().split()[0] for d in depends.split(",") if d.strip()}
        # Without a voice the trainer would be silent: its own one needs
        # libflite1 and libpulse0, opened at run time.
        self.assertTrue({"libflite1", "libpulse0"} <= depends, depends)

        root = os.path.join(self.tmp, "deb-root")
        code, out = run(["dpkg-deb", "-x", deb, root])
        self.assertEqual(code, 0, out)
        program = os.path.join(root, "usr", "bin", "abacorn")
        for path in ("usr/bin/abacorn", "usr/share/applications/abacorn.desktop",
                     "usr/share/icons/hicolor/256x256/apps/abacorn.png"):
            self.assertTrue(os.path.exists(os.path.join(root, path)), path)
        self.check_libraries_are_depended_on(program, depends)

        # The unpacked program, with the system's libraries; its voice goes
        # to the recording daemon so the test can tell that it started up.
        with e2elib.Xvfb() as x, e2elib.Abacorn(x, binary=program) as app:
            win = app.wait_for_window(timeout=30)
            geo = x.window_geometry(win)
            self.assertEqual((geo["width"], geo["height"]), (1920, 1080))
            app.wait_for_say(WELCOME, timeout=30)
            realvoice.click_control(x, "Command1")
            self.assertEqual(app.wait_exit(30), 0)

    def check_libraries_are_depended_on(self, program, depends):
        """Every library the program links comes from a package the .deb
        depends on, directly or through one of them (libgcc-s1 through
        libstdc++6)."""
        code, out = run(["ldd", program])
        self.assertEqual(code, 0, out)
        self.assertNotIn("not found", out)
        code, dyn = run(["readelf", "-d", program])
        needed = re.findall(r"\(NEEDED\)\s+Shared library: \[([^\]]+)\]", dyn)
        self.assertTrue(needed)
        paths = dict(re.findall(r"^\s*(\S+) => (\S+)", out, re.M))
        indirect = set()
        for d in depends:
            code, deps = run(["dpkg-query", "-W", "-f", "${Depends},${Pre-Depends}", d])
            if code == 0:
                indirect |= {x.strip().split()[0].split(":")[0] for x in deps.split(",") if x.strip()}
        for lib in needed:
            code, owner = run(["dpkg", "-S", os.path.realpath(paths[lib])])
            if code != 0:  # merged /usr: the file is listed under /lib
                code, owner = run(["dpkg", "-S", paths[lib]])
            self.assertEqual(code, 0, owner)
            package = owner.split(":")[0]
            self.assertTrue(package in depends or package in indirect,
                            "%s comes from %s, which the package does not depend on" % (lib, package))


if __name__ == "__main__":
    unittest.main()
