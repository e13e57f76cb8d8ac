#!/usr/bin/env bash
# The session-start entry of `--autostart on`, made for working folders and ports whose names a
# desktop launcher reads as syntax unless they are quoted: each entry passes desktop-file-validate,
# its Exec line read back as a launcher reads it gives the folder and the port exactly, and the
# program and the icon it names are there. A name no entry can hold is refused, and the entry
# made before stays as it was.
#   tests/e2e/autostart.sh COMMAND...
# COMMAND is the launcher as the operator runs it: tools/run-demo.sh BUILD_DIR from a clone, or
# the package's ravlo with PATH and XDG_DATA_DIRS leading into the unpacked package.
# Every failed check is named; the script ends with 1 when any failed.
set -uo pipefail
command -v desktop-file-validate >/dev/null ||
  { echo "FAIL: desktop-file-validate is missing (./ravlo.sh test installs it)" >&2; exit 1; }
# Without symbolic links in it, so that the folder the launcher makes absolute is this one.
scratch=$(readlink -f "$(mktemp -d "${TMPDIR:-/tmp}/ravlo-autostart.XXXXXX")")
trap 'rm -rf "$scratch"' EXIT
home=$scratch/home
entry=$home/.config/autostart/ravlo.desktop
mkdir -p "$home"

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
# As from a terminal of the session, in the scratch home.
launcher() { env -i PATH="$PATH" HOME="$home" LANG=C.UTF-8 "$@"; }

read_exec() { # read_exec VALUE: argv := the command of an Exec value as a launcher runs it; else why := the fault
  # First the value's own escapes, then the quoting of the arguments, then the field codes (an
  # entry of the launcher holds no field code but %%, a literal %).
  local v=$1 raw="" c i=0 arg="" word=0 quoted=0
  argv=()
  while [ $i -lt ${#v} ]; do
    c=${v:i:1}; i=$((i + 1))
    if [ "$c" = "\\" ]; then
      case "${v:i:1}" in
        s) c=' ' ;; n) c=$'\n' ;; t) c=$'\t' ;; r) c=$'\r' ;; "\\") c="\\" ;;
        *) why="the value holds the escape \\${v:i:1}"; return 1 ;;
      esac
      i=$((i + 1))
    fi
    raw+=$c
  done
  i=0
  while [ $i -lt ${#raw} ]; do
    c=${raw:i:1}; i=$((i + 1))
    if [ "$c" = % ]; then
      [ "${raw:i:1}" = % ] || { why="a field code %${raw:i:1}"; return 1; }
      i=$((i + 1)); arg+=%; word=1
    elif [ $quoted = 1 ]; then
      case "$c" in
        '"') quoted=0 ;;
        "\\") c=${raw:i:1}; i=$((i + 1))
             case "$c" in
               '"' | '`' | '$' | "\\") arg+=$c ;;
               *) why="\\$c in quotes"; return 1 ;;
             esac ;;
        '`' | '$') why="$c in quotes without a backslash"; return 1 ;;
        *) arg+=$c ;;
      esac
    else
      case "$c" in
        ' ') [ $word = 1 ] && argv+=("$arg"); arg=""; word=0 ;;
        '"') quoted=1; word=1 ;;
        [[:space:]\'\\\<\>~\|\&\;\$\*\?\#\(\)\`]) why="the reserved character $c outside quotes"; return 1 ;;
        *) arg+=$c; word=1 ;;
      esac
    fi
  done
  [ $quoted = 0 ] || { why="a quote that is not closed"; return 1; }
  [ $word = 1 ] && argv+=("$arg")
  return 0
}

option_value() { # option_value OPTION: the word after OPTION in argv; fails when argv lacks OPTION
  local i
  for ((i = 1; i + 1 < ${#argv[@]}; i++)); do
    [ "${argv[i]}" = "$1" ] && { printf '%s' "${argv[i + 1]}"; return 0; }
  done
  return 1
}

icon_there() { # icon_there ICON: an absolute path, or a name in the hicolor theme of XDG_DATA_DIRS
  local d dirs
  case "$1" in /*) [ -f "$1" ]; return ;; esac
  IFS=: read -ra dirs <<<"${XDG_DATA_DIRS:-/usr/local/share:/usr/share}"
  for d in "${dirs[@]}"; do
    compgen -G "$d/icons/hicolor/*/apps/$1.*" >/dev/null && return 0
  done
  return 1
}

check_entry() { # check_entry FOLDER PORT COMMAND...: the entry for FOLDER (and PORT, when not empty)
  local dir=$1 port=$2 name=$1 result exec icon got opts=(--workdir "$1")
  shift 2
  [ -n "$port" ] && { opts+=(--modem "$port"); name="$dir with the port $port"; }
  if ! result=$(launcher "$@" --autostart on "${opts[@]}" 2>&1); then
    fail "--autostart on for $name ended with $?: $result"
    return
  fi
  [ -f "$entry" ] || { fail "--autostart on for $name made no $entry"; return; }
  if ! result=$(desktop-file-validate "$entry" 2>&1) || [ -n "$result" ]; then
    fail "desktop-file-validate, the entry for $name: $result"
  fi
  exec=$(sed -n 's/^Exec=//p' "$entry")
  read_exec "$exec" || { fail "the entry for $name runs $exec, which a launcher cannot read: $why"; return; }
  case "${argv[0]}" in
    */*) [ -x "${argv[0]}" ] ;;
    *) command -v "${argv[0]}" >/dev/null ;;
  esac || fail "the entry for $name runs ${argv[0]}, which is no program"
  got=$(option_value --workdir)
  [ "$got" = "$dir" ] || fail "the entry for $name runs in the folder \"$got\" (Exec=$exec)"
  if [ -n "$port" ]; then
    got=$(option_value --modem)
    [ "$got" = "$port" ] || fail "the entry for $name runs with the port \"$got\" (Exec=$exec)"
  elif option_value --modem >/dev/null; then
    fail "the entry for $name names a port none was given for (Exec=$exec)"
  fi
  icon=$(sed -n 's/^Icon=//p' "$entry")
  icon_there "$icon" || fail "the entry for $name names the icon $icon, which is not installed"
  [ -e "$dir" ] && fail "--autostart on for $name started the program (made $dir)"
}

sites=$scratch/sites
# shellcheck disable=SC2016  # the $ and ` of a folder's name, as they stand
for folder in "d'Artagnan" "100%" "a;b&c#d(e)" "site 1" 'back\slash' 'say "hi"' 'cost $5 `date`' \
  '~a*b?c<d>e|f' 'Объект №1'; do
  check_entry "$sites/$folder" "" "$@"
done
check_entry "$sites/site 1" "/dev/serial/by-id/usb-Maker_Modem_(d'Art)_100%-if00" "$@"

# A newline or another control character, or a name not in UTF-8: refused, the entry before kept.
cp "$entry" "$scratch/entry.before" 2>/dev/null
for opts in "--workdir $sites/line"$'\n'"break" "--workdir $sites/tab"$'\t' "--workdir $sites/"$'\xff' \
  "--modem /dev/ttyS0"$'\r'; do
  name=$(printf '%q' "$opts")
  if result=$(launcher "$@" --autostart on "${opts%% *}" "${opts#* }" 2>&1); then
    fail "--autostart on $name did not fail"
  fi
  grep -q 'запись автозапуска не сделана' <<<"$result" || fail "--autostart on $name did not say why: $result"
  cmp -s "$entry" "$scratch/entry.before" || fail "--autostart on $name changed $entry"
done

launcher "$@" --autostart off >/dev/null 2>&1 || fail "--autostart off failed"
[ -e "$entry" ] && fail "--autostart off left $entry"

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "the autostart entries passed every check"
