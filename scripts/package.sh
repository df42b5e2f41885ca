#!/usr/bin/env bash
# Builds both Windows presets and makes the zips a Windows user takes away:
#   build/packages/rovan-<version>-win64.zip
#   build/packages/rovan-<version>-win32.zip
# each one folder rovan-<version>-<arch> holding setup.exe, service.exe,
# qor.dll, both INF files and readme.txt, flat as <build>/dist is.
#   scripts/package.sh
# The build folders default to those of the presets (build/win64, build/win32);
# WIN64_BUILD and WIN32_BUILD name others.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
out=build/packages
mkdir -p "$out"
for arch in win64 win32; do
  if [ "$arch" = win64 ]; then dir=${WIN64_BUILD:-build/win64}; else dir=${WIN32_BUILD:-build/win32}; fi
  cmake --preset "$arch" -B "$dir" > /dev/null
  cmake --build "$dir" -j 2
  rm -f "$dir"/rovan-*-"$arch".zip
  (cd "$dir" && cpack -G ZIP > /dev/null)
  zip=$(ls "$dir"/rovan-*-"$arch".zip)
  cp "$zip" "$out/"
done
ls -l "$out"/rovan-*.zip
