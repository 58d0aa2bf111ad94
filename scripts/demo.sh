#!/usr/bin/env bash
# Installs what is missing, builds, and runs the program against the bundled emulated logger
# (data/demo.img, three calorimeter tests) and the emulated balance in a scratch folder, with a
# results database of its own there. With a display the main window opens and "&Ler Dados"
# downloads the demo tests; without one the same download runs with registrador-cli, leaves the
# data file, spreadsheets and charts in the folder, and a sample weighed on the balance is
# recorded with its test.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh"
bin="$root/build/bin"
work="${DEMO_DIR:-$root/demo-run}"
mkdir -p "$work"
cd "$work"

"$bin/registrador-emulador" --image "$root/data/demo.img" > emulator.out 2> emulator.log &
emu=$!
# The balance reads 0.81234 g, moving for three readings before it settles.
"$bin/registrador-emulador-balanca" --protocol mt-sics --weight 0.81234 --unstable 3 > balance.out 2> balance.log &
bal=$!
trap 'kill "$emu" "$bal" 2>/dev/null || true; wait "$emu" "$bal" 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -s emulator.out ] && [ -s balance.out ] && break; sleep 0.1; done
device="$(head -n 1 emulator.out)"
[ -n "$device" ] || { echo "O emulador não iniciou (veja $work/emulator.log)" >&2; exit 1; }
balance="$(head -n 1 balance.out)"
[ -n "$balance" ] || { echo "A balança emulada não iniciou (veja $work/balance.log)" >&2; exit 1; }
echo "Registrador emulado em $device, balança emulada (MT-SICS) em $balance"

printf '%s' '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>  <DATAPACKET Version="2.0"><METADATA><FIELDS><FIELD attrname="Key" fieldtype="string" required="true" WIDTH="32"/><FIELD attrname="Value" fieldtype="string" WIDTH="32"/></FIELDS><PARAMS/></METADATA><ROWDATA><ROW Key="ComPort" Value="1"/><ROW Key="IntAq" Value="25"/><ROW Key="Coef1" Value="1"/><ROW Key="Coef2" Value="1"/><ROW Key="Desl1" Value="0"/><ROW Key="Desl2" Value="0"/><ROW Key="Debug" Value="1"/><ROW Key="COM2" Value="'"$device"'"/><ROW Key="Balanca" Value="'"$balance"'"/><ROW Key="BalancaProtocolo" Value="mt-sics"/><ROW Key="Resultados" Value="'"$work/resultados.sqlite"'"/></ROWDATA></DATAPACKET>' > config.xml

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "Abrindo o Registrador em $work; clique em \"Ler Dados\", depois com o botão direito no gráfico"
  echo "em \"Amostras do dia...\" (inclua uma amostra e clique em \"Pesar\") e em \"Avaliar ensaio...\"."
  "$bin/registrador"
else
  echo "Sem display: o mesmo download pelo registrador-cli, resultados em $work"
  "$bin/registrador-cli" download --device "$device" --out "$work/demo.dat"
  "$bin/registrador-cli" show "$work/demo.dat"
  for t in $("$bin/registrador-cli" show "$work/demo.dat" | awk 'NR>1 {print $1}'); do
    "$bin/registrador-cli" export "$work/demo.dat" --test "$t" --out "$work/ensaio$t.xls"
    "$bin/registrador-cli" plot "$work/demo.dat" --test "$t" --out "$work/ensaio$t.png"
    "$bin/registrador-cli" calc "$work/demo.dat" --test "$t"
  done
  # One report, as a sample would be evaluated with the calorimeter's energy equivalent.
  "$bin/registrador-cli" report "$work/demo.dat" --test 1 --energy-equivalent 10150 --mass 0.8 \
    --out "$work/relatorio-ensaio1.pdf"
  # The day's sample weighed on the balance, then recorded with test 1: no mass typed.
  rm -f "$work"/resultados.sqlite*
  "$bin/registrador-cli" samples add --code CAR-7 --description "carvão mineral" > /dev/null
  "$bin/registrador-cli" samples weigh 1
  "$bin/registrador-cli" record "$work/demo.dat" --test 1 --queued CAR-7 --energy-equivalent 10150
  ls -1 "$work"/demo.dat "$work"/ensaio*.xls "$work"/ensaio*.png "$work"/relatorio*.pdf 2>/dev/null || true
fi
