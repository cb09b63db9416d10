#!/usr/bin/env bash
# Builds Quorbel with its tests and runs every test.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
source "$top/scripts/packages.sh"
quorbel_ensure_packages "${QUORBEL_TEST_PACKAGES[@]}"
quorbel_build "$top" -DQUORBEL_TESTS=ON

# Tests run without a display of the user's; the browser engine needs its
# sandbox off when run as root.
export QTWEBENGINE_DISABLE_SANDBOX=1
export QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu
xvfb-run -a ctest --test-dir "$top/build" --output-on-failure -j 2 --timeout 600

# The message decoder under the fuzzer and the sanitizers.
if [ -x "$top/tests/fuzz/run-fuzz.sh" ]; then
    "$top/tests/fuzz/run-fuzz.sh"
fi
