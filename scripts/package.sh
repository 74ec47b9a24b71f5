#!/usr/bin/env bash
# Builds the three builds and makes the packages in build/native/packages:
# hivtap_<version>_<arch>.deb (the native build) and
# hivtap-<version>-windows.zip (both hivtap.exe and the README).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/build.sh
rm -rf build/native/packages
(cd build/native && cpack -C Release >/dev/null)
ls build/native/packages/*.deb build/native/packages/*.zip
