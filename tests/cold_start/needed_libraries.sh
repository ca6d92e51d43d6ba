#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Fails when EXECUTABLE needs a shared library other than the ALLOWED ones:
#   needed_libraries.sh EXECUTABLE ALLOWED...
# Every library the daemon's executable needs is loaded at each start, before the first
# request can be answered.
set -euo pipefail
executable=$1
shift
status=0
while read -r library; do
  allowed=no
  for name in "$@"; do
    [[ $library != "$name" ]] || allowed=yes
  done
  if [[ $allowed == no ]]; then
    echo "$executable needs $library, which its cold start would have to load"
    status=1
  fi
done < <(readelf -d "$executable" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
exit $status
