#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the build tree into a temporary prefix, then configures, builds and runs the consumer
# project against it: installed_package_test.sh BUILD-DIR CONSUMER-DIR [LINKER-FLAGS]
set -euo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$1" --prefix "$work/prefix" >/dev/null
cmake -S "$2" -B "$work/build" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" \
  -DCMAKE_EXE_LINKER_FLAGS="${3:-}" >/dev/null
cmake --build "$work/build" >/dev/null
shown=$(XDG_CONFIG_HOME="$work" "$work/build/consumer")
[[ "$shown" == "70.7 °F 192.168.1.1" ]] || { echo "consumer printed '$shown'" >&2; exit 1; }
