#!/usr/bin/env python3
"""Checks that every shipped Windows program imports system DLLs only, and
prints its size: what a user needs beside the program is Windows itself."""
import re
import subprocess
import sys
from pathlib import Path

SYSTEM = {"kernel32.dll", "user32.dll", "gdi32.dll", "comctl32.dll", "advapi32.dll", "msvcrt.dll",
          "shell32.dll", "ntdll.dll"}
SHIPPED = ["setup.exe", "service.exe", "qor.dll"]

passed = failed = 0
for build in sys.argv[1:]:
    build = Path(build)
    objdump = ("x86_64" if "64" in build.name else "i686") + "-w64-mingw32-objdump"
    for name in SHIPPED:
        found = [p for p in build.rglob(name) if "CMakeFiles" not in p.parts and "wine" not in p.parts]
        if not found:
            print(f"{build.name}/{name}: not built")
            failed += 1
            continue
        path = min(found, key=lambda p: len(p.parts))
        out = subprocess.run([objdump, "-p", str(path)], capture_output=True, text=True).stdout
        dlls = sorted({m.lower() for m in re.findall(r"DLL Name: (\S+)", out)})
        foreign = [d for d in dlls if d not in SYSTEM and not d.startswith("api-ms-win-")]
        status = "ok" if not foreign else "imports " + ", ".join(foreign)
        print(f"{build.name}/{name}: {path.stat().st_size} bytes; imports {', '.join(dlls)}: {status}")
        if foreign:
            failed += 1
        else:
            passed += 1
print(f"{passed} passed, {failed} failed")
sys.exit(1 if failed else 0)
