"""What `cmake --install` puts where, and a dump from the installed tool.

The build folder is build/ unless VELLORAN_BUILD names another; with
VELLORAN_WINDOWS_BUILD set, the Windows ZIP made in that folder is checked
instead. VELLORAN_CMAKE and VELLORAN_CPACK name the tools, if not on PATH.
"""
import gzip
import os
import subprocess
import sys
import tempfile
import unittest
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from harness import answers, opening, final_position, random_bytes, reference_bmp, read_file, write_file  # noqa
import harness

WINDOWS_BUILD = os.environ.get("VELLORAN_WINDOWS_BUILD")
ZIP = bool(WINDOWS_BUILD)
BUILD = os.path.abspath(WINDOWS_BUILD or os.environ.get("VELLORAN_BUILD") or harness.BUILD)
CMAKE = os.environ.get("VELLORAN_CPACK" if ZIP else "VELLORAN_CMAKE") or ("cpack" if ZIP else "cmake")


@unittest.skipIf(ZIP, "the Linux install")
class Install(unittest.TestCase):
    def test_installed_tree_and_a_dump_from_it(self):
        with tempfile.TemporaryDirectory(prefix="velloran-install-") as root:
            prefix = os.path.join(root, "usr")
            subprocess.run([CMAKE, "--install", BUILD, "--prefix", prefix], check=True, stdout=subprocess.DEVNULL)
            installed = sorted(os.path.relpath(os.path.join(folder, name), prefix)
                               for folder, _, names in os.walk(prefix) for name in names)
            self.assertEqual(installed, ["bin/velloran", "share/doc/velloran/README.md",
                                         "share/doc/velloran/changelog.gz", "share/doc/velloran/copyright",
                                         "share/man/man1/velloran.1.gz"])
            self.assertTrue(os.access(os.path.join(prefix, "bin/velloran"), os.X_OK))
            self.assertEqual(gzip.decompress(read_file(os.path.join(prefix, "share/man/man1/velloran.1.gz"))),
                             read_file(os.path.join(harness.ROOT, "docs", "velloran.1")))

            rom = random_bytes(3 * 32, seed=70)
            write_file(os.path.join(root, "rom.bin"), rom)
            os.mkdir(os.path.join(root, "out"))
            tool = os.path.join(prefix, "bin/velloran")
            by_arguments = subprocess.run([tool, "rom.bin", "out/", "4", "4", "2", "0"], cwd=root,
                                          stdout=subprocess.PIPE, check=True).stdout.decode()
            self.assertEqual(by_arguments, opening("out/snap0000.bmp") + opening("out/snap0001.bmp")
                             + final_position(64))
            piped = subprocess.run([tool], input=answers("rom.bin", "out/", 4, 4, 1, 64), cwd=root,
                                   stdout=subprocess.PIPE, check=True).stdout.decode()
            self.assertTrue(piped.endswith(opening("out/snap0002.bmp") + final_position(96)), piped)
            for index in range(3):
                self.assertEqual(read_file(os.path.join(root, "out", "snap%04d.bmp" % index)),
                                 reference_bmp(rom[index * 32:(index + 1) * 32], 4, 4))


@unittest.skipUnless(ZIP, "the Windows ZIP")
class WindowsZip(unittest.TestCase):
    def test_the_zip_holds_the_program_and_the_readme(self):
        subprocess.run([CMAKE, "-G", "ZIP"], cwd=BUILD, check=True, stdout=subprocess.DEVNULL)
        top = "velloran-%s-win64/" % harness.VERSION
        with zipfile.ZipFile(os.path.join(BUILD, top[:-1] + ".zip")) as archive:
            names = sorted(name for name in archive.namelist() if not name.endswith("/"))
            self.assertEqual(names, [top + "bin/velloran.exe", top + "share/doc/velloran/CHANGELOG.md",
                                     top + "share/doc/velloran/LICENSE", top + "share/doc/velloran/README.md"])
            self.assertEqual(archive.read(top + "bin/velloran.exe")[:2], b"MZ")
            for name in ["LICENSE", "CHANGELOG.md", "README.md"]:
                self.assertEqual(archive.read(top + "share/doc/velloran/" + name),
                                 read_file(os.path.join(harness.ROOT, name)), name)


if __name__ == "__main__":
    unittest.main(verbosity=2)
