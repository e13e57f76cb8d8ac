#!/usr/bin/env bash
# Formats the tracked C++ sources (*.cpp, *.h) with clang-format and the tree's .clang-format.
#   tools/format.sh           rewrite every file that is not formatted, in place
#   tools/format.sh --check   list the files that are not formatted; exit 1 when there are any
# Only files git tracks are touched: nothing generated, nothing under build/.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

check=0
case "${1:-}" in
  "") ;;
  --check) check=1 ;;
  *) echo "usage: $0 [--check]" >&2; exit 2 ;;
esac

command -v clang-format >/dev/null || { echo "clang-format is not installed (apt install clang-format)" >&2; exit 2; }

mapfile -d '' tracked < <(git ls-files -z -- '*.cpp' '*.h')
files=()
for f in "${tracked[@]}"; do [ -f "$f" ] && files+=("$f"); done  # not those deleted but still in the index
[ ${#files[@]} -gt 0 ] || exit 0

if [ $check -eq 0 ]; then
  printf '%s\0' "${files[@]}" | xargs -0 -n 50 clang-format -i --style=file
  exit 0
fi

# clang-format names every file it would change as "FILE:LINE:COL: error: code should be
# clang-formatted"; any other complaint (a bad .clang-format, say) is shown as it is.
out=$(printf '%s\0' "${files[@]}" | xargs -0 -n 50 clang-format --style=file --dry-run --Werror 2>&1) && exit 0
unformatted=$(sed -n 's/^\(.*\):[0-9]*:[0-9]*: error: code should be clang-formatted.*/\1/p' <<<"$out" | sort -u)
if [ -z "$unformatted" ]; then
  echo "$out" >&2
  exit 2
fi
echo "$unformatted"
exit 1
