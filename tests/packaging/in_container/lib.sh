# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# Checks for the flow that runs inside the test container, as root. Every check prints one "ok"
# line or ends the flow with "FAIL: ..." and status 1.

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

ok() { echo "  ok: $*"; }

# expect_eq ACTUAL EXPECTED WHAT
expect_eq() {
  [[ $1 == "$2" ]] || fail "$3: expected '$2', got '$1'"
  ok "$3"
}

# expect_status STATUS WHAT CMD...: CMD exits with STATUS.
expect_status() {
  local expected=$1 what=$2 status=0
  shift 2
  "$@" || status=$?
  [[ $status == "$expected" ]] || fail "$what: exit status $status, expected $expected"
  ok "$what"
}

expect_absent() {
  [[ ! -e $1 && ! -L $1 ]] || fail "$1 is still there"
  ok "nothing at $1"
}

# as_user NAME CMD...: CMD as that ordinary user, with the user's own groups and a clean
# environment.
as_user() {
  local user=$1
  shift
  setpriv --reuid="$user" --regid="$user" --init-groups --reset-env -- "$@"
}

unit_property() { systemctl show "$1" --property="$2" --value; }
