#!/usr/bin/env bash
# Checks the .deb made by scripts/package.sh with lintian, installs it, checks
# the installed program and its manual page, and removes the package again.
# Reads the Wine prefix named by WINEPREFIX; runs as root or with sudo.
set -euo pipefail
cd "$(dirname "$0")/.."

SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo
apt_get() {
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get -y -q -o DPkg::Lock::Timeout=300 "$@"
}
deb=$(ls build/native/packages/hivtap_*.deb)

fail() {
  echo "package check failed: $*" >&2
  exit 1
}
# Debian's own checks of the package; an error fails, warnings are shown.
echo "== lintian $deb"
lintian --fail-on error "$deb" || fail "lintian reports errors"

apt_get install "./$deb" >/dev/null
trap 'apt_get purge hivtap >/dev/null' EXIT

echo "== installed package: $(dpkg-query -W -f='${Package} ${Version} depends on ${Depends}' hivtap)"
[ "$(command -v hivtap)" = /usr/bin/hivtap ] || fail "hivtap is not /usr/bin/hivtap"
# The disk image library is loaded by name: the package must bring it.
dpkg-query -W -f='${Depends}' hivtap | grep -q 'libtsk' || fail "no dependency on the Sleuth Kit"
version=$(LC_ALL=C.UTF-8 hivtap --version)
echo "$version"
[ "$(head -n 1 <<<"$version")" = "hivtap 1.2.0.0" ] || fail "--version: $version"
grep -qx "registre : $WINEPREFIX (préfixe Wine)" <<<"$version" || fail "--version: $version"

work=$(mktemp -d)
key='HKLM\Software\Microsoft\Windows NT\CurrentVersion\ProductName'
(cd "$work" && hivtap /N /S "$key" installed.txt && "$OLDPWD/build/native/hivtap" /N /S "$key" built.txt)
cat "$work/installed.txt"
grep -q '^ProductName=.' "$work/installed.txt" || fail "no value read"
cmp -s "$work/installed.txt" "$work/built.txt" || fail "installed and built programs differ"
rm -rf "$work"

[ -f /usr/share/man/man1/hivtap.1.gz ] ||
  fail "no /usr/share/man/man1/hivtap.1.gz: does /etc/dpkg/dpkg.cfg.d exclude manual pages?"
[ -f /usr/share/doc/hivtap/copyright ] || fail "no /usr/share/doc/hivtap/copyright"
MANPAGER=cat MANWIDTH=80 man hivtap 2>&1 | grep -q "hivtap - read Windows registry values" ||
  fail "man hivtap does not open"
echo "== installed hivtap, its lookup and man hivtap: OK"
