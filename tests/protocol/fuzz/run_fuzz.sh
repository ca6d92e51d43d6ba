#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the fuzz targets with clang and runs each for a bounded time on seeds made here:
#   run_fuzz.sh BUILD_DIR SECONDS ZELHELPER_EXECUTABLE
# Exits 77 (skipped) when clang++ is missing.
set -euo pipefail
build=$1 seconds=$2 executable=$3
if ! command -v clang++ >/dev/null; then
  echo "fuzz: skipped, clang++ is not installed (apt-get install clang)"
  exit 77
fi
corpus=$build/corpus-frames
mkdir -p "$corpus" "$build/corpus-elf" "$build/artifacts"
if ! { cmake -S "$(dirname "$0")" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ &&
  cmake --build "$build"; } >"$build/build.log" 2>&1; then
  cat "$build/build.log"
  exit 1
fi

# Seeds: a version call, an octToDec call, a createFile call, and the real executable.
printf '\x01\x00\x00\x00\x01' >"$corpus/version"
printf '\x05\x00\x00\x00\x05\x02\x03\x00\x00' >"$corpus/oct-to-dec"
printf '\x15\x00\x00\x00\x02\x04\x00\x00\x00/tmp\x01\x00\x00\x00a\x01\x00\x00\x00g' >"$corpus/create-file"
cp "$executable" "$build/corpus-elf/zelhelper"

# Runs one target; on a crash shows the end of its log (the input is kept in artifacts/).
fuzz() {
  local target=$1 log=$build/$1.log
  shift
  if ! "$build/$target" -max_total_time=$((seconds / 2)) -print_final_stats=1 \
    -artifact_prefix="$build/artifacts/" "$@" >"$log" 2>&1; then
    tail -n 40 "$log"
    exit 1
  fi
  echo "$target: $(grep -E '^Done' "$log")"
}
fuzz frame_decoder_fuzz -max_len=70000 "$corpus"
fuzz elf_section_fuzz -max_len=4000000 "$build/corpus-elf"
echo "fuzz: no crash in ${seconds}s"
