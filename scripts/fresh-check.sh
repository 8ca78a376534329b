#!/usr/bin/env bash
# Runs the README's test command on a fresh, minimal Debian 12: builds a
# debootstrap --variant=minbase bookworm root from the Debian mirror that apt
# on this machine already uses, clones the committed HEAD of this checkout into
# it and runs `bash scripts/test.sh` there in a chroot (with /proc, /dev,
# /dev/pts and a tmpfs /tmp mounted). Everything the project needs must come
# from scripts/deps.sh. Needs root and debootstrap.
#
# Environment:
#   FUZZ_SECONDS         passed to scripts/test.sh (its default when unset)
#   FRESH_CACHE          folder that keeps the pristine minbase root as a
#                        tarball and apt's downloaded packages between runs
#                        (default /var/cache/murkglass-fresh; empty: no cache)
#   FRESH_REBUILD=1      runs debootstrap again even when a tarball is cached
#   FRESH_KEEP=1         leaves the root in place afterwards (its path is shown)
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
suite=bookworm

die() { echo "fresh-check: $*" >&2; exit 2; }
[[ $(id -u) -eq 0 ]] || die "needs root (debootstrap, chroot, mount)"
command -v debootstrap >/dev/null || die "debootstrap is not installed"
head=$(git -C "$repo" rev-parse HEAD) || die "$repo is not a git checkout"
[[ -z $(git -C "$repo" status --porcelain --untracked-files=no) ]] \
  || echo "fresh-check: note: uncommitted changes are not checked, only HEAD $head"

# The Debian mirror apt already uses: the first "deb" entry for $suite in
# sources.list (one-line form) or in a deb822 .sources file.
mirror_from_apt() {
  local f line
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [[ -f $f ]] || continue
    while read -r line; do
      line=${line%%#*}
      # deb [options] URI SUITE COMPONENTS...
      line=$(sed -E 's/\[[^]]*\]//' <<<"$line")
      read -r -a w <<<"$line"
      if [[ ${w[0]:-} == deb && ${w[2]:-} == "$suite" ]]; then
        echo "${w[1]}"; return 0
      fi
    done <"$f"
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    [[ -f $f ]] || continue
    # Stanzas are separated by blank lines; keys are case-insensitive.
    awk -v suite="$suite" '
      function flush() {
        if (types ~ /(^| )deb( |$)/ && (" " suites " ") ~ (" " suite " ") && enabled != "no" && uris != "") {
          split(uris, u, " "); print u[1]; found = 1; exit
        }
        types = suites = uris = ""; enabled = ""
      }
      /^[ \t]*#/ { next }
      /^[ \t]*$/ { flush(); next }
      {
        key = tolower($1); sub(/:$/, "", key); $1 = ""; sub(/^ +/, "")
        if (key == "types") types = $0
        else if (key == "suites") suites = $0
        else if (key == "uris") uris = $0
        else if (key == "enabled") enabled = tolower($0)
      }
      END { if (!found) flush() }' "$f" | head -n 1 | grep . && return 0
  done
  return 1
}
mirror=$(mirror_from_apt) || die "no 'deb' entry for $suite in the apt sources"
mirror=${mirror%/}
echo "fresh-check: mirror $mirror, suite $suite, HEAD $head"

cache=${FRESH_CACHE-/var/cache/murkglass-fresh}
arch=$(dpkg --print-architecture)
tarball=
if [[ -n $cache ]]; then
  mkdir -p "$cache/apt-archives"
  tarball=$cache/minbase-$suite-$arch-$(sed 's|[^A-Za-z0-9.]|_|g' <<<"$mirror").tar
fi

work=$(mktemp -d /var/tmp/murkglass-fresh.XXXXXX)
root=$work/root
mounted=()

# Runs on every exit: ends what is still running inside the root, unmounts in
# reverse order and removes the root unless it is to be kept.
pids_in_root() {
  local pid
  for pid in $(ls /proc | grep -E '^[0-9]+$'); do
    [[ $(readlink "/proc/$pid/root" 2>/dev/null) == "$root" ]] && echo "$pid"
  done
  return 0
}
cleanup() {
  local status=$? pid pids i
  trap - EXIT INT TERM HUP
  set +e # every step runs, whatever failed before it
  for i in 1 2 3 4 5 6 7 8 9 10; do
    pids=$(pids_in_root)
    [[ -z $pids ]] && break
    for pid in $pids; do kill -9 "$pid" 2>/dev/null; done
    sleep 0.5
  done
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount "${mounted[i]}" 2>/dev/null || umount -l "${mounted[i]}" \
      || echo "fresh-check: could not unmount ${mounted[i]}" >&2
  done
  if [[ ${FRESH_KEEP:-0} == 1 ]]; then
    echo "fresh-check: root kept in $root"
  elif ! findmnt -rn -o TARGET | grep -qF "$work/"; then
    rm -rf --one-file-system "$work"
  else
    echo "fresh-check: $work still has mounts; not removed" >&2
  fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

mount_in() { # mount_in TARGET mount-arguments...
  local target=$1; shift
  mkdir -p "$target"
  mount "$@" "$target"
  mounted+=("$target")
}

mkdir -p "$root"
if [[ -n $tarball && -f $tarball && ${FRESH_REBUILD:-0} != 1 ]]; then
  echo "fresh-check: unpacking the cached minbase root $tarball"
  tar -C "$root" --numeric-owner --xattrs -xpf "$tarball"
else
  echo "fresh-check: debootstrap --variant=minbase $suite (this takes a few minutes)"
  debootstrap --variant=minbase "$suite" "$root" "$mirror" >"$work/debootstrap.log" 2>&1 \
    || { tail -n 40 "$work/debootstrap.log"; die "debootstrap failed"; }
  if [[ -n $tarball ]]; then
    tar -C "$root" --numeric-owner --xattrs -cpf "$tarball.part" . && mv "$tarball.part" "$tarball"
  fi
fi
cp -L /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true

mount_in "$root/proc" -t proc proc
mount_in "$root/dev" --bind /dev
mount_in "$root/dev/pts" --bind /dev/pts
mount_in "$root/tmp" -t tmpfs -o mode=1777 tmpfs
[[ -n $cache ]] && mount_in "$root/var/cache/apt/archives" --bind "$cache/apt-archives"

git clone -q --no-hardlinks --no-checkout "$repo" "$root/src/murkglass"
git -C "$root/src/murkglass" checkout -q --detach "$head"

echo "fresh-check: running scripts/test.sh in the fresh root"
fuzz=()
[[ -n ${FUZZ_SECONDS:-} ]] && fuzz=("FUZZ_SECONDS=$FUZZ_SECONDS")
# In the background, so that a signal to this script is handled at once
# (bash runs traps only after a foreground child ends) and the cleanup ends
# what runs in the root.
chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM=dumb \
  PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "${fuzz[@]}" \
  bash -c 'cd /src/murkglass && bash scripts/test.sh' &
if wait $!; then
  echo "fresh-check: PASSED on a fresh $suite root (HEAD $head)"
else
  status=$?
  echo "fresh-check: FAILED with status $status (HEAD $head)"
  exit "$status"
fi
