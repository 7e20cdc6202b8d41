#!/usr/bin/env python3
"""The sample product's MSI, as integrators ship it.

usage: msi_test.py tables ARCH MSI BIN_DIR HEADER
       msi_test.py wine ARCH WINE_LOADER MSI SECOND_MSI BIN_DIR WORK_DIR

`tables` reads the package's tables back (msiinfo) without running anything,
so it also covers a tree this host cannot run. `wine` installs the packages in
a fresh prefix of its own, with its own wineserver.
"""
import os
import re
import shutil
import struct
import subprocess
import sys
import unittest

MODE, ARCH = sys.argv[1:3]
X64 = ARCH == "x86_64"


def msi_table(msi, table):
    """The rows of one table as dicts (msiinfo export: names, types, table, rows)."""
    lines = subprocess.run(["msiinfo", "export", msi, table], check=True, capture_output=True,
                           text=True).stdout.splitlines()
    names = lines[0].split("\t")
    return [dict(zip(names, line.split("\t"))) for line in lines[3:]]


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def file_version(path):
    """a.b.c.d from the VS_FIXEDFILEINFO of a PE file's version resource."""
    data = open(path, "rb").read()
    at = data.index(struct.pack("<I", 0xFEEF04BD))
    ms, ls = struct.unpack_from("<II", data, at + 8)
    return f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"


class Tables(unittest.TestCase):
    MSI, BIN_DIR, HEADER = sys.argv[3:6] if MODE == "tables" else ("", "", "")

    def test_architecture_versions_and_folder(self):
        summary = subprocess.run(["msiinfo", "suminfo", self.MSI], check=True,
                                 capture_output=True, text=True).stdout
        self.assertIn("Template: " + ("x64" if X64 else "Intel") + ";1033", summary)
        properties = {row["Property"]: row["Value"] for row in msi_table(self.MSI, "Property")}
        self.assertEqual(properties["ALLUSERS"], "1")
        for row in msi_table(self.MSI, "Component"):
            self.assertEqual(int(row["Attributes"]) & 256, 256 if X64 else 0, row)
        for row in msi_table(self.MSI, "File"):
            with self.subTest(file=row["FileName"]):
                self.assertEqual(row["Version"],
                                 file_version(os.path.join(self.BIN_DIR, row["FileName"])))
                self.assertEqual(row["Language"], "1033")
        parents = {row["Directory"]: (row["Directory_Parent"], row["DefaultDir"])
                   for row in msi_table(self.MSI, "Directory")}
        folder = parents[parents["LogErrorFolder"][0]]
        self.assertEqual(folder[1], "PlayerSuite")
        self.assertEqual(folder[0], "CommonFiles64Folder" if X64 else "CommonFilesFolder")

    def test_registry_rows_name_the_header_ids_for_this_platform(self):
        header = open(self.HEADER, encoding="utf-8").read()
        ids = {name: "{" + guid + "}" for guid, name in re.findall(
            r"/\* \{([0-9A-F-]+)\} \*/\s*LOGERROR_GUID \w+ (\w+)", header)}
        rows = {(row["Key"], row["Name"]): row["Value"]
                for row in msi_table(self.MSI, "Registry") if row["Root"] == "0"}
        server = "CLSID\\" + ids["CLSID_LogSender"] + "\\InprocServer32"
        self.assertEqual(rows[(server, "")], "[#LogError.dll]")
        self.assertEqual(rows[(server, "ThreadingModel")], "Apartment")
        self.assertIn(("Interface\\" + ids["IID_IKRLogSender"] + "\\ProxyStubClsid32", ""), rows)
        platforms = {key.rsplit("\\", 1)[1] for key, _ in rows if "\\0\\" in key}
        self.assertEqual(platforms, {"win64" if X64 else "win32"})


def leftovers(folder):
    """What is left of `folder`: itself, when only empty folders are."""
    if not os.path.exists(folder):
        return []
    files = [os.path.join(top, name) for top, _, names in os.walk(folder) for name in names]
    return files or [folder]


class Prefix:
    """A fresh Wine prefix with a wineserver of its own."""

    def __init__(self, loader, path):
        self.loader, self.path = loader, path
        shutil.rmtree(path, ignore_errors=True)
        os.makedirs(path)
        self.env = dict(os.environ, WINEPREFIX=path, WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        # Started away from CTest's pipes, or Wine's services would hold them open.
        quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                     stderr=subprocess.DEVNULL, env=self.env)
        subprocess.Popen(["wineserver", "-p"], **quiet).wait()
        subprocess.run([loader, "cmd", "/c", "exit"], timeout=300, **quiet)

    def run(self, *args, **env):
        return subprocess.run([self.loader, *args], stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              env=dict(self.env, **env), timeout=120).returncode

    def unix_path(self, windows):
        return os.path.join(self.path, "drive_c", *windows[3:].split("\\"))

    def stop(self):
        subprocess.run(["wineserver", "-k"], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


class Installed(unittest.TestCase):
    if MODE == "wine":
        LOADER, MSI, SECOND_MSI, BIN_DIR, WORK_DIR = sys.argv[3:8]
    # REGDB_E_CLASSNOTREG, as Wine hands a Windows exit code to Linux: 8 bits.
    NOT_REGISTERED = 0x80040154 & 0xFF

    @classmethod
    def setUpClass(cls):
        # The trees the package writes (CLSID\{...}, Interface\{...}, TypeLib\{...}).
        cls.keys = sorted({"\\".join(row["Key"].split("\\")[:2])
                           for row in msi_table(cls.MSI, "Registry")})
        cls.prefix = Prefix(cls.LOADER, os.path.join(cls.WORK_DIR, "prefix"))
        # A pending log for the report asked for through the proxy: records
        # logged, then rolled over by a load on a "new day".
        data = {"CRT_DATA_DIR": windows_path(os.path.join(cls.WORK_DIR, "data"))}
        logtool = os.path.join(cls.BIN_DIR, "logtool.exe")
        for args in (("log", "--kind", "error", "before the install"),
                     ("config", "set", "General", "LogErrorDate", "2000.01.01"),
                     ("log", "--kind", "warning", "after the roll-over")):
            assert cls.prefix.run(logtool, *args, **data) == 0, args

    @classmethod
    def tearDownClass(cls):
        cls.prefix.stop()
        shutil.rmtree(cls.prefix.path, ignore_errors=True)

    def registration(self):
        """Every value under the sender's keys, in both registry views."""
        values = set()
        out = os.path.join(self.WORK_DIR, "export.reg")
        for view in ("32", "64"):
            for key in self.keys:
                if self.prefix.run("reg", "export", "HKLM\\Software\\Classes\\" + key,
                                   windows_path(out), "/y", "/reg:" + view) != 0:
                    continue
                text = open(out, encoding="utf-16").read().replace("\\\\", "\\")
                current = None
                for line in text.splitlines():
                    if line.startswith("["):
                        current = line.strip("[]")
                        values.add((view, current, None, None))
                    elif "=" in line:
                        name, value = line.split("=", 1)
                        values.add((view, current, name, value))
        return values

    def client(self, *args):
        return self.prefix.run(os.path.join(self.BIN_DIR, "com_client.exe"), *args,
                               CRT_DATA_DIR=windows_path(os.path.join(self.WORK_DIR, "data")))

    def msiexec(self, action, msi):
        self.assertEqual(self.prefix.run("msiexec", action, windows_path(msi), "/qn"),
                         0, f"msiexec {action} {os.path.basename(msi)}")

    def installed_library(self):
        for view, key, name, value in self.registration():
            if key.endswith("InprocServer32") and name == "@":
                return value.strip('"')
        self.fail("no InprocServer32 path")

    def test_install_activate_remove_and_share(self):
        self.assertEqual(self.registration(), set(), "a fresh prefix")
        self.msiexec("/i", self.MSI)
        library = self.installed_library()
        folder = os.path.dirname(self.prefix.unix_path(library))
        self.assertTrue(re.search(r"\\Common Files\\PlayerSuite\\LogError\\LogError.dll$", library))
        self.assertTrue(os.path.isfile(os.path.join(folder, "crt.dll")))
        for apartment in ((), ("mta",)):
            self.assertEqual(self.client(*apartment), 0, apartment or "sta")
        installed = self.registration()

        self.msiexec("/x", self.MSI)
        self.assertEqual(self.registration(), set(), "the removal leaves a key")
        self.assertEqual(leftovers(os.path.dirname(folder)), [], "the removal leaves files")
        self.assertEqual(self.client(), self.NOT_REGISTERED)

        # What logtool register writes for a library at the same path.
        os.makedirs(folder)
        for name in ("LogError.dll", "crt.dll"):
            shutil.copy(os.path.join(self.BIN_DIR, name), folder)
        logtool = os.path.join(self.BIN_DIR, "logtool.exe")
        self.assertEqual(self.prefix.run(logtool, "register", library), 0)
        registered = self.registration()
        self.assertEqual(self.prefix.run(logtool, "unregister", library), 0)
        shutil.rmtree(os.path.dirname(folder))
        self.assertEqual(installed, registered)

        # Two products of the suite share the components: the last one out removes them.
        self.msiexec("/i", self.MSI)
        self.msiexec("/i", self.SECOND_MSI)
        self.msiexec("/x", self.MSI)
        self.assertEqual(self.client("mta"), 0, "the second product still has the class")
        self.assertTrue(os.path.isfile(os.path.join(folder, "LogError.dll")))
        self.msiexec("/x", self.SECOND_MSI)
        self.assertEqual(self.registration(), set())
        self.assertEqual(leftovers(os.path.dirname(folder)), [])


if __name__ == "__main__":
    case = Tables if MODE == "tables" else Installed
    result = unittest.TextTestRunner(verbosity=2).run(
        unittest.defaultTestLoader.loadTestsFromTestCase(case))
    sys.exit(0 if result.wasSuccessful() else 1)
