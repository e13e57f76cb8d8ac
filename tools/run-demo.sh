#!/usr/bin/env bash
# Starts Ravlo in a prepared working folder. The same script serves the build tree and the
# installed package, where it is /usr/lib/ravlo/ravlo-launch behind the commands ravlo and
# ravlo-demo.
#   run-demo.sh BUILD_DIR [--workdir DIR]                        the simulated camera unit on a pseudo-terminal
#   run-demo.sh BUILD_DIR --modem /dev/ttyUSB0 [--workdir DIR]   a real modem
#   ravlo-launch [--workdir DIR]                                 installed, with the simulated unit (~/ravlo-demo)
#   ravlo-launch --real [--modem PORT] [--workdir DIR]           installed, with the real modem (~/ravlo)
#   ... --autostart on|off [--workdir DIR] [--modem PORT]        start Ravlo with the modem at each login, or no more
#   ... --help | --version                                       the command's options, the version; nothing else is done
# A new working folder gets the installed defaults: u.txt, t1.txt, t2.txt, vid.jpg and foto/.
# In a folder that exists only the missing pieces are added; no file of the operator's is
# replaced. A folder in which a Ravlo runs is left as it is and nothing is started.
# The operator reads what this script says, so it speaks Russian.
set -euo pipefail
self=$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")
command_name=${RAVLO_COMMAND:-$0}

if [ $# -gt 0 ] && [ "${1#-}" = "$1" ]; then
  # A build tree: the program and unitsim as built, the defaults from the source tree.
  build=$(cd "$1" 2>/dev/null && pwd) || { echo "Нет папки сборки $1" >&2; exit 2; }
  shift
  src=$(cd "$self/.." && pwd)
  program=$build/ravlo
  unitsim=$build/tools/unitsim/unitsim
  defaults=("$src/resources/defaults" "$src/resources")
  demo_workdir=$src/work/demo
  # Written by CMake (packaging/package.cmake) from the project's version.
  version_file=$build/packaging/version
  guide=$src/docs/guide.md
else
  # Installed: the program and unitsim beside this script, the defaults in ../../share/ravlo.
  # Nothing names the prefix, so an unpacked package runs from wherever it lies.
  program=$self/ravlo
  unitsim=$self/unitsim
  defaults=("$self/../../share/ravlo")
  demo_workdir=$HOME/ravlo-demo
  version_file=$self/../../share/ravlo/version
  guide=$(readlink -m "$self/../../share/doc/ravlo/guide.md")
fi

usage() { # the options of the command that was run (ravlo passes --real before the operator's options)
  local c=$command_name
  if [ -n "${build:-}" ]; then
    cat <<TEXT
Использование: $c [--workdir ПАПКА]
               $c --real [--modem ПОРТ] [--workdir ПАПКА]
               $c --autostart on|off [--workdir ПАПКА] [--modem ПОРТ]
Собранная Ravlo с имитатором модема и блока (рабочая папка $demo_workdir)
или, с --real или --modem, с настоящим модемом (рабочая папка ~/ravlo).

  --workdir ПАПКА      другая рабочая папка; новая получает установки по умолчанию
  --real               с настоящим модемом
  --modem ПОРТ         с настоящим модемом на этом порту, например /dev/ttyUSB0;
                       порт запоминается и для следующих запусков
TEXT
  elif [ "$real" = 1 ]; then
    cat <<TEXT
Использование: $c [--workdir ПАПКА] [--modem ПОРТ]
               $c --autostart on|off [--workdir ПАПКА] [--modem ПОРТ]
Ravlo с GSM-модемом в рабочей папке ~/ravlo.

  --workdir ПАПКА      другая рабочая папка; новая получает установки по умолчанию
  --modem ПОРТ         порт модема, например /dev/ttyUSB0; запоминается и для
                       следующих запусков (иначе порт выбирается в программе)
TEXT
  else
    cat <<TEXT
Использование: $c [--workdir ПАПКА]
Ravlo с имитатором модема и блока в рабочей папке ~/ravlo-demo, чтобы опробовать
программу без модема. С настоящим модемом: ravlo.

  --workdir ПАПКА      другая рабочая папка; новая получает установки по умолчанию
TEXT
  fi
  if [ -n "${build:-}" ] || [ "$real" = 1 ]; then
    cat <<TEXT
  --autostart on|off   запускать Ravlo с модемом при входе в систему (on; в папке
                       --workdir и с портом --modem, если они даны) или больше
                       не запускать (off)
TEXT
  fi
  cat <<TEXT
  --help               эта справка
  --version            версия Ravlo

Руководство оператора: $guide
TEXT
}

show_version() {
  local v
  v=$(cat "$version_file" 2>/dev/null) || { echo "Номер версии не найден ($version_file)" >&2; exit 1; }
  echo "Ravlo $v"
}

real=0; modem=""; workdir=""; autostart=""
while [ $# -gt 0 ]; do
  case "$1" in
    --help|-h) usage; exit 0 ;;
    --version) show_version; exit 0 ;;
    --autostart) case "${2:-}" in
                   on | off) autostart=$2; shift 2 ;;
                   *) echo "После --autostart нужно on или off" >&2; exit 2 ;;
                 esac ;;
    --real) real=1; shift ;;
    --modem) [ $# -ge 2 ] || { echo "После --modem нужен порт, например --modem /dev/ttyUSB0" >&2; exit 2; }
             real=1; modem=$2; shift 2 ;;
    --workdir) [ $# -ge 2 ] || { echo "После --workdir нужна папка" >&2; exit 2; }
               workdir=$2; shift 2 ;;
    *) echo "Неизвестный параметр: $1 (справка: $command_name --help)" >&2; exit 2 ;;
  esac
done

default_file() { # default_file NAME: the path of an installed default
  local d
  for d in "${defaults[@]}"; do
    [ -e "$d/$1" ] && { echo "$d/$1"; return 0; }
  done
  echo "Нет файла по умолчанию $1 (искали в: ${defaults[*]})" >&2
  return 1
}

prepare() { # prepare DIR
  mkdir -p "$1/foto"
  local f
  for f in u.txt t1.txt t2.txt vid.jpg; do
    [ -e "$1/$f" ] || cp "$(default_file "$f")" "$1/$f"
  done
}

remember_port() { # remember_port CONF PORT: Ravlo's port store CONF names PORT; its other keys stay
  local conf=$1 from=$1 value=$2
  [ -f "$conf" ] || from=/dev/null
  # Quoted as QSettings quotes it where a bare value would read otherwise (a comma makes a list).
  case "$value" in
    *[!A-Za-z0-9/._+:@~-]*) value=\"$(printf '%s' "$value" | sed 's/[\\"]/\\&/g')\" ;;
  esac
  mkdir -p "$(dirname "$conf")"
  # pr= of the section [General] is replaced where it stands, or added to that section, or a
  # [General] section is added; every other line is copied as it is.
  PORT=$value awk '
    function put() { if (!done) { print "pr=" ENVIRON["PORT"]; done = 1 } }
    /^\[/ { if (general) put(); general = ($0 == "[General]"); print; next }
    general && /^pr=/ { put(); next }
    { print }
    END { if (general) put(); if (!done) { print "[General]"; put() } }' "$from" >"$conf.tmp"
  mv -f "$conf.tmp" "$conf"
}

refused_on_screen() { # refused_on_screen DIR: started from the menu, nobody reads stderr
  # Ravlo itself, started in the held folder, shows its box "Программа уже запущена в этой
  # папке" and ends, touching nothing. Not on a terminal, nor without a real screen.
  [ -t 2 ] && return 0
  [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] || return 0
  [ -z "${QT_QPA_PLATFORM:-}" ] || [ "${QT_QPA_PLATFORM:-}" = xcb ] || [ "${QT_QPA_PLATFORM:-}" = wayland ] || return 0
  [ -x "$program" ] || return 0
  (cd "$1" && "$program") || true
}

refuse_if_running() { # refuse_if_running DIR: end here when a live Ravlo holds DIR (before anything in it is touched)
  local lock=$1/ravlo.lock pid="" name="" host="" exe
  [ -f "$lock" ] || return 0
  # Ravlo's lock file (QLockFile): its pid, its program's name and its computer, a line each.
  { read -r pid; read -r name; read -r host; } 2>/dev/null <"$lock" || true
  case "$pid" in '' | *[!0-9]*) return 0 ;; esac
  if [ -n "$host" ] && [ "$host" != "$(uname -n)" ]; then
    # A folder shared with another computer: its process cannot be seen from here, and Ravlo
    # itself takes such a lock as held.
    echo "Ravlo уже работает в папке $1 на компьютере $host, второй не запускается" >&2
    exit 1
  fi
  # A pid that is gone, or that a later program got after a crash, leaves the lock stale:
  # Ravlo takes the folder over.
  kill -0 "$pid" 2>/dev/null || [ -d "/proc/$pid" ] || return 0
  if exe=$(readlink "/proc/$pid/exe" 2>/dev/null) && [ -n "$name" ]; then
    exe=${exe% (deleted)}
    [ "${exe##*/}" = "$name" ] || return 0
  fi
  echo "Ravlo уже работает в папке $1, второй не запускается" >&2
  refused_on_screen "$1"
  exit 1
}

entry_can_hold() { # entry_can_hold WHAT TEXT: end here when TEXT cannot go into the autostart entry
  # The entry is UTF-8 text, one key a line. A newline or another control character would have
  # to be written as an escape that not every desktop reads back the same: such a name is refused.
  if [ "$(printf '%s.' "$2" | LC_ALL=C tr -d '\001-\037\177')" != "$2." ]; then
    echo "$1 $(printf '%q' "$2") содержит перевод строки или другой управляющий знак; запись автозапуска не сделана" >&2
    exit 2
  fi
  if ! printf '%s' "$2" | iconv -f UTF-8 -t UTF-8 >/dev/null 2>&1; then
    echo "$1 $(printf '%q' "$2") не в кодировке UTF-8; запись автозапуска не сделана" >&2
    exit 2
  fi
}

exec_arg() { # exec_arg TEXT: TEXT as one argument of a desktop entry's Exec line (before entry_string)
  # An argument with a blank or a character that a launcher reads as syntax goes in double
  # quotes, inside which ", `, $ and \ take a backslash. A % is doubled anywhere, for a single
  # one starts a field code. (Control characters are refused by entry_can_hold.)
  local a=$1
  case "$a" in
    '' | *[\ \"\'\\\<\>~\|\&\;\$\*\?\#\(\)\`]*)
      a=${a//\\/\\\\}; a=${a//\"/\\\"}; a=${a//\`/\\\`}; a=${a//\$/\\\$}
      a=\"$a\" ;;
  esac
  printf '%s' "${a//\%/%%}"
}

entry_string() { # entry_string TEXT: TEXT as the value of a key of a desktop entry
  # A value's own escape: \ is written \\ (so one \ of a quoted argument ends up as four).
  printf '%s' "${1//\\/\\\\}"
}

if [ -n "$autostart" ]; then
  # An XDG autostart entry in the user's folder: the desktop session starts Ravlo with the
  # modem at each login, so that a station whose PC restarted listens again by itself.
  entry=${XDG_CONFIG_HOME:-$HOME/.config}/autostart/ravlo.desktop
  if [ "$autostart" = off ]; then
    rm -f "$entry"
    echo "Ravlo больше не запускается при входе в систему ($entry удалён)."
    exit 0
  fi
  if [ -n "${build:-}" ]; then
    cmd=("$src/ravlo.sh" run --real)
    # The package's icon is not installed beside a clone: the source tree's own.
    icon=$src/packaging/ravlo.svg
  else
    cmd=(ravlo)
    # The icon the package installs in the hicolor theme (RAVLO_APP_ID in packaging/package.cmake).
    icon=org.example.ravlo
  fi
  entry_can_hold "Путь к Ravlo" "${cmd[0]}"
  case "${cmd[0]}" in
    # An Exec line's program may not hold "=": a launcher takes such a word for a variable's setting.
    *=*) echo "Путь к Ravlo ${cmd[0]} содержит знак «=», с ним сеанс программу не запустит; запись автозапуска не сделана" >&2
         exit 2 ;;
  esac
  if [ -n "$workdir" ]; then
    # (The "." keeps a newline that ends the name from being cut off with readlink's own.)
    workdir=$(readlink -m -- "$workdir"; echo .); workdir=${workdir%$'\n.'}
    entry_can_hold "Имя папки" "$workdir"
    cmd+=(--workdir "$workdir")
  fi
  if [ -n "$modem" ]; then
    entry_can_hold "Имя порта" "$modem"
    cmd+=(--modem "$modem")
  fi
  exec_line=""
  for arg in "${cmd[@]}"; do exec_line+="${exec_line:+ }$(exec_arg "$arg")"; done
  mkdir -p "$(dirname "$entry")"
  tmp=$entry.tmp
  printf '[Desktop Entry]\nType=Application\nName=Ravlo\nComment=Listens for the camera unit from the start of the session\nExec=%s\nIcon=%s\nTerminal=false\nX-GNOME-Autostart-enabled=true\n' \
    "$(entry_string "$exec_line")" "$(entry_string "$icon")" >"$tmp"
  mv -f "$tmp" "$entry"
  echo "Ravlo будет запускаться при входе в систему: $entry"
  exit 0
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "Нет экрана. Запустите Ravlo в сеансе рабочего стола или на виртуальном экране: xvfb-run $command_name ..." >&2
  exit 1
fi
[ -x "$program" ] || { echo "Программа Ravlo не найдена: $program" >&2; exit 1; }

if [ "$real" = 1 ]; then
  # A real modem: the port is chosen in Ravlo's port dialog (the tool bar's second button)
  # and remembered in ~/.config/qolbe/ravlo.conf; --modem chooses it for this run and after.
  workdir=${workdir:-$HOME/ravlo}
  refuse_if_running "$workdir"
  prepare "$workdir"
  [ -n "$modem" ] && remember_port "${XDG_CONFIG_HOME:-$HOME/.config}/qolbe/ravlo.conf" "$modem"
  cd "$workdir"
  exec "$program"
fi

# The simulated unit. Its own configuration folder keeps the demo's port out of the user's.
[ -x "$unitsim" ] || { echo "Имитатор блока не найден: $unitsim" >&2; exit 1; }
workdir=${workdir:-$demo_workdir}
# A running demo keeps its unit, its link and its port.
refuse_if_running "$workdir"
# Three units call the demo station in turn. The first is the unit of the settings, the one
# "Снимок" dials; the others are not in the book until the operator adds them, and the last
# presents its number without the country code, as some networks do.
unit_number=+79001112233
callers=$unit_number,+79161234567,89262345678
new=0; [ -e "$workdir/u.txt" ] || new=1
prepare "$workdir"
if [ $new = 1 ]; then
  # The demo unit's phone number, so that "Снимок" has something to dial.
  sed -i "1s/^.*\r\$/$unit_number\r/" "$workdir/u.txt"
fi
export XDG_CONFIG_HOME="$workdir/.config"
link="$workdir/modem"
# The port is always the unit's link; whatever else Ravlo keeps there (that the station
# listened) stays.
remember_port "$XDG_CONFIG_HOME/qolbe/ravlo.conf" "$link"

# A link left by a run that was killed could point at another program's terminal.
rm -f "$link"
# A unit calls every minute (each of the three in turn), somebody else every seven minutes by
# voice. The voice calls come half-way between two of the units' calls (at 3.5 min, then every
# 7), for a voice call that meets the modem ringing is refused busy and never seen. A call of a
# unit, answered, ends within about 7 s; the voice caller rings 5 times in 15 s, and Ravlo waits
# 10 s after the last ring: all over before the next unit's call.
"$unitsim" --link "$link" --control "$workdir/unitsim.ctl" --call-every 60 --voice-first 210 --voice-every 420 --callers "$callers" \
  --dial-delay 2000 --log "$workdir/unitsim.log" --report "$workdir/unit-settings.txt" < /dev/null > "$workdir/unitsim.out" 2>&1 &
sim_pid=$!
# (The unit may have gone already, when the whole process group was sent the same signal.)
trap 'kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ -e "$link" ] && break; sleep 0.05; done
[ -e "$link" ] || { echo "Имитатор блока не запустился (см. $workdir/unitsim.out)" >&2; exit 1; }

echo "Ravlo с имитатором блока: нажмите «Инициализ.», затем «Снимок»; три блока и сами звонят по очереди, примерно раз в минуту."
echo "Рабочая папка: $workdir"
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
