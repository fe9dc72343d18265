#!/usr/bin/env bash
# The scanner road end to end under Wine: the Linux scanner emulator on its pseudo-terminal is
# mapped into the Wine prefix as a COM port; the Windows reader reads it through Csp2.dll and
# saves the batch; the Linux reader reads the same scans through libcsp2 with the same clock.
# The two saved files must be the same bytes.
# Then the emulator ends while a Windows program holds the port: the scanner must read as gone
# within seconds, never hang.
#   scanner-end-to-end.sh EMULATOR LINUX_READER WINDOWS_READER WINE WINDOWS_WATCH
set -euo pipefail
emulator=$1 linux_reader=$2 windows_reader=$3 wine=$4 windows_watch=$5
for f in "$emulator" "$linux_reader" "$windows_reader"; do
  [ -x "$f" ] || { echo "FAIL: $f is not built (the Linux parts come from the Linux build)"; exit 1; }
done
: "${WINEPREFIX:?WINEPREFIX must name the test prefix}"
work=$(mktemp -d)
com=17
cleanup() {
  [ -n "${emu_pid:-}" ] && kill "$emu_pid" 2>/dev/null || true
  rm -f "$WINEPREFIX/dosdevices/com$com"
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/ports" "$work/linux" "$work/windows"
# A barcode with every kind of character the scanner sends, and a repeated one.
"$emulator" --ports-dir "$work/ports" --com 5 \
  --scan 8712345678906 --scan 4006381333931 --scan 'ABC-123 $%+./' --scan 8712345678906 &
emu_pid=$!
for _ in $(seq 100); do [ -e "$work/ports/COM5" ] && break; sleep 0.05; done
pty=$(readlink "$work/ports/COM5" || true)
[ -n "$pty" ] || { echo "FAIL: the emulator registered no port"; exit 1; }
ln -sfn "$pty" "$WINEPREFIX/dosdevices/com$com"

when=1796819467  # a fixed moment for both readers
windows_folder="Z:$(printf '%s' "$work/windows/" | tr / '\\')"
start=$(date +%s%N)
"$wine" "$windows_reader" "$com" "$windows_folder" "$when"
echo "Windows read and save: $(( ($(date +%s%N) - start) / 1000000 )) ms"
KESSMAR_PORTS_DIR="$work/ports" KESSMAR_SYSFS_ROOT="$work/none" KESSMAR_DEV_ROOT="$work/none" \
  XDG_DATA_HOME="$work/share" "$linux_reader" 5 "$work/linux/" "$when"

for f in "$work"/linux/*.dat; do
  name=$(basename "$f")
  cmp "$f" "$work/windows/$name" || { echo "FAIL: $name differs"; exit 1; }
done
[ "$(ls "$work/windows" | wc -l)" = "$(ls "$work/linux" | wc -l)" ] || { echo "FAIL: other files"; ls "$work"/*; exit 1; }
echo "same bytes: $(cd "$work/linux" && ls | tr '\n' ' ')($(stat -c %s "$work/linux/last_read.dat") bytes)"

# A scanner that vanishes while the port is held.
"$wine" "$windows_watch" "$com" > "$work/watch.out" 2>&1 &
watch_pid=$!
for _ in $(seq 100); do grep -q present "$work/watch.out" 2>/dev/null && break; sleep 0.1; done
grep -q present "$work/watch.out" || { echo "FAIL: the watch never saw the scanner"; cat "$work/watch.out"; exit 1; }
kill "$emu_pid"; wait "$emu_pid" 2>/dev/null || true; emu_pid=""
if ! wait "$watch_pid"; then echo "FAIL: the vanished scanner was not noticed"; cat "$work/watch.out"; exit 1; fi
cat "$work/watch.out"
