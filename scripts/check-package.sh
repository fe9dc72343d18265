#!/usr/bin/env bash
# Builds the Debian package from an already configured build folder (configured without tests:
# -DKESSMAR_BUILD_TESTS=OFF) and checks it: lintian finds no errors, both desktop entries
# validate, it holds what it should, the tool holds the supplier's update key and no way to
# trust another, and the unpacked tool starts once. Usage: scripts/check-package.sh [build-folder]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"

cmake --build "$build" --target package >/dev/null
deb=$(ls -t "$build"/kessmar-scanner-tool_*_amd64.deb | head -n 1)
echo "Package: $deb"

lintian --fail-on error --suppress-tags no-manual-page "$deb"
desktop-file-validate src/app/install/kessmar-scanner-tool.desktop
desktop-file-validate src/app/install/kessmar-scanner-tool-autostart.desktop

contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for expected in ./usr/bin/kessmar-scanner-tool ./usr/bin/kessmar-update-fetch ./usr/bin/kessmar-batch \
    ./usr/bin/scanner-emulator ./usr/lib/x86_64-linux-gnu/kessmar-scanner-tool/libcsp2.so.1 \
    ./usr/share/applications/kessmar-scanner-tool.desktop \
    ./etc/xdg/autostart/kessmar-scanner-tool.desktop \
    ./usr/share/icons/hicolor/scalable/apps/kessmar-scanner-tool.svg \
    ./usr/share/doc/kessmar-scanner-tool/copyright; do
  grep -qx -- "$expected" <<<"$contents" || { echo "missing from the package: $expected" >&2; exit 1; }
done
version=$(dpkg-deb -f "$deb" Version)
depends=$(dpkg-deb -f "$deb" Depends)
echo "Version $version; depends on: $depends"
grep -q libqt6widgets6 <<<"$depends" || { echo "dependencies were not computed" >&2; exit 1; }
# The libraries the tool loads on first use are not linked, but an installed tool has them.
for library in libpq5 libcurl4 libmspack0 libssl3; do
  grep -q "$library" <<<"$depends" || { echo "the package does not depend on $library" >&2; exit 1; }
done

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root/pkg"

# The tool trusts the supplier's update key of packaging/ and no key the environment names.
key=$(grep -v -e '-----' -e ' ' packaging/kessmar-update-keys.pem | head -n 1)
grep -qaF -- "$key" "$root/pkg/usr/bin/kessmar-scanner-tool" || {
  echo "the packaged tool does not hold the update key of packaging/" >&2; exit 1; }
if grep -qa KESSMAR_UPDATE_TEST_KEYS "$root/pkg/usr/bin/kessmar-scanner-tool"; then
  echo "the packaged tool would trust test keys for updates" >&2; exit 1
fi

# The unpacked tool starts, finds its scanner library and reaches its event loop.
mkdir -p "$root/run" "$root/home"
chmod 700 "$root/run"
out=$(env -i PATH=/usr/bin:/bin HOME="$root/home" XDG_RUNTIME_DIR="$root/run" \
  QT_QPA_PLATFORM=offscreen KESSMAR_REPORT_STARTUP=1 KESSMAR_PORTS_DIR="$root/ports" \
  KESSMAR_UPDATE_URL=https://127.0.0.1:9 KESSMAR_DISCOVERY_ADDR=127.255.255.255 \
  timeout 30 "$root/pkg/usr/bin/kessmar-scanner-tool" 2>"$root/stderr") || {
  echo "the installed tool did not start:" >&2; cat "$root/stderr" >&2; exit 1; }
grep -q "event-loop-running" <<<"$out" || { echo "the installed tool did not reach its event loop" >&2; exit 1; }
if grep -q "scanner library cannot be loaded" "$root/stderr"; then
  echo "the installed tool did not find its scanner library:" >&2; cat "$root/stderr" >&2; exit 1
fi
grep -q "kessmar.app: Started" "$root/pkg/usr/bin/kessmar-scanner-tool.log"
linked=$(ldd "$root/pkg/usr/bin/kessmar-scanner-tool")
if grep -E "libpq|libcurl|libmspack|libcrypto|libssl" <<<"$linked"; then
  echo "the tool links a library it should load on first use" >&2; exit 1
fi
# The update check's fetch helper, beside the tool, reads a request and refuses anything else.
if "$root/pkg/usr/bin/kessmar-update-fetch" </dev/null 2>"$root/fetch-stderr"; then
  echo "the fetch helper took an empty request" >&2; exit 1
fi
grep -q "the request ends early" "$root/fetch-stderr" || {
  echo "the fetch helper did not run:" >&2; cat "$root/fetch-stderr" >&2; exit 1; }
echo "The unpacked tool started and wrote its log; the package is fine."
