#!/usr/bin/env bash
# The Windows command line under Wine downloads through a COM port whose other end is the Linux
# emulator (Wine's dosdevices/com5 links to the emulator's pseudo-terminal), and writes the same
# data file as the Linux download, also with the emulator's faults on; a lasting fault fails
# with the communication status and leaves no file.
#   tests/windows_download_test.sh LINUX_BUILD WINDOWS_BIN_DIR [WINEPREFIX]
# WINDOWS_BIN_DIR holds registrador-cli.exe (the build's bin/ or an installed folder).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
linux=$(cd "$1" && pwd)/bin
winbin=$(cd "$2" && pwd)
export WINEPREFIX=${3:-$root/build-windows/wine-com}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
work=$(mktemp -d)
emu=""
stop_emulator() { [ -n "$emu" ] && { kill "$emu" 2>/dev/null || true; wait "$emu" 2>/dev/null || true; }; emu=""; }
trap 'stop_emulator; rm -rf "$work"' EXIT

[ -d "$WINEPREFIX/dosdevices" ] || wine wineboot -i >/dev/null 2>&1
wine wineboot -i >/dev/null 2>&1 || true

start_emulator() { # emulator options...
  stop_emulator
  rm -f "$work/pty"
  "$linux/registrador-emulador" --image "$root/data/demo.img" --link "$work/pty" "$@" >"$work/emu.out" 2>"$work/emu.log" &
  emu=$!
  for _ in $(seq 100); do [ -e "$work/pty" ] && break; sleep 0.05; done
  [ -e "$work/pty" ] || { echo "the emulator did not start"; cat "$work/emu.log"; exit 1; }
  ln -sfn "$(readlink -f "$work/pty")" "$WINEPREFIX/dosdevices/com5"
}

# The reference: the Linux download of the same image.
start_emulator
"$linux/registrador-cli" download --device "$work/pty" --out "$work/linux.dat" >/dev/null
rows=$(grep -o '<ROW ' "$work/linux.dat" | wc -l)

failures=0
check() { # name expected-status [emulator options...]
  local name=$1 want=$2; shift 2
  start_emulator "$@"
  rm -f "$work/windows.dat"
  local t0=$SECONDS status=0
  (cd "$work" && wine "$winbin/registrador-cli.exe" download --device COM5 --out 'Z:'"${work//\//\\}"'\windows.dat') \
    >"$work/out" 2>"$work/err" || status=$?
  if [ "$status" != "$want" ]; then
    echo "FAIL $name: status $status, expected $want"; sed 's/^/  /' "$work/err"; failures=$((failures + 1)); return
  fi
  if [ "$want" = 0 ] && ! cmp -s "$work/linux.dat" "$work/windows.dat"; then
    echo "FAIL $name: the data file differs from the Linux download"; failures=$((failures + 1)); return
  fi
  if [ "$want" != 0 ] && [ -e "$work/windows.dat" ]; then
    echo "FAIL $name: a file was left"; failures=$((failures + 1)); return
  fi
  echo "ok   $name ($((SECONDS - t0)) s)"
}

echo "COM5 under Wine against the emulator, $rows rows as on Linux:"
check "clean download" 0
check "a bad check value on block 2" 0 --bad-lrc-block 2
check "block 3 cut short" 0 --cut-block 3 --cut-length 20
check "block 2 held back 250 ms" 0 --hold-block 2 --hold-ms 250
check "a slow logger (40 + 0..20 ms)" 0 --reply-delay 40 --reply-jitter 20 --seed 7
check "a logger that never answers" 2 --silent
check "block 2 always bad" 2 --bad-lrc-block-always 2
[ "$failures" = 0 ] || { echo "$failures case(s) failed"; exit 1; }
