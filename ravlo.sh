#!/usr/bin/env bash
# Ravlo's one entry script.
#   ./ravlo.sh run [--modem PORT] [--workdir DIR]   build and start Ravlo (with the simulated unit by default)
#   ./ravlo.sh test                                 build with sanitizers and run every test
# Both install the Debian packages that are missing first.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
cd "$here"

packages=(cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-serialport-dev libgl-dev
  libjpeg62-turbo-dev fonts-liberation2 fonts-dejavu-core
  xvfb xauth)

install_missing() {
  local missing=() p
  for p in "${packages[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  echo "Installing: ${missing[*]}"
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

build() { # build DIR [--target T...] [cmake args...]
  local dir=$1; shift
  local targets=()
  while [ "${1:-}" = --target ]; do targets+=(--target "$2"); shift 2; done
  cmake -S "$here" -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" "${targets[@]}"
}

cmd=${1:-}
[ $# -gt 0 ] && shift
case "$cmd" in
  test)
    install_missing clang libclang-rt-14-dev python3
    build "$here/build/test" -DCMAKE_BUILD_TYPE=Debug -DRAVLO_SANITIZE=ON
    # The fuzz targets run for a short while each (longer runs: bench/fuzz.sh SECONDS).
    "$here/bench/fuzz.sh" "${RAVLO_FUZZ_SECONDS:-20}" "$here/build/fuzz"
    cd "$here/build/test"
    QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 900 -j2
    ;;
  run)
    install_missing
    # Only the program and the simulated unit: a first start need not build every test.
    build "$here/build/release" --target ravlo --target unitsim -DCMAKE_BUILD_TYPE=RelWithDebInfo
    exec "$here/tools/run-demo.sh" "$here/build/release" "$@"
    ;;
  *)
    echo "usage: $0 run [--modem PORT] [--workdir DIR] | test" >&2
    exit 2
    ;;
esac
