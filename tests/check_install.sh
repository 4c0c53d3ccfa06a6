#!/usr/bin/env bash
# Installs the build into a temporary prefix and uses it from outside the
# tree as the C libraries people know are used: C consumers through
# pkg-config, C++ consumers through find_package (also after the installed
# tree is moved), versioned shared libraries, the stand-in's header in a
# folder of ours, the tool's manual page and bash completion. Everything
# must build, run and complete.
set -euo pipefail
build=$(cd "${1:?build directory}" && pwd)
source=$(cd "${2:?source directory}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
fail() {
  echo "check_install: $*" >&2
  exit 1
}

libdir=$(ls -d "$prefix"/lib*/pkgconfig | head -n 1)
libdir=${libdir%/pkgconfig}
export PKG_CONFIG_PATH="$libdir/pkgconfig"

# The .pc files name the prefix given to cmake --install, and every path
# in them stands on it.
for pc in versit versit_interop versit_calapi; do
  got=$(pkg-config --variable=prefix "$pc")
  [ "$got" = "$prefix" ] || fail "$pc.pc says prefix=$got, not $prefix"
  grep -E '^(libdir|includedir)=' "$libdir/pkgconfig/$pc.pc" | grep -qv '=\${prefix}/' &&
    fail "$pc.pc has a directory not under \${prefix}"
done
# Nothing installed points back into the build or source tree.
if grep -rlF -e "$build" -e "$source" "$libdir/pkgconfig" "$libdir/cmake"; then
  fail "installed package files name the build or source tree"
fi

# Versioned shared libraries, found by their soname.
for lib in versit versit_interop versit_calapi; do
  soname=$(readelf -d "$libdir/lib$lib.so" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
  [ "$soname" = "lib$lib.so.0" ] || fail "lib$lib.so has soname '$soname'"
  [ -e "$libdir/$soname" ] || fail "$soname is not installed"
done

# The stand-in is installed under our names only.
[ -f "$prefix/include/versit/calapi32.h" ] || fail "no include/versit/calapi32.h"
[ ! -e "$prefix/include/calapi32.h" ] || fail "calapi32.h installed at the top of include/"
if ls "$libdir" | grep -q calapi32; then fail "a library installed as calapi32"; fi
# Every installed header compiles on its own with the package's flags: one
# that included "calapi32.h" by its in-tree name would not.
for header in "$prefix"/include/*.h "$prefix"/include/versit/*.h; do
  echo "#include <${header#"$prefix"/include/}>" |
    cc -Wall -Werror -fsyntax-only -x c - $(pkg-config --cflags versit_calapi versit_interop) ||
    fail "installed ${header#"$prefix"/} does not compile on its own"
done

cc -Wall -Werror "$source/tests/consumers/c/consumer.c" -o "$work/c_consumer" \
  $(pkg-config --cflags --libs versit)
LD_LIBRARY_PATH="$libdir" "$work/c_consumer"
# vCard alone needs nothing but libversit: it carries its own dependency
# on the stand-in, which the program does not name.
cc -Wall -Werror "$source/tests/consumers/c/vcard_consumer.c" -o "$work/c_vcard_consumer" \
  $(pkg-config --cflags --libs versit)
LD_LIBRARY_PATH="$libdir" "$work/c_vcard_consumer" >/dev/null
readelf -d "$work/c_vcard_consumer" | grep -q 'NEEDED.*calapi' &&
  fail "a vCard-only program depends on the stand-in directly"
cc -Wall -Werror "$source/tests/consumers/c/interop_consumer.c" -o "$work/c_interop_consumer" \
  $(pkg-config --cflags --libs versit_interop)
LD_LIBRARY_PATH="$libdir" "$work/c_interop_consumer"
c++ -Wall -Werror "$source/tests/consumers/cpp/calapi_consumer.cpp" -o "$work/c_calapi_consumer" \
  $(pkg-config --cflags --libs versit_calapi)
LD_LIBRARY_PATH="$libdir" "$work/c_calapi_consumer"

# find_package from the prefix, and again from wherever the tree is moved.
run_cmake_consumers() {
  local root=$1 lib=$2 out=$3
  cmake -S "$source/tests/consumers/cpp" -B "$out" -DCMAKE_PREFIX_PATH="$root" >/dev/null
  cmake --build "$out" >/dev/null
  LD_LIBRARY_PATH="$lib" "$out/consumer"
  "$out/consumer_static"
  LD_LIBRARY_PATH="$lib" "$out/interop_consumer"
  LD_LIBRARY_PATH="$lib" "$out/calapi_consumer"
}
run_cmake_consumers "$prefix" "$libdir" "$work/cpp"
"$prefix/bin/versit" --version
mv "$prefix" "$work/moved"
run_cmake_consumers "$work/moved" "$work/moved/${libdir#"$prefix"/}" "$work/cpp_moved"
mv "$work/moved" "$prefix"

# The manual page renders without a warning and tells what the tool does:
# its version, every command, and every option each command's --help shows.
page="$prefix/share/man/man1/versit.1"
[ -f "$page" ] || fail "no share/man/man1/versit.1"
warnings=$(groff -man -Tutf8 -ww -z "$page" 2>&1) || fail "groff cannot render versit.1"
[ -z "$warnings" ] || fail "versit.1: $warnings"
text=$(groff -man -Tutf8 -P-cbou "$page" 2>/dev/null | sed 's/\xe2\x80\x90/-/g')
version=$("$prefix/bin/versit" --version)
grep -q "^\.TH VERSIT 1 .*\"${version}\"" "$page" || fail "versit.1 is not for '$version'"
for command in parse vcard ab vcal convert; do
  grep -q "^ *versit $command" <<<"$text" || fail "versit.1 has no synopsis of $command"
  for option in $("$prefix/bin/versit" "$command" --help | grep -oE -- '--?[a-z][a-z-]*' | sort -u); do
    grep -qF -- "$option" <<<"$text" || fail "versit.1 does not tell $command's $option"
  done
done
for option in $("$prefix/bin/versit" --help | grep -oE -- ' --?[a-z][a-z-]*' | sort -u); do
  grep -qF -- "$option" <<<"$text" || fail "versit.1 does not tell the option$option"
done
for format in vcard21 vcard3 vcard4 jcard vcal10 ical jcal; do
  grep -qw -- "$format" <<<"$text" || fail "versit.1 does not name the format $format"
done
grep -q '^EXIT STATUS' <<<"$text" || fail "versit.1 has no EXIT STATUS"

# The completion loads in bash and completes what the tool takes.
completion="$prefix/share/bash-completion/completions/versit"
[ -f "$completion" ] || fail "no share/bash-completion/completions/versit"
touch "$work/cards.vcf"
while IFS='|' read -r line expected; do
  got=$(cd "$work" && bash --norc --noprofile -c '
    source "$1" || exit 3
    function=$(complete -p versit | sed -n "s/.*-F \([^ ]*\).*/\1/p")
    COMP_LINE=$2
    read -ra COMP_WORDS <<<"$COMP_LINE"
    [[ $COMP_LINE == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_POINT=${#COMP_LINE}
    "$function" versit "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    echo "${COMPREPLY[*]}"' completion "$completion" "$line")
  [ "$got" = "$expected" ] || fail "completing '$line' gave '$got', not '$expected'"
done <<'CASES'
versit con|convert
versit v|vcard vcal
versit convert --to |vcard21 vcard3 vcard4 jcard vcal10 ical jcal
versit convert --to j|jcard jcal
versit vcal |check items rewrite --help
versit vcard --no|--no-default-types
versit ab import car|cards.vcf
versit ab list |
CASES
echo "installed consumers work"
