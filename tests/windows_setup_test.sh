#!/usr/bin/env bash
# The setup program in a fresh Wine prefix: a silent install for the current user, the installed
# command line (with only the DLLs it installed), a download through COM5 with the installed
# programs, the installed window driven on the display and its picture (a download, the results,
# a record from the window listed by the command line), a silent uninstall that
# leaves config.xml and the user's files and no program file.
#   tests/windows_setup_test.sh LINUX_BUILD SETUP_EXE VERSION
# Needs DISPLAY (a virtual one with a window manager); REGISTRADOR_SHOT=FILE keeps the picture.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
linux=$(cd "$1" && pwd)
setup=$(readlink -f "$2")
version=$3
export WINEPREFIX=$root/build-windows/wine-setup
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset WINEPATH # only what the setup program installed
wineserver -k 2>/dev/null || true
rm -rf "$WINEPREFIX"
wine wineboot -i >/dev/null 2>&1
user=$(wine cmd /c 'echo %USERNAME%' 2>/dev/null | tr -d '\r')
# Wine links the desktop and documents to the Unix home: folders of the prefix's own instead,
# so that the shortcuts and files of this test stay inside it.
for d in "$WINEPREFIX/drive_c/users/$user"/*; do
  [ -L "$d" ] && rm "$d" && mkdir "$d"
done
inst="$WINEPREFIX/drive_c/users/$user/AppData/Local/Programs/Registrador"
fail() { echo "FAIL $*"; exit 1; }

wine "$setup" /S
wineserver -w
[ -f "$inst/registrador.exe" ] || fail "nothing installed in $inst"
for f in registrador-cli.exe config.xml desinstalar.exe platforms/qwindows.dll styles/qwindowsvistastyle.dll \
         sqldrivers/qsqlite.dll iconengines/qsvgicon.dll exemplos/demo.img; do
  [ -f "$inst/$f" ] || fail "$f not installed"
done
menu=$(find "$WINEPREFIX/drive_c/users/$user" -name 'Registrador.lnk' | wc -l)
[ "$menu" -ge 2 ] || fail "the Start-menu and desktop shortcuts are missing"
wine reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Registrador' /v DisplayVersion 2>/dev/null \
  | tr -d '\r' | grep -q "$version" || fail "the version is not in Programs and Features"
echo "ok   installed in $inst"

got=$(wine "$inst/registrador-cli.exe" --version 2>&1 | tr -d '\r')
echo "$got" | grep -q "$version" || fail "registrador-cli --version said: $got"
echo "ok   installed registrador-cli --version: $got"

bash "$root/tests/windows_download_test.sh" "$linux" "$inst" "$WINEPREFIX"

# The installed window, started as its shortcut starts it (in the install folder), downloads on
# Alt+L from the port that config.xml names: COM2 is COM5 here.
work=$(mktemp -d)
emulator=$linux/bin/registrador-emulador
# shellcheck source=tests/wine_com5.sh
. "$root/tests/wine_com5.sh"
trap 'stop_emulator; rm -rf "$work"' EXIT
start_emulator
cp "$inst/config.xml" "$work/config.xml.installed"
sed -e 's|<ROW Key="ComPort" Value="0"/>|<ROW Key="ComPort" Value="1"/>|' \
    -e 's|</ROWDATA>|<ROW Key="COM2" Value="COM5"/></ROWDATA>|' "$work/config.xml.installed" > "$inst/config.xml"
title='^Bomba Calorimétrica - Registrador de Dados$'
xdotool search --name "$title" >/dev/null 2>&1 && fail "a Registrador window is already open on $DISPLAY"
(cd "$inst" && exec wine registrador.exe >/dev/null 2>&1 </dev/null) &
disown
win=""
for _ in $(seq 100); do
  win=$(xdotool search --name "$title" 2>/dev/null | head -n 1 || true)
  [ -n "$win" ] && break; sleep 0.2
done
[ -n "$win" ] || fail "the installed window did not open"
sleep 1
xdotool windowactivate --sync "$win" 2>/dev/null || true
xdotool key --window "$win" alt+l
shot=${REGISTRADOR_SHOT:-$root/build-windows/windows-main-window.png}
# The download of the demo (33 blocks) takes some seconds under its progress window; then the
# first test is shown.
lendo() { xdotool search --onlyvisible --name '^Lendo' >/dev/null 2>&1; }
for _ in $(seq 50); do lendo && break; sleep 0.2; done
lendo || fail "Alt+L started no download"
for _ in $(seq 120); do lendo || break; sleep 0.5; done
lendo && fail "the download did not end"
sleep 2
import -window "$win" -frame "$shot" 2>/dev/null || import -window root "$shot"
echo "ok   the installed window after Alt+L: $shot"
# After a download, the results open at once (the first load of the database's driver once hung
# the window in the system's loader), and a test recorded from the window is the one the
# installed command line lists from the same default database.
waitfor() { for _ in $(seq 60); do w=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1 || true); [ -n "$w" ] && { echo "$w"; return 0; }; sleep 0.5; done; return 1; }
gone() { for _ in $(seq 60); do xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0; sleep 0.5; done; return 1; }
chart_menu() { xdotool windowactivate --sync "$win" 2>/dev/null || true; xdotool mousemove --window "$win" 450 300 click 3; sleep 1; xdotool key "$@"; }
chart_menu Up Up Return # "Resultados...", above "Amostras do dia..."
results=$(waitfor '^Resultados$') || fail "Resultados did not open after the download"
xdotool windowactivate --sync "$results" 2>/dev/null || true
xdotool key alt+f
gone '^Resultados$' || fail "Resultados did not close"
echo "ok   Resultados opens after a download"
chart_menu Down Return # "Avaliar ensaio..."
evaluation=$(waitfor '^Avaliação do Ensaio 1$') || fail "the evaluation did not open"
xdotool windowactivate --sync "$evaluation" 2>/dev/null || true
sleep 1
xdotool key alt+a Tab
xdotool type --delay 40 "0,98"
xdotool key Tab
xdotool type --delay 40 "10100,5"
xdotool key Tab alt+g # "Re&gistrar..."
form=$(waitfor '^Registrar determinação$') || fail "the Registrar form did not open"
xdotool windowactivate --sync "$form" 2>/dev/null || true
sleep 1
xdotool type --delay 40 "WINE-1"
xdotool key Return
gone '^Registrar determinação$' || fail "the Registrar form did not record"
xdotool windowactivate --sync "$evaluation" 2>/dev/null || true
xdotool key alt+f
gone '^Avaliação do Ensaio 1$' || fail "the evaluation did not close"
listed=$(cd "$inst" && wine registrador-cli.exe results list --json 2>/dev/null | tr -d '\r')
echo "$listed" | grep -q '"sample": "WINE-1"' || fail "the record made in the window is not listed: $listed"
echo "ok   recorded from the window, listed by the installed registrador-cli"
xdotool key --window "$win" alt+F4 || true
sleep 1
wineserver -k 2>/dev/null || true
cp "$work/config.xml.installed" "$inst/config.xml"

# The user's own file in the program's folder, and a changed config.xml: both stay.
echo "meu" > "$inst/meus-dados.dat"
echo '<!-- do usuário -->' >> "$inst/config.xml"
wine "$inst/desinstalar.exe" /S
wineserver -w
sleep 2; wineserver -w
left=$(cd "$inst" 2>/dev/null && find . -type f ! -name config.xml ! -name meus-dados.dat | sort || true)
[ -z "$left" ] || fail "the uninstaller left program files: $left"
[ -f "$inst/config.xml" ] && grep -q 'do usuário' "$inst/config.xml" || fail "the uninstaller removed config.xml"
[ -f "$inst/meus-dados.dat" ] || fail "the uninstaller removed the user's file"
[ -z "$(find "$WINEPREFIX/drive_c/users/$user" -name 'Registrador.lnk')" ] || fail "shortcuts left"
echo "ok   uninstalled: no program file left, config.xml and the user's file kept"
