#!/bin/sh
# Runs a test program as the unprivileged user "nobody" with a home folder of
# its own: what bubblewrap can do depends on the user (user namespaces).
# Exit 77 (skipped) where that cannot be arranged.
[ "$(id -u)" = 0 ] || { echo "not root: the test already runs as this user"; exit 77; }
home=$(mktemp -d /var/tmp/mg-nobody.XXXXXX) || exit 1
trap 'rm -rf "$home"' EXIT
chown 65534:65534 "$home"
as_nobody() { setpriv --reuid=65534 --regid=65534 --clear-groups "$@"; }
as_nobody test -x "$1" || { echo "nobody cannot run $1 (folder permissions)"; exit 77; }
# Its own temporary folder too: the root run of the same test may hold a
# file of the same name in /tmp at the same moment.
as_nobody env HOME="$home" TMPDIR="$home" XDG_RUNTIME_DIR="$home" QT_QPA_PLATFORM=offscreen "$@"
