#!/usr/bin/env bash
# Runs a cross-built Windows program under Wine with the Qt kit's DLLs and plugins on its paths,
# in the project's own Wine prefix. Used as CMake's cross-compiling emulator, so ctest and the
# tests' discovery go through it too.
set -euo pipefail
kit=${REGISTRADOR_KIT_DIR:-/opt/qt6-mingw64}
export WINEPREFIX=${WINEPREFIX:-$HOME/.wine-registrador}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
export WINEPATH="Z:${kit//\//\\}\\bin"
export QT_PLUGIN_PATH="Z:${kit//\//\\}\\plugins"
exec wine "$@"
