# SPDX-License-Identifier: GPL-3.0-or-later
"""The trainer as a family installs it: `cmake --install` lays out the
program, desktop entry, icons and AppStream metadata, which the desktop's
own validators accept; scripts/build-deb.sh makes a package that lintian
passes, whose dependencies cover every library the program links and that
carries its manual page and copyright; unpacked with `dpkg-deb -x`, its
launcher and icon resolve inside the unpacked tree, its metadata passes the
validators, and its program starts under Xvfb, speaks the welcome and
closes cleanly."""
import os
import re
import shutil
import subprocess
import tempfile
import unittest

from testbed import e2e

WELCOME = "welcome to abacorn, standard mode. click on flashcard to begin."
ICON_SIZES = (32, 48, 64, 128, 256)
BUILD_DEB = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "build-deb.sh")


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


def check_launcher_resolves(test, usr):
    """The desktop entry under usr starts the program installed beside it
    (a bare name, looked up on PATH: usr/bin) and shows the icon installed
    beside it, in every size."""
    entry = desktop_entry(os.path.join(usr, "share", "applications", "abacorn.desktop"))
    test.assertEqual(entry["Type"], "Application")
    program = entry["Exec"].split()[0]
    test.assertEqual(program, "abacorn")
    test.assertTrue(os.access(os.path.join(usr, "bin", program), os.X_OK), program)
    for size in ICON_SIZES:
        icon = os.path.join(usr, "share", "icons", "hicolor", "%dx%d" % (size, size), "apps", entry["Icon"] + ".png")
        test.assertEqual(png_size(icon), (size, size), icon)


def check_metadata_validates(test, usr):
    """desktop-file-validate and appstreamcli accept the launcher and the
    AppStream metadata under usr."""
    validate = shutil.which("desktop-file-validate")
    appstream = shutil.which("appstreamcli")
    if not validate or not appstream:
        test.skipTest("desktop-file-utils and appstream are installed by scripts/common.sh")
    code, out = run([validate, os.path.join(usr, "share", "applications", "abacorn.desktop")])
    test.assertEqual((code, out), (0, ""))
    metainfo_dir = os.path.join(usr, "share", "metainfo")
    names = os.listdir(metainfo_dir)
    test.assertEqual(len(names), 1, names)
    for name in names:
        code, out = run([appstream, "validate", "--no-net", os.path.join(metainfo_dir, name)])
        test.assertEqual(code, 0, out)


def project_version():
    """The version CMakeLists.txt gives the project: the package's and the
    metadata's release."""
    with open(os.path.join(os.path.dirname(BUILD_DEB), "..", "CMakeLists.txt"), encoding="utf-8") as f:
        return re.search(r"project\(abacorn VERSION ([0-9.]+)", f.read()).group(1)


class InstallTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.build = e2e.build_dir()
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
        check_launcher_resolves(self, self.usr)
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
        check_metadata_validates(self, self.usr)


class DebianPackageTest(unittest.TestCase):
    """The package as scripts/build-deb.sh builds it, unpacked into a
    temporary root."""

    @classmethod
    def setUpClass(cls):
        for tool in ("dpkg-buildpackage", "dh", "dpkg-deb", "Xvfb", "xdotool"):
            if not shutil.which(tool):
                raise unittest.SkipTest("%s is not installed (scripts/common.sh lists it)" % tool)
        cls.build = e2e.build_dir()
        cls.tmp = tempfile.mkdtemp(prefix="abacorn-deb-test-")
        out_dir = os.path.join(cls.tmp, "package")
        # A build at a low priority: the tests running beside this one wait
        # for windows and sounds in time, the package can wait.
        code, out = run(["nice", "-n", "15", BUILD_DEB, out_dir], env=dict(os.environ, TMPDIR=cls.tmp),
                        timeout=1500)
        if code != 0:
            raise AssertionError("build-deb.sh failed:\n" + out[-6000:])
        built = sorted(os.listdir(out_dir))
        cls.deb = os.path.join(out_dir, "abacorn_%s_amd64.deb" % project_version())
        cls.dbgsym = os.path.join(out_dir, "abacorn-dbgsym_%s_amd64.deb" % project_version())
        if built != sorted(map(os.path.basename, (cls.deb, cls.dbgsym))):
            raise AssertionError("build-deb.sh left %s" % built)
        cls.root = os.path.join(cls.tmp, "root")
        code, out = run(["dpkg-deb", "-x", cls.deb, cls.root])
        if code != 0:
            raise AssertionError("dpkg-deb -x failed:\n" + out)
        cls.usr = os.path.join(cls.root, "usr")

    @classmethod
    def tearDownClass(cls):
        if not os.environ.get("ABACORN_E2E_KEEP"):
            shutil.rmtree(cls.tmp, ignore_errors=True)

    def test_lintian_finds_no_error_or_warning(self):
        if not shutil.which("lintian"):
            self.skipTest("lintian is installed by scripts/common.sh")
        code, out = run(["lintian", "--allow-root", self.deb, self.dbgsym])
        self.assertEqual(code, 0, out)
        self.assertEqual([line for line in out.splitlines() if line[:2] in ("E:", "W:")], [], out)

    def test_package_carries_its_papers_and_a_stripped_program(self):
        code, listing = run(["dpkg-deb", "-c", self.deb])
        self.assertEqual(code, 0, listing)
        files = {line.split()[-1].lstrip(".") for line in listing.splitlines()}
        for path in ("/usr/bin/abacorn", "/usr/share/man/man6/abacorn.6.gz",
                     "/usr/share/doc/abacorn/copyright", "/usr/share/doc/abacorn/changelog.gz"):
            self.assertIn(path, files)
        with open(os.path.join(self.root, "usr/share/doc/abacorn/copyright"), encoding="utf-8") as f:
            copyright_text = f.read()
        self.assertTrue(copyright_text.startswith("Format: https://www.debian.org/doc/packaging-manuals/"
                                                  "copyright-format/1.0/"))
        self.assertIn("Files: assets/*", copyright_text)
        # The symbols are in the -dbgsym package, found by the build id.
        code, out = run(["readelf", "-S", "-n", os.path.join(self.usr, "bin", "abacorn")])
        self.assertNotIn(".debug_info", out)
        build_id = re.search(r"Build ID: ([0-9a-f]+)", out).group(1)
        code, dbg = run(["dpkg-deb", "-c", self.dbgsym])
        self.assertIn("/usr/lib/debug/.build-id/%s/%s.debug" % (build_id[:2], build_id[2:]), dbg)
        code, version = run(["dpkg-deb", "-f", self.deb, "Version"])
        self.assertEqual(version.strip(), project_version())
        with open(os.path.join(self.usr, "share", "metainfo", "io.github.abacorn.Abacorn.metainfo.xml"),
                  encoding="utf-8") as f:
            self.assertIn('<release version="%s"' % project_version(), f.read())

    def test_launcher_and_icon_resolve_inside_the_root(self):
        check_launcher_resolves(self, self.usr)

    def test_validators_accept_the_unpacked_metadata(self):
        check_metadata_validates(self, self.usr)

    def test_unpacked_program_speaks_the_welcome_and_closes(self):
        code, depends = run(["dpkg-deb", "-f", self.deb, "Depends"])
        self.assertEqual(code, 0, depends)
        depends = {d.strip().split()[0] for d in depends.split(",") if d.strip()}
        # Without a voice the trainer would be silent: its own one needs
        # libflite1 and libpulse0, opened at run time.
        self.assertTrue({"libflite1", "libpulse0"} <= depends, depends)
        program = os.path.join(self.usr, "bin", "abacorn")
        self.check_libraries_are_depended_on(program, depends)

        # The unpacked program, with the system's libraries; its voice goes
        # to the recording daemon so the test can tell that it started up.
        with e2e.Xvfb() as x, e2e.Abacorn(x, binary=program) as app:
            win = app.wait_for_window(timeout=30)
            geo = x.window_geometry(win)
            self.assertEqual((geo["width"], geo["height"]), (1920, 1080))
            app.wait_for_say(WELCOME, timeout=30)
            self.assertEqual(app.said()[-1], WELCOME)
            e2e.click_control(x, "Command1")
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
        # The dynamic loader is listed by its path alone (it is NEEDED once
        # the program uses thread-local storage from position-independent
        # code, as std::async does).
        paths.update({os.path.basename(p): p for p in re.findall(r"^\s*(/\S+) \(0x", out, re.M)})
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
