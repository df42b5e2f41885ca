"""setup's SETUP and HELP dialogs and its usage box, on the real dialog
manager: read back and pressed through uidriver.exe from a second process."""
import time
import unittest

from harness import session

SETUP = ("SetupClass", "ROVAN Setup")
HELP = ("#32770", "ROVAN Setup")     # the HELP page has no class of its own
KERNEL_BOX = ("#32770", "ROVAN Kernel")  # every kprintf box
IDOK, IDCANCEL, ID_HELP, ID_LOG = 1, 2, 102, 101


def drive(*args, wait_ms=15000):
    return session().ui(*args, wait_ms=wait_ms)


class SetupDialog(unittest.TestCase):
    def start(self, *args):
        """setup.exe started from the distribution folder, ended at teardown
        if a test leaves it running."""
        s = session()
        proc = s.spawn([s.program("setup.exe")] + list(args), cwd=s.dist())
        self.addCleanup(self._end, proc)
        return proc

    @staticmethod
    def _end(proc):
        if proc.poll() is None:
            proc.kill()
        proc.communicate(timeout=30)

    def lines(self, window, control):
        r = drive("list", *window, control)
        self.assertEqual(0, r.returncode, r.stderr)
        return r.stdout.split("\n")[:-1]

    def cancel_and_expect_exit_0(self, proc):
        self.assertEqual(0, drive("click", *SETUP, IDCANCEL).returncode)
        self.assertEqual(0, proc.wait(timeout=30))
        self.assertEqual(0, drive("gone", *SETUP, wait_ms=5000).returncode)

    def test_install_header_then_cancel_ends_with_exit_code_0(self):
        proc = self.start()
        self.assertEqual(["ROVAN Setup Log", "===============", "Target directory: C:\\ROVAN",
                          "Click OK to start, Cancel to exit..."], self.lines(SETUP, ID_LOG))
        time.sleep(0.5)  # painted, for the picture
        session().screenshot(session().artifacts / "setup.png")
        self.cancel_and_expect_exit_0(proc)

    def test_uninstall_header(self):
        proc = self.start("-u")
        self.assertEqual(["ROVAN Setup Log", "===============",
                          "Click OK to UNINSTALL ROVAN, Cancel to exit..."], self.lines(SETUP, ID_LOG))
        self.cancel_and_expect_exit_0(proc)

    def test_three_arguments_show_the_usage_box_and_end_with_exit_code_0(self):
        proc = self.start("a", "b", "c")
        r = drive("text", *KERNEL_BOX)
        self.assertEqual(0, r.returncode, r.stderr)
        self.assertEqual("Usage: setup [-u] [dir]\n\n", r.stdout)  # the driver adds one line feed
        self.assertEqual(2, drive("wait", *SETUP, wait_ms=0).returncode, "no SETUP with the usage box")
        self.assertEqual(0, drive("click", *KERNEL_BOX, IDCANCEL).returncode)
        self.assertEqual(0, proc.wait(timeout=30))

    def test_help_opens_help_and_its_ok_closes_it(self):
        proc = self.start()
        self.assertEqual(0, drive("wait", *SETUP).returncode)
        self.assertEqual(0, drive("click", *SETUP, ID_HELP).returncode)
        r = drive("text", *HELP)
        self.assertEqual(0, r.returncode, r.stderr)
        self.assertEqual("Usage: setup [-u] [target directory]\n", r.stdout)
        time.sleep(0.5)  # painted, for the picture
        session().screenshot(session().artifacts / "help.png")
        self.assertEqual(0, drive("click", *HELP, IDOK).returncode)
        self.assertEqual(0, drive("gone", *HELP).returncode)
        # SETUP carries on with its log as it was.
        self.assertEqual(4, len(self.lines(SETUP, ID_LOG)))
        self.cancel_and_expect_exit_0(proc)

    def test_setup_is_centred_on_the_screen(self):
        proc = self.start()
        r = drive("rect", *SETUP)
        self.assertEqual(0, r.returncode, r.stderr)
        left, top, right, bottom = map(int, r.stdout.split())
        screen = drive("screen")
        _, _, width, height = map(int, screen.stdout.split())
        self.assertEqual(width // 2 - (right - left) // 2, left)
        self.assertEqual(height // 2 - (bottom - top) // 2, top)
        self.cancel_and_expect_exit_0(proc)


if __name__ == "__main__":
    unittest.main()
