#!/usr/bin/env bash
# Makes the pictures of the operator's guide (docs/images/*.png) again, from the demo with the
# simulated camera unit, on a private virtual screen:
#   tools/screenshots.sh [OUT_DIR]        (default docs/images)
# It installs what it needs when missing (through sudo when not root), builds build/release as
# `./ravlo.sh run` does, starts Ravlo through tools/run-demo.sh in a scratch working folder,
# drives the windows with xdotool and stops everything it started. Nothing of the user's
# working folder or port choice is touched.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=${1:-$here/docs/images}
build=$here/build/release

# The build's packages, and those of the screen, the window manager (for the title bars), the
# driving and the pictures.
"$here/ravlo.sh" install xvfb xauth xdotool imagemagick openbox pngquant

say() { printf '[%3ds] %s\n' "$SECONDS" "$*"; }

say "building $build"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target ravlo --target unitsim

export LANG=C.UTF-8 LC_ALL=C.UTF-8
unset WAYLAND_DISPLAY QT_QPA_PLATFORM
# The port's name in the status bar shows the start of this folder's path.
scratch=$(mktemp -d "${TMPDIR:-/tmp}/ravlo-demo.XXXXXX")
work=$scratch/work
xvfb_pid="" wm_pid="" demo_pid="" watch=""
cleanup() {
  # The demo first (its script stops the simulated unit), then the window manager and the screen.
  if [ -n "$demo_pid" ] && kill -0 "$demo_pid" 2>/dev/null; then
    kill -- -"$demo_pid" 2>/dev/null || true
    wait "$demo_pid" 2>/dev/null || true
  fi
  [ -n "$wm_pid" ] && { kill "$wm_pid" 2>/dev/null || true; wait "$wm_pid" 2>/dev/null || true; }
  [ -n "$xvfb_pid" ] && { kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; }
  # KEEP_SCRATCH=1 keeps the scratch folder (the demo's output, the unit's log) for a look.
  if [ -n "${KEEP_SCRATCH:-}" ]; then echo "scratch folder kept: $scratch"; else rm -rf "$scratch"; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# wait_for SECONDS WHAT COMMAND...: runs COMMAND until it succeeds, at most SECONDS.
wait_for() {
  local limit=$1 what=$2; shift 2
  local end=$((SECONDS + limit))
  until "$@"; do
    if [ "$SECONDS" -ge "$end" ]; then
      echo "timed out after ${limit}s waiting for: $what" >&2
      tail -n 5 "$scratch/demo.out" "$work/unitsim.log" >&2 2>/dev/null || true
      return 1
    fi
    if [ -n "$watch" ] && ! kill -0 "$watch" 2>/dev/null; then
      echo "the demo ended while waiting for: $what" >&2
      cat "$scratch/demo.out" >&2 || true
      return 1
    fi
    sleep 0.2
  done
}

# A private screen: Xvfb picks a free display number and tells it on descriptor 3.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$scratch/display" >"$scratch/xvfb.log" 2>&1 &
xvfb_pid=$!
wait_for 20 "the virtual screen" test -s "$scratch/display"
DISPLAY=:$(head -n 1 "$scratch/display")
export DISPLAY
openbox --sm-disable >"$scratch/openbox.log" 2>&1 &
wm_pid=$!
say "screen $DISPLAY"

# The demo in its own process group, so that all of it can be stopped at once.
setsid "$here/tools/run-demo.sh" "$build" --workdir "$work" >"$scratch/demo.out" 2>&1 &
demo_pid=$!
watch=$demo_pid  # a wait ends early when the demo has ended

window() { # window TITLE: the id of the visible window with exactly this title
  xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1
}
has_window() { [ -n "$(window "$1")" ]; }
no_window() { [ -z "$(window "$1")" ]; }
click() { # click WINDOW_ID X Y: a click at a point of the window's client area
  xdotool mousemove --window "$1" "$2" "$3" click 1
  # Away from the buttons, so that no hint covers what is shot.
  xdotool mousemove 1020 760
}
pictures() { find "$work/foto" -name '*.jpg' 2>/dev/null | wc -l; }
more_pictures() { [ "$(pictures)" -gt "$1" ]; }
count() { grep -c -- "$1" "$work/unitsim.log" 2>/dev/null || true; }
more_events() { [ "$(count "$1")" -gt "$2" ]; }
bigger() { [ "$(stat -c %s "$1" 2>/dev/null || echo 0)" -ge "$2" ]; }

mkdir -p "$out"
shoot() { # shoot WINDOW_ID NAME: the window with its frame, as an 8-bit PNG
  sleep 0.4  # the window's last repaint
  import -frame -window "$1" "$scratch/$2.png"
  pngquant --force --skip-if-larger --nofs --speed 1 --quality 40-80 --output "$out/$2.png" -- "$scratch/$2.png" 2>/dev/null ||
    cp "$scratch/$2.png" "$out/$2.png"
  say "$2.png $(stat -c %s "$out/$2.png") bytes"
}

wait_for 60 "the main window" has_window Ravlo
main=$(window Ravlo)
say "Ravlo started"
shoot "$main" main-first

# "Инициализ.": the modem is prepared once it has accepted AT+CLIP=1.
click "$main" 749 148
wait_for 20 "the modem's preparation" more_events 'command=AT+CLIP=1' 0

# The unit calls in three times; the second reception is shot half-way, progress bar and all.
for n in 1 2 3; do
  before=$(pictures)
  connects=$(count 'event=connect')
  echo call >"$work/unitsim.ctl"
  wait_for 60 "call $n to stand" more_events 'event=connect' "$connects"
  if [ "$n" = 2 ]; then
    wait_for 30 "half a picture in temp.dat" bigger "$work/temp.dat" 3500
    shoot "$main" main-receiving
  fi
  wait_for 60 "the picture of call $n" more_pictures "$before"
done

# "Снимок": the unit is dialled and asked for a picture.
before=$(pictures)
click "$main" 749 228
wait_for 90 "the requested picture" more_pictures "$before"
sleep 1.2  # the next poll's "Ready"
shoot "$main" main

# A double click on the top-left picture: the picture whole, in a window titled with its name.
whole() { xdotool search --onlyvisible --name '^foto.*[.]jpg$' 2>/dev/null | head -n 1; }
has_whole() { [ -n "$(whole)" ]; }
no_whole() { [ -z "$(whole)" ]; }
xdotool mousemove --window "$main" 100 100 click --repeat 2 --delay 80 1
xdotool mousemove 1020 760
wait_for 10 "the whole picture" has_whole
shoot "$(whole)" whole-picture
xdotool windowactivate --sync "$(whole)" key Escape
wait_for 10 "the whole picture to close" no_whole

# "Архив" (the calendar on the tool bar): the day's events, the first one chosen after a Tab from
# the date field, and its pictures whole; then Esc.
click "$main" 459 13
wait_for 10 "the archive window" has_window 'Архив'
archive=$(window 'Архив')
xdotool windowactivate --sync "$archive" key Tab
shoot "$archive" archive
xdotool windowactivate --sync "$archive" key Escape
wait_for 10 "the archive window to close" no_window 'Архив'

# "Объекты" (the tool-bar button after the calendar): the units of the book and the numbers
# that called and are not in it, the first unit chosen; then Esc.
click "$main" 482 13
wait_for 10 "the board of the units" has_window 'Объекты'
board=$(window 'Объекты')
shoot "$board" board
xdotool windowactivate --sync "$board" key Escape
wait_for 10 "the board to close" no_window 'Объекты'

# The port dialog (second tool-bar button).
click "$main" 34 13
wait_for 10 "the port dialog" has_window 'Выбор порта'
shoot "$(window 'Выбор порта')" port-dialog
click "$(window 'Выбор порта')" 237 84  # Отмена
wait_for 10 "the port dialog to close" no_window 'Выбор порта'

# The settings; a report number typed into the first row of the phone list (double click);
# then "Удал. запись" sends them to the unit over a call it dials.
click "$main" 749 188
wait_for 10 "the settings dialog" has_window 'Установки'
settings=$(window 'Установки')
xdotool mousemove --window "$settings" 80 406 click --repeat 2 --delay 80 1
xdotool mousemove 1020 760
wait_for 10 "the phone-number dialog" has_window 'Номер телефона'
phone=$(window 'Номер телефона')
# Typed into the focused window: the dialog opens with the number field focused.
xdotool type --delay 30 '+79005556677'
xdotool key Tab
xdotool type 2
shoot "$phone" phone-dialog
click "$phone" 309 44  # ОК
wait_for 10 "the phone-number dialog to close" no_window 'Номер телефона'
shoot "$settings" settings
click "$settings" 595 166  # Удал. запись
wait_for 10 "the settings dialog to close" no_window 'Установки'
settings_sent() { grep -q '^complete=1' "$work/unit-settings.txt" 2>/dev/null; }
wait_for 90 "the settings to reach the unit" settings_sent
sleep 0.5  # the last OK's status
shoot "$main" main-settings-sent

# The about box (the last tool-bar button).
click "$main" 436 13
wait_for 10 "the about box" has_window About
shoot "$(window About)" about
click "$(window About)" 132 144  # OK
wait_for 10 "the about box to close" no_window About

# "Выход": a listening station asks first; "Да" (the other button than the default "Нет",
# reached by Tab). Ravlo saves its lists and ends, and the demo script stops the simulated unit.
click "$main" 749 332
question() { xdotool search --onlyvisible --name '^Ravlo$' 2>/dev/null | grep -vx "$main" | head -n 1; }
has_question() { [ -n "$(question)" ]; }
wait_for 10 "the exit question" has_question
shoot "$(question)" exit-question
xdotool windowactivate --sync "$(question)" key Tab space
watch=""
demo_gone() { ! kill -0 "$demo_pid" 2>/dev/null; }
wait_for 20 "Ravlo to end" demo_gone
wait "$demo_pid" 2>/dev/null || true
demo_pid=""

# A watched unit that has fallen silent: the book gets "Гараж", watched every hour, whose last
# call the journal holds from three hours ago, and the unit of the settings is named and watched
# daily. The next start finds Гараж silent at once: the title names it, the board shows it red.
garage=+79035550101
{
  printf '+79001112233;Склад №2;ворота;24;да\r\n'
  printf '%s;Гараж;;1;нет\r\n' "$garage"
} | iconv -f UTF-8 -t CP1251 >"$scratch/units.add"
{ head -n 1 "$work/units.csv"; cat "$scratch/units.add"; } >"$scratch/units.csv"
mv "$scratch/units.csv" "$work/units.csv"
printf '%s;входящий;\xad%s;снимок;foto OK;5400;;Гараж\r\n' "$(date -d '3 hours ago' '+%d.%m.%Y %H:%M:%S')" "$garage" |
  iconv -f UTF-8 -t CP1251 -c >>"$work/calls.csv"
setsid "$here/tools/run-demo.sh" "$build" --workdir "$work" >"$scratch/demo2.out" 2>&1 &
demo_pid=$!
watch=$demo_pid
wait_for 60 "the main window with the silent unit" has_window 'Ravlo — молчит: Гараж'
main=$(window 'Ravlo — молчит: Гараж')
shoot "$main" main-silent
click "$main" 482 13
wait_for 10 "the board of the units" has_window 'Объекты'
board=$(window 'Объекты')
shoot "$board" board-silent
xdotool windowactivate --sync "$board" key Escape
wait_for 10 "the board to close" no_window 'Объекты'
click "$main" 749 332
wait_for 10 "the exit question" has_question
xdotool windowactivate --sync "$(question)" key Tab space
watch=""
wait_for 20 "Ravlo to end" demo_gone
wait "$demo_pid" 2>/dev/null || true
demo_pid=""
say "done: the pictures are in $out"
