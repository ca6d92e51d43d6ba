#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# "zelhelper convert Te<TAB>" offers Temperature: completion_test.sh COMPLETION_SCRIPT ZELHELPER
# Run as a plain bash without bash-completion, as a minimal system has it; no errexit, since a
# completion function runs in the user's shell without it.
# shellcheck source=/dev/null
source "$1" || exit 1
COMP_WORDS=("$2" convert Te)
COMP_CWORD=2
_zelhelper
printf '%s\n' "${COMPREPLY[@]}" | grep -qx Temperature ||
  { echo "zelhelper convert Te<TAB> offered: ${COMPREPLY[*]:-nothing}" >&2; exit 1; }
