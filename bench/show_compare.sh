#!/usr/bin/env bash
# "registrador-cli show FILE --test N" beside bench/show_peer.py (ElementTree) on the same
# files: first that both list the same, then both timed with hyperfine.
#   bash bench/show_compare.sh [BUILD_DIR]     (needs hyperfine: apt-get install hyperfine)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:-$here/../build}" && pwd)"
dir="$(mktemp -d)"
trap 'rm -rf "$dir"' EXIT
"$build/bin/bench_files" --write-data "$dir"
cli="$build/bin/registrador-cli"
peer="/usr/bin/python3 $here/show_peer.py"
runs=()
# Eight tests of 8 000 rows (one listed), and one test of 64 000 rows.
for args in "m64000.dat --test 3" "one64000.dat --test 1"; do
  set -- $args
  "$cli" show "$dir/$1" "$2" "$3" > "$dir/cli.txt"
  $peer "$dir/$1" "$2" "$3" > "$dir/peer.txt"
  cmp -s "$dir/cli.txt" "$dir/peer.txt" || { echo "the listings differ for $args" >&2; exit 1; }
  runs+=("$cli show $dir/$1 $2 $3" "$peer $dir/$1 $2 $3")
done
hyperfine -N --warmup 2 --runs "${RUNS:-20}" "${runs[@]}"
