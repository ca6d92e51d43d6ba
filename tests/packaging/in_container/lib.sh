# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# Checks for the flow that runs inside the test container, as root. Every check prints one "ok"
# line or ends the flow with "FAIL: ..." and status 1.

fail() { echo "FAIL: $*" >&2; exit 1; }

ok() { echo "  ok: $*"; }

# expect_eq ACTUAL EXPECTED WHAT
expect_eq() { [[ $1 == "$2" ]] || fail "$3: expected '$2', got '$1'"; ok "$3"; }

# expect_status STATUS WHAT CMD...: CMD exits with STATUS.
expect_status() {
  local status=0
  "${@:3}" || status=$?
  [[ $status == "$1" ]] || fail "$2: exit status $status, expected $1"
  ok "$2"
}

expect_absent() { [[ ! -e $1 && ! -L $1 ]] || fail "$1 is still there"; ok "nothing at $1"; }

# as_user NAME CMD...: CMD as that ordinary user, with the user's own groups and a clean
# environment.
as_user() { setpriv --reuid="$1" --regid="$1" --init-groups --reset-env -- "${@:2}"; }

unit_property() { systemctl show "$1" --property="$2" --value; }
