#!/usr/bin/env bash
# The Windows command line under Wine downloads through a COM port whose other end is the Linux
# emulator (Wine's dosdevices/com5 links to the emulator's pseudo-terminal), and writes the same
# data file as the Linux download, also with the emulator's faults on; a lasting fault fails
# with the communication status and leaves no file.
#   tests/windows_download_test.sh LINUX_BUILD WINDOWS_BIN_DIR [WINEPREFIX]   (KEEP_WORK=1 keeps its files)
# WINDOWS_BIN_DIR holds registrador-cli.exe (the build's bin/ or an installed folder).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
linux=$(cd "$1" && pwd)/bin
winbin=$(cd "$2" && pwd)
export WINEPREFIX=${3:-$root/build-windows/wine-com}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
work=$(mktemp -d)
emulator=$linux/registrador-emulador
# shellcheck source=tests/wine_com5.sh
. "$root/tests/wine_com5.sh"
trap 'stop_emulator; [ -n "${KEEP_WORK:-}" ] || rm -rf "$work"' EXIT
wine wineboot -i >/dev/null 2>&1 || true

# The reference: the Linux download of the same image.
start_emulator
"$linux/registrador-cli" download --device "$work/pty" --out "$work/linux.dat" >/dev/null 2>&1
rows=$(grep -o '<ROW ' "$work/linux.dat" | wc -l)

failures=0
check() { # name expected-status [emulator options...]
  local name=$1 want=$2; shift 2
  start_emulator "$@"
  rm -f "$work/windows.dat"
  local t0=$SECONDS status=0
  (cd "$work" && wine "$winbin/registrador-cli.exe" --verbose download --device COM5 --out 'Z:'"${work//\//\\}"'\windows.dat') \
    >"$work/out" 2>"$work/err" || status=$?
  if [ "$status" != "$want" ]; then
    echo "FAIL $name: status $status, expected $want"; grep -v 'registrador\.' "$work/err" | sed 's/^/  /'; failures=$((failures + 1)); return
  fi
  if [ "$want" = 0 ] && ! cmp -s "$work/linux.dat" "$work/windows.dat"; then
    echo "FAIL $name: the data file differs from the Linux download"; failures=$((failures + 1)); return
  fi
  if [ "$want" != 0 ] && [ -e "$work/windows.dat" ]; then
    echo "FAIL $name: a file was left"; failures=$((failures + 1)); return
  fi
  if ! grep -q 'registrador.link' "$work/err"; then
    echo "FAIL $name: --verbose printed no exchange"; failures=$((failures + 1)); return
  fi
  echo "ok   $name ($((SECONDS - t0)) s, $(grep -c 'registrador.link' "$work/err") exchanges logged)"
}

echo "COM5 under Wine against the emulator, $rows rows as on Linux:"
check "clean download" 0
check "a bad check value on block 2" 0 --bad-lrc-block 2
check "block 3 cut short" 0 --cut-block 3 --cut-length 20
check "block 2 held back 250 ms" 0 --hold-block 2 --hold-ms 250
check "a slow logger (40 + 0..20 ms)" 0 --reply-delay 40 --reply-jitter 20 --seed 7
check "a logger that never answers" 2 --silent
check "block 2 always bad" 2 --bad-lrc-block-always 2

# What the Windows programs write from the download, in a prefix set to Portuguese (Brazil) with
# its decimal comma: the same text as on Linux (decimal point), and pictures and reports with their
# text drawn, in a folder whose name has accents and spaces.
# Wine takes the Windows locale from the Unix one (pt_BR.UTF-8 must be generated).
wine() { LANG=pt_BR.UTF-8 LC_ALL=pt_BR.UTF-8 command wine "$@"; }
# A new locale brings the prefix up to date; a program started meanwhile may not find its DLLs.
wine wineboot -u >/dev/null 2>&1 || true
wineserver -w
decimal=$(wine reg query 'HKCU\Control Panel\International' /v sDecimal 2>/dev/null | tr -d '\r' | awk '/sDecimal/ {print $3}')
[ "$decimal" = "," ] || { echo "FAIL the prefix is not set to a decimal comma (is pt_BR.UTF-8 generated?)"; exit 1; }
folder="$work/Relatórios de ensaio"
mkdir -p "$folder"
cp "$work/linux.dat" "$folder/memória 1.dat"
winfolder='Z:'"${folder//\//\\}"
wcli() { wine "$winbin/registrador-cli.exe" "$@"; }
for args in "show" "show --test 1" "calc --test 2"; do
  # shellcheck disable=SC2086
  "$linux/registrador-cli" $args "$work/linux.dat" >"$work/linux.txt" 2>&1 || true
  # shellcheck disable=SC2086
  wcli $args "$winfolder\\memória 1.dat" 2>&1 | tr -d '\r' >"$work/windows.txt" || true
  if cmp -s "$work/linux.txt" "$work/windows.txt"; then echo "ok   $args: the same text as on Linux"
  else echo "FAIL $args differs from Linux:"; diff "$work/linux.txt" "$work/windows.txt" | head -5; failures=$((failures + 1)); fi
done
wcli report "$winfolder\\memória 1.dat" --test 1 --out "$winfolder\\relatório 1.pdf" >"$work/out" 2>&1 || cat "$work/out"
pdftotext "$folder/relatório 1.pdf" "$work/report.txt" 2>/dev/null || true
if grep -q 'Página 1 de' "$work/report.txt" 2>/dev/null; then echo "ok   report with its text"
else echo "FAIL the report has no text"; failures=$((failures + 1)); fi
wcli export "$winfolder\\memória 1.dat" --test 1 --format csv --out "$winfolder\\planilha 1.csv" >/dev/null 2>&1 || true
"$linux/registrador-cli" export "$work/linux.dat" --test 1 --format csv --out "$work/linux.csv" >/dev/null 2>&1
if cmp -s "$work/linux.csv" "$folder/planilha 1.csv"; then echo "ok   CSV export as on Linux"
else echo "FAIL the CSV export differs from Linux"; failures=$((failures + 1)); fi
wcli plot "$winfolder\\memória 1.dat" --test 1 --out "$winfolder\\gráfico 1.png" >/dev/null 2>&1 || true
"$linux/registrador-cli" plot "$work/linux.dat" --test 1 --out "$work/linux.png" >/dev/null 2>&1
if [ -s "$folder/gráfico 1.png" ]; then echo "ok   chart written"; else echo "FAIL no chart"; failures=$((failures + 1)); fi

[ "$failures" = 0 ] || { echo "$failures case(s) failed"; exit 1; }
