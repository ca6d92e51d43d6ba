#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Fails when EXECUTABLE needs a shared library other than the ALLOWED ones:
#   needed_libraries.sh EXECUTABLE ALLOWED...
set -euo pipefail
executable=$1
shift
status=0
for library in $(readelf -d "$executable" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
  if [[ " $* " != *" $library "* ]]; then
    echo "$executable needs $library, which its cold start would have to load"
    status=1
  fi
done
exit $status
