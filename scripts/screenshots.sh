#!/usr/bin/env bash
# Draws the pictures of docs/ from the real program: a virtual X display with a window manager
# (so that windows carry their real frames), the emulated logger on data/demo.img, and the
# program driven by its keyboard shortcuts and mouse through xdotool. Each picture is one
# window cropped with its frame.
#
#   bash scripts/screenshots.sh [OUT_DIR]      (default: docs/)
#   BUILD_DIR=... to take the programs from another build folder (default: build/)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="$(cd "${1:-$root/docs}" && pwd)"
bin="${BUILD_DIR:-$root/build}/bin"
display="${SHOTS_DISPLAY:-:57}"
for tool in Xvfb openbox xdotool xprop xwininfo import convert; do
  command -v "$tool" > /dev/null || {
    echo "Falta $tool: apt-get install -y --no-install-recommends xvfb openbox xdotool x11-utils imagemagick" >&2
    exit 1
  }
done
[ -x "$bin/registrador" ] && [ -x "$bin/registrador-emulador" ] || { echo "Compile antes: $bin" >&2; exit 1; }

work="$(mktemp -d)"
pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2> /dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2> /dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
export DISPLAY="$display"
# A lab PC: Brazilian Portuguese, a 1366 × 768 screen.
export LANG=pt_BR.UTF-8 LC_ALL=pt_BR.UTF-8

Xvfb "$display" -screen 0 1366x768x24 -nolisten tcp > "$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do xdpyinfo > /dev/null 2>&1 && break; sleep 0.1; done
openbox > "$work/openbox.log" 2>&1 &
pids+=($!)
"$bin/registrador-emulador" --image "$root/data/demo.img" --link "$work/ttyLOGGER" > "$work/emu.out" 2> "$work/emu.log" &
pids+=($!)
"$bin/registrador-emulador-balanca" --protocol mt-sics --weight 0.98123 --unstable 4 --link "$work/ttyBALANCA" \
  > "$work/balance.out" 2> "$work/balance.log" &
pids+=($!)
for _ in $(seq 50); do [ -e "$work/ttyLOGGER" ] && [ -e "$work/ttyBALANCA" ] && break; sleep 0.1; done
printf '%s' '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>  <DATAPACKET Version="2.0"><METADATA><FIELDS><FIELD attrname="Key" fieldtype="string" required="true" WIDTH="32"/><FIELD attrname="Value" fieldtype="string" WIDTH="32"/></FIELDS><PARAMS/></METADATA><ROWDATA><ROW Key="ComPort" Value="1"/><ROW Key="IntAq" Value="25"/><ROW Key="Coef1" Value="1"/><ROW Key="Coef2" Value="1"/><ROW Key="Desl1" Value="0"/><ROW Key="Desl2" Value="0"/><ROW Key="Debug" Value="1"/><ROW Key="COM2" Value="'"$work/ttyLOGGER"'"/><ROW Key="Resultados" Value="'"$work/resultados.sqlite"'"/><ROW Key="Balanca" Value="'"$work/ttyBALANCA"'"/><ROW Key="BalancaProtocolo" Value="mt-sics"/></ROWDATA></DATAPACKET>' > "$work/config.xml"
(cd "$work" && exec "$bin/registrador" > "$work/app.log" 2>&1) &
pids+=($!)

# The window of that exact title once it is visible.
window() {
  local id
  for _ in $(seq 100); do
    id="$(xdotool search --onlyvisible --name "^$1\$" 2> /dev/null | head -n 1 || true)"
    [ -n "$id" ] && { echo "$id"; return; }
    sleep 0.1
  done
  echo "A janela \"$1\" não apareceu" >&2
  import -window root "$out/missing-window.png" 2> /dev/null || true
  exit 1
}
gone() { for _ in $(seq 300); do xdotool search --onlyvisible --name "^$1\$" > /dev/null 2>&1 || return 0; sleep 0.1; done; }
# Crops the screen to the window with its frame.
shoot() {
  local id="$1" name="$2" x y w h l r t b
  sleep 0.7 # painted, and the window manager done with it
  x=$(xwininfo -id "$id" | awk '/Absolute upper-left X/ {print $4}')
  y=$(xwininfo -id "$id" | awk '/Absolute upper-left Y/ {print $4}')
  w=$(xwininfo -id "$id" | awk '/Width:/ {print $2}')
  h=$(xwininfo -id "$id" | awk '/Height:/ {print $2}')
  read -r l r t b < <(xprop -id "$id" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,//g')
  import -window root "$work/screen.png"
  convert "$work/screen.png" -crop "$((w + l + r))x$((h + t + b))+$((x - l))+$((y - t))" +repage "$out/$name"
  echo "$out/$name: $((w + l + r)) x $((h + t + b))"
}

main=$(window "Bomba Calorimétrica - Registrador de Dados")
xdotool windowactivate --sync "$main"
xdotool key alt+l # "&Ler Dados"
window "Lendo memória" > /dev/null
gone "Lendo memória"
sleep 1
xdotool windowactivate --sync "$main" 2> /dev/null || true # active again after the progress window
shoot "$main" main-window.png

xdotool key alt+c c # "&Configurar" › "&Comunicação..."
shoot "$(window "Comunicação")" communication-dialog.png
xdotool key Escape
gone "Comunicação"

xdotool mousemove --window "$main" 205 8 click 1 # "Service" on the menu bar
service=$(window "Serviço - Teste de Comunicação com o Registrador")
xdotool mousemove --window "$service" 300 112 click 1 # "Envia (0x03)": one register
shoot "$service" service-dialog.png
xdotool mousemove --window "$service" 200 364 click 1 # "OK"
gone "Serviço - Teste de Comunicação com o Registrador"

xdotool key alt+j s # "A&juda" › "&Sobre..."
shoot "$(window "Sobre")" about-box.png
xdotool key Return
gone "Sobre"

xdotool key alt+a e # "&Arquivo" › "&Exportar..."
shoot "$(window "Exportando os dados")" export-chooser.png
xdotool key Escape
gone "Exportando os dados"

# The chart's context menu › "Amostras do dia...": a sample scanned (its code and Enter), a
# description and Enter, then weighed on the emulated balance.
xdotool mousemove --window "$main" 450 330 click 3
sleep 0.5
xdotool key Down Down Down Down Down Return
samples=$(window "Amostras do dia .*")
xdotool windowactivate --sync "$samples"
xdotool type --delay 30 "CAR-2026-0150"
xdotool key Return
xdotool type --delay 30 "Carvão vegetal, lote 13"
xdotool key Return
sleep 0.5
xdotool key alt+p # "&Pesar"
sleep 4 # the balance settles after four readings
shoot "$samples" samples-window.png
xdotool key alt+f
gone "Amostras do dia .*"
xdotool windowactivate --sync "$main"

# The chart's context menu › "Avaliar ensaio...", with a mass typed the Brazilian way.
xdotool mousemove --window "$main" 450 330 click 3
sleep 0.5
xdotool key Down Return
eval_win=$(window "Avaliação do Ensaio 1")
xdotool windowactivate --sync "$eval_win"
xdotool key alt+a # "&Amostra"
xdotool key Tab
xdotool type --delay 40 "0,98"
xdotool key Tab
xdotool type --delay 40 "10100,5"
shoot "$eval_win" evaluation-dialog.png

# The calorimeter's calibrations, from the command line, from a week of the lab's tests (each
# test is recorded once): a first series of five runs with a check standard, then a part
# changed and a second series; the samples below take its W.
"$bin/registrador-cli" decode "$root/data/semana.img" --out "$work/semana.dat" > /dev/null
cli_record() { "$bin/registrador-cli" record "$work/semana.dat" --db "$work/resultados.sqlite" "$@" > /dev/null; }
test=0
for mass in 0,7612 0,7605 0,7620 0,7608 0,7615; do
  test=$((test + 1))
  cli_record --test "$test" --sample AB-2026 --calibrate --mass "$mass" --heat 26454 --test-date "2026-12-0$test"
done
cli_record --test 6 --sample AB-verificação --mass 0,7613 --check-standard 26454 --test-date 2026-12-06
"$bin/registrador-cli" results new-series --calorimeter BC-200 --reason "troca do eletrodo" --db "$work/resultados.sqlite" > /dev/null
test=6
for mass in 0,7618 0,7622 0,7614 0,7620 0,7617; do
  test=$((test + 1))
  cli_record --test "$test" --sample AB-2026 --calibrate --mass "$mass" --heat 26454 --test-date 2026-12-07
done
cli_record --test 12 --sample AB-verificação --mass 0,7590 --check-standard 26454 --test-date 2026-12-08
cli_record --test 13 --sample CAR-2026-0147 --description "Carvão vegetal, lote 12" --mass 0,98 --test-date 2026-12-08

# The downloaded test recorded from the window as another test of the same sample (the form
# shows what will be written), then the form again for the same test, which says it is recorded.
xdotool key alt+g # "Re&gistrar..."
form=$(window "Registrar determinação")
xdotool windowactivate --sync "$form"
xdotool type --delay 30 "CAR-2026-0147"
xdotool key Tab
xdotool type --delay 30 "Carvão vegetal, lote 12"
xdotool key alt+e
xdotool type --delay 30 "09/12/2026"
xdotool key Tab # the date taken whole
shoot "$form" record-form.png
xdotool key Return
gone "Registrar determinação"
xdotool windowactivate --sync "$eval_win"
xdotool key alt+g
form=$(window "Registrar determinação")
xdotool windowactivate --sync "$form"
shoot "$form" record-form-recorded.png
xdotool key Escape
gone "Registrar determinação"
xdotool windowactivate --sync "$eval_win"
xdotool key alt+t # "Resul&tados..."
results=$(window "Resultados")
xdotool windowactivate --sync "$results"
xdotool mousemove --window "$results" 60 100 click 1
shoot "$results" results-window.png
xdotool key alt+b # "A&brir..."
shoot "$(window "Determinação nº 14")" determination-window.png
xdotool key alt+f
gone "Determinação nº 14"
xdotool key alt+h # "&Histórico..."
shoot "$(window "Histórico da determinação nº 14")" history-window.png
xdotool key alt+f
gone "Histórico da determinação nº 14"
xdotool key alt+l # "Séries de ca&libração..."
shoot "$(window "Séries de calibração")" series-window.png
xdotool key alt+f
gone "Séries de calibração"
xdotool key alt+f
gone "Resultados"
xdotool windowactivate --sync "$eval_win"
xdotool key alt+f # "&Fechar"
gone "Avaliação do Ensaio 1"

# The results from the main window offer review and approval: the signature's window shows the
# record and its history, and asks who signs.
xdotool windowactivate --sync "$main"
xdotool mousemove --window "$main" 450 330 click 3
sleep 0.5
xdotool key Down Down Down Down Return # "Resultados..."
results=$(window "Resultados")
xdotool windowactivate --sync "$results"
xdotool mousemove --window "$results" 60 100 click 1
xdotool key alt+v # "Re&visar..."
sign=$(window "Revisar a determinação nº 14")
xdotool windowactivate --sync "$sign"
xdotool type --delay 30 "rui"
shoot "$sign" sign-dialog.png
xdotool key Escape
gone "Revisar a determinação nº 14"
shoot "$results" results-window-signing.png
xdotool key alt+f
gone "Resultados"
