#!/usr/bin/env bash
# Installs what the builds, tests and benchmark need on a fresh Debian machine.
set -euo pipefail

# pkg-config: CMake finds libhivex with it. dpkg-dev and file: cpack's .deb
# dependencies; man-db: the manual page checks; liblzma-dev: the tests unpack
# the Windows samples; lintian: the .deb check. libtsk-dev: disk images;
# ntfs-3g, ewf-tools, qemu-utils, fdisk (sfdisk): the images the tests make;
# parallel: the many-registries test; sleuthkit (icat): the image rows' floor;
# reglookup: an independent reader of key times, and reglookup-recover of
# deleted records; libregf-utils (regfexport): of every value's bytes.
packages=(cmake ninja-build pkg-config g++ googletest python3 clang-format
  clang libclang-rt-14-dev llvm
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64
  wine wine64 wine32:i386 dpkg-dev file man-db lintian
  libhivex-dev libhivex-bin libwin-hivex-perl libbenchmark-dev strace liblzma-dev
  libtsk-dev ntfs-3g ewf-tools qemu-utils parallel fdisk sleuthkit reglookup
  libregf-utils)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo
# 32-bit Wine runs the 32-bit hivtap.exe.
$SUDO dpkg --add-architecture i386
$SUDO apt-get update -q
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
