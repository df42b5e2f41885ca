#!/usr/bin/env bash
# Builds the distribution and runs the main job under Wine: install with
# setup.exe, register, start, stop and remove the service, uninstall.
#   scripts/run.sh [win64|win32]
set -euo pipefail
cd "$(dirname "$0")/.."
arch=${1:-win64}
if [ "$arch" = win32 ]; then bash scripts/install-deps.sh --wine32; else bash scripts/install-deps.sh; fi
cmake --preset "$arch" > /dev/null
cmake --build --preset "$arch" -j 2
echo "distribution: build/$arch/dist"
ls -l "build/$arch/dist"
exec python3 scripts/main_job.py --arch "$arch" --build "build/$arch"
