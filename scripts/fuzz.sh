#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ and runs each for a few seconds.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-20}"
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
if [ ! -f build-fuzz/CMakeCache.txt ]; then
  cmake -S . -B build-fuzz "${generator[@]}" -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DREGISTRADOR_FUZZ=ON -DREGISTRADOR_TESTS=OFF \
    -DREGISTRADOR_BENCH=OFF -DREGISTRADOR_PROGRAMS=OFF
fi
targets=$(sed -n 's/^registrador_fuzz_target(\([a-z_0-9]*\).*/\1/p' fuzz/CMakeLists.txt)
# shellcheck disable=SC2086
cmake --build build-fuzz -j2 --target $targets
for t in $targets; do
  corpus="build-fuzz/corpus/$t"
  mkdir -p "$corpus"
  seeds="fuzz/seeds/$t"
  [ -d "$seeds" ] || seeds=""
  echo "== fuzz $t (${seconds}s)"
  "build-fuzz/bin/$t" -max_total_time="$seconds" -print_final_stats=0 -close_fd_mask=3 "$corpus" $seeds 2>&1 | tail -n 2
done
echo "fuzz: all targets ran without a finding"
