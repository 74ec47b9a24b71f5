#!/usr/bin/env bash
# Installs, builds, and reads a few real values with hivtap.exe under Wine
# and with the native hivtap, from a Wine prefix made for this run (or the
# one WINEPREFIX names). Extra arguments go to both runs instead.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
bash scripts/build.sh

export WINEDEBUG=-all
if [ -z "${WINEPREFIX:-}" ]; then
  WINEPREFIX=$(mktemp -d /tmp/hivtap-prefix.XXXXXX)
  export WINEPREFIX
  trap 'wineserver -k 2>/dev/null || true; rm -rf "$WINEPREFIX"' EXIT
  bash scripts/wine.sh wineboot -i >/dev/null 2>&1
fi

work=$(mktemp -d /tmp/hivtap-run.XXXXXX)
cat >"$work/keys.txt" <<'KEYS'
; Windows version
Product=HKLM\Software\Microsoft\Windows NT\CurrentVersion\ProductName
HKLM\System\CurrentControlSet\Control\ComputerName\ComputerName\ComputerName
HKCU\Control Panel\Desktop\Wallpaper
HKCU\Control Panel\Desktop\ClickLockTime
KEYS
args=("$@")
[ ${#args[@]} -gt 0 ] || args=(/L:keys.txt /N)

echo "== hivtap.exe under Wine ($(bash scripts/wine.sh --host))"
(cd "$work" && bash "$OLDPWD/scripts/wine.sh" "$OLDPWD/build/win64/hivtap.exe" "${args[@]}" \
  result-win64.txt)
# wineserver writes the registry files lazily.
wineserver -w
echo "== native hivtap on $WINEPREFIX"
(cd "$work" && "$OLDPWD/build/native/hivtap" "${args[@]}" result-native.txt)
if cmp -s "$work/result-win64.txt" "$work/result-native.txt"; then
  echo "== both output files are identical: $work"
else
  echo "== the output files differ: $work" >&2
  exit 1
fi
