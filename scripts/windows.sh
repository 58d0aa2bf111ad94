#!/usr/bin/env bash
# Registrador for Windows, made and checked here: installs what is missing, unpacks the Qt kit for
# MinGW-w64, cross-builds every program and test into build-windows/, runs the tests under Wine
# on a virtual display, downloads through a Wine COM port from the Linux emulator, makes the
# setup program and a zip, and tries the setup program in a fresh Wine prefix.
#
#   REGISTRADOR_WINDOWS_KIT=/path/to/qt6-mingw64-6.4.2.tar.xz bash scripts/windows.sh
#
# The kit may also be named by its folder (one holding the tarball, or the unpacked
# qt6-mingw64 folder). Without a kit this says how to get one and exits 0, building nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"

kit=${REGISTRADOR_WINDOWS_KIT:-}
if [ -z "$kit" ] && [ -e ../shared/windows-kit/qt6-mingw64-6.4.2.tar.xz ]; then
  kit=$(cd ../shared/windows-kit && pwd)
fi
tarball="" unpacked=""
if [ -n "$kit" ] && [ -f "$kit" ]; then
  tarball=$kit
elif [ -n "$kit" ] && [ -f "$kit/mingw64.cmake" ]; then
  unpacked=$(cd "$kit" && pwd)
elif [ -n "$kit" ] && [ -d "$kit" ]; then
  tarball=$(ls "$kit"/qt6-mingw64-*.tar.xz 2>/dev/null | head -n 1 || true)
fi
if [ -z "$tarball$unpacked" ]; then
  cat <<'MSG'
No Windows kit, so nothing was built for Windows.
The Windows build needs Qt 6.4.2 cross-built for 64-bit Windows with MinGW-w64
(qt6-mingw64-6.4.2.tar.xz, unpacked to /opt/qt6-mingw64). Name it and run again:
    REGISTRADOR_WINDOWS_KIT=/path/to/qt6-mingw64-6.4.2.tar.xz bash scripts/windows.sh
The kit's own build-kit.sh makes one from Debian's source packages and Qt's sources at
tag v6.4.2 (qtserialport, qtsvg, qtcharts), in about 45 minutes on two cores.
MSG
  exit 0
fi

# What the cross build, Wine, the setup program and the Linux side (emulator) need.
bash scripts/setup.sh g++-mingw-w64-x86-64-posix wine wine64 nsis qt6-base-dev-tools openbox x11-utils \
  fonts-wine locales

# The Portuguese (Brazil) locale, which Wine takes as the Windows regional settings in the tests.
if ! locale -a 2>/dev/null | grep -qi '^pt_BR\.utf-\?8$'; then
  $SUDO sed -i 's/^# *pt_BR.UTF-8 UTF-8/pt_BR.UTF-8 UTF-8/' /etc/locale.gen
  $SUDO locale-gen >/dev/null
fi

# The kit's CMake files expect it at /opt/qt6-mingw64.
kitdir=/opt/qt6-mingw64
if [ -n "$tarball" ]; then
  stamp="$(basename "$tarball") $(stat -c '%s %Y' "$tarball")"
  if [ ! -f "$kitdir/.registrador-kit" ] || [ "$(cat "$kitdir/.registrador-kit")" != "$stamp" ]; then
    echo "Unpacking $tarball into /opt"
    $SUDO rm -rf "$kitdir"
    $SUDO tar -xJf "$tarball" -C /opt
    echo "$stamp" | $SUDO tee "$kitdir/.registrador-kit" >/dev/null
  fi
elif [ "$unpacked" != "$kitdir" ]; then
  $SUDO rm -rf "$kitdir"
  $SUDO ln -sfn "$unpacked" "$kitdir"
fi

# The Linux programs (the emulator, the reference download) come from the Linux build.
bash scripts/build.sh

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX=${WINEPREFIX:-$HOME/.wine-registrador}
# The prefix made once before the build: the tests' discovery starts programs two at a time.
wine wineboot -i >/dev/null 2>&1 || true
wineserver -w
# Configured again after a configure that stopped half-way (a cache without its build file).
if [ ! -f build-windows/build.ninja ]; then
  "$kitdir/bin/qt-cmake" -G Ninja -S . -B build-windows -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CROSSCOMPILING_EMULATOR="$root/scripts/wine-run.sh" -DREGISTRADOR_BENCH=OFF
fi
cmake --build build-windows -j2
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build-windows/CMakeCache.txt)

# A virtual display with a window manager: the tests use Windows' own platform, as the
# program does (Wine's offscreen platform has no fonts).
display=""
for n in $(seq 70 99); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || { display=":$n"; break; }
done
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
cleanup() {
  kill "${wm:-}" "$xvfb" 2>/dev/null || true
  wineserver -k 2>/dev/null || true
  for p in build-windows/wine-com build-windows/wine-setup; do WINEPREFIX=$root/$p wineserver -k 2>/dev/null || true; done
}
trap cleanup EXIT
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
DISPLAY=$display openbox >/dev/null 2>&1 &
wm=$!
export DISPLAY=$display

echo "== The tests under Wine"
# The prefix made or brought up to date before the tests start, so none waits for it.
scripts/wine-run.sh wineboot -u >/dev/null 2>&1 || true
wineserver -w
# Under Wine a test program now and then hangs in its teardown after all its tests passed
# (seen once in some runs of the whole suite): such a test is run once more before it counts.
(cd build-windows && ctest -j2 --timeout 300 --output-on-failure --repeat until-pass:2)

echo "== Download through COM5 under Wine"
WINEPATH='Z:\opt\qt6-mingw64\bin' bash tests/windows_download_test.sh build build-windows/bin

echo "== The same download with the line on plain Win32 calls (the build option REGISTRADOR_SERIAL_WIN32)"
if [ ! -f build-windows-win32/build.ninja ]; then
  "$kitdir/bin/qt-cmake" -G Ninja -S . -B build-windows-win32 -DCMAKE_BUILD_TYPE=Release -DREGISTRADOR_SERIAL_WIN32=ON \
    -DREGISTRADOR_TESTS=OFF -DREGISTRADOR_BENCH=OFF >/dev/null
fi
cmake --build build-windows-win32 -j2 --target registrador-cli
WINEPATH='Z:\opt\qt6-mingw64\bin' bash tests/windows_download_test.sh build build-windows-win32/bin

echo "== The setup program and the zip"
stage=$root/build-windows/stage/Registrador
lists=$root/build-windows/stage/nsis
rm -rf build-windows/stage
cmake --install build-windows --prefix "$stage" >/dev/null
mkdir -p "$lists"
# One File line per installed file (config.xml apart: never replaced), one Delete line each.
( cd "$stage"
  find . -type d | sort | while read -r d; do
    rel=${d#./}; [ "$d" = . ] && rel=""
    echo "SetOutPath \"\$INSTDIR${rel:+\\${rel//\//\\}}\""
    find "$d" -maxdepth 1 -type f ! -path ./config.xml | sort | while read -r f; do
      echo "File \"$stage/${f#./}\""
    done
  done ) > "$lists/install.nsh"
( cd "$stage"
  find . -type f ! -path ./config.xml | sort | while read -r f; do
    r=${f#./}; echo "Delete \"\$INSTDIR\\${r//\//\\}\""
  done
  find . -mindepth 1 -type d | sort -r | while read -r d; do
    r=${d#./}; echo "RMDir \"\$INSTDIR\\${r//\//\\}\""
  done ) > "$lists/uninstall.nsh"
setup=$root/build-windows/registrador-$version-setup.exe
makensis -V2 -DVERSION="$version" -DSTAGE="$stage" -DFILES="$lists" -DOUTFILE="$setup" \
  packaging/windows/registrador.nsi
zip=$root/build-windows/registrador-$version-windows.zip
rm -f "$zip"
(cd build-windows/stage && cmake -E tar cf "$zip" --format=zip Registrador)
echo "Made $setup and $zip"

echo "== The setup program in a fresh Wine prefix"
bash tests/windows_setup_test.sh build "$setup" "$version"
