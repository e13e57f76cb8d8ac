#!/usr/bin/env bash
# Runs the whole CTest suite N times on a machine kept busy, and prints per test how many
# runs failed. A test that fails now and then under load fails CI by chance; this finds it.
#   bench/flake-hunt.sh [N]   (default 20)
# Uses the sanitizer build of `./ravlo.sh test` (build/test), brought up to date first. Every
# core is kept busy by a loop this script starts, and ends on exit. The output of each failing
# run is kept under build/flake-hunt/.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
runs=${1:-20}
case "$runs" in '' | *[!0-9]* | 0) echo "usage: $0 [RUNS]" >&2; exit 2 ;; esac

build="$here/build/test"
if [ ! -f "$build/CTestTestfile.cmake" ]; then
  echo "no sanitizer build in $build: run ./ravlo.sh test once first" >&2
  exit 2
fi
cmake --build "$build" >/dev/null

logs="$here/build/flake-hunt"
rm -rf "$logs"
mkdir -p "$logs"

# One busy loop per core, ended whatever way the script ends.
hogs=()
stop_hogs() {
  [ ${#hogs[@]} -gt 0 ] && kill "${hogs[@]}" 2>/dev/null || true
  wait 2>/dev/null || true
}
trap stop_hogs EXIT
trap 'exit 130' INT TERM
for _ in $(seq "$(nproc)"); do
  ( while :; do :; done ) &
  hogs+=($!)
done

mapfile -t tests < <(cd "$build" && ctest -N | sed -n 's/^ *Test *#[0-9]*: //p')
declare -A failed=()
for t in "${tests[@]}"; do failed[$t]=0; done

start=$SECONDS
for run in $(seq "$runs"); do
  out="$logs/run-$run.log"
  set +e
  (cd "$build" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 900 -j2) >"$out" 2>&1
  rc=$?
  set -e
  # CTest lists the failed tests after its summary: "  12 - component.test_x (Failed)".
  mapfile -t bad < <(sed -n '/The following tests FAILED:/,$ s/^[[:space:]]*[0-9]* - \([^ ]*\) .*/\1/p' "$out")
  for t in "${bad[@]}"; do failed[$t]=$(( ${failed[$t]:-0} + 1 )); done
  if [ "$rc" -eq 0 ]; then
    rm -f "$out"
    echo "run $run/$runs: all passed ($(( SECONDS - start )) s so far)"
  else
    echo "run $run/$runs: ${#bad[@]} failed: ${bad[*]:-(see $out)} ($(( SECONDS - start )) s so far)"
    [ ${#bad[@]} -eq 0 ] && failed["(ctest itself)"]=$(( ${failed["(ctest itself)"]:-0} + 1 ))
  fi
done

echo
printf '%-40s %s\n' "test" "failed runs"
total=0
for t in "${tests[@]}" "(ctest itself)"; do
  [ -n "${failed[$t]+x}" ] || continue
  printf '%-40s %d/%d\n' "$t" "${failed[$t]}" "$runs"
  total=$(( total + failed[$t] ))
done
echo "$total failures in $runs runs, $(( SECONDS - start )) s, with $(nproc) busy loops beside"
[ "$total" -eq 0 ]
