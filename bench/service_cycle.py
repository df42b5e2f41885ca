#!/usr/bin/env python3
"""Start and stop times of the ROVAN service under Wine, against a reference.

    bench/service_cycle.py [--build build/win64] [--cycles 20]

In one Wine session (the test harness's: a fresh prefix in the build folder),
service.exe and qor.dll are installed as the service ROVAN, and a minimal
service of this benchmark's own (refservice.cpp: reports running at once,
stopped on the stop control) as RovanRef. svccycle.exe, run inside the
prefix, then starts and stops both in turn, CYCLES times each, timing the
start request to the running report, the stop control to the stopped
report, and (ROVAN only) the stop control to the end of the kernel process,
against the reference's stop. Printed: the median of each, and ROVAN's as a ratio of the
reference's measured in the same go. Nothing is asserted."""

import argparse
import shutil
import statistics
import subprocess
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent
sys.path.insert(0, str(ROOT / "tests" / "wine"))
import harness  # noqa: E402

CXX = {"win64": "x86_64-w64-mingw32-g++-posix", "win32": "i686-w64-mingw32-g++-posix"}


def build_tools(build, arch):
    out = build / "bench"
    out.mkdir(parents=True, exist_ok=True)
    for name in ("refservice", "svccycle"):
        subprocess.run([CXX[arch], "-O2", "-static", "-s", "-o", str(out / f"{name}.exe"),
                        str(HERE / f"{name}.cpp"), "-ladvapi32"], check=True)
    return out


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=str(ROOT / "build" / "win64"))
    ap.add_argument("--arch", default="win64", choices=sorted(CXX))
    ap.add_argument("--cycles", type=int, default=20)
    args = ap.parse_args()
    build = Path(args.build).resolve()
    tools = build_tools(build, args.arch)

    s = harness.WineSession(build, arch=args.arch, display=True)
    try:
        folder = s.drive_c / "RovanBench"
        shutil.rmtree(folder, ignore_errors=True)
        folder.mkdir(parents=True)
        for name in ("service.exe", "qor.dll"):
            shutil.copy(s.program(name), folder / name)
        for name in ("refservice.exe", "svccycle.exe"):
            shutil.copy(tools / name, folder / name)
        for exe in ("service.exe", "refservice.exe"):
            r = s.run([s.winpath(folder / exe), "-install"])
            if r.returncode != 0 or "installed" not in r.stdout:
                raise SystemExit(f"{exe} -install: {r.stdout}{r.stderr}")
        r = s.run([s.winpath(folder / "svccycle.exe"), str(args.cycles), "ROVAN", "RovanRef"],
                  cwd=str(folder), timeout=600)
        if r.returncode != 0:
            raise SystemExit(f"svccycle: {r.stdout}{r.stderr}")
        times = {}
        for line in r.stdout.splitlines():
            name, what, ms = line.split()
            times.setdefault((name, what), []).append(float(ms))
        log = folder / "qor.log"
        ended = lambda: log.read_text(errors="replace").count("QOR end [") if log.exists() else 0
        s.wait_for(lambda: ended() >= args.cycles, 20)
        kernels = ended()
        s.run([s.winpath(folder / "service.exe"), "-remove"])
        s.run(["sc", "delete", "RovanRef"])
    finally:
        s.close()

    print(f"{args.arch}, {args.cycles} cycles each, median milliseconds "
          f"(ROVAN kernels started and ended: {kernels})")
    for what, label in (("start", "start request to RUNNING"), ("stop", "stop control to STOPPED"),
                        ("stopkernel", "stop to STOPPED + kernel end")):
        ours = statistics.median(times[("ROVAN", what)])
        ref = statistics.median(times[("RovanRef", "stop" if what == "stopkernel" else what)])
        print(f"  {label:26s} ROVAN {ours:8.1f}   reference {ref:8.1f}   ratio {ours / ref:6.2f}")


if __name__ == "__main__":
    main()
