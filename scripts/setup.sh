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
  gpsim gpsim-dev libglib2.0-dev gputils
  xvfb xauth
  clang-16 libfuzzer-16-dev libclang-rt-16-dev
  clang-format
)

# Installs what is missing of PACKAGES and of the packages given (a script's own list).
ensure_packages() {
  local missing=()
  for p in "${PACKAGES[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# The sanitizer and fuzz builds: clang-16 (clang 14 lacks std::source_location with this
# standard library), each into a folder of its own. $1: the folder; $2: the sanitizers;
# further arguments go to CMake.
configure_clang_build() {
  local dir="$1" sanitizers="$2"
  shift 2
  cmake -S "$ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++-16 \
    -DCMAKE_CXX_FLAGS="-fsanitize=$sanitizers -fno-sanitize-recover=undefined -fno-omit-frame-pointer" \
    -DQUORVEX_BENCH=OFF -DQUORVEX_PACKAGING=OFF "$@" >/dev/null
}

# A finding stops the program at once, with its stack.
export ASAN_OPTIONS="${ASAN_OPTIONS:-abort_on_error=1:detect_stack_use_after_return=1}"
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$ROOT/scripts/lsan.supp:print_suppressions=0}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

build_project() {
  cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$BUILD" -j "$(nproc)"
}
