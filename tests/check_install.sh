#!/usr/bin/env bash
# Installs the build into a temporary prefix and builds two consumers
# against it from outside the tree: C through pkg-config, C++ through
# find_package. Both must build and run.
set -euo pipefail
build=${1:?build directory}
source=${2:?source directory}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null

libdir=$(ls -d "$prefix"/lib*/pkgconfig | head -n 1)
libdir=${libdir%/pkgconfig}
export PKG_CONFIG_PATH="$libdir/pkgconfig"
# The .pc file was written for the configured prefix; point it here.
sed -i "s|^prefix=.*|prefix=$prefix|" "$libdir/pkgconfig/versit.pc" \
  "$libdir/pkgconfig/versit_interop.pc"
cc -Wall -Werror "$source/tests/consumers/c/consumer.c" -o "$work/c_consumer" \
  $(pkg-config --cflags --libs versit)
LD_LIBRARY_PATH="$libdir" "$work/c_consumer"
cc -Wall -Werror "$source/tests/consumers/c/interop_consumer.c" -o "$work/c_interop_consumer" \
  $(pkg-config --cflags --libs versit_interop)
LD_LIBRARY_PATH="$libdir" "$work/c_interop_consumer"

cmake -S "$source/tests/consumers/cpp" -B "$work/cpp" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cpp" >/dev/null
LD_LIBRARY_PATH="$libdir" "$work/cpp/consumer"
"$work/cpp/consumer_static"
LD_LIBRARY_PATH="$libdir" "$work/cpp/interop_consumer"
"$prefix/bin/versit" --version
echo "installed consumers work"
