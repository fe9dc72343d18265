#!/usr/bin/env bash
# Installs what the Windows build and its tests need: mingw-w64, Wine, and the apt source entries
# that let scripts/build-qt-windows.sh fetch Debian's qt6-base source. Safe to run again.
set -euo pipefail
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

packages=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-tools wine wine64
          dpkg-dev qt6-base-dev qt6-base-dev-tools xvfb xdotool x11-utils imagemagick xclip)
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

sources=/etc/apt/sources.list.d/kessmar-deb-src.sources
updated=0
if [ ! -f "$sources" ]; then
  # The same archive as the binary packages, for source packages only.
  $sudo tee "$sources" >/dev/null <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  $sudo apt-get update -qq
  updated=1
fi
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  [ "$updated" = 1 ] || $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
