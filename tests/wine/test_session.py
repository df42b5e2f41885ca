"""The session itself: what every other Wine test relies on."""
import unittest

from harness import session


class Session(unittest.TestCase):
    def test_registry_round_trip_and_paths(self):
        s = session()
        key = r"HKLM\Software\RovanTest"
        s.reg_add(key, "Text", "a b ")
        self.assertEqual("a b ", s.reg_query(key, "Text"))
        s.reg_delete(key)
        self.assertIsNone(s.reg_query(key, "Text"))
        self.assertEqual("C:\\x\\y", s.winpath(s.drive_c / "x" / "y"))
        self.assertEqual(s.drive_c / "x" / "y", s.hostpath("C:\\x\\y"))

    def test_screenshot(self):
        s = session()
        png = s.screenshot(s.artifacts / "desktop.png")
        self.assertEqual(b"\x89PNG", png.read_bytes()[:4])


if __name__ == "__main__":
    unittest.main()
