#!/usr/bin/env bash
# Runs a Windows program under Wine on this host; every script and test that
# starts Wine comes through here.
#
#   wine.sh PROGRAM [ARGS...]   runs it, as the wine command would
#   wine.sh --host              prints how Wine runs here, one line
#   wine.sh --can-run-32        exit 0 when 32-bit Windows programs can run,
#                               else prints why and exits 1
#
# Debian's wine command starts the 32-bit loader whenever wine32 is
# installed, and a kernel without IA-32 emulation cannot execute it. There
# the 64-bit loader is run directly: 64-bit programs (and Wine's own 64-bit
# tools) run, 32-bit ones cannot. HIVTAP_WINE64_ONLY=1 takes that path on any
# host, so that it can be tested where 32-bit programs do run.
#
# A 32-bit program that cannot run here is not started: the reason goes to
# standard output and the exit code is 77, which the tests take as a skip.
set -euo pipefail

loader64=${HIVTAP_WINE64_LOADER:-/usr/lib/wine/wine64}
loader32=/usr/lib/wine/wine

# Sets `mode` to wine or wine64, and `why32` to why 32-bit programs cannot
# run (empty when they can).
probe() {
  why32=
  if [ "${HIVTAP_WINE64_ONLY:-}" = 1 ]; then
    mode=wine64
    why32="HIVTAP_WINE64_ONLY=1 forces the 64-bit-only path"
  elif wine --version >/dev/null 2>&1; then
    mode=wine
    if ! "$loader32" --version >/dev/null 2>&1; then
      if [ -e "$loader32" ]; then
        why32="$loader32 does not run here"
      else
        why32="32-bit Wine (wine32:i386) is not installed"
      fi
    fi
  elif "$loader64" --version >/dev/null 2>&1; then
    mode=wine64
    why32="this host cannot execute 32-bit programs (IA-32 emulation off)"
  else
    echo "wine.sh: neither the wine command nor $loader64 starts" >&2
    exit 127
  fi
}

# The machine field of a PE file's header: 14c is i386.
pe_machine() {
  local offset
  offset=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ') || return 0
  [ -n "$offset" ] || return 0
  [ "$(od -An -c -j"$offset" -N2 "$1" 2>/dev/null | tr -d ' ')" = PE ] || return 0
  od -An -tx2 -j$((offset + 4)) -N2 "$1" | tr -d ' '
}

probe
case "${1:-}" in
  --host)
    if [ "$mode" = wine ]; then
      echo "Wine: the wine command; 32-bit programs: ${why32:-yes}"
    else
      echo "Wine: the 64-bit loader $loader64; 32-bit programs: no, $why32"
    fi
    exit 0
    ;;
  --can-run-32)
    [ -z "$why32" ] && exit 0
    echo "32-bit Windows programs cannot run: $why32"
    exit 1
    ;;
  "")
    echo "usage: wine.sh PROGRAM [ARGS...] | --host | --can-run-32" >&2
    exit 2
    ;;
esac

if [ -n "$why32" ] && [ -f "$1" ] && [ "$(pe_machine "$1")" = 014c ]; then
  echo "SKIPPED: $(basename "$1") is a 32-bit program, and $why32"
  exit 77
fi
if [ "$mode" = wine ]; then
  exec wine "$@"
fi
export WINELOADER=$loader64
exec "$loader64" "$@"
