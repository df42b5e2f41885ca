"""service.exe under Wine's own service control manager: install, start with
each kind of parameter, stop, remove, the console debug mode, and an error
event. The kernel stand-in qor.dll writes "qor.log" in its working directory:
    QOR start [<parameters>] dir [<working directory>]
    QOR end [<parameters>]
(see kernel/qor.cpp); the brackets show trailing blanks."""

import re
import shutil
import subprocess
import time
import unittest

from harness import session

SERVICE_KEY = r"HKLM\SYSTEM\CurrentControlSet\Services\ROVAN"
STOPPED, START_PENDING, STOP_PENDING, RUNNING = 1, 2, 3, 4


def state():
    """The service's state by `sc query`, or None when it does not exist."""
    out = session().run(["sc", "query", "ROVAN"]).stdout
    m = re.search(r"STATE\s*:\s*(\d+)", out)
    return int(m.group(1)) if m else None


def wait_state(want, timeout=20):
    return session().wait_for(lambda: state() == want, timeout)


class ServiceFolder(unittest.TestCase):
    """service.exe and qor.dll in a folder of their own under C:; afterwards
    the service is stopped and deleted and any kernel still waiting ended."""
    folder_name = "RovanSvc"

    def setUp(self):
        s = session()
        self.folder = s.drive_c / self.folder_name
        shutil.rmtree(self.folder, ignore_errors=True)
        self.folder.mkdir(parents=True)
        for name in ("service.exe", "qor.dll"):
            shutil.copy(s.program(name), self.folder / name)
        self.exe = s.winpath(self.folder / "service.exe")
        self.log = self.folder / "qor.log"

    def tearDown(self):
        s = session()
        if state() is not None:
            s.run(["sc", "stop", "ROVAN"])
            wait_state(STOPPED, 20)
            s.run(["sc", "delete", "ROVAN"])
            s.wait_for(lambda: state() is None, 20)
        # Any kernel still waiting ends now; then nothing holds the event.
        s.run([s.program("setevent.exe"), "ROVANSTOP"])
        s.wait_for(lambda: not self.log.exists() or self._kernels_running() == 0, 20)

    def log_lines(self):
        return self.log.read_text(errors="replace").splitlines() if self.log.exists() else []

    def _kernels_running(self):
        lines = self.log_lines()
        return sum(l.startswith("QOR start ") for l in lines) - sum(l.startswith("QOR end ") for l in lines)


class ServiceTest(ServiceFolder):
    # ----- helpers ----------------------------------------------------------

    def install(self):
        r = session().run([self.exe, "-install"])
        self.assertEqual("ROVAN installed.\n", r.stdout)
        self.assertEqual(0, r.returncode)

    def start(self, *params):
        session().run(["sc", "start", "ROVAN", *params])
        self.assertTrue(wait_state(RUNNING), f"not running: {session().run(['sc', 'query', 'ROVAN']).stdout}")
        self.assertTrue(session().wait_for(lambda: self.log_lines(), 20), "the kernel wrote no log")

    def stop(self):
        session().run(["sc", "stop", "ROVAN"])
        self.assertTrue(wait_state(STOPPED))
        self.assertTrue(session().wait_for(lambda: len(self.log_lines()) >= 2, 20), self.log_lines())

    # ----- cases ------------------------------------------------------------

    def test_install_registers_the_path_and_a_second_install_fails(self):
        self.install()
        self.assertEqual(self.exe, session().reg_query(SERVICE_KEY, "ImagePath"))
        r = session().run([self.exe, "-install"])
        # Wine's own text for ERROR_SERVICE_EXISTS
        self.assertEqual("CreateService failed - Service exists. (0x431)\n", r.stdout)
        self.assertEqual(0, r.returncode)

    def test_started_without_parameters_the_kernel_gets_1_in_the_service_folder(self):
        self.install()
        self.start()
        self.assertEqual([f"QOR start [1] dir [{self.exe.rsplit(chr(92), 1)[0]}]"], self.log_lines())
        self.stop()
        self.assertEqual("QOR end [1]", self.log_lines()[1])

    def test_app_parameters_reach_the_kernel_unchanged(self):
        self.install()
        session().reg_add(SERVICE_KEY + r"\Parameters", "AppParameters", "alpha beta")
        self.start()
        self.assertRegex(self.log_lines()[0], r"^QOR start \[alpha beta\] dir ")
        self.stop()

    def test_start_parameters_reach_the_kernel_each_followed_by_a_blank(self):
        self.install()
        session().reg_add(SERVICE_KEY + r"\Parameters", "AppParameters", "unused")
        self.start("alpha", "beta")
        self.assertRegex(self.log_lines()[0], r"^QOR start \[alpha beta \] dir ")
        self.stop()
        self.assertEqual("QOR end [alpha beta ]", self.log_lines()[1])

    def test_remove_stops_a_running_service_first(self):
        self.install()
        self.start()
        r = session().run([self.exe, "-remove"], timeout=120)
        self.assertRegex(r.stdout, r"^Stopping ROVAN\.\.*\nROVAN stopped\.\nROVAN removed\.\n$")
        self.assertTrue(session().wait_for(lambda: state() is None, 20))
        self.assertTrue(session().wait_for(lambda: len(self.log_lines()) >= 2, 20))
        self.assertEqual("QOR end [1]", self.log_lines()[1])

    def test_a_refused_start_leaves_an_error_event_and_its_code(self):
        self.install()
        # 21 characters of prefix and 1003 of parameters do not fit 1024 bytes
        session().reg_add(SERVICE_KEY + r"\Parameters", "AppParameters", "p" * 1003)
        session().run(["sc", "start", "ROVAN"])
        self.assertTrue(wait_state(STOPPED))
        out = session().run(["sc", "query", "ROVAN"]).stdout
        self.assertRegex(out, r"WIN32_EXIT_CODE\s*:\s*122\b")
        self.assertEqual([], self.log_lines())  # never started with a cut line
        events = lambda: session().services_log.read_text(errors="replace")
        self.assertTrue(session().wait_for(lambda: 'L"Kernel command line too long."' in events(), 10))
        self.assertIn('L"ROVAN error: 122"', events())

    def test_debug_runs_until_another_process_sets_servicestop(self):
        self.install()  # so that the working directory is the service folder
        s = session()
        # Console text into a file: the kernel inherits the program's output
        # and keeps a pipe open after the program has ended.
        out_file = s.artifacts / "debug-stdout.txt"
        with open(out_file, "w") as out:
            p = subprocess.Popen(["wine", self.exe, "-debug", "x", "y"], env=s.env, stdout=out,
                                 stderr=subprocess.DEVNULL)
        try:
            self.assertTrue(s.wait_for(lambda: self.log_lines(), 30), "the kernel did not start")
            self.assertIsNone(p.poll())
            self.assertEqual(0, s.run([s.program("setevent.exe"), "SERVICESTOP"]).returncode)
            p.wait(timeout=30)
        finally:
            if p.poll() is None:
                p.kill()
        out = out_file.read_text(errors="replace").replace("\r\n", "\n")
        self.assertEqual(0, p.returncode)
        folder = self.exe.rsplit("\\", 1)[0]
        self.assertRegex(out, r"^Debugging ROVAN \(CTRL-C exits\)\n"
                              r"Service Start: argc 4 argv \[[^]]*service\.exe\] \[-debug\] \[x\] \[y\]\n"
                              r"About to exec: cmd \[rundll32 qor\.dll,QOR x y \] dir \["
                              + re.escape(folder) + r"\]\n$")
        self.assertEqual([f"QOR start [x y ] dir [{folder}]"], self.log_lines())  # ROVANSTOP not set

    def test_remove_without_the_service_prints_the_system_text(self):
        r = session().run([self.exe, "-remove"])
        # Wine's own text for ERROR_SERVICE_DOES_NOT_EXIST
        self.assertEqual("OpenService failed - Service does not exist. (0x424)\n", r.stdout)
        self.assertEqual(0, r.returncode)

    def test_console_start_prints_usage_and_logs_the_dispatcher_failure(self):
        r = session().run([self.exe], env={"WINEDEBUG": "+eventlog"})
        self.assertTrue(r.stdout.startswith("ROVAN -install          to install the service\n"), r.stdout)
        self.assertTrue(r.stdout.endswith("This may take several seconds.  Please wait.\n"), r.stdout)
        self.assertIn('L"ROVAN error: 1063"', r.stderr)
        self.assertIn('L"StartServiceCtrlDispatcher failed."', r.stderr)


class ServiceInFolderWithBlankTest(ServiceTest):
    """Installed below a folder with a blank: registered in quotes, and the
    kernel still runs in the service's folder."""
    folder_name = "Rovan Service"

    def test_install_registers_the_path_and_a_second_install_fails(self):
        self.install()
        self.assertEqual(f'"{self.exe}"', session().reg_query(SERVICE_KEY, "ImagePath"))

    def test_started_without_parameters_the_kernel_gets_1_in_the_service_folder(self):
        super().test_started_without_parameters_the_kernel_gets_1_in_the_service_folder()

    # the other cases do not depend on the folder
    test_app_parameters_reach_the_kernel_unchanged = None
    test_start_parameters_reach_the_kernel_each_followed_by_a_blank = None
    test_remove_stops_a_running_service_first = None
    test_a_refused_start_leaves_an_error_event_and_its_code = None
    test_debug_runs_until_another_process_sets_servicestop = None
    test_remove_without_the_service_prints_the_system_text = None
    test_console_start_prints_usage_and_logs_the_dispatcher_failure = None


if __name__ == "__main__":
    unittest.main()
