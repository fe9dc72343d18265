#!/usr/bin/env bash
# Builds a static Qt for Windows (Core, Gui, Widgets) from Debian's own qt6-base source with
# mingw-w64, into a cache folder outside the clone, and prints that folder. A folder that is
# already complete is reused: its name carries the Qt version and a hash of the configuration.
# Usage: scripts/build-qt-windows.sh            (KESSMAR_QT_WINDOWS_CACHE overrides the cache root)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cache_root=${KESSMAR_QT_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/kessmar-qt-windows}
# The same Qt as the host tools that the cross-build uses.
deb_version=$(dpkg-query -W -f='${Version}' qt6-base-dev 2>/dev/null || true)
qt_version=${deb_version%%+*}
qt_version=${qt_version:-6.4.2}
toolchain=$here/cmake/mingw-w64-x86_64.cmake

options=(
  -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF
  -DQT_BUILD_TESTS=OFF -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_BENCHMARKS=OFF
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
  -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_concurrent=OFF
  -DFEATURE_xml=OFF -DFEATURE_printsupport=OFF -DFEATURE_vulkan=OFF -DFEATURE_tabletevent=OFF
  -DINPUT_opengl=no
  -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF
  -DFEATURE_system_freetype=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF
  -DFEATURE_system_doubleconversion=OFF -DFEATURE_system_libb2=OFF
)
config_hash=$(printf '%s\n' "${options[@]}" | cat - "$toolchain" | sha256sum | cut -c1-12)
prefix=$cache_root/qt-$qt_version-mingw-static-$config_hash

if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi

bash "$here/scripts/setup-windows.sh" >&2
deb_version=$(dpkg-query -W -f='${Version}' qt6-base-dev)

work=$cache_root/work-$config_hash
mkdir -p "$work"
if [ ! -d "$work/src" ]; then
  # Debian's source package, with Debian's patches applied.
  rm -rf "$work/fetch" && mkdir -p "$work/fetch"
  (cd "$work/fetch" && apt-get source -qq "qt6-base=$deb_version" >&2)
  mv "$work/fetch"/qt6-base-*/ "$work/src"
  rm -rf "$work/fetch"
fi

jobs=${KESSMAR_QT_JOBS:-$(nproc)}
cmake -S "$work/src" -B "$work/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_INSTALL_PREFIX="$prefix" "${options[@]}" >&2
cmake --build "$work/build" -j "$jobs" >&2
cmake --install "$work/build" >&2
touch "$prefix/.complete"
rm -rf "$work"
echo "$prefix"
