#!/usr/bin/env bash
# The tool's main job on its demo set-up: an emulated scanner holding a few scans, the tool
# started in a fresh demo folder with automatic connection, and a stand-in for the web shop on
# 127.0.0.1. Ends when the batch has been read, saved, turned into the order page, posted by
# the browser and cleared from the scanner. Usage: scripts/demo.sh
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
bash scripts/setup.sh >/dev/null

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build build -j "$(nproc)" --target kessmar-scanner-tool scanner-emulator demo-shop \
  kessmar-batch >/dev/null

demo="$root/demo/$(date +%Y%m%d-%H%M%S)"
mkdir -p "$demo/ports" "$demo/run" "$demo/bin" "$demo/browser"
chmod 700 "$demo/run"
cp build/src/app/kessmar-scanner-tool "$demo/"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT

export XDG_RUNTIME_DIR="$demo/run"
export KESSMAR_PORTS_DIR="$demo/ports"
# Server discovery stays on the loopback network.
export KESSMAR_DISCOVERY_ADDR=127.255.255.255
# The daily update check asks a port on loopback where nothing answers.
export KESSMAR_UPDATE_URL=https://127.0.0.1:9

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
