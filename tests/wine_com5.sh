# Sourced by the Windows checks: the Linux emulator on data/demo.img behind Wine's COM5.
# Needs $root (the repository), $emulator (registrador-emulador), $work (a scratch folder) and
# WINEPREFIX; start_emulator takes the emulator's fault options.
emu=""
stop_emulator() { [ -n "$emu" ] && { kill "$emu" 2>/dev/null || true; wait "$emu" 2>/dev/null || true; }; emu=""; }
start_emulator() {
  stop_emulator
  rm -f "$work/pty"
  "$emulator" --image "$root/data/demo.img" --link "$work/pty" "$@" >"$work/emu.out" 2>"$work/emu.log" &
  emu=$!
  for _ in $(seq 100); do [ -e "$work/pty" ] && break; sleep 0.05; done
  [ -e "$work/pty" ] || { echo "the emulator did not start"; cat "$work/emu.log"; exit 1; }
  ln -sfn "$(readlink -f "$work/pty")" "$WINEPREFIX/dosdevices/com5"
}
