#!/usr/bin/env bash
# The tool's windows under Wine on an Xvfb display of the test's own. The Linux scanner emulator's
# pseudo-terminal is Wine's COM17, listed in the Ports class as Windows lists a real port. The
# tool, copied into a fresh folder, must come up in the notification area, read the emulator's
# scans, save them with their history copy and the order page, and clear the scanner; its main
# window must show with its exact title; a second copy must end at once; Help > "Nieuwe versie
# bechikbaar ?" and "Stuur naar Vemo" must say in Dutch that they are not in the Windows version;
# the About window must show the version resource that windres compiled.
#   tool-under-wine.sh EMULATOR WINE TOOL VERSION_RC PORT_REGISTRATION ABOUT_PROBE
# KESSMAR_WINE_SCREENSHOTS=DIR also saves wine-main.png and wine-action.png there.
set -euo pipefail
emulator=$1 wine=$2 tool=$3 version_rc=$4 port_registration=$5 about_probe=$6
[ -x "$emulator" ] || { echo "FAIL: $emulator is not built (it comes from the Linux build)"; exit 1; }
: "${WINEPREFIX:?WINEPREFIX must name the test prefix}"
for p in Xvfb xwininfo xdotool xclip python3; do
  command -v "$p" >/dev/null || { echo "FAIL: $p is missing (scripts/setup-windows.sh)"; exit 1; }
done
caption="Kessmar Scanner Tool voor OPN-2001"
com=17
work=$(mktemp -d)
cleanup() {
  for pid in ${tool_pid:-} ${emu_pid:-} ${xvfb_pid:-}; do kill "$pid" 2>/dev/null || true; done
  exec 7>&- 2>/dev/null || true  # ends the port registration, which removes the device
  [ -n "${reg_pid:-}" ] && wait "$reg_pid" 2>/dev/null || true
  rm -f "$WINEPREFIX/dosdevices/com$com"
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; [ -f "$work/tool/kessmar-scanner-tool.log" ] && cat "$work/tool/kessmar-scanner-tool.log"; exit 1; }
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
# Waits up to $1 tenths of a second for the command that follows to succeed.
wait_for() {
  local tries=$1; shift
  for _ in $(seq "$tries"); do "$@" && return 0; sleep 0.1; done
  return 1
}
windows() { xwininfo -root -tree 2>/dev/null; }
has_window() { windows | grep -qF "\"$1\""; }
window_geometry() {  # x y width height of the first window named $1
  windows | grep -F "\"$1\"" | head -1 | sed -E 's/.* ([0-9]+)x([0-9]+)\+(-?[0-9]+)\+(-?[0-9]+) .*/\3 \4 \1 \2/'
}
scanner() {  # one control command to the emulator
  python3 - "$work/ports/COM5.ctl" "$1" <<'PY'
import socket, sys
s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
s.connect(sys.argv[1])
s.sendall((sys.argv[2] + "\n").encode())
print(s.recv(256).decode().strip())
PY
}

# The display.
Xvfb -displayfd 6 -screen 0 1024x768x24 -nolisten tcp 6>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
wait_for 100 test -s "$work/display" || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=:$(head -1 "$work/display")
# The desktop's browser for the order page: Wine's winebrowser, which hands the page to a
# "browser" that notes what it was given.
printf '#!/bin/sh\nprintf "%%s\\n" "$*" >> "%s/opened"\n' "$work" >"$work/browser"
chmod +x "$work/browser"
"$wine" reg add 'HKCU\Software\Wine\WineBrowser' /v Browsers /d "$work/browser" /f >/dev/null 2>&1
"$wine" reg add 'HKCR\.html' /ve /d htmlfile /f >/dev/null 2>&1
"$wine" reg add 'HKCR\htmlfile\shell\open\command' /ve \
  /d '"C:\windows\system32\winebrowser.exe" "%1"' /f >/dev/null 2>&1
# The About window, which also warms the prefix up: the very first window in a new prefix may
# not appear.
"$wine" "$about_probe" "$(printf 'Z:%s' "$tool" | tr / '\\')" > "$work/about.out" 2>&1 </dev/null \
  || fail "the About probe failed: $(cat "$work/about.out")"
rc_version=$(sed -n 's/^FILEVERSION //p' "$version_rc" | tr -d '\r')
IFS=, read -r major minor _ build <<<"$rc_version"
stamp=$(sed -n 's/.*VALUE "BuildTimestamp", "\(.*\)".*/\1/p' "$version_rc")
expected="version: Versie : $major.$minor   Build : $build     $stamp"
grep -q '^platform: windows' "$work/about.out" || fail "About ran without the windows platform: $(cat "$work/about.out")"
grep -q '^shown: 1' "$work/about.out" || fail "the About window did not show"
grep -qxF "$expected" <(tr -d '\r' <"$work/about.out") ||
  fail "the About window shows '$(grep version: "$work/about.out")', not '$expected'"
echo "About: ${expected#version: }"

# The scanner on COM17, listed in the Ports class.
mkdir -p "$work/ports" "$work/tool"
"$emulator" --ports-dir "$work/ports" --com 5 \
  --scan 8712345678906 --scan 4006381333931 --scan 8712345678906 >"$work/emulator.out" 2>&1 &
emu_pid=$!
wait_for 100 test -e "$work/ports/COM5" || fail "the emulator registered no port"
ln -sfn "$(readlink "$work/ports/COM5")" "$WINEPREFIX/dosdevices/com$com"
mkfifo "$work/registration"
"$wine" "$port_registration" "COM$com" "OPTICON OPN-2001 (emulator)" <"$work/registration" \
  >"$work/registration.out" 2>&1 &
reg_pid=$!
exec 7>"$work/registration"
wait_for 100 grep -q registered "$work/registration.out" ||
  fail "the port was not registered: $(cat "$work/registration.out")"

# The tool, as a user starts it from its own folder.
cp "$tool" "$(dirname "$tool")/Csp2.dll" "$work/tool/"
exe=$(printf 'Z:%s' "$work/tool/kessmar-scanner-tool.exe" | tr / '\\')
start=$(now_ms)
"$wine" "$exe" >"$work/tool.out" 2>&1 </dev/null &
tool_pid=$!
wait_for 300 has_window QTrayIconMessageWindow || fail "the tool made no tray icon"
wait_for 300 has_window "Wine System Tray" || fail "Wine's notification area shows no icon"
echo "start to tray icon: $(( $(now_ms) - start )) ms"

data=$work/tool/Data
wait_for 300 test -s "$data/kessmar.html" || fail "no order page in $data: $(ls -la "$data" 2>&1)"
echo "start to order page: $(( $(now_ms) - start )) ms"
[ -s "$data/last_read.dat" ] || fail "no last_read.dat"
history=$(find "$data" -maxdepth 1 -iname '*.dat' ! -name last_read.dat)
[ "$(echo "$history" | grep -c .)" = 1 ] || fail "not one history copy: $(ls "$data")"
cmp -s "$history" "$data/last_read.dat" || fail "the history copy differs from last_read.dat"
grep -q 'name="_b_count" value="2"' "$data/kessmar.html" || fail "the order page lacks the merged scans"
grep -q 'value="8712345678906"' "$data/kessmar.html" || fail "the order page lacks a barcode"
wait_for 100 grep -qs kessmar.html "$work/opened" || fail "the order page was not opened"
wait_for 100 test "$(scanner count)" = 0 || fail "the scanner still holds $(scanner count) scans"
echo "read, saved ($(stat -c %s "$data/last_read.dat") bytes), history copy $(basename "$history"), order page, scanner cleared"

# The main window, from the tray icon.
read -r tx ty _ _ <<<"$(window_geometry "Wine System Tray")"
shown=$(now_ms)
xdotool mousemove $((tx + 10)) $((ty + 10)) click --repeat 2 --delay 100 1
wait_for 100 has_window "$caption" || fail "the main window did not show: $(windows | grep '"')"
echo "tray double-click to main window: $(( $(now_ms) - shown )) ms"
sleep 0.5
if [ -n "${KESSMAR_WINE_SCREENSHOTS:-}" ]; then
  mkdir -p "$KESSMAR_WINE_SCREENSHOTS"
  /usr/bin/import -window root "$KESSMAR_WINE_SCREENSHOTS/wine-main.png"
fi

# A second copy ends at once; the first runs on.
second=$(now_ms)
timeout 60 "$wine" "$exe" >"$work/second.out" 2>&1 </dev/null || fail "the second copy ended with $?"
echo "second copy ended after $(( $(now_ms) - second )) ms"
kill -0 "$tool_pid" 2>/dev/null || fail "the first copy ended"
[ "$(windows | grep -cF "\"$caption\"")" = 1 ] || fail "more than one main window"

# Help > "Nieuwe versie bechikbaar ?": the Windows build says in Dutch that the update check is
# not in it yet. The menu is worked with the keyboard (Alt, to Help, its first item); the
# message box's text is read with Ctrl+C, which a Qt message box answers by putting its title
# and text on the clipboard (Wine hands that to the X clipboard).
main=$(xdotool search --name "^$caption\$" | head -1)
[ -n "$main" ] || fail "no X window for the main window"
xdotool windowfocus --sync "$main" 2>/dev/null || xdotool windowfocus "$main"
sleep 0.3
xdotool key --delay 150 alt Right Down Return
wait_for 100 has_window "Kessmar Scanner Tool" || fail "Help > Nieuwe versie bechikbaar ? showed no message"
box=$(xdotool search --name '^Kessmar Scanner Tool$' | head -1)
xdotool windowfocus --sync "$box" 2>/dev/null || xdotool windowfocus "$box"
sleep 0.3
xdotool key ctrl+c
update_text="Zoeken naar een nieuwe versie zit nog niet in de Windows-versie van de Kessmar Scanner Tool."
wait_for 50 sh -c 'xclip -o -selection clipboard 2>/dev/null | grep -qF "$1"' - "$update_text" ||
  fail "the message says '$(xclip -o -selection clipboard 2>/dev/null)', not '$update_text'"
xdotool key Return
wait_for 50 sh -c '! xwininfo -root -tree | grep -qF "\"Kessmar Scanner Tool\""' ||
  fail "the message did not close"
kill -0 "$tool_pid" 2>/dev/null || fail "the tool ended after the update check"
echo "Help > Nieuwe versie bechikbaar ?: told it is not in the Windows version"

# "Stuur naar Vemo": the Windows build says the back office is not in it yet, and the scans
# stay on the scanner.
kill "$tool_pid"; wait "$tool_pid" 2>/dev/null || true; tool_pid=""
scanner "add 5410000000001" >/dev/null
scanner "add 5410000000002" >/dev/null
printf '[SYSTEM]\r\nACTIE=2\r\n' >"$work/tool/kessmar-scanner-tool.ini"
"$wine" "$exe" >"$work/tool.out" 2>&1 </dev/null &
tool_pid=$!
wait_for 300 has_window "Kessmar Scanner Tool" || fail "no message about Stuur naar Vemo"
grep -q "The back office is not in the Windows build" "$work/tool/kessmar-scanner-tool.log" ||
  fail "the Vemo run was not the Windows build's"
[ "$(scanner count)" = 2 ] || fail "the scanner holds $(scanner count) scans, not the 2 unsent"
kill -0 "$tool_pid" 2>/dev/null || fail "the tool ended after Stuur naar Vemo"
echo "Stuur naar Vemo: told, scans kept"

if [ -n "${KESSMAR_WINE_SCREENSHOTS:-}" ]; then
  # The action dialog: the action "Vragen", with the scans still on the scanner.
  kill "$tool_pid"; wait "$tool_pid" 2>/dev/null || true; tool_pid=""
  printf '[SYSTEM]\r\nACTIE=0\r\n' >"$work/tool/kessmar-scanner-tool.ini"
  "$wine" "$exe" >"$work/tool.out" 2>&1 </dev/null &
  tool_pid=$!
  wait_for 300 has_window Actie || fail "the action dialog did not show"
  sleep 1
  /usr/bin/import -window root "$KESSMAR_WINE_SCREENSHOTS/wine-action.png"
  echo "screenshots in $KESSMAR_WINE_SCREENSHOTS"
fi
echo "PASS"
