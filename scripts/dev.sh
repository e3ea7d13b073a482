#!/usr/bin/env bash
# The two set-up commands of the README:
#   scripts/dev.sh run    install what is missing, build, start the program (which starts the
#                         bundled service itself)
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
    # When nothing answers at the service host, the program starts sorvel-service itself (from
    # beside it, then from PATH) and ends it when it ends; a service that answers is used as it
    # is. The build's service comes first on PATH.
    export PATH="$build/service:$PATH"
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
