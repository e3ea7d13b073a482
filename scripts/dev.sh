#!/usr/bin/env bash
# The two set-up commands of the README:
#   scripts/dev.sh run    install what is missing, build, start the bundled service and the program
#   scripts/dev.sh test   install what is missing, build and run every test headless
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${SORVEL_BUILD_DIR:-$root/build}"
jobs="$(nproc)"

"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSORVEL_WERROR=ON >/dev/null
cmake --build "$build" -j "$jobs"

case "${1:-}" in
run)
    export QTWEBENGINE_DISABLE_SANDBOX=1
    service_pid=""
    if [ -x "$build/service/sorvel-service" ]; then
        "$build/service/sorvel-service" &
        service_pid=$!
        trap '[ -n "$service_pid" ] && kill "$service_pid" 2>/dev/null || true' EXIT
    fi
    if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
        echo "No display: starting the program on a virtual one (xvfb-run)." >&2
        xvfb-run -a "$build/app/sorvel"
    else
        "$build/app/sorvel"
    fi
    ;;
test)
    export QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1
    ctest --test-dir "$build" --output-on-failure -j "$jobs"
    ;;
*)
    echo "usage: $0 run|test" >&2
    exit 2
    ;;
esac
