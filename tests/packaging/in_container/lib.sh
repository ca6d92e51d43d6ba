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

mode_and_group() { stat -c '%a %G' "$1"; }

# check_installed: the socket listens under systemd and its service starts /usr/bin/zelhelper.
check_installed() {
  expect_eq "$(systemctl is-enabled "$LABEL.socket")" enabled "$LABEL.socket is enabled"
  expect_eq "$(systemctl is-active "$LABEL.socket")" active "$LABEL.socket is listening"
  [[ -S /run/$LABEL.mach ]] || fail "/run/$LABEL.mach is not a socket"
  [[ $(unit_property "$LABEL.service" ExecStart) == *"path=/usr/bin/zelhelper ;"* ]] ||
    fail "$LABEL.service does not start /usr/bin/zelhelper"
  ok "$LABEL.service starts /usr/bin/zelhelper"
}
