#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ (clang, ASan and UBSan, in build/fuzz)
# and runs each for SECONDS (default 60), two at a time, on a copy of its seeds in
# fuzz/corpus/<target>/ (and in the corpora fuzz/<target>.seeds names), with
# the flags of fuzz/<target>.options if any.
# Prints the executions per target; exits non-zero on any finding (crash,
# leak, timeout, out of memory, property violated). Inputs that made one
# are kept in build/fuzz/findings/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for source in fuzz/*.cpp; do targets+=("$(basename "$source" .cpp)"); done
fi

bash scripts/setup.sh
if [ ! -f build/fuzz/build.ninja ]; then
  CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DHIVTAP_FUZZ=ON -DHIVTAP_TESTS=OFF >/dev/null
fi
cmake --build build/fuzz

# Scratch files (each target writes its own under TMPDIR) in memory if we can.
scratch=/tmp
[ -d /dev/shm ] && [ -w /dev/shm ] && scratch=/dev/shm
work=$(mktemp -d "$scratch/hivtap-fuzz-run.XXXXXX")
trap 'rm -rf "$work"' EXIT
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}

# One target: its seeds copied, its flags, its log and findings; its summary
# line in $work/<target>.result.
run_target() {
  local name=$1 findings=build/fuzz/findings/$1 corpus=$work/corpus/$1 flag
  rm -rf "$findings"
  mkdir -p "$findings" "$corpus" "$work/tmp/$name"
  [ -d "fuzz/corpus/$name" ] && cp -R "fuzz/corpus/$name/." "$corpus/"
  # fuzz/<target>.seeds: other targets whose seeds this one starts from too.
  if [ -f "fuzz/$name.seeds" ]; then
    while read -r other; do
      [ -n "$other" ] && [ "${other#\#}" = "$other" ] && cp -R "fuzz/corpus/$other/." "$corpus/"
    done <"fuzz/$name.seeds"
  fi
  # Defaults first: the target's own flags override them.
  local flags=(-max_len=65536 -rss_limit_mb=1024 -timeout=10)
  if [ -f "fuzz/$name.options" ]; then
    while read -r flag; do
      [ -n "$flag" ] && [ "${flag#\#}" = "$flag" ] && flags+=("$flag")
    done <"fuzz/$name.options"
  fi
  echo "== fuzz_$name: ${seconds}s ${flags[*]}"
  local log=$findings/fuzz.log result=ok
  if ! TMPDIR=$work/tmp/$name "build/fuzz/fuzz/fuzz_$name" "${flags[@]}" \
    -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$findings/" \
    "$corpus" >"$log" 2>&1; then
    result=FINDING
  fi
  if compgen -G "$findings/crash-*" >/dev/null || compgen -G "$findings/leak-*" >/dev/null ||
    compgen -G "$findings/timeout-*" >/dev/null || compgen -G "$findings/oom-*" >/dev/null; then
    result=FINDING
  fi
  local execs
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  if [ "$result" != ok ]; then
    {
      echo "== fuzz_$name found something:"
      grep -E '^(==[0-9]+==ERROR|== property violated|SUMMARY|.*: runtime error:)' "$log" |
        head -n 5 || true
      echo "   log and inputs: $findings/"
    } >&2
  fi
  printf '%-14s %12s execs  %s\n' "$name" "${execs:-?}" "$result" >"$work/$name.result"
}

# Two targets at a time (one per core), HIVTAP_FUZZ_JOBS to change it.
jobs=${HIVTAP_FUZZ_JOBS:-2}
running=0
for name in "${targets[@]}"; do
  if [ "$running" -ge "$jobs" ]; then
    wait -n || true
    running=$((running - 1))
  fi
  run_target "$name" &
  running=$((running + 1))
done
wait

status=0
echo "== fuzzing, ${seconds}s per target, $jobs at a time"
for name in "${targets[@]}"; do
  if [ -f "$work/$name.result" ]; then
    cat "$work/$name.result"
    grep -q ' ok$' "$work/$name.result" || status=1
  else
    printf '%-14s %12s execs  %s\n' "$name" "?" "NOT RUN"
    status=1
  fi
done
exit $status
