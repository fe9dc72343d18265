#!/usr/bin/env bash
# The tool's two roads on its demo set-up, in a fresh demo folder, everything on 127.0.0.1.
# First the web shop: an emulated scanner holding a few scans, the tool with automatic
# connection, and a stand-in for the web shop; the batch is read, saved, turned into the order
# page, posted by the browser and cleared from the scanner. Then the back office: a Vemo
# back-office server with the demo catalogue, a second batch scanned, the tool on action
# "Stuur naar Vemo" handing it to the open order, and the order as the database holds it; last,
# an administrator re-sends the first batch from the history with kessmar-batch vemo.
# Usage: scripts/demo.sh
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
bash scripts/setup.sh >/dev/null

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build build -j "$(nproc)" --target kessmar-scanner-tool scanner-emulator demo-shop \
  kessmar-batch backoffice-server >/dev/null

demo="$root/demo/$(date +%Y%m%d-%H%M%S)"
mkdir -p "$demo/ports" "$demo/run" "$demo/bin" "$demo/browser"
chmod 700 "$demo/run"
cp build/src/app/kessmar-scanner-tool "$demo/"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  if [ -d "$demo/backoffice" ]; then
    build/tools/backoffice-server/backoffice-server stop "$demo/backoffice" --immediate \
      >/dev/null 2>&1 || true
  fi
}
trap cleanup EXIT

export XDG_RUNTIME_DIR="$demo/run"
export KESSMAR_PORTS_DIR="$demo/ports"
# Server discovery stays on the loopback network, on a port of this demo's own.
export KESSMAR_DISCOVERY_ADDR=127.255.255.255
# The daily update check asks a port on loopback where nothing answers.
export KESSMAR_UPDATE_URL=https://127.0.0.1:9

free_port() {
  python3 - "$1" <<'PY'
import socket, sys
kind = socket.SOCK_DGRAM if sys.argv[1] == "udp" else socket.SOCK_STREAM
s = socket.socket(socket.AF_INET, kind)
s.bind(("127.0.0.1", 0))
print(s.getsockname()[1])
PY
}
KESSMAR_DISCOVERY_PORT="$(free_port udp)"
export KESSMAR_DISCOVERY_PORT
unset PGHOST PGDATABASE PGUSER PGPASSWORD

# The web shop's stand-in.
build/tools/demo-shop/demo-shop --timeout 90 >"$demo/shop.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do grep -q LISTENING "$demo/shop.log" && break; sleep 0.1; done
export KESSMAR_SHOP_URL="http://127.0.0.1:$(awk '/LISTENING/ {print $2}' "$demo/shop.log")"

# The scanner, with seven scans of which two barcodes repeat.
build/tools/scanner-emulator/scanner-emulator \
  --scan 8712345678906 --scan 4006381333931 --scan 8712345678906 --scan 5901234123457 \
  --scan 4006381333931 --scan 8712345678906 --scan 9780201379624 >"$demo/scanner.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do grep -q READY "$demo/scanner.log" && break; sleep 0.1; done
read -r _ com device < <(grep READY "$demo/scanner.log")
echo "Emulated scanner on $com ($device) holding 7 scans."

# A display with a tray when there is none.
if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 90 120); do [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break; done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >"$demo/xvfb.log" 2>&1 &
  pids+=($!)
  export DISPLAY=":$n"
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  trayer --edge top --align right --widthtype pixel --width 120 >/dev/null 2>&1 &
  pids+=($!)
  sleep 0.5
  echo "Running under Xvfb on $DISPLAY with a tray."
fi

# The user's default browser: headless Chromium, confined to loopback, when it is installed.
cat >"$demo/bin/xdg-open" <<SCRIPT
#!/usr/bin/env bash
if command -v chromium >/dev/null; then
  exec chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \\
    --disable-background-networking --disable-component-update --disable-sync \\
    --user-data-dir="$demo/browser" --dump-dom "\$1" >"$demo/browser.log" 2>&1
fi
echo "no browser: open \$1 yourself" >"$demo/browser.log"
SCRIPT
chmod +x "$demo/bin/xdg-open"
export PATH="$demo/bin:$PATH"
unset XDG_CURRENT_DESKTOP KDE_FULL_SESSION GNOME_DESKTOP_SESSION_ID

"$demo/kessmar-scanner-tool" >"$demo/tool.log" 2>&1 &
tool=$!
pids+=($tool)
echo "Tool started in $demo"

count() {
  python3 - "$demo/ports/$com.ctl" <<'PY'
import socket, sys
s = socket.socket(socket.AF_UNIX)
s.settimeout(2)
s.connect(sys.argv[1])
s.sendall(b"count\n")
print(s.recv(64).decode().strip())
PY
}

cleared=no
for _ in $(seq 300); do
  if [ -f "$demo/Data/kessmar.html" ] && [ "$(count 2>/dev/null)" = "0" ]; then
    cleared=yes
    break
  fi
  sleep 0.1
done
# The browser posts the page on its own; give it a moment.
for _ in $(seq 150); do grep -q "ORDER RECEIVED" "$demo/shop.log" && break; sleep 0.1; done

echo
if [ "$cleared" != yes ]; then
  echo "The batch was not handed on within 30 s; see $demo/tool.log" >&2
  exit 1
fi
echo "Batch read, saved, turned into the order page, and cleared from the scanner."
echo "Order page:  $demo/Data/kessmar.html"
for f in "$demo"/Data/*.dat; do echo "Batch file:  $f"; done
echo
build/tools/kessmar-batch/kessmar-batch dump "$demo/Data/last_read.dat"
echo
if grep -q "ORDER RECEIVED" "$demo/shop.log"; then
  echo "The browser posted the order to the shop's stand-in ($KESSMAR_SHOP_URL/bestelling):"
  sed -n '/ORDER RECEIVED/,$p' "$demo/shop.log"
else
  echo "No browser posted the page (see $demo/browser.log); open it yourself:"
  echo "  $demo/Data/kessmar.html"
fi
kill -TERM "$tool" 2>/dev/null || true
wait "$tool" 2>/dev/null || true

echo
echo "=== The second road: the Vemo back office ==="
PGPORT="$(free_port tcp)"
export PGPORT
build/tools/backoffice-server/backoffice-server setup "$demo/backoffice" --demo --fast \
  --announce --port "$PGPORT" >"$demo/backoffice.log" 2>&1
echo "Back office (PostgreSQL) in $demo/backoffice on 127.0.0.1 port $PGPORT, with the demo"
echo "catalogue; relation 2 is debtor 1001, with price groups 1 and 2 and discount rules."

# The tool on action 2, "Stuur naar Vemo". No server address is known yet: it finds the server
# by its announcement on the loopback network.
ini="$demo/kessmar-scanner-tool.ini"
python3 - "$ini" <<'PY'
import re, sys
path = sys.argv[1]
text = open(path, newline="").read()
if re.search(r"(?m)^ACTIE=", text):
    text = re.sub(r"(?m)^ACTIE=[^\r\n]*", "ACTIE=2", text)
else:
    text = text.replace("[SYSTEM]\r\n", "[SYSTEM]\r\nACTIE=2\r\n", 1)
open(path, "w", newline="").write(text)
PY
control() {
  python3 - "$demo/ports/$com.ctl" "$1" <<'PY'
import socket, sys
s = socket.socket(socket.AF_UNIX)
s.settimeout(2)
s.connect(sys.argv[1])
s.sendall(sys.argv[2].encode() + b"\n")
print(s.recv(64).decode().strip())
PY
}
# A second batch: two scans of a package of 6, an article code, a package of 12, an
# 11-character code (an article code and three more digits) and another article code.
for scan in 8712345678906 12345678 4006381333931 45678901234 87654321 8712345678906; do
  control "add $scan" >/dev/null
done
echo "Six more scans added to the scanner; the tool starts again on \"Stuur naar Vemo\"."
"$demo/kessmar-scanner-tool" >"$demo/tool2.log" 2>&1 &
tool=$!
pids+=($tool)

handed=no
for _ in $(seq 300); do
  if [ "$(count 2>/dev/null)" = "0" ]; then
    handed=yes
    break
  fi
  sleep 0.1
done
if [ "$handed" != yes ]; then
  echo "The second batch was not handed on within 30 s; see $demo/tool2.log" >&2
  exit 1
fi
echo "The batch went to the back office and the scanner was cleared. The tool remembered"
grep -i '^VEMOSERVER=' "$ini" | tr -d '\r' | sed 's/^/the server: /'
kill -TERM "$tool" 2>/dev/null || true
wait "$tool" 2>/dev/null || true

show_order() {
  psql -h 127.0.0.1 -d vemo -X -q -P footer=off -c "
    SELECT \"BEST_nummer\" AS bestelling, \"ARTK_fullcod\" AS artikel,
           \"BERG_Omschrijving\" AS omschrijving, \"BEST_aantal\" AS aantal,
           \"BEST_prijs\" AS prijs, \"BERG_totaal\" AS totaal, \"BERG_uwnummer\" AS uwnummer
    FROM \"SYSTEM\".\"BERG\" ORDER BY \"BERG_nummer\"" \
    -c "SELECT \"BEST_nummer\" AS bestelling, \"BEST_verstuurd\" AS verstuurd,
               \"ORDR_totaal\" AS totaal FROM \"SYSTEM\".\"BEST\""
}
echo
echo "The order as the back office's database holds it:"
show_order

# The administrator's road: the first batch, from the history, re-sent without windows.
first=$(ls "$demo"/Data/*.dat | grep -v '/last_read.dat$' | sort | head -1)
echo
echo "kessmar-batch vemo $(basename "$first")   (the first batch, from the history):"
build/tools/kessmar-batch/kessmar-batch vemo "$first" | sed 's/^/  /'
echo
echo "The order now:"
psql -h 127.0.0.1 -d vemo -X -q -P footer=off -c "SELECT \"BEST_nummer\" AS bestelling,
  (SELECT count(*) FROM \"SYSTEM\".\"BERG\") AS regels, \"ORDR_totaal\" AS totaal
  FROM \"SYSTEM\".\"BEST\""
