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
  [tools]=""
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
exit $status
