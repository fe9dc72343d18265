#!/usr/bin/env bash
# Cross-builds the program for Windows with mingw-w64 and a static Qt (scripts/build-qt-windows.sh,
# cached outside the clone) and runs its tests under Wine, with one persistent wineserver for the
# whole run. The Linux scanner emulator (built in the Linux build folder, KESSMAR_LINUX_BUILD,
# default build/) plays the scanner on a Wine COM port; the tool's windows run on an Xvfb
# display that their test starts.
# Usage: scripts/test-windows.sh [ctest arguments]
#   KESSMAR_WINDOWS_BUILD  build folder (default build-windows)
#   KESSMAR_WINEPREFIX     Wine prefix, kept between runs (default ~/.cache/kessmar-wine)
#   KESSMAR_WINDOWS_CORE_ONLY=1  only the Qt-free core (no Qt build, no tool)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
start=$(date +%s)

bash scripts/setup-windows.sh
if [ ! -f /usr/src/googletest/CMakeLists.txt ]; then
  sudo=""; [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get install -y -qq --no-install-recommends googletest
fi

build=${KESSMAR_WINDOWS_BUILD:-build-windows}
linux_build=${KESSMAR_LINUX_BUILD:-build}
export WINEPREFIX=${KESSMAR_WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/kessmar-wine}
export WINEDEBUG=-all
export WINEARCH=win64
# No Wine dialogs, no Mono or Gecko installers.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
qt=(-DKESSMAR_CORE_ONLY=ON)
if [ "${KESSMAR_WINDOWS_CORE_ONLY:-0}" != 1 ]; then
  # Built once (about 15 minutes at -j2), then reused from its cache folder.
  qt_prefix=$(KESSMAR_QT_JOBS=${KESSMAR_QT_JOBS:-2} bash scripts/build-qt-windows.sh)
  qt=(-DKESSMAR_CORE_ONLY=OFF -DCMAKE_PREFIX_PATH="$qt_prefix"
      -DCMAKE_FIND_ROOT_PATH="/usr/x86_64-w64-mingw32;$qt_prefix"
      -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake)
fi
cmake -S . -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo "${qt[@]}" -DKESSMAR_BUILD_TESTS=ON \
  -DKESSMAR_BUILD_BENCH=OFF -DKESSMAR_WERROR=ON "${launcher[@]}" \
  -DCMAKE_CROSSCOMPILING_EMULATOR="$wine" \
  -DKESSMAR_LINUX_BUILD_DIR="$(cd "$linux_build" 2>/dev/null && pwd || echo "$here/$linux_build")"
cmake --build "$build" -j2

# The Linux scanner emulator and its control client for the tests that drive it from Wine.
[ -f "$linux_build/CMakeCache.txt" ] || cmake -S . -B "$linux_build" -G Ninja -DKESSMAR_CORE_ONLY=ON \
  -DKESSMAR_BUILD_BENCH=OFF "${launcher[@]}"
cmake --build "$linux_build" -j2 --target scanner-emulator scanner-batch-reader \
  emulator-control

# One wineserver for the run; wineboot once first, or the first program hangs on Wine's
# services holding its output pipe.
mkdir -p "$WINEPREFIX"
"$wineserver" -p 2>/dev/null || true  # one may run already for this prefix
trap '"$wineserver" -k 2>/dev/null || true' EXIT
new_prefix=0
[ -f "$WINEPREFIX/system.reg" ] || new_prefix=1
"$wine" wineboot.exe >/dev/null 2>&1 </dev/null || true
if [ "$new_prefix" = 1 ]; then
  # Making a prefix starts Wine's desktop process without a display, and it stays so for the
  # life of the wineserver: the tool's tray icon would have nowhere to go. A fresh wineserver
  # starts it again from the first window program, on that program's display.
  "$wineserver" -k 2>/dev/null || true
  "$wineserver" -p 2>/dev/null || true
  "$wine" wineboot.exe >/dev/null 2>&1 </dev/null || true
fi

cd "$build"
status=0
ctest --output-on-failure "$@" || status=$?
echo "test-windows: $(( $(date +%s) - start )) s"
exit $status
