#!/bin/sh
# Builds the dispatcher's fuzz target with clang in a build folder of its own
# and runs it for a short while; exits non-zero when the fuzzer finds a crash.
#   tests/fuzz/run-fuzz.sh            (30 s)
#   FUZZ_SECONDS=300 tests/fuzz/run-fuzz.sh
set -eu

root=$(cd "$(dirname "$0")/../.." && pwd)
build="$root/build/fuzz"
seconds="${FUZZ_SECONDS:-30}"

cmake -S "$root" -B "$build" -DQUORBEL_GUI=OFF -DQUORBEL_TESTS=OFF -DQUORBEL_FUZZ=ON \
    -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target fuzz_dispatch -j2

# Seeds: one message of each kind the dispatcher decodes.
corpus="$build/corpus-dispatch"
mkdir -p "$corpus"
seed() { printf "$2" >"$corpus/$1"; }
seed connect_conf '\016\000\001\000\002\201\003\000\001\001\000\000\000\000'
seed data_b3_conf '\020\000\001\000\206\201\005\000\001\002\001\000\005\000\000\000'
seed connect_ind '\016\000\001\000\002\202\011\000\001\001\000\000\002\000'
seed connect_active_ind '\026\000\001\000\003\202\004\000\001\001\000\000\004\000\200\061\062\003\200\061\062\000'
seed disconnect_ind '\016\000\001\000\004\202\014\000\001\001\000\000\220\064'
seed info_ind '\022\000\001\000\010\202\015\000\001\001\000\000\030\000\003\001\002\003'
seed connect_b3_ind '\015\000\001\000\202\202\016\000\001\002\001\000\000'
seed data_b3_ind '\026\000\001\000\206\202\011\000\001\002\001\000\000\000\000\000\003\000\063\000\000\000\141\142\143'

"$build/tests/fuzz/fuzz_dispatch" -max_total_time="$seconds" -max_len=512 \
    -artifact_prefix="$build/" "$corpus"
