#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ (clang, ASan and UBSan, in build/fuzz)
# and runs each for SECONDS (default 60) on a copy of its seeds in
# fuzz/corpus/<target>/, with the flags of fuzz/<target>.options if any.
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

# Scratch files (the targets write theirs under TMPDIR) in memory if we can.
scratch=/tmp
[ -d /dev/shm ] && [ -w /dev/shm ] && scratch=/dev/shm
work=$(mktemp -d "$scratch/hivtap-fuzz-run.XXXXXX")
trap 'rm -rf "$work"' EXIT
export TMPDIR=$work
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}

status=0
summary=()
for name in "${targets[@]}"; do
  findings=build/fuzz/findings/$name
  rm -rf "$findings" "$work/corpus"
  mkdir -p "$findings" "$work/corpus"
  [ -d "fuzz/corpus/$name" ] && cp -R "fuzz/corpus/$name/." "$work/corpus/"
  # Defaults first: the target's own flags override them.
  flags=(-max_len=65536 -rss_limit_mb=1024 -timeout=10)
  if [ -f "fuzz/$name.options" ]; then
    while read -r flag; do
      [ -n "$flag" ] && [ "${flag#\#}" = "$flag" ] && flags+=("$flag")
    done <"fuzz/$name.options"
  fi
  echo "== fuzz_$name: ${seconds}s ${flags[*]}"
  log=$findings/fuzz.log
  result=ok
  if ! "build/fuzz/fuzz/fuzz_$name" "${flags[@]}" -max_total_time="$seconds" \
    -print_final_stats=1 -artifact_prefix="$findings/" "$work/corpus" >"$log" 2>&1; then
    result=FINDING
  fi
  if compgen -G "$findings/crash-*" >/dev/null || compgen -G "$findings/leak-*" >/dev/null ||
    compgen -G "$findings/timeout-*" >/dev/null || compgen -G "$findings/oom-*" >/dev/null; then
    result=FINDING
  fi
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  if [ "$result" != ok ]; then
    status=1
    grep -E '^(==[0-9]+==ERROR|== property violated|SUMMARY|.*: runtime error:)' "$log" | head -n 5 || true
    echo "   log and inputs: $findings/" >&2
  fi
  summary+=("$(printf '%-14s %12s execs  %s' "$name" "${execs:-?}" "$result")")
done

echo "== fuzzing, ${seconds}s per target"
printf '%s\n' "${summary[@]}"
exit $status
