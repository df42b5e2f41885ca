"""A soak of service.exe under Wine's service control manager: 50 start/stop
cycles, by turns with `sc start`/`sc stop` and `net start`/`net stop`, from a
folder of its own. At the end every kernel has ended (qor.log holds 50 start
and 50 end lines, each start followed by its own end), no rundll32.exe or
service.exe is left in the prefix (by `wmic process`: Wine's tasklist prints
nothing), the service is stopped and "-remove" removes it.

    tests/wine/run.py --arch win64 -k soak"""

import time
import unittest

import test_service
from harness import session
from test_service import RUNNING, STOPPED, state

CYCLES = 50


def process_names():
    """Image names of every process in the prefix, lower case."""
    r = session().run(["wmic", "process", "get", "name"])
    # wmic writes UTF-16; the harness reads its output as UTF-8
    text = r.stdout.replace("\x00", "").replace("\ufffd", "")
    names = [line.strip().lower() for line in text.splitlines()[1:] if line.strip()]
    return names


class Soak(test_service.ServiceFolder):
    folder_name = "RovanSoak"

    def count(self, word):
        return sum(line.startswith(f"QOR {word} ") for line in self.log_lines())

    def test_fifty_start_stop_cycles_leave_every_kernel_ended_and_nothing_running(self):
        s = session()
        r = s.run([self.exe, "-install"])
        self.assertEqual("ROVAN installed.\n", r.stdout)
        expected = []
        started = time.time()
        for cycle in range(CYCLES):
            if cycle % 2 == 0:
                # sc returns while the start is pending; the cycle's number
                # marks its kernel in the log
                s.run(["sc", "start", "ROVAN", f"c{cycle}"])
                self.assertTrue(s.wait_for(lambda: state() == RUNNING, 20), f"cycle {cycle}: not running")
                expected.append(f"c{cycle} ")
            else:
                r = s.run(["net", "start", "ROVAN"])
                self.assertEqual(0, r.returncode, f"cycle {cycle}: {r.stdout}{r.stderr}")
                expected.append("1")
            self.assertTrue(s.wait_for(lambda: self.count("start") == cycle + 1, 20),
                            f"cycle {cycle}: the kernel did not start: {self.log_lines()[-3:]}")
            if cycle == 0:  # the listing at the end would see them
                self.assertLessEqual({"service.exe", "rundll32.exe"}, set(process_names()))
            if cycle % 2 == 0:
                s.run(["sc", "stop", "ROVAN"])
            else:
                r = s.run(["net", "stop", "ROVAN"])
                self.assertEqual(0, r.returncode, f"cycle {cycle}: {r.stdout}{r.stderr}")
            self.assertTrue(s.wait_for(lambda: state() == STOPPED, 20), f"cycle {cycle}: not stopped")
            # Each cycle waits for its kernel's end: a start that comes while
            # the last kernel is still ending opens ROVANSTOP still set, and
            # its own kernel ends at once (seen with net start right after
            # net stop).
            self.assertTrue(s.wait_for(lambda: self.count("end") == cycle + 1, 20),
                            f"cycle {cycle}: the kernel did not end: {self.log_lines()[-3:]}")
        print(f"\n  {CYCLES} cycles in {time.time() - started:.1f} s", end=" ", flush=True)

        folder = self.exe.rsplit("\\", 1)[0]
        paired = []
        for params in expected:
            paired += [f"QOR start [{params}] dir [{folder}]", f"QOR end [{params}]"]
        self.assertEqual(paired, self.log_lines())

        # the service process may still be on its way out after STOPPED
        ours = {"service.exe", "rundll32.exe"}
        s.wait_for(lambda: not ours & set(process_names()), 10, interval=0.5)
        self.assertEqual(set(), ours & set(process_names()))
        self.assertEqual(STOPPED, state())
        r = s.run([self.exe, "-remove"], timeout=120)
        self.assertEqual("ROVAN removed.\n", r.stdout)
        self.assertTrue(s.wait_for(lambda: state() is None, 20))


if __name__ == "__main__":
    unittest.main()
