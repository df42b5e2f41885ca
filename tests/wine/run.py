#!/usr/bin/env python3
"""Runs the end-to-end tests under Wine in one session.

    tests/wine/run.py [--arch win64|win32] [--build DIR] [-k PATTERN] [--no-display]

The programs must be built first (cmake --build --preset win64). Every case
runs in one Wine session (one prefix, one wineserver, one Xvfb) that is always
closed at the end, also after a failure, a time-out or Ctrl+C. Screenshots and
Wine's service log are left in DIR/wine/artifacts."""

import argparse
import signal
import sys
import time
import unittest
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
import harness  # noqa: E402


class _Timeout(Exception):
    pass


def _alarm(signum, frame):
    raise _Timeout(f"the Wine suite ran out of time (signal {signum})")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--arch", default="win64", choices=["win64", "win32"])
    ap.add_argument("--build", help="build folder of that arch (default build/<arch>)")
    ap.add_argument("-k", action="append", default=[], help="only tests whose name matches")
    ap.add_argument("--pattern", default="test_*.py")
    ap.add_argument("--no-display", action="store_true")
    ap.add_argument("--limit", type=int, default=1800, help="seconds for the whole suite")
    args = ap.parse_args()
    build = Path(args.build or harness.ROOT / "build" / args.arch)

    signal.signal(signal.SIGALRM, _alarm)
    signal.signal(signal.SIGTERM, _alarm)
    signal.alarm(args.limit)
    started = time.time()
    loader = unittest.TestLoader()
    if args.k:
        loader.testNamePatterns = [f"*{k}*" for k in args.k]
    suite = loader.discover(str(HERE), pattern=args.pattern, top_level_dir=str(HERE))

    s = None
    result = None
    try:
        s = harness.WineSession(build, arch=args.arch, display=not args.no_display)
        harness._session = s
        print(f"[wine] session ready in {time.time() - started:.1f} s", flush=True)
        result = unittest.TextTestRunner(verbosity=2, stream=sys.stdout).run(suite)
    except (_Timeout, KeyboardInterrupt) as e:
        print(f"[wine] stopped: {e}", flush=True)
    finally:
        signal.alarm(0)
        if s is not None:
            s.close()

    if result is None:
        print("0 passed, 1 failed")
        return 1
    failed = len(result.failures) + len(result.errors) + len(result.unexpectedSuccesses)
    skipped = len(result.skipped)
    passed = result.testsRun - failed - skipped
    print(f"[wine] {args.arch} suite took {time.time() - started:.1f} s; artifacts in {s.artifacts}")
    print(f"{passed} passed, {failed} failed" + (f", {skipped} skipped" if skipped else ""))
    return 0 if failed == 0 and result.testsRun > 0 else 1


if __name__ == "__main__":
    sys.exit(main())
