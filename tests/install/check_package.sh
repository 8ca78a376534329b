#!/usr/bin/env bash
# check_package.sh BUILD_DIR
#
# Builds the Debian package from BUILD_DIR into a temporary folder and checks
# it as Debian's tools would: lintian finds no error and no missing hardening,
# the Depends line names each package once and names what is only loaded or
# started at run time, and the manual pages and change log are compressed.
set -uo pipefail

build=$1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

for tool in cpack lintian dpkg-deb; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed (bash scripts/deps.sh)"; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if ! cpack -G DEB -B "$work" --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"
  echo "FAIL: cpack did not build the package"
  exit 1
fi
deb=$(ls "$work"/*.deb 2>/dev/null | head -n 1)
[[ -n $deb ]] || { cat "$work/cpack.log"; echo "FAIL: cpack made no .deb"; exit 1; }

# lintian: errors fail, and so does any hardening tag (those are warnings).
lintian --no-cfg --display-info "$deb" >"$work/lintian.txt" 2>&1
if grep -q '^E: ' "$work/lintian.txt"; then
  grep '^E: ' "$work/lintian.txt"; fail "lintian reports errors"
else
  pass "lintian reports no errors"
fi
# lintian tells fortify only from calls to the checked (_chk) functions; the
# metafile helper is built with it too but makes no call whose size the
# compiler can bound, so that one note about it is expected.
hardening=$(grep 'hardening-' "$work/lintian.txt" \
  | grep -v 'hardening-no-fortify-functions \[usr/libexec/murkglass/murkglass-metafile\]')
if [[ -n $hardening ]]; then
  echo "$hardening"; fail "lintian finds a binary built without a hardening flag"
else
  pass "every binary has the hardening flags"
fi

depends=$(dpkg-deb -f "$deb" Depends)
names=$(tr ',' '\n' <<<"$depends" | sed -E 's/^ *([^ (|]+).*/\1/' | sed '/^$/d')
dups=$(sort <<<"$names" | uniq -d)
[[ -z $dups ]] && pass "Depends names each package once" || fail "Depends lists twice: $dups"
for need in fonts-urw-base35 qt6-image-formats-plugins bubblewrap libqt6svg6; do
  grep -qx "$need" <<<"$names" && pass "Depends has $need" || fail "Depends lacks $need ($depends)"
done
maintainer=$(dpkg-deb -f "$deb" Maintainer)
[[ $maintainer == *@*.* && $maintainer != *localhost* ]] && pass "Maintainer $maintainer" \
  || fail "Maintainer has no real address: $maintainer"

dpkg-deb -x "$deb" "$work/root"
for f in "$work"/root/usr/share/man/man1/* "$work/root/usr/share/doc/murkglass/changelog.Debian.gz"; do
  [[ -e $f ]] || { fail "${f#"$work"/root/} is missing"; continue; }
  [[ $f == *.gz ]] && gzip -t "$f" 2>/dev/null && pass "${f#"$work"/root/} is compressed" \
    || fail "${f#"$work"/root/} is not compressed"
done

if ((failures)); then
  echo "--- lintian"; cat "$work/lintian.txt"
  echo "$failures check(s) failed"
  exit 1
fi
echo "package is clean"
