#!/usr/bin/env bash
# Installs what is missing, builds Quorvel and runs it. Without a display it runs on a
# private virtual display.
set -euo pipefail
source "$(dirname "$0")/common.sh"

bash "$ROOT/scripts/install-deps.sh"
build_tree "$ROOT/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo

trap stop_virtual_display EXIT
start_virtual_display
"$ROOT/build/quorvel" "$@"
