#!/usr/bin/env bash
# Starts Ravlo in a prepared working folder. The same script serves the build tree and the
# installed package, where it is /usr/lib/ravlo/ravlo-launch behind the commands ravlo and
# ravlo-demo.
#   run-demo.sh BUILD_DIR [--workdir DIR]                        the simulated camera unit on a pseudo-terminal
#   run-demo.sh BUILD_DIR --modem /dev/ttyUSB0 [--workdir DIR]   a real modem
#   ravlo-launch [--workdir DIR]                                 installed, with the simulated unit (~/ravlo-demo)
#   ravlo-launch --real [--modem PORT] [--workdir DIR]           installed, with the real modem (~/ravlo)
#   ... --autostart on|off [--workdir DIR]                        start Ravlo with the modem at each login, or no more
# A new working folder gets the installed defaults: u.txt, t1.txt, t2.txt, vid.jpg and foto/.
# In a folder that exists only the missing pieces are added; no file of the operator's is
# replaced.
set -euo pipefail
self=$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")
command_name=${RAVLO_COMMAND:-$0}

if [ $# -gt 0 ] && [ "${1#-}" = "$1" ]; then
  # A build tree: the program and unitsim as built, the defaults from the source tree.
  build=$(cd "$1" && pwd) || { echo "no build folder $1" >&2; exit 2; }
  shift
  src=$(cd "$self/.." && pwd)
  program=$build/ravlo
  unitsim=$build/tools/unitsim/unitsim
  defaults=("$src/resources/defaults" "$src/resources")
  demo_workdir=$src/work/demo
else
  # Installed: the program and unitsim beside this script, the defaults in ../../share/ravlo.
  # Nothing names the prefix, so an unpacked package runs from wherever it lies.
  program=$self/ravlo
  unitsim=$self/unitsim
  defaults=("$self/../../share/ravlo")
  demo_workdir=$HOME/ravlo-demo
fi

real=0; modem=""; workdir=""; autostart=""
while [ $# -gt 0 ]; do
  case "$1" in
    --autostart) [ $# -ge 2 ] && { [ "$2" = on ] || [ "$2" = off ]; } || { echo "--autostart needs on or off" >&2; exit 2; }
                 autostart=$2; shift 2 ;;
    --real) real=1; shift ;;
    --modem) [ $# -ge 2 ] || { echo "--modem needs a port, e.g. --modem /dev/ttyUSB0" >&2; exit 2; }
             real=1; modem=$2; shift 2 ;;
    --workdir) [ $# -ge 2 ] || { echo "--workdir needs a folder" >&2; exit 2; }
               workdir=$2; shift 2 ;;
    *) echo "unknown option: $1" >&2; exit 2 ;;
  esac
done

default_file() { # default_file NAME: the path of an installed default
  local d
  for d in "${defaults[@]}"; do
    [ -e "$d/$1" ] && { echo "$d/$1"; return 0; }
  done
  echo "the default $1 is missing (looked in: ${defaults[*]})" >&2
  return 1
}

prepare() { # prepare DIR
  mkdir -p "$1/foto"
  local f
  for f in u.txt t1.txt t2.txt vid.jpg; do
    [ -e "$1/$f" ] || cp "$(default_file "$f")" "$1/$f"
  done
}

if [ -n "$autostart" ]; then
  # An XDG autostart entry in the user's folder: the desktop session starts Ravlo with the
  # modem at each login, so that a station whose PC restarted listens again by itself.
  entry=${XDG_CONFIG_HOME:-$HOME/.config}/autostart/ravlo.desktop
  if [ "$autostart" = off ]; then
    rm -f "$entry"
    echo "Ravlo no longer starts with the session ($entry removed)."
    exit 0
  fi
  quote() { case "$1" in *[[:space:]\"\\\`\$]*) printf '"%s"' "$(printf '%s' "$1" | sed 's/[\\"`$]/\\&/g')" ;; *) printf '%s' "$1" ;; esac; }
  if [ -n "${build:-}" ]; then cmd="$(quote "$src/ravlo.sh") run --real"; else cmd=ravlo; fi
  [ -n "$workdir" ] && cmd="$cmd --workdir $(quote "$(readlink -m "$workdir")")"
  mkdir -p "$(dirname "$entry")"
  tmp=$entry.tmp
  printf '[Desktop Entry]\nType=Application\nName=Ravlo\nComment=Listens for the camera unit from the start of the session\nExec=%s\nIcon=ravlo\nTerminal=false\nX-GNOME-Autostart-enabled=true\n' "$cmd" > "$tmp"
  mv -f "$tmp" "$entry"
  echo "Ravlo starts with the session: $entry"
  exit 0
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display found. Start Ravlo from a desktop session, or under a virtual one: xvfb-run $command_name ..." >&2
  exit 1
fi
[ -x "$program" ] || { echo "Ravlo is not at $program" >&2; exit 1; }

if [ "$real" = 1 ]; then
  # A real modem: the port is chosen in Ravlo's port dialog (the tool bar's second button)
  # and remembered in ~/.config/qolbe/ravlo.conf; --modem preselects it on the first start.
  workdir=${workdir:-$HOME/ravlo}
  prepare "$workdir"
  if [ -n "$modem" ]; then
    conf=${XDG_CONFIG_HOME:-$HOME/.config}/qolbe/ravlo.conf
    if [ ! -e "$conf" ]; then mkdir -p "$(dirname "$conf")"; printf '[General]\npr=%s\n' "$modem" > "$conf"; fi
  fi
  cd "$workdir"
  exec "$program"
fi

# The simulated unit. Its own configuration folder keeps the demo's port out of the user's.
[ -x "$unitsim" ] || { echo "the simulated unit is not at $unitsim" >&2; exit 1; }
workdir=${workdir:-$demo_workdir}
new=0; [ -e "$workdir/u.txt" ] || new=1
prepare "$workdir"
if [ $new = 1 ]; then
  # The demo unit's phone number, so that "Снимок" has something to dial.
  sed -i '1s/^.*\r$/+79001112233\r/' "$workdir/u.txt"
fi
export XDG_CONFIG_HOME="$workdir/.config"
mkdir -p "$XDG_CONFIG_HOME/qolbe"
link="$workdir/modem"
# The port is always the unit's link; whatever else Ravlo keeps there (that the station
# listened) stays.
conf=$XDG_CONFIG_HOME/qolbe/ravlo.conf
{ printf '[General]\npr=%s\n' "$link"; [ -f "$conf" ] && grep -v -e '^pr=' -e '^\[General\]$' "$conf"; } > "$conf.tmp" || true
mv -f "$conf.tmp" "$conf"

# A link left by a run that was killed could point at another program's terminal.
rm -f "$link"
"$unitsim" --link "$link" --control "$workdir/unitsim.ctl" --call-every 60 --voice-every 420 --caller +79001112233 \
  --dial-delay 2000 --log "$workdir/unitsim.log" --report "$workdir/unit-settings.txt" < /dev/null > "$workdir/unitsim.out" 2>&1 &
sim_pid=$!
# (The unit may have gone already, when the whole process group was sent the same signal.)
trap 'kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ -e "$link" ] && break; sleep 0.05; done
[ -e "$link" ] || { echo "the simulated unit did not start" >&2; exit 1; }

echo "Ravlo with the simulated unit: press \"Инициализ.\", then \"Снимок\"; the unit also calls in by itself every minute."
echo "Working folder: $workdir"
cd "$workdir"
# The end of the session reaches this script too: it is passed on to Ravlo, which closes as
# the operator would, and the simulated unit is stopped once Ravlo has ended.
"$program" &
ravlo_pid=$!
trap 'kill -TERM "$ravlo_pid" 2>/dev/null || true' TERM HUP INT
status=0
while :; do
  # A trapped signal ends the wait early; Ravlo is waited for again until it has ended.
  wait "$ravlo_pid" && status=0 || status=$?
  kill -0 "$ravlo_pid" 2>/dev/null || break
done
exit "$status"
