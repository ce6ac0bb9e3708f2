#!/usr/bin/env bash
# Installs the port component (component cport_dev) from a build tree into a
# fresh prefix, configures and builds tests/consumer against it as a project
# outside this one would, and runs the consumers on pseudo-terminals (the Qt
# one, receiving events through cport::qt, when WITH_SETUP is 1).
# Usage: check-consumer.sh CMAKE BUILD_DIR CONSUMER_SOURCE WORK_DIR WITH_SETUP(0|1)
#                          [TOOLCHAIN_FILE RUNNER]
# With a toolchain file the consumer is cross-built as the component was, and
# run through RUNNER (the Wine runner of a Windows tree).
set -euo pipefail
cmake=$1 build=$2 source=$3 work=$4 with_setup=$5 toolchain=${6:-} runner=${7:-}

rm -rf "$work"
mkdir -p "$work"
"$cmake" --install "$build" --component cport_dev --prefix "$work/prefix" >"$work/install.log"
# Nothing but the component: the program's files are not for consumers.
if [ -e "$work/prefix/lib/ririredoz" ]; then
  echo "cport_dev installed the program's files too" >&2
  exit 1
fi
# Only the installed prefix may serve the includes: the consumer is built
# from a copy of its sources, far from this project's tree.
cp -r "$source" "$work/src"
setup=OFF
[ "$with_setup" = 1 ] && setup=ON
cross=()
# A cross toolchain looks for packages under its own root: name ours directly.
[ -n "$toolchain" ] && cross=(--toolchain "$toolchain" -Dcport_DIR="$work/prefix/lib/cmake/cport")
"$cmake" -S "$work/src" -B "$work/build" -DCMAKE_PREFIX_PATH="$work/prefix" "${cross[@]}" \
  -DWITH_SETUP=$setup -DWITH_QT=$setup -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$work/configure.log" ||
  { cat "$work/configure.log"; exit 1; }
"$cmake" --build "$work/build" -j2 >"$work/build.log" || { cat "$work/build.log"; exit 1; }
if [ -n "$runner" ]; then
  "$runner" "$work/build/cport_consumer.exe"
  exit
fi
"$work/build/cport_consumer"
if [ "$setup" = ON ]; then
  "$work/build/qt_consumer"
fi
