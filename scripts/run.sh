#!/usr/bin/env bash
# Builds Quorbel and starts it against the PBX simulator, dialling the PBX.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
source "$top/scripts/packages.sh"
quorbel_ensure_packages "${QUORBEL_RUN_PACKAGES[@]}"
quorbel_build "$top" -DQUORBEL_TESTS=OFF

pbx_number=0301234
port_file=$(mktemp)
"$top/build/bin/quorbel-pbxsim" --port 0 --pbx-number "$pbx_number" >"$port_file" &
sim=$!
trap 'kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null; rm -f "$port_file"' EXIT
for _ in $(seq 100); do
    [ -s "$port_file" ] && break
    kill -0 "$sim" 2>/dev/null || { echo "The PBX simulator did not start." >&2; exit 1; }
    sleep 0.1
done
port=$(head -n 1 "$port_file")
echo "PBX simulator on 127.0.0.1:$port, PBX number $pbx_number"

if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "No display: set DISPLAY, or run this under xvfb-run -a." >&2
    exit 1
fi
QUORBEL_CAPI="rcapi:127.0.0.1:$port" "$top/build/bin/quorbel" -d "$pbx_number" "$@"
