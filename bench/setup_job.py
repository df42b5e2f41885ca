#!/usr/bin/env python3
"""Times of the installer's job and of its network report, each against a
reference measured in the same go. Nothing is asserted.

    bench/setup_job.py [--build build/win64] [--cycles 5] [--runs 50] [--no-wine]

1. The job under Wine, from the first OK to the completion line, without the
   five-second wait that an NT install without the packet driver makes: an
   install with the driver present (it lists the bindings) and an uninstall
   with the driver absent, CYCLES times each, from a copy of the distribution
   folder. jobtimer.exe, run inside the prefix, posts the OK, polls the log
   and also times two references: one bare start of rundll32, not waited
   for, the process start that the job makes; and the bare
   `RunDll32 setupapi.dll,InstallHinfSection` run of the same INF and
   section, from its start to its end.
2. The report (GetConf, Windows 95 family) over Enum trees of 1,000, 10,000
   and 20,000 keys, against a bare walk of the same tree (open and enumerate
   every key, read no value), RUNS runs each: on the host (report_walk, built
   here with -O2 from the installer's sources and our Win32 layer) and under
   Wine on the real registry (the same source built with mingw).

Printed: medians in milliseconds and the ratios."""

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
QUIBEX = r"HKLM\SYSTEM\CurrentControlSet\Services\Quibex"
LINKAGE = r"HKLM\SYSTEM\CurrentControlSet\Services\Tcpip\Linkage"


SIZES = (1000, 10000, 20000)


def report_bench(runs):
    out = ROOT / "build" / "bench-host"
    out.mkdir(parents=True, exist_ok=True)
    sources = [HERE / "report_walk.cpp"]
    sources += [ROOT / "installer" / f"{n}.cpp" for n in ("dialog", "startup", "job", "probe", "report")]
    sources += sorted((ROOT / "win32" / "src").glob("*.cpp"))
    exe = out / "report_walk"
    subprocess.run(["g++", "-std=c++17", "-O2", "-I", str(ROOT / "installer"), "-I", str(ROOT / "win32" / "include"),
                    "-o", str(exe)] + [str(s) for s in sources] + ["-lpthread"], check=True)
    print("Report over the Enum tree (host, -O2):")
    for keys in SIZES:
        r = subprocess.run([str(exe), str(runs), str(keys)], capture_output=True, text=True, check=True)
        for line in r.stdout.splitlines():
            print("  " + line)


def report_bench_wine(build, arch, runs):
    tools = build / "bench"
    tools.mkdir(parents=True, exist_ok=True)
    core = build / "installer" / "libsetup_core.a"
    exe = tools / "report_walk.exe"
    subprocess.run([CXX[arch], "-std=c++17", "-O2", "-static", "-s", "-I", str(ROOT / "installer"), "-o", str(exe),
                    str(HERE / "report_walk.cpp"), str(core), "-lcomctl32", "-luser32", "-ladvapi32"], check=True)
    s = harness.WineSession(build, arch=arch, display=False)
    try:
        shutil.copy(exe, s.drive_c / "report_walk.exe")
        print(f"Report over the Enum tree (Wine {arch}, the real registry):")
        for keys in SIZES:
            r = s.run(["C:\\report_walk.exe", str(runs), str(keys)], timeout=900)
            for line in r.stdout.splitlines():
                print("  " + line)
    finally:
        s.close()


def job_bench(build, arch, cycles):
    tools = build / "bench"
    tools.mkdir(parents=True, exist_ok=True)
    subprocess.run([CXX[arch], "-O2", "-static", "-s", "-o", str(tools / "jobtimer.exe"), str(HERE / "jobtimer.cpp")],
                   check=True)
    s = harness.WineSession(build, arch=arch, display=True)
    times = {}
    try:
        dist = s.drive_c / "DIST"
        shutil.rmtree(dist, ignore_errors=True)
        shutil.copytree(s.dist(), dist)
        shutil.copy(tools / "jobtimer.exe", s.drive_c / "jobtimer.exe")
        driver = [s.program("uidriver.exe"), "-t", "20000"]
        for _ in range(cycles):
            for mode, args, last in (("install, driver present", [], "ROVAN Setup completed."),
                                     ("uninstall, driver absent", ["-u"], "ROVAN Uninstall completed.")):
                if args:
                    s.reg_delete(QUIBEX)
                else:
                    s.reg_add(QUIBEX)
                    s.reg_add(LINKAGE, "Bind", r"\Device\QuibexTap\0\Device\NE20001", type="REG_MULTI_SZ")
                proc = s.spawn([dist / "setup.exe"] + args, cwd=dist)
                try:
                    if s.run(driver + ["wait", "SetupClass", "ROVAN Setup"], timeout=60).returncode != 0:
                        raise SystemExit("the SETUP dialog did not open")
                    inf = ("RunDll32 setupapi.dll,InstallHinfSection Uninstallrovan 0 C:\\windows\\inf\\rovan_nt.inf"
                           if args else "RunDll32 setupapi.dll,InstallHinfSection Installrovan 0 C:\\DIST\\rovan_nt.inf")
                    r = s.run(["C:\\jobtimer.exe", last, inf], timeout=120)
                    if r.returncode != 0:
                        raise SystemExit(f"jobtimer: {r.stdout}{r.stderr}")
                    for line in r.stdout.splitlines():
                        what, ms = line.split()
                        times.setdefault((mode, what), []).append(float(ms))
                    s.run(driver + ["click", "SetupClass", "ROVAN Setup", "1"], timeout=60)
                    proc.wait(timeout=30)
                finally:
                    if proc.poll() is None:
                        proc.kill()
                        proc.communicate(timeout=30)
        s.reg_delete(LINKAGE)
    finally:
        s.close()
    print(f"The job under Wine ({arch}), {cycles} runs each, median milliseconds:")
    for mode in ("install, driver present", "uninstall, driver absent"):
        job = statistics.median(times[(mode, "job")])
        ref = statistics.median(times[(mode, "ref")])
        hinf = statistics.median(times[(mode, "hinf")])
        print(f"  {mode:26s} OK to completion line {job:8.1f}   bare rundll32 start {ref:6.1f} (ratio {job / ref:5.1f})"
              f"   bare InstallHinfSection run {hinf:7.1f} (ratio {job / hinf:5.2f})")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=str(ROOT / "build" / "win64"))
    ap.add_argument("--arch", default="win64", choices=sorted(CXX))
    ap.add_argument("--cycles", type=int, default=5)
    ap.add_argument("--runs", type=int, default=50)
    ap.add_argument("--no-wine", action="store_true")
    args = ap.parse_args()
    report_bench(args.runs)
    if not args.no_wine:
        report_bench_wine(Path(args.build).resolve(), args.arch, max(args.runs // 5, 5))
        job_bench(Path(args.build).resolve(), args.arch, args.cycles)


if __name__ == "__main__":
    main()
