# Shared by the project's scripts: where things are, and a virtual display when needed.
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
JOBS="$(nproc 2>/dev/null || echo 2)"

# Configures and builds one build folder: build_tree DIR [cmake options...]
build_tree() {
    local dir="$1"
    shift
    cmake -S "$ROOT" -B "$dir" -G Ninja "$@" >/dev/null
    cmake --build "$dir" -j "$JOBS"
}

# Starts a private Xvfb with openbox when there is no display; sets DISPLAY.
# The started processes are ended by stop_virtual_display.
VIRTUAL_DISPLAY_PIDS=()
start_virtual_display() {
    if [ -n "${DISPLAY:-}" ]; then
        return 0
    fi
    local n
    for n in $(seq 90 140); do
        if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
            break
        fi
    done
    # -noreset: the readiness probe below leaves the server without clients, and a server
    # that resets then refuses the window manager's connection.
    Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp -noreset >/dev/null 2>&1 &
    VIRTUAL_DISPLAY_PIDS+=($!)
    export DISPLAY=":$n"
    local i
    for i in $(seq 1 50); do
        xdpyinfo >/dev/null 2>&1 && break
        sleep 0.1
    done
    openbox --config-file "$ROOT/tests/x11/openbox-rc.xml" >/dev/null 2>&1 &
    VIRTUAL_DISPLAY_PIDS+=($!)
    sleep 0.5
    echo "Started a virtual display on $DISPLAY"
}

stop_virtual_display() {
    local pid
    for pid in "${VIRTUAL_DISPLAY_PIDS[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
}
