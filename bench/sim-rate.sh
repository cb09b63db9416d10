#!/bin/sh
# Prints the PBX simulator's measured B-channel rate in both directions next
# to the configured one. Usage: bench/sim-rate.sh [build dir] [rate ...]
set -e
BUILD=${1:-build}
[ $# -gt 0 ] && shift
RATES=${*:-64000 128000 unlimited}
cmake --build "$BUILD" --target quorbel-pbxsim sim_rate -j2 >/dev/null
for rate in $RATES; do
    "$BUILD/bin/sim_rate" "$rate"
done
