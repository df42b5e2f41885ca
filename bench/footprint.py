#!/usr/bin/env python3
"""Footprint of the shipped binaries, per architecture: size (and its ratio to
the smallest program of the same kind built with the same toolchain and flags,
in this run), the DLLs imported, and whether our own object code references
any heap allocator at all.

    bench/footprint.py [build/win64 build/win32]

The builds must exist (scripts/run.sh or cmake --build --preset win64)."""
import re
import subprocess
import sys
import tempfile
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
HEAP = re.compile(r"^(malloc|calloc|realloc|free|_Zn[wa][jmy].*|_Zd[la]P.*|HeapAlloc|HeapReAlloc|"
                  r"LocalAlloc|GlobalAlloc|VirtualAlloc|strdup|_strdup)(@[0-9]+)?$")
FLAGS = ["-Os", "-ffunction-sections", "-fdata-sections", "-fno-exceptions", "-fno-rtti", "-static",
         "-static-libgcc", "-static-libstdc++", "-s", "-Wl,--gc-sections"]


def tool(arch, name):
    return ("x86_64" if arch == "win64" else "i686") + "-w64-mingw32-" + name


def find(build, name):
    found = [p for p in build.rglob(name) if "CMakeFiles" not in p.parts and "wine" not in p.parts
             and "dist" not in p.parts]
    return min(found, key=lambda p: len(p.parts)) if found else None


def reference(arch, source, gui, out):
    cmd = [tool(arch, "g++-posix"), str(source), "-o", str(out)] + FLAGS + (["-mwindows"] if gui else [])
    subprocess.run(cmd, check=True)
    return out.stat().st_size


def imports(arch, path):
    out = subprocess.run([tool(arch, "objdump"), "-p", str(path)], capture_output=True, text=True).stdout
    return sorted({m for m in re.findall(r"DLL Name: (\S+)", out)})


def heap_refs(arch, objects):
    refs = set()
    for obj in objects:
        out = subprocess.run([tool(arch, "nm"), "-u", str(obj)], capture_output=True, text=True).stdout
        for line in out.splitlines():
            sym = line.split()[-1]
            # i686 C symbols carry one leading underscore.
            plain = sym[1:] if arch == "win32" and sym.startswith("_") else sym
            if HEAP.match(plain) or sym.startswith("__imp_") and HEAP.match(sym[6:].lstrip("_")):
                refs.add(sym)
    return sorted(refs)


def main():
    builds = [Path(b) for b in sys.argv[1:]] or [ROOT / "build" / "win64", ROOT / "build" / "win32"]
    print("| binary | arch | bytes | reference | ratio | imports | heap allocators referenced by our code |")
    print("|---|---|---|---|---|---|---|")
    with tempfile.TemporaryDirectory() as tmp:
        for build in builds:
            arch = "win32" if "32" in build.name else "win64"
            gui = reference(arch, ROOT / "bench/ref/minimal_gui.cpp", True, Path(tmp) / f"gui-{arch}.exe")
            con = reference(arch, ROOT / "bench/ref/minimal_console.cpp", False, Path(tmp) / f"con-{arch}.exe")
            ours = {
                "setup.exe": (gui, [build / "installer"]),
                "service.exe": (con, [build / "service"]),
                "qor.dll": (con, [build / "kernel"]),
            }
            for name, (ref, dirs) in ours.items():
                path = find(build, name)
                if path is None:
                    print(f"| {name} | {arch} | not built | | | | |")
                    continue
                objects = [o for d in dirs for o in d.rglob("*.obj")]
                size = path.stat().st_size
                heap = heap_refs(arch, objects)
                print(f"| {name} | {arch} | {size} | {ref} | {size / ref:.2f} | {', '.join(imports(arch, path))} "
                      f"| {', '.join(heap) or 'none'} ({len(objects)} objects) |")


if __name__ == "__main__":
    main()
