#!/usr/bin/env bash
# Builds everything with warnings as errors, checks the sources with clang-tidy, and runs every
# test; builds the Debian package in a build folder without tests and checks it; then builds the
# parts without Qt with AddressSanitizer and UndefinedBehaviorSanitizer and runs their tests again;
# then builds the fuzz targets with clang and runs each for 30 s (scripts/fuzz.sh).
# Last, the Windows build of the core under Wine (scripts/test-windows.sh).
# Usage: scripts/test.sh   (KESSMAR_SKIP_SANITIZE=1 skips the sanitizer build, KESSMAR_SKIP_FUZZ=1
#                           the fuzz targets, KESSMAR_SKIP_WINDOWS=1 the Windows build)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

jobs=$(nproc)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr -DKESSMAR_WERROR=ON
cmake --build build -j "$jobs"
bash scripts/clang-tidy.sh build
(cd build && ctest --output-on-failure -j "$jobs" --timeout 300)
# The package comes from a build folder of its own, without tests: only a test build lets the
# environment add update keys, and a package must never trust them.
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
  -DKESSMAR_WERROR=ON -DKESSMAR_BUILD_TESTS=OFF -DKESSMAR_BUILD_BENCH=OFF
bash scripts/check-package.sh build-package

if [ "${KESSMAR_SKIP_SANITIZE:-0}" != "1" ]; then
  cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKESSMAR_WERROR=ON \
    -DKESSMAR_SANITIZE=ON -DKESSMAR_CORE_ONLY=ON -DKESSMAR_BUILD_BENCH=OFF
  cmake --build build-sanitize -j "$jobs"
  (cd build-sanitize && ctest --output-on-failure -j "$jobs" --timeout 600)
fi

if [ "${KESSMAR_SKIP_FUZZ:-0}" != "1" ]; then
  bash scripts/fuzz.sh 30
fi

# The Windows build of the core, cross-built with mingw-w64 and tested under Wine.
if [ "${KESSMAR_SKIP_WINDOWS:-0}" != "1" ]; then
  bash scripts/test-windows.sh
fi
