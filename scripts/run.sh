#!/usr/bin/env bash
# Installs what is missing, builds Quorvel and runs it.
# With a display, Quorvel starts there and stays until you quit it from its menu.
# Without one, it runs on a private virtual display, takes one capture through its command
# channel to show that it works, reports the file, and ends.
set -euo pipefail
source "$(dirname "$0")/common.sh"

bash "$ROOT/scripts/install-deps.sh"
# Only the programs: the tests and benchmarks are for scripts/test.sh.
cmake -S "$ROOT" -B "$ROOT/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$ROOT/build" -j "$JOBS" --target quorvel quorvelctl quorvel-webpage

if [ -n "${DISPLAY:-}" ]; then
    exec "$ROOT/build/quorvel" "$@"
fi

trap 'stop_virtual_display; [ -n "${QPID:-}" ] && kill "$QPID" 2>/dev/null; rm -rf "${DEMO:-}"' EXIT
start_virtual_display
xsetroot -solid '#2a5d8c' 2>/dev/null || true

# A settings folder of its own, so the demonstration leaves the user's settings alone.
DEMO="$(mktemp -d)"
OUT="$ROOT/captures"
mkdir -p "$DEMO/config/Marbask" "$DEMO/runtime" "$OUT"
chmod 700 "$DEMO/runtime"
printf '[General]\npath=%s\nappend=2\nsound=1\n' "$OUT" > "$DEMO/config/Marbask/Quorvel.conf"
export XDG_CONFIG_HOME="$DEMO/config" XDG_RUNTIME_DIR="$DEMO/runtime"

"$ROOT/build/quorvel" "$@" > "$DEMO/quorvel.log" 2>&1 &
QPID=$!
for _ in $(seq 1 100); do
    grep -q "quorvel: ready" "$DEMO/quorvel.log" 2>/dev/null && break
    sleep 0.1
done
echo "Quorvel is running on $DISPLAY; asking it for a capture of the screen."
reply="$("$ROOT/build/quorvelctl" '{"command":"capture"}')"
file="$(ls -t "$OUT"/Q-*.png 2>/dev/null | head -1)"
if [ "$reply" = "1" ] && [ -n "$file" ]; then
    echo "Captured $file ($(identify -format '%wx%h' "$file" 2>/dev/null || echo 'PNG'))."
else
    echo "The capture did not arrive (reply: $reply)."
    cat "$DEMO/quorvel.log"
    exit 1
fi
"$ROOT/build/quorvelctl" --exit || true
wait "$QPID" 2>/dev/null || true
QPID=""
