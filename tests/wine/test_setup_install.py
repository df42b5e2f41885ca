"""The installer's whole job under Wine: setup.exe run from a copy of the
distribution, its first OK, the INF installer at work, the packet driver
probes and their prompts, the log read back from the real list box.

Wine lacks the Control Panel network applets and the Windows 95 INF installer
(setupx.dll): stand-ins built with the tests take their place in this prefix
only, and record in C:\\standins.log that they were used and how."""
import shutil
import time
import unittest

from harness import session

SETUP = ("SetupClass", "ROVAN Setup")
BOX = ("#32770", "ROVAN Kernel")
IDOK, IDCANCEL, ID_LOG = 1, 2, 101

HEADER_INSTALL = ["ROVAN Setup Log", "===============", "Target directory: C:\\ROVAN",
                  "Click OK to start, Cancel to exit..."]
HEADER_UNINSTALL = ["ROVAN Setup Log", "===============", "Click OK to UNINSTALL ROVAN, Cancel to exit..."]
INSTALLED = ["service.exe", "qor.dll", "readme.txt"]

NT_INSTALL_PROMPT = ("The ROVAN QUIBEX Driver is not installed.\n"
                     "Click OK to install the QUIBEX Driver with Control Panel Network...")
NT_UNINSTALL_PROMPT = "Click OK to uninstall the QUIBEX Driver with Control Panel Network..."
W95_INSTALL_PROMPT = "The ROVAN QUIBEX Driver is not installed. Click OK to install it."

QUIBEX = r"HKLM\SYSTEM\CurrentControlSet\Services\Quibex"
LINKAGE = r"HKLM\SYSTEM\CurrentControlSet\Services\Tcpip\Linkage"
APPDEFAULTS = r"HKCU\Software\Wine\AppDefaults\setup.exe"
ENUM_ADAPTER = r"HKLM\Enum\Root\Net\0000"
QBXTAP = r"HKLM\Enum\Network\QBXTAP\0000"


class SetupInstall(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        s = cls.s = session()
        cls.dist = s.drive_c / "DIST"
        cls.target = s.drive_c / "ROVAN"
        cls.inf_copy = s.drive_c / "windows" / "inf" / "rovan_nt.inf"
        cls.link = s.drive_c / "ProgramData" / "Microsoft" / "Windows" / "Start Menu" / "Programs" / "ROVAN Readme.lnk"
        cls.standins = s.drive_c / "standins.log"
        built = s.build / "tests" / "wine" / "standins"
        for flavour, folder in (("x64", "system32"), ("x86", "syswow64")):
            if (s.drive_c / "windows" / folder).is_dir():
                for name in ("ncpa.cpl", "netcpl.cpl", "setupx.dll"):
                    shutil.copy(built / flavour / name, s.drive_c / "windows" / folder / name)

    def setUp(self):
        shutil.rmtree(self.dist, ignore_errors=True)
        shutil.copytree(self.s.dist(), self.dist)
        for p in (self.standins,):
            p.unlink(missing_ok=True)

    def tearDown(self):
        for key in (QUIBEX, LINKAGE, APPDEFAULTS, r"HKLM\Enum\Root", r"HKLM\Enum\Network"):
            self.s.reg_delete(key)

    # ----- driving setup.exe --------------------------------------------------

    def drive(self, *args, wait_ms=20000):
        return self.s.ui(*args, wait_ms=wait_ms)

    def log(self):
        r = self.drive("list", *SETUP, ID_LOG)
        return r.stdout.split("\n")[:-1] if r.returncode == 0 else []

    def setup(self, args=(), answer=None, last="ROVAN Setup completed.", screenshot=None):
        """Runs setup.exe from the distribution copy and presses OK. A prompt,
        when one comes, is answered with `answer`. Returns the log, the prompt
        text (or None) and the seconds from OK to the prompt."""
        proc = self.s.spawn([self.dist / "setup.exe"] + list(args), cwd=self.dist)
        prompt = waited = None
        try:
            self.assertEqual(0, self.drive("wait", *SETUP).returncode, "the SETUP dialog did not open")
            clicked = time.time()
            self.drive("click", *SETUP, IDOK)
            if answer is not None:
                self.assertEqual(0, self.drive("wait", *BOX, wait_ms=15000).returncode, "no prompt")
                waited = time.time() - clicked
                prompt = self.drive("text", *BOX).stdout.rstrip("\n")
                self.drive("click", *BOX, answer)
            lines = self.s.wait_for(lambda: (lambda l: l if l and l[-1] == last else None)(self.log()), 30,
                                    interval=0.3)
            self.assertTrue(lines, f"the log did not end with {last!r}: {self.log()}")
            if answer is None:
                self.assertNotEqual(0, self.drive("wait", *BOX, wait_ms=500).returncode, "unexpected prompt")
            if screenshot:
                time.sleep(0.5)
                self.s.screenshot(self.s.artifacts / screenshot)
            self.drive("click", *SETUP, IDOK)
            self.assertEqual(0, proc.wait(timeout=30))
        finally:
            if proc.poll() is None:
                proc.kill()
                proc.communicate(timeout=30)
        return lines, prompt, waited

    def standins_used(self):
        if not self.standins.exists():
            return []
        return [line.split("|", 1) for line in self.standins.read_text().splitlines()]

    def wait_installed(self, present):
        ok = self.s.wait_for(lambda: all((self.target / f).exists() == present for f in INSTALLED)
                             and self.inf_copy.exists() == present and self.link.exists() == present, 20)
        state = {f: (self.target / f).exists() for f in INSTALLED}
        state.update(inf_copy=self.inf_copy.exists(), link=self.link.exists())
        self.assertTrue(ok, f"expected everything {'in place' if present else 'gone'}: {state}")

    def driver_present_nt(self):
        self.s.reg_add(QUIBEX)
        self.s.reg_add(LINKAGE, "Bind", r"\Device\QuibexTap\0\Device\NE20001", type="REG_MULTI_SZ")

    # ----- Windows NT ---------------------------------------------------------

    def test_install_without_driver_prompts_after_five_seconds_and_cancel_opens_nothing(self):
        lines, prompt, waited = self.setup(answer=IDCANCEL, screenshot="setup-install-log.png")
        self.assertEqual(HEADER_INSTALL + ["ROVAN Setup completed."], lines)
        self.assertEqual(NT_INSTALL_PROMPT, prompt)
        self.assertGreaterEqual(waited, 5)  # the job's wait before the NT prompt; not a speed figure
        self.assertEqual([], self.standins_used())
        self.wait_installed(True)
        for f in INSTALLED:
            self.assertEqual((self.s.dist() / f).read_bytes(), (self.target / f).read_bytes(), f)
        inf = (self.dist / "rovan_nt.inf").read_bytes().decode("latin-1")
        self.assertIn("SOURCE=C:\\DIST\r\n", inf)
        self.assertIn("DEST=ROVAN\r\n", inf)
        self.assertIn("DEST=ROVAN", self.inf_copy.read_bytes().decode("latin-1"))

    def test_install_with_driver_lists_bindings_then_uninstall_offers_the_applet(self):
        self.driver_present_nt()
        lines, _, _ = self.setup(screenshot="setup-install-bindings.png")
        self.assertEqual(HEADER_INSTALL + [r"\Device\QuibexTap", r"\Device\NE20001", "ROVAN Setup completed."],
                         lines)
        self.wait_installed(True)

        lines, prompt, _ = self.setup(["-u"], answer=IDOK, last="ROVAN Uninstall completed.")
        self.assertEqual(HEADER_UNINSTALL + ["ROVAN Uninstall completed."], lines)
        self.assertEqual(NT_UNINSTALL_PROMPT, prompt)
        self.wait_installed(False)
        used = self.s.wait_for(self.standins_used, 20)
        self.assertEqual("ncpa.cpl", used[0][0], used)
        self.assertIn("ncpa.cpl", used[0][1].lower())

    def test_uninstall_without_driver_only_completes(self):
        self.setup(answer=IDOK)  # install; the prompt's OK opens the applet
        self.wait_installed(True)
        self.assertEqual("ncpa.cpl", self.s.wait_for(self.standins_used, 20)[0][0])
        self.standins.unlink()
        lines, _, _ = self.setup(["-u"], last="ROVAN Uninstall completed.")
        self.assertEqual(HEADER_UNINSTALL + ["ROVAN Uninstall completed."], lines)
        self.wait_installed(False)
        self.assertEqual([], self.standins_used())

    def test_missing_inf_completes_installs_nothing_and_leaves_an_inf_of_strings_only(self):
        shutil.rmtree(self.target, ignore_errors=True)  # what an earlier case installed
        self.inf_copy.unlink(missing_ok=True)
        (self.dist / "rovan_nt.inf").unlink()
        self.driver_present_nt()  # no prompt to wait for
        lines, _, _ = self.setup()
        # The job cannot tell: it wrote its two strings, and the INF installer
        # started and found nothing to do.
        self.assertEqual(HEADER_INSTALL + [r"\Device\QuibexTap", r"\Device\NE20001", "ROVAN Setup completed."],
                         lines)
        time.sleep(3)  # time enough for the INF installer to have done anything
        self.assertEqual({f: False for f in INSTALLED}, {f: (self.target / f).exists() for f in INSTALLED})
        self.assertFalse(self.inf_copy.exists())
        inf = (self.dist / "rovan_nt.inf").read_bytes().decode("latin-1")
        self.assertEqual("[Strings]\r\nSOURCE=C:\\DIST\r\nDEST=ROVAN\r\n", inf)

    # ----- the Windows 95 family ------------------------------------------------

    def test_windows_95_family(self):
        self.s.reg_add(APPDEFAULTS, "Version", "win98")
        self.s.reg_add(ENUM_ADAPTER, "Class", "Net")
        self.s.reg_add(ENUM_ADAPTER, "DeviceDesc", "Quibex Tap Adapter")
        self.s.reg_add(ENUM_ADAPTER, "Driver", r"Net\0000")
        self.s.reg_add(ENUM_ADAPTER + r"\Bindings", "MSTCP\\0000", "")
        self.s.reg_add(QBXTAP)
        lines, _, _ = self.setup()
        self.assertEqual(HEADER_INSTALL + [r"Quibex Tap Adapter\Net\0000[MSTCP\0000]", "ROVAN Setup completed."],
                         lines)
        used = self.s.wait_for(self.standins_used, 20)
        self.assertEqual([["setupx.dll", "Installrovan 0 C:\\DIST\\rovan_95.inf"]], used)
        inf = (self.dist / "rovan_95.inf").read_bytes().decode("latin-1")
        self.assertIn("SOURCE=C:\\DIST\r\n", inf)
        self.assertEqual((self.s.dist() / "rovan_nt.inf").read_bytes(), (self.dist / "rovan_nt.inf").read_bytes())

        self.standins.unlink()
        self.s.reg_delete(r"HKLM\Enum\Network")
        lines, prompt, waited = self.setup(answer=IDOK)
        self.assertEqual(W95_INSTALL_PROMPT, prompt)
        self.assertLess(waited, 5)  # without the NT install's five-second wait
        used = self.s.wait_for(lambda: len(self.standins_used()) == 2 and self.standins_used(), 20)
        self.assertTrue(used, self.standins_used())
        self.assertEqual({"setupx.dll", "netcpl.cpl"}, {u[0] for u in used})


if __name__ == "__main__":
    unittest.main()
