#!/usr/bin/env bash
# Runs a test program as the unprivileged user of the Wayland desktop tests when started
# as root, since sway refuses to run as root. scripts/test.sh makes the user
# (QUORVEL_TEST_USER, by default quorveltest). Started by anyone else, or without that
# user, the program runs as it is (and its desktop tests skip under root).
set -euo pipefail
user="${QUORVEL_TEST_USER:-quorveltest}"
if [ "$(id -u)" -eq 0 ] && id "$user" >/dev/null 2>&1; then
    exec setpriv --reuid="$user" --regid="$(id -g "$user")" --init-groups -- "$@"
fi
exec "$@"
