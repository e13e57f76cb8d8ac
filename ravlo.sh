#!/usr/bin/env bash
# Ravlo's one entry script.
#   ./ravlo.sh run [--modem PORT] [--workdir DIR]   build and start Ravlo (with the simulated unit by default)
#   ./ravlo.sh test                                 build with sanitizers and run every test
#   ./ravlo.sh package                              build the Debian package ravlo_VERSION_ARCH.deb
#   ./ravlo.sh install [PACKAGE...]                 only install what the build needs, and these
# Each installs the Debian packages that are missing first.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
cd "$here"

packages=(cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-serialport-dev libgl-dev
  libjpeg62-turbo-dev qt6-translations-l10n fonts-liberation2 fonts-dejavu-core
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
    # The package test (e2e.package) builds and checks the Debian package with these (pgrep: procps).
    # clang-format: the sources must follow .clang-format before anything is built.
    # libreoffice-calc-nogui: an e2e test opens calls.csv in LibreOffice Calc.
    install_missing clang libclang-rt-14-dev python3 dpkg-dev file lintian desktop-file-utils appstream procps \
      clang-format libreoffice-calc-nogui
    rc=0; unformatted=$("$here/tools/format.sh" --check) || rc=$?
    if [ $rc -eq 1 ]; then
      sed 's/^/  /' <<<"$unformatted" >&2
      echo "These files are not formatted as .clang-format says: run tools/format.sh and commit the result." >&2
      exit 1
    fi
    [ $rc -eq 0 ] || { echo "tools/format.sh --check failed" >&2; exit 1; }
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
    RAVLO_COMMAND="$0 run" exec "$here/tools/run-demo.sh" "$here/build/release" "$@"
    ;;
  package)
    # dpkg-shlibdeps (dpkg-dev) and file give the package its dependencies.
    install_missing dpkg-dev file
    # A release build of the program and the simulated unit only, with Debian's hardening
    # flags; the package is made from what is built, so no test or benchmark is built for it.
    export DEB_BUILD_MAINT_OPTIONS=hardening=+all
    cxxflags="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
    build "$here/build/package" --target ravlo --target unitsim -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON "-DCMAKE_CXX_FLAGS=$cxxflags" \
      "-DCMAKE_EXE_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)"
    out=$(cd "$here/build/package" && cpack -G DEB) || { echo "$out" >&2; exit 1; }
    deb=$(sed -n 's/^CPack: - package: \(.*\.deb\) generated\.$/\1/p' <<<"$out")
    [ -n "$deb" ] && [ -f "$deb" ] || { echo "$out" >&2; echo "cpack made no .deb" >&2; exit 1; }
    echo "$deb"
    ;;
  install)
    # For the other scripts (tools/screenshots.sh): one place that installs packages.
    install_missing "$@"
    ;;
  *)
    echo "usage: $0 run [--modem PORT] [--workdir DIR] | test | package | install [PACKAGE...]" >&2
    exit 2
    ;;
esac
