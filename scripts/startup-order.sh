#!/usr/bin/env bash
# Writes src/app/startup-order.txt: the functions of the tool that run from its start through a
# minute in the tray, its window shown once and its first update check, one linkage name per
# line. The build lays these out together (cmake/StartupOrder.cmake). Run it after changes to
# what the tool does at start or while idle; a stale list costs memory, never correctness.
# Needs valgrind (callgrind) and a built tool.
# Usage: scripts/startup-order.sh [build-dir]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
tool="$build/src/app/kessmar-scanner-tool"
command -v valgrind >/dev/null || { echo "startup-order.sh needs valgrind" >&2; exit 1; }
[ -x "$tool" ] || { echo "no tool at $tool: build it first" >&2; exit 1; }

work="$(mktemp -d /tmp/kessmar-startup-order-XXXXXX)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/run" "$work/ports" "$work/sys" "$work/share"
chmod 700 "$work/run"
cp "$tool" "$build/src/app/kessmar-update-fetch" "$work/"

# Everything stays on loopback; the update check finds no server and fails quickly, which runs
# the same code up to the answer as a check that finds one.
run() {
  env XDG_RUNTIME_DIR="$work/run" XDG_DATA_HOME="$work/share" KESSMAR_PORTS_DIR="$work/ports" \
    KESSMAR_SYSFS_ROOT="$work/sys" KESSMAR_DEV_ROOT="$work/dev" \
    KESSMAR_DISCOVERY_ADDR=127.255.255.255 KESSMAR_UPDATE_URL=https://127.0.0.1:9 \
    KESSMAR_FIRST_UPDATE_CHECK_MS=4000 "$@" \
    timeout -s INT 40 valgrind --tool=callgrind --demangle=no \
    --callgrind-out-file="$work/callgrind.$1.out" "$work/kessmar-scanner-tool" \
    >/dev/null 2>&1 || true
}
# The window shown (no tray on this platform) covers the first show and the painting.
run QT_QPA_PLATFORM=offscreen
# As at a login with a notification area, when an X server and a tray host are at hand.
if command -v Xvfb >/dev/null && command -v trayer >/dev/null; then
  Xvfb :97 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  sleep 1
  DISPLAY=:97 trayer --edge top --align right >/dev/null 2>&1 &
  trayer=$!
  sleep 1
  run QT_QPA_PLATFORM=xcb DISPLAY=:97
  kill "$trayer" "$xvfb" 2>/dev/null || true
fi

python3 - "$work" "$root/src/app/startup-order.txt" <<'PY'
import glob, re, sys
work, out = sys.argv[1], sys.argv[2]
used = set()
for path in glob.glob(work + "/callgrind.*.out"):
    names = {"ob": {}, "fn": {}}
    in_tool = False
    for line in open(path, errors="replace"):
        m = re.match(r"^(c?)(ob|fn)=\((\d+)\)(?: (.*))?", line)
        if not m:
            continue
        kind, ident = m.group(2), m.group(3)
        if m.group(4):
            names[kind][ident] = m.group(4).strip()
        if m.group(1):
            continue
        if kind == "ob":
            in_tool = names["ob"].get(ident, "").endswith("/kessmar-scanner-tool")
        elif in_tool:
            name = names["fn"].get(ident, "")
            if re.fullmatch(r"[A-Za-z_][A-Za-z0-9_.$]*", name):
                used.add(name)
if not used:
    sys.exit("no function of the tool was recorded")
with open(out, "w") as f:
    f.write("".join(name + "\n" for name in sorted(used)))
print(f"{len(used)} functions written to {out}")
PY
