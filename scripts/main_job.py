#!/usr/bin/env python3
"""The main job under Wine, as a user would do it on Windows: install with
setup.exe from a copy of the distribution, register the installed service,
start it, look at the kernel's log, stop and remove it, uninstall. Every step
says what it saw; the first step that goes wrong ends the job with exit 1.

    scripts/main_job.py [--arch win64|win32] [--build build/win64]

Run it through scripts/run.sh, which builds the distribution first."""

import argparse
import shutil
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "wine"))
import harness  # noqa: E402

SETUP = ("SetupClass", "ROVAN Setup")
KERNEL_BOX = ("#32770", "ROVAN Kernel")
IDOK, IDCANCEL, ID_LOG = 1, 2, 101


class JobFailed(Exception):
    pass


def say(msg):
    print(msg, flush=True)


class MainJob:
    def __init__(self, s):
        self.s = s
        self.dist = s.drive_c / "DIST"
        self.target = s.drive_c / "ROVAN"

    def drive(self, *args, wait_ms=20000):
        return self.s.ui(*args, wait_ms=wait_ms)

    def log_lines(self):
        r = self.drive("list", *SETUP, ID_LOG)
        return r.stdout.split("\n")[:-1] if r.returncode == 0 else []

    def wait_log(self, last, timeout):
        lines = self.s.wait_for(lambda: (lambda l: l if l and l[-1] == last else None)(self.log_lines()),
                                timeout, interval=0.5)
        if not lines:
            raise JobFailed(f"the setup log did not end with {last!r}: {self.log_lines()}")
        return lines

    def setup(self, args, last_line, picture):
        proc = self.s.spawn([self.dist / "setup.exe"] + args, cwd=self.dist)
        try:
            if self.drive("wait", *SETUP).returncode != 0:
                raise JobFailed("the SETUP dialog did not open")
            self.drive("click", *SETUP, IDOK)
            # Without the packet driver the job offers the Control Panel
            # network applet (after five seconds on NT); Wine has none, so
            # the prompt is declined.
            box = self.drive("text", *KERNEL_BOX, wait_ms=9000)
            if box.returncode == 0:
                say("  prompt: " + box.stdout.strip().replace("\n", " / "))
                self.drive("click", *KERNEL_BOX, IDCANCEL)
            lines = self.wait_log(last_line, 30)
            for line in lines:
                say("  | " + line)
            time.sleep(0.5)
            say(f"  screenshot: {self.s.screenshot(self.s.artifacts / picture)}")
            self.drive("click", *SETUP, IDOK)
            proc.wait(timeout=30)
        finally:
            if proc.poll() is None:
                proc.kill()
                proc.communicate(timeout=30)

    def service(self, *args):
        r = self.s.run([self.target / "service.exe"] + list(args), cwd=self.target, timeout=120)
        for line in r.stdout.splitlines():
            say("  > " + line)
        return r

    def state(self):
        out = self.s.run(["sc", "query", "ROVAN"]).stdout
        for name in ("STOPPED", "START_PENDING", "STOP_PENDING", "RUNNING"):
            if name in out:
                return name
        return "UNKNOWN"

    def wait_state(self, wanted, timeout=30):
        if not self.s.wait_for(lambda: self.state() == wanted, timeout, interval=0.3):
            raise JobFailed(f"ROVAN did not reach {wanted} (it is {self.state()})")
        say(f"  ROVAN is {wanted}")

    def kernel_log(self):
        log = self.target / "qor.log"
        return log.read_text(errors="replace").splitlines() if log.exists() else []

    def run(self):
        say(f"1. distribution copied to {self.s.winpath(self.dist)}")
        shutil.rmtree(self.dist, ignore_errors=True)
        shutil.copytree(self.s.dist(), self.dist)

        say("2. setup.exe: install into C:\\ROVAN")
        self.setup([], "ROVAN Setup completed.", "main-install.png")
        installed = sorted(p.name for p in self.target.iterdir()) if self.target.exists() else []
        say(f"  C:\\ROVAN holds: {', '.join(installed)}")
        if "service.exe" not in installed or "qor.dll" not in installed:
            raise JobFailed("the INF installer did not copy the programs")

        say("3. service.exe -install")
        if "ROVAN installed." not in self.service("-install").stdout:
            raise JobFailed("the service was not installed")

        say("4. sc start ROVAN")
        self.s.run(["sc", "start", "ROVAN"])
        self.wait_state("RUNNING")
        if not self.s.wait_for(lambda: any(l.startswith("QOR start") for l in self.kernel_log()), 20):
            raise JobFailed("the kernel did not start")
        for line in self.kernel_log():
            say("  qor.log: " + line)

        say("5. sc stop ROVAN")
        self.s.run(["sc", "stop", "ROVAN"])
        self.wait_state("STOPPED")
        if not self.s.wait_for(lambda: any(l.startswith("QOR end") for l in self.kernel_log()), 20):
            raise JobFailed("the kernel did not end")
        say("  qor.log: " + self.kernel_log()[-1])

        say("6. service.exe -remove")
        if "ROVAN removed." not in self.service("-remove").stdout:
            raise JobFailed("the service was not removed")
        (self.target / "qor.log").unlink(missing_ok=True)

        say("7. setup.exe -u: uninstall")
        self.setup(["-u"], "ROVAN Uninstall completed.", "main-uninstall.png")
        left = sorted(p.name for p in self.target.iterdir()) if self.target.exists() else []
        if any(n in left for n in ("service.exe", "qor.dll")):
            raise JobFailed(f"the uninstall left {left}")
        say(f"  C:\\ROVAN holds: {', '.join(left) or 'nothing'}")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--arch", default="win64", choices=["win64", "win32"])
    ap.add_argument("--build")
    args = ap.parse_args()
    build = Path(args.build or ROOT / "build" / args.arch)
    started = time.time()
    s = harness.WineSession(build, arch=args.arch)
    try:
        MainJob(s).run()
        say(f"main job done in {time.time() - started:.1f} s; pictures in {s.artifacts}")
        return 0
    except (JobFailed, OSError, RuntimeError) as e:
        say(f"main job FAILED: {e}")
        return 1
    finally:
        s.close()


if __name__ == "__main__":
    sys.exit(main())
