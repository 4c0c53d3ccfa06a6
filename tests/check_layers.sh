#!/usr/bin/env bash
# Each folder may include headers only of the folders below it (and its own,
# and the public headers). platform/ is the floor every library folder
# stands on. Prints every offending include and fails on any.
set -u
top=${1:-.}
cd "$top" || exit 2
declare -A allowed=(
  [platform]=""
  [list]="platform"
  [diag]="list platform"
  [date]="list platform"
  [versit]="diag platform"
  [recur]="date list diag platform"
  [vcard]="versit diag platform"
  [vcal]="recur date list diag platform"
  [abexchange]="date list diag platform" # the vCard side through public headers only
  # The second library: public headers first; internal headers only where a
  # mechanism must be shared rather than copied.
  [interop]="vcard versit vcal recur diag list date platform"
  [tools]="" # public headers only
)
status=0
for dir in "${!allowed[@]}"; do
  [ -d "$dir" ] || continue
  while IFS= read -r hit; do
    file=${hit%%:*}
    inc=$(sed -E 's/.*#include "([^"]+)".*/\1/' <<<"$hit")
    case "$inc" in
      */*) target=${inc%%/*} ;;
      *) continue ;;  # a public header or one beside the source
    esac
    [ "$target" = "$dir" ] && continue
    ok=0
    for a in ${allowed[$dir]}; do [ "$a" = "$target" ] && ok=1; done
    if [ $ok -eq 0 ]; then
      echo "$file includes $inc: $dir may not use $target"
      status=1
    fi
  done < <(grep -rnE '^\s*#\s*include\s+"' "$dir" --include='*.h' --include='*.cpp' --include='*.c' 2>/dev/null)
done
# The tool is the top: no library, test, benchmark or fuzz target borrows
# its code; what they share lives in a library.
while IFS= read -r hit; do
  echo "$hit: nothing may use tools/"
  status=1
done < <(grep -rnE '^\s*#\s*include\s+"tools/' . --include='*.h' --include='*.cpp' --include='*.c' \
           --exclude-dir=build --exclude-dir=.git 2>/dev/null)
while IFS= read -r hit; do
  echo "$hit: nothing may build sources of tools/"
  status=1
done < <(grep -rn 'tools/[A-Za-z_]*\.\(cpp\|h\)' . --include=CMakeLists.txt --exclude-dir=build 2>/dev/null)
exit $status
