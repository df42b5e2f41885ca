"""The resources of the shipped binaries as Windows reads them (through the
version API and the manifest resource 1 of type 24), printed by resinfo.exe:
product ROVAN, a description of each, the version set by project() in the
top-level CMakeLists.txt, and the execution level each program asks for."""

import re
import unittest

from harness import ROOT, session


def project_version():
    text = (ROOT / "CMakeLists.txt").read_text()
    return re.search(r"project\(\s*\w+\s+VERSION\s+([0-9.]+)", text).group(1)


class Resources(unittest.TestCase):
    def test_every_binary_carries_its_version_and_each_program_its_manifest(self):
        s = session()
        version = project_version()
        cases = [
            ("setup.exe", "ROVAN Setup", "requireAdministrator"),
            ("service.exe", "ROVAN service host", "asInvoker"),
            ("qor.dll", "ROVAN kernel", "none"),
        ]
        for name, description, level in cases:
            with self.subTest(name):
                # the copy that ships, from the distribution folder
                r = s.run([s.program("resinfo.exe"), s.winpath(s.dist() / name)])
                self.assertEqual(0, r.returncode, r.stdout)
                self.assertEqual(f"ProductName: ROVAN\n"
                                 f"FileDescription: {description}\n"
                                 f"FileVersion: {version}\n"
                                 f"Manifest: {level}\n", r.stdout.replace("\r\n", "\n"))

    def test_a_binary_without_resources_is_told_apart(self):
        s = session()
        r = s.run([s.program("resinfo.exe"), s.winpath(s.program("setevent.exe"))])
        self.assertEqual(1, r.returncode, r.stdout)
        self.assertRegex(r.stdout, r"^no version resource")


if __name__ == "__main__":
    unittest.main()
