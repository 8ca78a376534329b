#!/usr/bin/env bash
# check_installed_tree.sh BUILD_DIR PROJECT_VERSION HELPER_TARGET_EXISTS(0|1)
#
# Installs BUILD_DIR with prefix /usr into a temporary DESTDIR and checks
# what a desktop and a user meet there: both programs start, the viewer's
# helper sits where the viewer looks for it, the desktop entry and the
# metainfo validate, and the manual pages render without warnings.
set -uo pipefail

build=$1
version=$2
helper_expected=$3

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
skip() { echo "SKIP: $*"; }

for tool in desktop-file-validate appstreamcli man groff; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed (bash scripts/deps.sh)"; exit 1; }
done

work=$(mktemp -d)
viewer_pid=
cleanup() {
  [[ -n $viewer_pid ]] && kill "$viewer_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

if ! DESTDIR="$work/root" cmake --install "$build" --prefix /usr >"$work/install.log" 2>&1; then
  cat "$work/install.log"
  echo "FAIL: cmake --install did not succeed"
  exit 1
fi
usr=$work/root/usr

# Every file a desktop user relies on is in its place.
for f in bin/murkglass bin/murkglass-crypt; do
  [[ -f $usr/$f && -x $usr/$f ]] && pass "$f is installed and executable" || fail "$f missing or not executable"
done
desktop=$usr/share/applications/murkglass.desktop
icon=$usr/share/icons/hicolor/scalable/apps/murkglass.svg
metainfo=$(ls "$usr"/share/metainfo/*.metainfo.xml 2>/dev/null | head -n 1)
for f in "$desktop" "$icon" "$metainfo" "$usr/share/man/man1/murkglass.1.gz" "$usr/share/man/man1/murkglass-crypt.1.gz" \
    "$usr/share/doc/murkglass/changelog.Debian.gz"; do
  [[ -n $f && -s $f ]] && pass "${f#"$usr"/} is installed" || fail "${f:-share/metainfo/*.metainfo.xml} is missing or empty"
done

# The programs run from the installed tree, away from the build folder.
mkdir -p "$work/home" "$work/run"
chmod 700 "$work/run"
export HOME=$work/home XDG_RUNTIME_DIR=$work/run QT_QPA_PLATFORM=offscreen
cd "$work" || exit 1

if "$usr/bin/murkglass-crypt" --help >"$work/help.txt" 2>&1; then
  if [[ -s $work/help.txt ]]; then pass "murkglass-crypt --help"; else fail "murkglass-crypt --help printed nothing"; fi
else
  cat "$work/help.txt"; fail "murkglass-crypt --help exited with status $?"
fi

# The viewer must come up and stay up; one that finishes at once with
# status 0 is a program that has nothing to show yet, and only noted.
"$usr/bin/murkglass" >"$work/viewer.log" 2>&1 &
viewer_pid=$!
for _ in $(seq 30); do
  kill -0 "$viewer_pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$viewer_pid" 2>/dev/null; then
  kill "$viewer_pid"; wait "$viewer_pid" 2>/dev/null; viewer_pid=
  pass "the viewer is running after 3 s on the offscreen platform"
else
  wait "$viewer_pid"; rc=$?; viewer_pid=
  if ((rc == 0)); then
    skip "the viewer exited with status 0 at once: it shows no window yet"
  else
    cat "$work/viewer.log"; fail "the viewer exited with status $rc"
  fi
fi

# The metafile helper, where the viewer looks for it: beside its bin folder.
helper=$usr/bin/../libexec/murkglass/murkglass-metafile
if [[ $helper_expected == 1 ]]; then
  [[ -f $helper && -x $helper ]] && pass "libexec/murkglass/murkglass-metafile is installed and executable" \
    || fail "libexec/murkglass/murkglass-metafile missing or not executable"
else
  skip "the project has no murkglass-metafile target"
fi

# The desktop entry and the metainfo validate, and name what is installed.
if out=$(desktop-file-validate "$desktop" 2>&1) && [[ -z $out ]]; then
  pass "desktop-file-validate accepts murkglass.desktop"
else
  echo "$out"; fail "desktop-file-validate rejects murkglass.desktop"
fi
exec_line=$(sed -n 's/^Exec=//p' "$desktop")
[[ -x $usr/bin/${exec_line%% *} ]] && pass "Exec= names an installed program" || fail "Exec=$exec_line is not in bin/"
icon_name=$(sed -n 's/^Icon=//p' "$desktop")
[[ $icon_name == murkglass && -s $icon ]] && pass "Icon= names the installed icon" || fail "Icon=$icon_name has no installed icon"
if [[ -n $metainfo ]]; then
  if out=$(appstreamcli validate --no-net "$metainfo" 2>&1); then
    pass "appstreamcli validate --no-net accepts the metainfo"
  else
    echo "$out"; fail "appstreamcli validate --no-net rejects the metainfo"
  fi
  grep -q '<launchable type="desktop-id">murkglass.desktop</launchable>' "$metainfo" \
    && pass "the metainfo launches murkglass.desktop" || fail "the metainfo does not launch murkglass.desktop"
  grep -q "<release version=\"$version\"" "$metainfo" \
    && pass "the metainfo lists release $version" || fail "the metainfo has no release $version (the project's version)"
fi
grep -q '<svg' "$icon" && pass "the icon is an SVG picture" || fail "the icon is not an SVG picture"

# The manual pages and the change log are installed compressed, and nothing
# uncompressed beside them.
for f in "$usr"/share/man/man1/* "$usr"/share/doc/murkglass/changelog*; do
  [[ -e $f ]] || continue
  gzip -t "$f" 2>/dev/null && pass "${f#"$usr"/} is compressed" || fail "${f#"$usr"/} is not a gzip file"
done

# The manual pages render without a single warning.
for page in murkglass murkglass-crypt; do
  file=$usr/share/man/man1/$page.1.gz
  [[ -s $file ]] || continue
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$file" 2>&1 >/dev/null)
  rendered=$(LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$file" 2>/dev/null)
  if [[ -n $warnings ]]; then
    echo "$warnings"; fail "man -l $page.1 warns"
  elif ! grep -q '^NAME' <<<"$rendered" || ! grep -q "$version" <<<"$rendered"; then
    fail "man -l $page.1 renders no NAME section or no version $version"
  else
    pass "man -l $page.1 renders without warnings"
  fi
  zgrep -q '@[A-Z_]*@' "$file" && fail "$page.1 holds an unreplaced @VARIABLE@"
done

if ((failures)); then
  echo "$failures check(s) failed"
  exit 1
fi
echo "installed tree is complete"
