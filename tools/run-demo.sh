#!/usr/bin/env bash
# Starts Ravlo in a prepared working folder.
#   run-demo.sh BUILD_DIR                      the simulated camera unit on a pseudo-terminal
#   run-demo.sh BUILD_DIR --modem /dev/ttyUSB0 [--workdir DIR]   a real modem
# A new working folder gets the installed defaults: u.txt, t1.txt, t2.txt, vid.jpg and foto/.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$1; shift
modem=""; workdir=""
while [ $# -gt 0 ]; do
  case "$1" in
    --modem) modem=$2; shift 2 ;;
    --workdir) workdir=$2; shift 2 ;;
    *) echo "unknown option: $1" >&2; exit 2 ;;
  esac
done

prepare() { # prepare DIR
  mkdir -p "$1/foto"
  local f
  for f in u.txt t1.txt t2.txt; do
    [ -e "$1/$f" ] || cp "$here/resources/defaults/$f" "$1/$f"
  done
  [ -e "$1/vid.jpg" ] || cp "$here/resources/vid.jpg" "$1/vid.jpg"
}

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display found. Start Ravlo from a desktop session, or under a virtual one: xvfb-run $0 ..." >&2
  exit 1
fi

if [ -n "$modem" ]; then
  # A real modem: the port is chosen in Ravlo's port dialog (the tool bar's second button)
  # and remembered in ~/.config/qolbe/ravlo.conf; --modem preselects it on the first start.
  workdir=${workdir:-$HOME/ravlo}
  prepare "$workdir"
  conf=${XDG_CONFIG_HOME:-$HOME/.config}/qolbe/ravlo.conf
  if [ ! -e "$conf" ]; then mkdir -p "$(dirname "$conf")"; printf '[General]\npr=%s\n' "$modem" > "$conf"; fi
  cd "$workdir"
  exec "$build/ravlo"
fi

# The simulated unit. Its own configuration folder keeps the demo's port out of the user's.
workdir=${workdir:-$here/work/demo}
new=0; [ -e "$workdir/u.txt" ] || new=1
prepare "$workdir"
if [ $new = 1 ]; then
  # The demo unit's phone number, so that "Снимок" has something to dial.
  sed -i '1s/^.*\r$/+79001112233\r/' "$workdir/u.txt"
fi
export XDG_CONFIG_HOME="$workdir/.config"
mkdir -p "$XDG_CONFIG_HOME/qolbe"
link="$workdir/modem"
printf '[General]\npr=%s\n' "$link" > "$XDG_CONFIG_HOME/qolbe/ravlo.conf"

# A link left by a run that was killed could point at another program's terminal.
rm -f "$link"
"$build/tools/unitsim/unitsim" --link "$link" --control "$workdir/unitsim.ctl" --call-every 60 --caller +79001112233 \
  --dial-delay 2000 --log "$workdir/unitsim.log" --report "$workdir/unit-settings.txt" < /dev/null > "$workdir/unitsim.out" 2>&1 &
sim_pid=$!
trap 'kill "$sim_pid" 2>/dev/null; wait "$sim_pid" 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ -e "$link" ] && break; sleep 0.05; done
[ -e "$link" ] || { echo "the simulated unit did not start" >&2; exit 1; }

echo "Ravlo with the simulated unit: press \"Инициализ.\", then \"Снимок\"; the unit also calls in by itself every minute."
echo "Working folder: $workdir"
cd "$workdir"
"$build/ravlo"
