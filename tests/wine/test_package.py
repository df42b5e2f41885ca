"""The zip of the session's build (made by cpack, as scripts/package.sh does):
one folder rovan-<version>-<arch> with the distribution's files, flat, from
which setup.exe starts as from the distribution folder."""

import shutil
import subprocess
import unittest
import zipfile

from harness import ROOT, session

SETUP = ("SetupClass", "ROVAN Setup")
IDCANCEL, ID_LOG = 2, 101
FILES = {"setup.exe", "service.exe", "qor.dll", "rovan_nt.inf", "rovan_95.inf", "readme.txt"}


class Package(unittest.TestCase):
    def test_the_zip_unpacks_to_a_folder_from_which_setup_runs(self):
        s = session()
        out = s.work / "package"
        shutil.rmtree(out, ignore_errors=True)
        r = subprocess.run(["cpack", "-G", "ZIP", "--config", str(s.build / "CPackConfig.cmake"), "-B", str(out)],
                           capture_output=True, text=True, timeout=120)
        self.assertEqual(0, r.returncode, r.stdout + r.stderr)
        zips = list(out.glob(f"rovan-*-{s.arch}.zip"))
        self.assertEqual(1, len(zips), list(out.iterdir()))
        folder = zips[0].name[:-len(".zip")]
        with zipfile.ZipFile(zips[0]) as z:
            self.assertEqual({f"{folder}/{name}" for name in FILES}, set(z.namelist()))
            unpacked = s.drive_c / "Unzipped"
            shutil.rmtree(unpacked, ignore_errors=True)
            z.extractall(unpacked)
        here = unpacked / folder
        for name in FILES:  # the programs as built, the rest as in the sources
            shipped = s.program(name) if name.endswith((".exe", ".dll")) else ROOT / "dist" / name
            self.assertEqual(shipped.read_bytes(), (here / name).read_bytes(), name)

        proc = s.spawn([here / "setup.exe"], cwd=here)
        try:
            drive = [s.program("uidriver.exe"), "-t", "15000"]
            r = s.run(drive + ["list", *SETUP, ID_LOG], timeout=60)
            self.assertEqual(0, r.returncode, r.stderr)
            self.assertEqual("ROVAN Setup Log", r.stdout.split("\n")[0])
            self.assertEqual(0, s.run(drive + ["click", *SETUP, IDCANCEL], timeout=60).returncode)
            self.assertEqual(0, proc.wait(timeout=30))
        finally:
            if proc.poll() is None:
                proc.kill()
            proc.communicate(timeout=30)


if __name__ == "__main__":
    unittest.main()
