#!/bin/sh
# Prints the relay's throughput in both directions at 64 kbit/s and with the
# line unlimited, and the time a browser engine needs for the PBX's start page
# against the bound its bytes give at the line rate.
# Usage: bench/relay-bench.sh [build dir] [relay_bench options]
#   options: --body BYTES (256 KB) --large BYTES (8 MB) --loads N (2) --no-browser
#            --unlimited-only; --nodelay (experiment: Nagle off on the CAPI
#            library's connection)
set -e
BUILD=${1:-build}
[ $# -gt 0 ] && shift
cmake --build "$BUILD" --target quorbel-pbxsim relay_bench -j2 >/dev/null
# The browser engine runs offscreen, without GPU, and without its sandbox
# when run as root (the sandbox refuses root).
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
export QTWEBENGINE_CHROMIUM_FLAGS=${QTWEBENGINE_CHROMIUM_FLAGS:---disable-gpu}
[ "$(id -u)" = 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1
export QT_LOGGING_RULES=${QT_LOGGING_RULES:-"qt.webenginecontext.info=false"}
exec "$BUILD/bin/relay_bench" "$@"
