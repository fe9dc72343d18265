#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, when they are missing.
# Safe to run again: it does nothing when everything is present.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config fonts-dejavu-core fonts-dejavu-extra
  qt6-base-dev qt6-qpa-plugins libcurl4-openssl-dev libmspack-dev libsqlite3-dev
  libgtest-dev libgmock-dev libbenchmark-dev libcpp-httplib-dev libssl-dev openssl
  postgresql-15 libpq-dev iproute2
  xvfb xauth trayer x11-utils chromium gcab clang-format python3 lintian desktop-file-utils
  dpkg-dev file clang-tidy clang libclang-rt-14-dev lld
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  # The PostgreSQL package would create and start a system cluster; our tools run their own
  # servers in folders of their own and never use one.
  if [ ! -e /etc/postgresql-common/createcluster.conf ]; then
    $sudo mkdir -p /etc/postgresql-common
    echo "create_main_cluster = false" | $sudo tee /etc/postgresql-common/createcluster.conf >/dev/null
  fi
  $sudo apt-get update -qq
  $sudo env UCF_FORCE_CONFFOLD=1 apt-get install -y -qq --no-install-recommends \
    -o Dpkg::Options::=--force-confdef -o Dpkg::Options::=--force-confold "${missing[@]}"
fi
