#!/usr/bin/env bash
# The benchmark: builds what it needs, makes its own Wine prefixes and lists,
# runs the Google Benchmark figures of the in-process pieces, then every
# contender of the table paired, and prints the table.
#   bash bench/run.sh [--quick] [--only 1,3] [--keep] [--no-micro]
set -euo pipefail
cd "$(dirname "$0")/.."

micro=1
args=()
for a in "$@"; do
  case $a in
    --no-micro) micro=0 ;;
    *) args+=("$a") ;;
  esac
done

bash scripts/setup.sh
configure() {
  local dir=$1
  shift
  [ -f "build/$dir/build.ninja" ] || cmake -S . -B "build/$dir" -G Ninja "$@" >/dev/null
}
configure native
configure win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
echo "== building"
cmake --build build/native --target hivtap hivtap_microbench bench_output_floor bench_launch hive_recovery_bench | tail -1
cmake --build build/win64 --target hivtap bench_registry_floor | tail -1

export WINEDEBUG=-all
if [ $micro = 1 ]; then
  echo "== in-process figures (Google Benchmark)"
  min_time=0.5
  for a in "${args[@]}"; do [ "$a" = --quick ] && min_time=0.1; done
  build/native/hivtap_microbench --benchmark_min_time=$min_time 2>&1 | grep -v '^\*\*\*WARNING'
fi
exec python3 bench/bench.py "${args[@]}"
