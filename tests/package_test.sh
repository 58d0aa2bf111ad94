#!/usr/bin/env bash
# The Debian package, built by cpack from this build: what it holds and declares, lintian and
# appstreamcli on it (when installed), and its menu launcher started as a new user would start
# it: in a fresh HOME on a virtual display, where it must open the main window, and again with
# the config.xml the first start left, which it must use and keep.
# Arguments: the build folder and the project version.
set -euo pipefail
build="$1"
version="$2"
work="$(mktemp -d)"
pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2> /dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2> /dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
cd "$work"

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" > cpack.log 2>&1 || { cat cpack.log; exit 1; }
deb="$work/out/registrador_${version}_amd64.deb"
[ -f "$deb" ] || fail "no $(basename "$deb") (cpack made: $(ls out))"

# --- What the package declares and holds. Whole outputs first: grep -q stops reading early,
# which pipefail would count as a failure.
info="$(dpkg-deb -f "$deb" Version Depends Maintainer)"
grep -qx "Version: $version" <<< "$info" || fail "version: $info"
grep -q "^Depends: .*libqt6core6" <<< "$info" || fail "no Qt dependency: $info"
grep -q "^Depends: .*libqt6svg6" <<< "$info" || fail "no SVG icon engine (a plugin, not linked): $info"
contents="$(dpkg-deb -c "$deb")"
for f in usr/bin/registrador usr/bin/registrador-cli usr/bin/registrador-emulador usr/bin/registrador-menu \
         usr/share/registrador/config.xml usr/share/registrador/demo.img \
         usr/share/applications/registrador.desktop usr/share/icons/hicolor/scalable/apps/registrador.svg \
         usr/share/man/man1/registrador.1.gz usr/share/man/man1/registrador-cli.1.gz \
         usr/share/man/man1/registrador-emulador.1.gz usr/share/man/man1/registrador-menu.1.gz \
         usr/bin/registrador-emulador-balanca usr/share/man/man1/registrador-emulador-balanca.1.gz \
         usr/share/doc/registrador/copyright usr/share/doc/registrador/changelog.gz \
         usr/share/metainfo/br.org.calorimetria.registrador.metainfo.xml; do
  grep -q "\./$f\$" <<< "$contents" || fail "missing in the package: $f"
done
# Nothing runs at installation, upgrade or removal, and nothing is a conffile: the users' files
# (their data folders) are never touched by the package.
control="$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | sed 's|^\./||' | grep -v '^$' | sort | tr '\n' ' ')"
[ "$control" = "control md5sums " ] || fail "control archive holds more than control and md5sums: $control"

dpkg-deb -x "$deb" root
grep -qx "Exec=registrador-menu" root/usr/share/applications/registrador.desktop || fail "desktop entry does not start the launcher"
zcat root/usr/share/doc/registrador/changelog.gz | head -n 1 | grep -q "^registrador ($version) " ||
  fail "the changelog's latest entry is not $version"

# --- Checkers of the platform's rules, when installed (scripts/setup.sh installs them).
if command -v lintian > /dev/null; then
  # Errors and warnings fail; informational tags are listed only.
  lint="$(lintian --fail-on error,warning "$deb" 2> lintian.err)" || { echo "$lint"; cat lintian.err; fail "lintian"; }
  [ -z "$lint" ] || echo "lintian (not failing): $lint"
else
  echo "lintian not installed: not run"
fi
if command -v appstreamcli > /dev/null; then
  # --no-net: the screenshots' addresses are not fetched here.
  appstreamcli validate --no-net root/usr/share/metainfo/br.org.calorimetria.registrador.metainfo.xml > appstream.log 2>&1 ||
    { cat appstream.log; fail "appstreamcli validate"; }
else
  echo "appstreamcli not installed: not run"
fi

# --- The companion programs run from the package.
root/usr/bin/registrador-cli --version | grep -q "^registrador-cli $version" || fail "registrador-cli --version"
root/usr/bin/registrador-cli decode root/usr/share/registrador/demo.img --out demo.dat 2> /dev/null
listing="$(root/usr/bin/registrador-cli show demo.dat)"
grep -q "^3" <<< "$listing" || fail "the demo image's tests: $listing"

# --- The launcher's folder rules, with a stand-in for the program that tells where it started.
stub="$work/stub"
mkdir -p "$stub/bin" "$stub/share/registrador"
cp root/usr/bin/registrador-menu "$stub/bin/"
cp root/usr/share/registrador/config.xml "$stub/share/registrador/"
printf '#!/bin/sh\npwd\n' > "$stub/bin/registrador"
chmod +x "$stub/bin/registrador"
launch() { env -i PATH=/usr/bin:/bin "$@" "$stub/bin/registrador-menu"; }
[ "$(launch HOME="$work/h1" XDG_DATA_HOME="$work/xdg")" = "$work/xdg/registrador" ] || fail "XDG_DATA_HOME not used"
cmp -s "$work/xdg/registrador/config.xml" root/usr/share/registrador/config.xml || fail "default config.xml not copied"
[ "$(launch HOME="$work/h1" XDG_DATA_HOME=relative)" = "$work/h1/.local/share/registrador" ] ||
  fail "a relative XDG_DATA_HOME is not ignored"
printf 'not a table' > "$work/xdg/registrador/config.xml"
launch HOME="$work/h1" XDG_DATA_HOME="$work/xdg" > /dev/null
[ "$(cat "$work/xdg/registrador/config.xml")" = "not a table" ] || fail "the user's config.xml was replaced"
[ -z "$(find "$work/xdg/registrador" -name '.config.xml.*')" ] || fail "a temporary file was left"
touch "$work/notadir"
if launch HOME="$work/h1" XDG_DATA_HOME="$work/notadir" > out.txt 2> err.txt; then fail "no error for a data folder that cannot be made"; fi
grep -q "não consegui criar a pasta de dados $work/notadir/registrador" err.txt || fail "unclear error: $(cat err.txt)"
[ ! -s out.txt ] || fail "the program was started without its folder"

# --- The real launcher in a fresh HOME on a virtual display. Each wait below ends on an event
# (the display's number, the emulator's path, a window that appears); ctest's timeout bounds it.
command -v Xvfb > /dev/null && command -v xdotool > /dev/null || fail "Xvfb and xdotool are needed (scripts/setup.sh)"
mkfifo xvfb.fifo emu.fifo
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3> xvfb.fifo 2> xvfb.log &
pids+=($!)
exec 3< xvfb.fifo
read -r display <&3 || fail "Xvfb did not start: $(cat xvfb.log)"
home="$work/home"
mkdir "$home"
# As a new account: nothing of this shell's environment, no Qt platform chosen. Run in the
# background only: exec makes the program itself the background job, so $! is its process.
start() { exec env -i PATH=/usr/bin:/bin HOME="$home" DISPLAY=":$display" "$work/root/usr/bin/registrador-menu"; }
windows="^(Warning|Bomba Calorimétrica - Registrador de Dados)\$"
# The first visible window of process $1 whose title matches $2; fails when the process ends.
wait_window() {
  local id
  while kill -0 "$1" 2> /dev/null; do
    id="$(DISPLAY=":$display" xdotool search --onlyvisible --pid "$1" --name "$2" 2> /dev/null | head -n 1 || true)"
    [ -n "$id" ] && { echo "$id"; return; }
    sleep 0.2
  done
  fail "the program ended without a window: $(cat "$work"/app*.log)"
}
title() { DISPLAY=":$display" xdotool getwindowname "$1"; }
stop() { kill "$1"; wait "$1" 2> /dev/null || true; }

start > app1.log 2>&1 &
app=$!
pids+=($app)
id="$(wait_window "$app" "$windows")"
if [ "$(title "$id")" = Warning ]; then
  # COM1 (/dev/ttyS0) does not open on this machine: the warning comes first; its OK goes on.
  echo "first start: the port warning came first; answered"
  DISPLAY=":$display" xdotool windowfocus --sync "$id" key Return
  id="$(wait_window "$app" "^Bomba Calorimétrica - Registrador de Dados\$")"
fi
data="$home/.local/share/registrador"
[ "$(readlink "/proc/$app/cwd")" = "$data" ] || fail "the program does not run in $data"
cmp -s "$data/config.xml" root/usr/share/registrador/config.xml || fail "the first start did not copy the default config.xml"
stop "$app"

# The second start uses the config.xml that is there: the user points COM1 at the package's
# emulator, so the port opens (no warning) and the program holds that terminal open.
root/usr/bin/registrador-emulador --image root/usr/share/registrador/demo.img > emu.fifo 2> emu.log &
pids+=($!)
exec 4< emu.fifo
read -r pty <&4 || fail "the emulator did not start: $(cat emu.log)"
sed -i "s|</ROWDATA>|<ROW Key=\"COM1\" Value=\"$pty\"/></ROWDATA>|" "$data/config.xml"
cp "$data/config.xml" config.user
start > app2.log 2>&1 &
app=$!
pids+=($app)
id="$(wait_window "$app" "$windows")"
[ "$(title "$id")" != Warning ] || fail "second start: the port did not open"
ls -l "/proc/$app/fd" | grep -q -- "-> $(readlink -f "$pty")\$" || fail "second start: $pty is not the open port"
stop "$app"
cmp -s "$data/config.xml" config.user || fail "the user's config.xml changed"
echo "package ok: $(basename "$deb")"
