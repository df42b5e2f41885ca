#!/usr/bin/env bash
# Installs the Debian packages that the build and the tests need, and nothing
# else. Safe to run again: when every package is present it returns at once.
#   scripts/install-deps.sh          host build, cross compilers, Wine, Xvfb
#   scripts/install-deps.sh --wine32 also the 32-bit Wine (about 1 GB)
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev python3
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  wine wine64 xvfb x11-apps netpbm
)
want_wine32=0
[ "${1:-}" = "--wine32" ] && want_wine32=1

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed' || missing+=("$p")
done
if [ "$want_wine32" = 1 ] && ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'ok installed'; then
  missing+=("wine32:i386")
fi
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" = 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
if [ "$want_wine32" = 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
echo "installing: ${missing[*]}"
$sudo apt-get update -qq
$sudo apt-get install -y -qq "${missing[@]}" >/dev/null
