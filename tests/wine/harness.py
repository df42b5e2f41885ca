"""One Wine session for the end-to-end tests: a fresh prefix inside the build
tree, Xvfb for the dialogs, and helpers to run programs, read and write the
registry and take screenshots. The runner (run.py) opens the session, runs
every test in it, and always closes it: wineserver and Xvfb are ended by their
own ids, never by name, so nothing else on the machine is touched."""

import os
import fcntl
import re
import shutil
import signal
import subprocess
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]

_session = None


def session():
    """The session that run.py opened for this test run."""
    if _session is None:
        raise RuntimeError("no Wine session: run the tests through tests/wine/run.py")
    return _session


def _log(msg):
    print(f"[wine] {msg}", flush=True)


class WineSession:
    # Settings made once in the template prefix. The virtual desktop draws
    # title bars without a window manager, so screenshots look like Windows.
    TEMPLATE_REG = [
        (r"HKCU\Software\Wine\Explorer", "Desktop", "Default"),
        (r"HKCU\Software\Wine\Explorer\Desktops", "Default", "1024x768"),
    ]

    def __init__(self, build_dir, arch="win64", display=True):
        self.arch = arch
        self.build = Path(build_dir).resolve()
        self.work = self.build / "wine"
        self.prefix = self.work / "prefix"
        self.drive_c = self.prefix / "drive_c"
        self.artifacts = self.work / "artifacts"
        self.services_log = self.artifacts / "wine-services.log"
        self._xvfb = None
        self._fbdir = self.work / "xvfb"
        self._programs = {}
        self.env = dict(os.environ)
        self.env.update(
            WINEPREFIX=str(self.prefix),
            WINEDEBUG="-all",
            WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d",
            WINEARCH="win64",
            LANG="C.UTF-8",
        )
        self.env.pop("WINESERVER", None)
        self.work.mkdir(parents=True, exist_ok=True)
        self._make_prefix()
        if display:
            self._start_xvfb()
        else:
            self.env.pop("DISPLAY", None)
        self._start_wineserver()

    # ----- life cycle -------------------------------------------------------

    def _template(self):
        # The template is shared by every build folder: making it is the
        # slowest step (about 20 s), copying it takes a few seconds.
        # A prefix made before the 32-bit Wine was installed lacks its half.
        kind = "wow64" if Path("/usr/lib/i386-linux-gnu/wine").exists() else "64"
        return ROOT / "build" / f"wine-template-{kind}" / "prefix"

    def _make_prefix(self):
        template = self._template()
        template.parent.parent.mkdir(parents=True, exist_ok=True)
        with open(template.parent.parent / "wine-template.lock", "w") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)  # sessions started side by side share one template
            self._make_template(template)
        shutil.rmtree(self.prefix, ignore_errors=True)
        shutil.rmtree(self.artifacts, ignore_errors=True)
        self.artifacts.mkdir(parents=True)
        subprocess.run(["cp", "-a", str(template), str(self.prefix)], check=True)

    def _make_template(self, template):
        if not (template / "system.reg").exists():
            _log(f"creating the template prefix {template}")
            shutil.rmtree(template.parent, ignore_errors=True)
            template.parent.mkdir(parents=True)
            env = dict(self.env, WINEPREFIX=str(template))
            env.pop("DISPLAY", None)
            subprocess.run(["wineboot", "-i"], env=env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=300)
            for key, name, data in self.TEMPLATE_REG:
                subprocess.run(["wine", "reg", "add", key, "/v", name, "/d", data, "/f"], env=env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
            subprocess.run(["wineserver", "-k"], env=env, timeout=60)
            subprocess.run(["wineserver", "-w"], env=env, timeout=120)

    def _start_xvfb(self):
        shutil.rmtree(self._fbdir, ignore_errors=True)
        self._fbdir.mkdir(parents=True)
        read_fd, write_fd = os.pipe()
        self._xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
             "-fbdir", str(self._fbdir)],
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            start_new_session=True)
        os.close(write_fd)
        number = b""
        deadline = time.time() + 30
        while not number.endswith(b"\n") and time.time() < deadline:
            chunk = os.read(read_fd, 16)
            if not chunk:
                break
            number += chunk
        os.close(read_fd)
        if not number.strip():
            raise RuntimeError("Xvfb did not start")
        self.env["DISPLAY"] = ":" + number.decode().strip()
        _log(f"Xvfb on display {self.env['DISPLAY']}")

    def _start_wineserver(self):
        subprocess.run(["wineserver", "-p"], env=self.env, timeout=60)
        # The first wine call of the session starts services.exe and the
        # other system processes; their diagnostics go to this call's stderr.
        # With +eventlog that includes the strings of every event reported.
        with open(self.services_log, "w") as err:
            env = dict(self.env, WINEDEBUG="+eventlog")
            subprocess.run(["wine", "cmd", "/c", "exit"], env=env, stdout=subprocess.DEVNULL,
                           stderr=err, timeout=300)

    def close(self):
        try:
            subprocess.run(["wineserver", "-k"], env=self.env, timeout=60,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            subprocess.run(["wineserver", "-w"], env=self.env, timeout=60,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        except subprocess.TimeoutExpired:
            _log("wineserver did not end in time")
        if self._xvfb is not None:
            try:
                os.killpg(self._xvfb.pid, signal.SIGTERM)
                self._xvfb.wait(timeout=10)
            except (ProcessLookupError, subprocess.TimeoutExpired):
                try:
                    os.killpg(self._xvfb.pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
            self._xvfb = None

    # ----- programs ---------------------------------------------------------

    def program(self, name):
        """Host path of a program built in this session's build folder."""
        if name not in self._programs:
            skip = (self.work, self.dist())
            found = [p for p in self.build.rglob(name)
                     if "CMakeFiles" not in p.parts and not any(p.is_relative_to(d) for d in skip)]
            if not found:
                raise FileNotFoundError(f"{name} is not built in {self.build}")
            self._programs[name] = min(found, key=lambda p: len(p.parts))
        return self._programs[name]

    def dist(self):
        """The distribution folder that the build assembles."""
        return self.build / "dist"

    def ui(self, *args, wait_ms=20000):
        """uidriver.exe (tests/wine/uidriver.cpp) with its wait bounded by
        wait_ms; the CompletedProcess."""
        return self.run([self.program("uidriver.exe"), "-t", str(wait_ms)] + [str(a) for a in args],
                        timeout=wait_ms / 1000 + 30)

    def _command(self, args):
        return ["wine"] + [str(a) for a in args]

    def run(self, args, cwd=None, timeout=60, env=None, input=None):
        """Run a Windows program to its end; stdout and stderr as text."""
        return subprocess.run(self._command(args), cwd=cwd, env=dict(self.env, **(env or {})),
                              input=input, capture_output=True, text=True, errors="replace",
                              timeout=timeout)

    def spawn(self, args, cwd=None, env=None):
        """Start a Windows program and return at once."""
        return subprocess.Popen(self._command(args), cwd=cwd, env=dict(self.env, **(env or {})),
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                                errors="replace")

    # ----- paths ------------------------------------------------------------

    def winpath(self, host_path):
        p = Path(host_path).resolve()
        try:
            rel = p.relative_to(self.drive_c.resolve())
            return "C:\\" + str(rel).replace("/", "\\") if str(rel) != "." else "C:\\"
        except ValueError:
            return "Z:" + str(p).replace("/", "\\")

    def hostpath(self, win_path):
        drive, rest = win_path[0].lower(), win_path[2:].lstrip("\\")
        base = self.drive_c if drive == "c" else Path("/")
        return base.joinpath(*[x for x in rest.split("\\") if x])

    # ----- registry ---------------------------------------------------------

    def reg_add(self, key, name=None, data=None, type="REG_SZ"):
        args = ["reg", "add", key]
        if name is not None:
            args += ["/v", name, "/t", type]
            if data is not None:
                args += ["/d", data]
        args += ["/f", "/reg:64"]
        r = self.run(args)
        if r.returncode != 0:
            raise RuntimeError(f"reg add {key} {name} failed: {r.stdout}{r.stderr}")

    def reg_query(self, key, name):
        r = self.run(["reg", "query", key, "/v", name, "/reg:64"])
        if r.returncode != 0:
            return None
        for line in r.stdout.splitlines():
            m = re.match(r"^\s+(.*?)\s{4}(REG_\w+)\s{4}(.*)$", line)
            if m and m.group(1).lower() == name.lower():
                return m.group(3)
            m = re.match(r"^\s+(.*?)\s{4}(REG_\w+)\s*$", line)
            if m and m.group(1).lower() == name.lower():
                return ""
        return None

    def reg_delete(self, key, name=None):
        args = ["reg", "delete", key] + (["/v", name] if name else []) + ["/f", "/reg:64"]
        self.run(args)

    # ----- waiting and pictures ---------------------------------------------

    @staticmethod
    def wait_for(predicate, timeout, interval=0.2):
        """Poll until predicate() is true; its last value (false on time-out)."""
        deadline = time.time() + timeout
        while True:
            value = predicate()
            if value or time.time() >= deadline:
                return value
            time.sleep(interval)

    def screenshot(self, png_path):
        """The whole screen, message boxes included, as a PNG."""
        frame = self._fbdir / "Xvfb_screen0"
        png_path = Path(png_path)
        png_path.parent.mkdir(parents=True, exist_ok=True)
        with open(png_path, "wb") as out:
            conv = subprocess.Popen(["xwdtopnm", str(frame)], stdout=subprocess.PIPE,
                                    stderr=subprocess.DEVNULL)
            subprocess.run(["pnmtopng"], stdin=conv.stdout, stdout=out, stderr=subprocess.DEVNULL,
                           check=True, timeout=60)
            conv.wait(timeout=60)
        return png_path
