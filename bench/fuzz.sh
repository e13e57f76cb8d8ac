#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a given time.
#   bench/fuzz.sh [SECONDS] [BUILD_DIR]        (default 60 s each, build/fuzz)
# Seed corpora come from the modem transcripts and real pictures in ../shared when present,
# and from the project's own default files; they are made in a temporary folder.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
secs=${1:-60}
build=$(realpath -m "${2:-$here/build/fuzz}")  # the targets run from folders of their own
shared=$here/../shared

CC=clang CXX=clang++ cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRAVLO_FUZZ=ON >/dev/null
cmake --build "$build"

seeds=$(mktemp -d)
trap 'rm -rf "$seeds"' EXIT
mkdir -p "$seeds/lines" "$seeds/bytes" "$seeds/files"
if [ -d "$shared/transcripts" ]; then
  i=0
  for t in "$shared"/transcripts/*.txt; do
    # the modem's side of each transcript, unescaped
    python3 - "$t" "$seeds/lines/t$i" <<'PY'
import sys, codecs
out = b""
for line in open(sys.argv[1], encoding="latin-1"):
    if line.startswith("< "):
        out += codecs.escape_decode(line[2:].rstrip("\n").encode("latin-1"))[0]
open(sys.argv[2], "wb").write(out)
PY
    cp "$seeds/lines/t$i" "$seeds/bytes/t$i"
    i=$((i + 1))
  done
fi
[ -d "$shared/pictures" ] && cp "$shared"/pictures/*.jpg "$seeds/bytes/" 2>/dev/null || true
# The reception reads a length byte, that many bytes of modem lines, then the unit's bytes:
# the unit calling in, then each picture (the placeholder and the real ones).
mkdir -p "$seeds/reception"
python3 - "$seeds/reception" "$here/resources/vid.jpg" "$shared"/pictures/*.jpg <<'PY'
import sys
call = b'\r\n+CRING: REL ASYNC\r\n\r\n+CLIP: "+79001112233",145,,,,0\r\n'
for i, path in enumerate(sys.argv[2:]):
    try:
        picture = open(path, "rb").read()
    except OSError:
        continue
    open(f"{sys.argv[1]}/call{i}", "wb").write(bytes([len(call)]) + call + b"UNIT\r\n" + picture + b"\r\n")
    if i == 0:  # the small placeholder twice: a transfer of two pictures within the length limit
        open(f"{sys.argv[1]}/twice", "wb").write(bytes([len(call)]) + call + b"UNIT\r\n" + picture * 2 + b"\r\n")
PY
cp "$here"/resources/defaults/*.txt "$seeds/files/"
printf '2,foto\\140509_071226f17,foto\\140511_071226f18,\r\n' > "$seeds/files/events"
printf '\r\nOK\r\n' > "$seeds/lines/ok"

# Leaks in the system's libraries are not the program's (see the file).
export LSAN_OPTIONS="suppressions=$here/bench/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"

status=0
for target in "$build"/tests/fuzz/fuzz_*; do
  [ -f "$target" ] && [ -x "$target" ] || continue
  name=$(basename "$target")
  maxlen=200000
  case "$name" in
    fuzz_vvod) corpus=lines ;;
    fuzz_stringlist|fuzz_eventline) corpus=files ;;
    # Every byte is a pass of the reception with its message pump: inputs of a few small
    # pictures run some 250 a second, where camera-sized ones (tens of KB) ran 15; the larger
    # seeds are cut, which tries every way a transfer can break off.
    fuzz_reception) corpus=reception; maxlen=4096 ;;
    *) corpus=bytes ;;
  esac
  work=$(mktemp -d)
  cp -r "$seeds/$corpus/." "$work/"
  log=$(mktemp)
  echo "== $name: $secs s"
  if (cd "$work" && "$target" -max_total_time="$secs" -max_len="$maxlen" -timeout=30 -rss_limit_mb=4096 -print_final_stats=1 "$work" >"$log" 2>&1); then
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo 0)
    echo "   $runs runs, $((runs / secs)) per second, corpus $(ls "$work" | wc -l) inputs, no failure"
  else
    echo "   FAILED:"; tail -n 40 "$log"; status=1
  fi
  rm -rf "$work" "$log"
done
exit $status
