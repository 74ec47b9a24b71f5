#!/usr/bin/env bash
# Builds build/native/hivtap, build/win64/hivtap.exe and build/win32/hivtap.exe
# with their tests.
set -euo pipefail
cd "$(dirname "$0")/.."

configure() {
  local dir=$1
  shift
  [ -f "build/$dir/build.ninja" ] || cmake -S . -B "build/$dir" -G Ninja "$@" >/dev/null
}

configure native
configure win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
configure win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
for dir in native win64 win32; do
  cmake --build "build/$dir"
done
