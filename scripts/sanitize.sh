#!/usr/bin/env bash
# Builds the native build with AddressSanitizer and UndefinedBehaviorSanitizer
# in build/asan, where any report ends the program, and runs its unit and
# end-to-end tests; also the differential one when build/win64 has
# hivtap.exe. The registry is WINEPREFIX's, or a temporary prefix.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
if [ ! -f build/asan/build.ninja ]; then
  cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHIVTAP_SANITIZE=ON \
    >/dev/null
fi
cmake --build build/asan

# A report aborts, so that no exit code the tests expect can hide it.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1
export UBSAN_OPTIONS=print_stacktrace=1:abort_on_error=1:halt_on_error=1
export WINEDEBUG=-all
tests='^(unit|e2e)$'
[ -f build/win64/hivtap.exe ] && tests='^(unit|e2e|e2e_differential)$'
ctest --test-dir build/asan --output-on-failure -R "$tests"
