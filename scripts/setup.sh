#!/usr/bin/env bash
# Shared by scripts/run and scripts/test: installs what is missing from Debian, then configures
# and builds into ./build. Sourced, not run.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${QUORVEX_BUILD_DIR:-$ROOT/build}"

# Everything the program, its tests, benchmarks and the try-it tools use.
PACKAGES=(
  cmake g++ make pkg-config
  qt6-base-dev qt6-serialport-dev libgl-dev
  libgtest-dev
  fonts-dejavu-core
  tftpd-hpa tftp-hpa
  xvfb xauth
)

ensure_packages() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

build_project() {
  cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$BUILD" -j "$(nproc)"
}
