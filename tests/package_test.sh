#!/usr/bin/env bash
# The Debian package: built by cpack from this build, it holds the programs, the demo images,
# the desktop entry with its icon and the manual page, and its programs start.
set -euo pipefail
build="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" > cpack.log 2>&1 || { cat cpack.log; exit 1; }
deb="$(ls "$work"/out/registrador_*_amd64.deb 2>/dev/null || ls "$work"/out/*.deb)"
# Whole outputs first: grep -q stops reading early, which pipefail would count as a failure.
info="$(dpkg-deb -I "$deb")"
grep -q "Depends: .*libqt6core6" <<< "$info"
contents="$(dpkg-deb -c "$deb")"
for f in usr/bin/registrador usr/bin/registrador-cli usr/bin/registrador-emulador \
         usr/share/registrador/demo.img usr/share/applications/registrador.desktop \
         usr/share/icons/hicolor/scalable/apps/registrador.svg usr/share/man/man1/registrador-cli.1; do
  grep -q "\./$f\$" <<< "$contents" || { echo "missing in the package: $f"; exit 1; }
done
dpkg-deb -x "$deb" root
version="$(root/usr/bin/registrador-cli --version)"
grep -q "^registrador-cli [0-9]" <<< "$version"
root/usr/bin/registrador-cli decode root/usr/share/registrador/demo.img --out demo.dat 2> /dev/null
listing="$(root/usr/bin/registrador-cli show demo.dat)"
grep -q "^3" <<< "$listing"
echo "package ok: $(basename "$deb")"
