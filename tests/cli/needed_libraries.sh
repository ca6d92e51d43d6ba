#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Fails when EXECUTABLE needs a shared library other than the ALLOWED ones:
#   needed_libraries.sh EXECUTABLE ALLOWED...
set -euo pipefail
needed=$(readelf -d "$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
others=$(grep -vxF -f <(printf '%s\n' "${@:2}") <<<"$needed" || true)
[[ -z $others ]] || { echo "$1 needs $others, which its cold start would have to load"; exit 1; }
