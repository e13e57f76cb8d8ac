#!/usr/bin/env bash
# The Debian package as an operator meets it: `./ravlo.sh package` builds it (in build/package,
# so that a second run only packs again), then its contents, its dependencies, the menu entry,
# the AppStream data and lintian are checked, and the commands of the unpacked package start
# in a scratch home folder without a display (offscreen) and end on SIGTERM, as at the end of
# a session.
#   tests/e2e/package.sh [SOURCE_DIR]
# Every failed check is named; the script ends with 1 when any failed.
# shellcheck disable=SC2088  # "~/ravlo" in the messages names the folder as the operator sees it
set -uo pipefail
src=$(cd "${1:-$(dirname "${BASH_SOURCE[0]}")/../..}" && pwd)
app_id=org.example.ravlo
scratch=$(mktemp -d "${TMPDIR:-/tmp}/ravlo-package.XXXXXX")
root=$scratch/root
home=$scratch/home
pid=""

cleanup() {
  # A launcher still running (a failed check) goes with its whole group: Ravlo and unitsim.
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
    kill -KILL -- -"$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
give_up() { echo "FAIL: $*" >&2; exit 1; }

for tool in dpkg-deb lintian desktop-file-validate appstreamcli; do
  command -v "$tool" >/dev/null || give_up "$tool is missing (./ravlo.sh test installs it)"
done

# --- the build ------------------------------------------------------------------------------
started=$SECONDS
out=$("$src/ravlo.sh" package 2>&1) || { echo "$out" | tail -n 40 >&2; give_up "./ravlo.sh package failed"; }
deb=$(tail -n 1 <<<"$out")
[ -f "$deb" ] || { echo "$out" | tail -n 20 >&2; give_up "./ravlo.sh package did not end with the path of the .deb (got: $deb)"; }
echo "built $deb in $((SECONDS - started)) s"

# --- contents and control -------------------------------------------------------------------
contents=$(dpkg-deb --contents "$deb") || give_up "dpkg-deb cannot read $deb"
for path in usr/bin/ravlo usr/bin/ravlo-demo \
  usr/lib/ravlo/ravlo usr/lib/ravlo/unitsim usr/lib/ravlo/ravlo-launch \
  usr/share/ravlo/u.txt usr/share/ravlo/t1.txt usr/share/ravlo/t2.txt usr/share/ravlo/vid.jpg \
  "usr/share/applications/$app_id.desktop" "usr/share/metainfo/$app_id.metainfo.xml" \
  "usr/share/icons/hicolor/scalable/apps/$app_id.svg" \
  usr/share/man/man1/ravlo.1.gz usr/share/man/man1/ravlo-demo.1.gz \
  usr/share/doc/ravlo/copyright usr/share/doc/ravlo/changelog.gz \
  usr/share/doc/ravlo/guide.md usr/share/doc/ravlo/images/main.png; do
  grep -Eq " \./$path( -> .*)?\$" <<<"$contents" || fail "the package lacks /$path"
done
for path in usr/bin/ravlo usr/bin/ravlo-demo usr/lib/ravlo/ravlo usr/lib/ravlo/unitsim usr/lib/ravlo/ravlo-launch; do
  grep -Eq "^-rwxr-xr-x .* \./$path\$" <<<"$contents" || fail "/$path is not an executable (rwxr-xr-x) file"
done
# Nothing runs at installation or removal, so the operator's working folders stay when the
# package goes.
scripts=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | grep -E 'preinst|postinst|prerm|postrm')
[ -z "$scripts" ] || fail "the package has maintainer scripts: $scripts"

depends=$(dpkg-deb -f "$deb" Depends)
grep -q libqt6 <<<"$depends" || fail "Depends names no Qt 6 library (dpkg-shlibdeps not run?): $depends"
grep -q libjpeg <<<"$depends" || fail "Depends names no libjpeg (dpkg-shlibdeps not run?): $depends"
grep -q qt6-translations-l10n <<<"$depends" || fail "Depends names no Qt translations: $depends"
version=$(sed -n 's/^project(Ravlo VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] ||
  fail "the package's version $(dpkg-deb -f "$deb" Version) is not the project's $version"

# --- metadata, checked as installed ---------------------------------------------------------
dpkg -x "$deb" "$root" || give_up "dpkg -x could not unpack $deb"
desktop=$root/usr/share/applications/$app_id.desktop
metainfo=$root/usr/share/metainfo/$app_id.metainfo.xml
if ! result=$(desktop-file-validate "$desktop" 2>&1) || [ -n "$result" ]; then
  fail "desktop-file-validate: $result"
fi
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ -f "$root/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "the desktop entry's icon $icon is not installed"
for exe in $(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop"); do
  [ -x "$root/usr/bin/$exe" ] || fail "the desktop entry runs $exe, which is not in /usr/bin"
done
result=$(appstreamcli validate --no-net "$metainfo" 2>&1) || fail "appstreamcli validate: $result"
grep -q "<release version=\"$version\"" "$metainfo" || fail "the AppStream data has no release $version"
[ "$(zcat "$root/usr/share/doc/ravlo/changelog.gz" | head -n 1 | sed 's/^ravlo (\([^)]*\)).*/\1/')" = "$version" ] ||
  fail "the changelog's last entry is not version $version"
# The operator's guide: every picture it shows lies where its link points, and the manual
# page names it.
doc=$root/usr/share/doc/ravlo
while read -r image; do
  [ -f "$doc/$image" ] || fail "the guide shows $image, which is not installed beside it"
done < <(grep -o '](images/[^)]*)' "$doc/guide.md" 2>/dev/null | sed 's/^](//; s/)$//')
zcat "$root/usr/share/man/man1/ravlo.1.gz" | grep -q '/usr/share/doc/ravlo/guide\.md' ||
  fail "the manual page does not name the guide /usr/share/doc/ravlo/guide.md"
result=$(lintian --fail-on error "$deb" 2>&1) || fail "lintian reports errors:
$result"
[ -n "$result" ] && echo "lintian: $result"

# --- the commands, from the unpacked package ------------------------------------------------
mkdir -p "$home" "$scratch/run"
chmod 700 "$scratch/run"

# As from a desktop session without a screen, in the scratch home.
session=(env -i PATH="$PATH" HOME="$home" LANG=C.UTF-8 XDG_RUNTIME_DIR="$scratch/run" QT_QPA_PLATFORM=offscreen)
start() { # start NAME COMMAND...: in the background and a process group of its own
  name=$1; shift
  # A simple command, so that $! is the command itself and not a subshell around it.
  "${session[@]}" setsid "$@" >"$scratch/$name.out" 2>&1 &
  pid=$!
}
wait_for() { # wait_for SECONDS COMMAND...: until COMMAND succeeds or the command started ends
  local end=$((SECONDS + $1)); shift
  until "$@"; do
    kill -0 "$pid" 2>/dev/null || return 1
    [ "$SECONDS" -ge "$end" ] && return 1
    sleep 0.1
  done
}
started_in() { # started_in DIR: Ravlo holds the folder's lock (its clean end is checked by stop)
  wait_for 30 test -e "$1/ravlo.lock" && kill -0 "$pid" 2>/dev/null
}
stop() { # stop: SIGTERM to the command's whole process group, as at the end of a session; sets status
  kill -TERM -- -"$pid" 2>/dev/null
  local end=$((SECONDS + 30))
  while kill -0 "$pid" 2>/dev/null && [ "$SECONDS" -lt "$end" ]; do sleep 0.1; done
  if kill -0 "$pid" 2>/dev/null; then
    fail "$name did not end within 30 s of SIGTERM"
    kill -KILL -- -"$pid" 2>/dev/null
  fi
  wait "$pid"; status=$?
  pid=""
}
show_output() { sed "s/^/  $name: /" "$scratch/$name.out" >&2; }
same_as_default() { cmp -s "$1/$2" "$root/usr/share/ravlo/$2"; }

# --help and --version answer in Russian, need no display and touch nothing; an unknown option
# still ends with 2.
nodisplay=("${session[@]}" env -u QT_QPA_PLATFORM)
for cmd in ravlo ravlo-demo; do
  if out=$("${nodisplay[@]}" "$root/usr/bin/$cmd" --help 2>/dev/null); then
    { grep -q 'Использование' <<<"$out" && grep -q -- '--workdir' <<<"$out"; } || fail "$cmd --help printed: $out"
  else
    fail "$cmd --help ended with $?"
  fi
  out=$("${nodisplay[@]}" "$root/usr/bin/$cmd" --version 2>&1) || fail "$cmd --version ended with $?"
  [ "$out" = "Ravlo $version" ] || fail "$cmd --version printed \"$out\", not \"Ravlo $version\""
done
out=$("${nodisplay[@]}" "$root/usr/bin/ravlo" --help 2>/dev/null)
grep -q -- '--modem' <<<"$out" || fail "ravlo --help does not name --modem"
"${nodisplay[@]}" "$root/usr/bin/ravlo" --no-such-option >"$scratch/unknown.out" 2>&1
status=$?
{ [ "$status" = 2 ] && grep -q 'Неизвестный параметр' "$scratch/unknown.out"; } ||
  fail "ravlo with an unknown option ended with $status: $(cat "$scratch/unknown.out")"

# Without a display the command says so and leaves the home folder as it was.
if "${nodisplay[@]}" "$root/usr/bin/ravlo" >"$scratch/nodisplay.out" 2>&1; then
  fail "ravlo without a display did not fail"
fi
grep -q "Нет экрана" "$scratch/nodisplay.out" || fail "ravlo without a display did not say so: $(cat "$scratch/nodisplay.out")"
[ -z "$(ls -A "$home")" ] || fail "--help, --version or a start without a display left in the home folder: $(ls -A "$home")"

# The first start makes ~/ravlo with the defaults.
work=$home/ravlo
conf=$home/.config/qolbe/ravlo.conf
start ravlo "$root/usr/bin/ravlo"
if started_in "$work"; then
  for f in u.txt t1.txt t2.txt vid.jpg; do same_as_default "$work" "$f" || fail "~/ravlo/$f is not the installed default"; done
  [ -d "$work/foto" ] || fail "~/ravlo/foto was not made"
  stop
  [ "$status" = 0 ] || { show_output; fail "ravlo ended with $status on SIGTERM, not 0"; }
  # A clean end: the lists and the port choice written, the folder's lock given back.
  [ -e "$work/files.txt" ] && [ -e "$work/events.txt" ] || fail "ravlo ended without writing files.txt and events.txt"
  grep -q '^pr=' "$conf" 2>/dev/null || fail "ravlo ended without storing its port in $conf"
  [ -e "$work/ravlo.lock" ] && fail "ravlo ended and left its lock ravlo.lock"
else
  show_output; fail "ravlo did not start in ~/ravlo"
  stop
fi

# A second start keeps the operator's files and adds only what is missing.
printf '+70000000000\r\n1\r\n' >"$work/u.txt"
cp "$work/u.txt" "$scratch/u.operator"
rm -f "$work/t1.txt"
start ravlo-again "$root/usr/bin/ravlo"
if started_in "$work"; then
  cmp -s "$work/u.txt" "$scratch/u.operator" || fail "a second start of ravlo replaced the operator's u.txt"
  same_as_default "$work" t1.txt || fail "a second start of ravlo did not put back the missing t1.txt"
else
  show_output; fail "ravlo did not start a second time"
fi
stop
[ "$status" = 0 ] || fail "ravlo ended with $status on SIGTERM the second time"

# --modem: that run's port, remembered in place of the one before, every other key of the store
# kept. The lock of a Ravlo that is gone (a pid that has ended) does not stand in the way.
printf '[General]\nlisten=1\npr=/dev/ttyS0\n' >"$conf"
gone=$(sh -c 'echo $$')
printf '%s\nravlo\n%s\n' "$gone" "$(uname -n)" >"$work/ravlo.lock"
locked_by() { [ "$(head -n 1 "$1/ravlo.lock" 2>/dev/null)" = "$2" ]; }
for port in /dev/ravlo-test-A /dev/ravlo-test-B; do
  # The command execs the launcher and the launcher Ravlo: the lock names the pid started.
  start ravlo-modem "$root/usr/bin/ravlo" --modem "$port"
  if wait_for 30 locked_by "$work" "$pid"; then
    grep -qx "pr=$port" "$conf" || fail "ravlo --modem $port runs with $(grep '^pr=' "$conf")"
    grep -qx 'listen=1' "$conf" || fail "ravlo --modem $port lost listen=1 from $conf: $(cat "$conf")"
  else
    show_output; fail "ravlo --modem $port did not start (lock: $(head -n 1 "$work/ravlo.lock" 2>/dev/null))"
  fi
  stop
  [ "$status" = 0 ] || { show_output; fail "ravlo --modem $port ended with $status on SIGTERM"; }
done
grep -qx 'pr=/dev/ravlo-test-B' "$conf" || fail "the port remembered after ravlo --modem B is $(grep '^pr=' "$conf")"

# The demo: its own folder, the simulated unit on a link, the operator's port left alone.
demo=$home/ravlo-demo
cp "$conf" "$scratch/conf.before" 2>/dev/null
start ravlo-demo "$root/usr/bin/ravlo-demo"
if started_in "$demo"; then
  for f in t1.txt t2.txt vid.jpg; do same_as_default "$demo" "$f" || fail "~/ravlo-demo/$f is not the installed default"; done
  [ "$(head -n 1 "$demo/u.txt" | tr -d '\r')" = "+79001112233" ] || fail "~/ravlo-demo/u.txt does not name the demo unit's number"
  [ -L "$demo/modem" ] || fail "the simulated unit's link ~/ravlo-demo/modem is missing"
  grep -q "pr=$demo/modem" "$demo/.config/qolbe/ravlo.conf" 2>/dev/null || fail "the demo's port is not the simulated unit's link"
  sim=$(pgrep -f "^$root/usr/lib/ravlo/unitsim ")
  [ -n "$sim" ] || fail "the simulated unit is not running"
  # A second ravlo-demo in that folder says so and ends; the running one keeps its unit and
  # its link. (Bounded: a Ravlo that refuses by itself waits on a message box.)
  pty=$(readlink "$demo/modem")
  if "${session[@]}" timeout -k 5 60 "$root/usr/bin/ravlo-demo" >"$scratch/demo-second.out" 2>&1; then
    fail "a second ravlo-demo in ~/ravlo-demo did not fail"
  fi
  grep -q 'уже работает' "$scratch/demo-second.out" ||
    fail "a second ravlo-demo did not say that Ravlo runs: $(cat "$scratch/demo-second.out")"
  { [ -L "$demo/modem" ] && [ "$(readlink "$demo/modem")" = "$pty" ]; } ||
    fail "a second ravlo-demo took the link ~/ravlo-demo/modem ($pty, now: $(readlink "$demo/modem"))"
  [ "$(pgrep -cf "^$root/usr/lib/ravlo/unitsim --link $demo/modem ")" = 1 ] ||
    fail "not one simulated unit runs for ~/ravlo-demo: $(pgrep -af "^$root/usr/lib/ravlo/unitsim ")"
  stop
  [ "$status" = 0 ] || { show_output; fail "ravlo-demo ended with $status on SIGTERM, not 0"; }
  for s in $sim; do
    for _ in $(seq 50); do kill -0 "$s" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$s" 2>/dev/null && { fail "the simulated unit ($s) outlived ravlo-demo"; kill "$s"; }
  done
  [ -e "$demo/modem" ] && fail "the simulated unit's link stayed after ravlo-demo ended"
  cmp -s "$conf" "$scratch/conf.before" || fail "ravlo-demo changed the operator's port store $conf"
else
  show_output; fail "ravlo-demo did not start in ~/ravlo-demo"
  stop
fi

# The session start: the XDG autostart entries of ravlo, for folder and port names a desktop
# reads as syntax unless they are quoted, and their removal.
PATH="$root/usr/bin:$PATH" XDG_DATA_DIRS="$root/usr/share" "$src/tests/e2e/autostart.sh" "$root/usr/bin/ravlo" ||
  fail "the autostart entries of ravlo (see above)"

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "the package passed every check in $SECONDS s"
