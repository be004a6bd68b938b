#!/usr/bin/env bash
# Installs what is missing, builds Quorvel twice (an optimised Release build, and a clang build
# with AddressSanitizer and UndefinedBehaviorSanitizer that also runs the fuzzers for a
# bounded time) and runs every test of both through CTest.
set -euo pipefail
source "$(dirname "$0")/common.sh"

bash "$ROOT/scripts/install-deps.sh"

# The Wayland desktop tests run a private sway, which refuses to run as root. Run as root
# (CI), the tests switch to an unprivileged user (tests/wayland/as-test-user.sh): make it,
# and let it pass through the folders above the clone to reach the built programs.
if [ "$(id -u)" -eq 0 ]; then
    export QUORVEL_TEST_USER="${QUORVEL_TEST_USER:-quorveltest}"
    if ! id "$QUORVEL_TEST_USER" >/dev/null 2>&1; then
        useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin \
            "$QUORVEL_TEST_USER"
    fi
    dir="$ROOT"
    while [ "$dir" != "/" ]; do
        if ! setpriv --reuid="$QUORVEL_TEST_USER" --regid="$(id -g "$QUORVEL_TEST_USER")" \
            --init-groups -- test -x "$dir"; then
            echo "test: letting $QUORVEL_TEST_USER pass through $dir"
            chmod o+x "$dir"
        fi
        dir="$(dirname "$dir")"
    done
fi

status=0
# A test that fails is run once more before the run counts as failed: the desktop tests share
# two busy cores with the fuzzers and the other builds' tests. Its first output stays in the log.

echo "== optimised build (Release, warnings are errors)"
build_tree "$ROOT/build" -DCMAKE_BUILD_TYPE=Release -DQUORVEL_WERROR=ON
(cd "$ROOT/build" && ctest --output-on-failure -j "$JOBS" --repeat until-pass:2) || status=1

echo "== sanitizer build (clang, AddressSanitizer + UndefinedBehaviorSanitizer, fuzzers)"
build_tree "$ROOT/build-asan" -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DQUORVEL_SANITIZE=ON -DQUORVEL_FUZZ=ON -DQUORVEL_BENCH=OFF -DQUORVEL_WERROR=ON
export QUORVEL_SANITIZED=1
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$ROOT/tests/lsan.supp:print_suppressions=0"
(cd "$ROOT/build-asan" && ctest --output-on-failure -j "$JOBS" --repeat until-pass:2) || status=1

exit $status
