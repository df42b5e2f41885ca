#!/usr/bin/env python3
"""Refreshes the README's pictures: the SETUP dialog, the HELP page and the
log after an install, taken under Wine from the real programs and cut to the
window, into docs/images/.

    scripts/screenshots.py [--build build/win64]

The programs must be built (scripts/run.sh or cmake --build --preset win64)."""

import argparse
import shutil
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "wine"))
sys.path.insert(0, str(ROOT / "scripts"))
import harness  # noqa: E402
from main_job import IDOK, KERNEL_BOX, SETUP, MainJob  # noqa: E402

HELP = ("#32770", "ROVAN Setup")
ID_HELP = 102
OUT = ROOT / "docs" / "images"


def cut(s, job, window, name, margin=8):
    """The screen cut to the window's rectangle (and a small margin)."""
    r = job.drive("rect", *window)
    left, top, right, bottom = (int(v) for v in r.stdout.split())
    time.sleep(0.7)  # painted
    full = s.screenshot(s.artifacts / f"full-{name}")
    out = OUT / name
    x, y = max(left - margin, 0), max(top - margin, 0)
    w, h = right - left + 2 * margin, bottom - top + 2 * margin
    with open(out, "wb") as f:
        png = subprocess.Popen(["pngtopnm", str(full)], stdout=subprocess.PIPE)
        part = subprocess.Popen(["pnmcut", str(x), str(y), str(w), str(h)], stdin=png.stdout,
                                stdout=subprocess.PIPE)
        subprocess.run(["pnmtopng", "-compression", "9"], stdin=part.stdout, stdout=f, check=True,
                       stderr=subprocess.DEVNULL)
    print(f"{out.relative_to(ROOT)}: {w}x{h}, {out.stat().st_size} bytes")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=str(ROOT / "build" / "win64"))
    args = ap.parse_args()
    OUT.mkdir(parents=True, exist_ok=True)
    s = harness.WineSession(Path(args.build))
    try:
        job = MainJob(s)
        shutil.rmtree(job.dist, ignore_errors=True)
        shutil.copytree(s.dist(), job.dist)
        proc = s.spawn([job.dist / "setup.exe"], cwd=job.dist)
        job.drive("wait", *SETUP)
        cut(s, job, SETUP, "setup.png")
        # HELP has the dialog class and the same caption; SETUP's own class
        # keeps the two apart.
        job.drive("click", *SETUP, ID_HELP)
        job.s.wait_for(lambda: job.drive("rect", *HELP).stdout.split() != job.drive("rect", *SETUP).stdout.split(), 10)
        cut(s, job, HELP, "help.png")
        job.drive("click", *HELP, IDOK)
        # With the packet driver present the log lists the TCP/IP bindings.
        s.reg_add(r"HKLM\SYSTEM\CurrentControlSet\Services\Quibex")
        s.reg_add(r"HKLM\SYSTEM\CurrentControlSet\Services\Tcpip\Linkage", "Bind",
                  r"\Device\QBXTAP0\0\Device\NE20001", "REG_MULTI_SZ")
        job.drive("click", *SETUP, IDOK)
        if job.drive("text", *KERNEL_BOX, wait_ms=9000).returncode == 0:
            job.drive("click", *KERNEL_BOX, 2)
        job.wait_log("ROVAN Setup completed.", 30)
        cut(s, job, SETUP, "setup-log.png")
        job.drive("click", *SETUP, IDOK)
        proc.wait(timeout=30)
    finally:
        s.close()


if __name__ == "__main__":
    main()
