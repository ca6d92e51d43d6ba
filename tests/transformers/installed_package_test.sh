#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the build tree into a temporary prefix, then configures, builds and runs the consumer
# project against it: installed_package_test.sh BUILD-DIR CONSUMER-DIR [LINKER-FLAGS]
set -euo pipefail
build=$1
consumer=$2
linker_flags=${3:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null
cmake -S "$consumer" -B "$work/build" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" \
  -DCMAKE_EXE_LINKER_FLAGS="$linker_flags" >/dev/null
cmake --build "$work/build" >/dev/null
shown=$(XDG_CONFIG_HOME="$work" "$work/build/consumer")
expected="70.7 °F 192.168.1.1"
if [[ "$shown" != "$expected" ]]; then
  echo "consumer printed '$shown', expected '$expected'" >&2
  exit 1
fi
echo "the installed package links and converts: $shown"
