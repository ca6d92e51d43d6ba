# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# What must hold of an installed, a working and a removed helper, whichever way it was installed.
# Needs lib.sh. LABEL is the helper label (the job's name); the socket is /run/$LABEL.mach.

# check_installed EXECUTABLE: the socket listens under systemd and its service starts
# EXECUTABLE. (The units' settings are judged by systemd-analyze in the unit tests; that they
# hold for the running daemon is check_running's.)
check_installed() {
  local executable=$1
  local socket=$LABEL.socket service=$LABEL.service
  expect_eq "$(systemctl is-enabled "$socket")" enabled "$socket is enabled"
  expect_eq "$(systemctl is-active "$socket")" active "$socket is listening"
  [[ -S /run/$LABEL.mach ]] || fail "/run/$LABEL.mach is not a socket"
  [[ $(unit_property "$service" ExecStart) == *"path=$executable ;"* ]] ||
    fail "$service does not start $executable: $(unit_property "$service" ExecStart)"
  ok "$service starts $executable"
}

# check_running: after a request the daemon runs as the service, with the hardening applied to
# the process itself.
check_running() {
  local service=$LABEL.service pid
  expect_eq "$(systemctl is-active "$service")" active "$service was started by its socket"
  pid=$(unit_property "$service" MainPID)
  expect_eq "$(awk '/^CapBnd:/ {print $2}' "/proc/$pid/status")" 000000000000001f \
    "the daemon's capability bounding set"
  expect_eq "$(awk '/^NoNewPrivs:/ {print $2}' "/proc/$pid/status")" 1 "the daemon's NoNewPrivs"
  expect_eq "$(stat -c %U "/proc/$pid")" root "the daemon runs as root"
}

# check_provisioning ZELHELPER USER GROUP POSIX DIR: the ordinary USER gets DIR (and its missing
# parents) in the new group of full name GROUP, whose POSIX name is POSIX, with mode 02770 through
# the socket, and becomes a member.
check_provisioning() {
  local zelhelper=$1 user=$2 group=$3 posix=$4 dir=$5
  expect_eq "$(as_user "$user" "$zelhelper" version)" 3 "$user asks the helper's version"
  check_running
  expect_eq "$(as_user "$user" "$zelhelper" create-dir "$dir" --group "$group" 2>/dev/null)" YES \
    "$user provisions $dir"
  expect_eq "$(mode_and_group "$dir")" "2770 $posix" "$dir is mode 02770 in group $posix"
  expect_eq "$(mode_and_group "$(dirname "$dir")")" "2770 $posix" "its missing parent too"
  id -nG "$user" | tr ' ' '\n' | grep -qx "$posix" || fail "$user is not in $posix"
  ok "$user is a member of $posix"
}

# check_gone EXECUTABLE: job stopped, units, executable and socket removed.
check_gone() {
  local executable=$1
  expect_eq "$(systemctl is-active "$LABEL.service")" inactive "$LABEL.service is stopped"
  expect_eq "$(systemctl is-active "$LABEL.socket")" inactive "$LABEL.socket is stopped"
  expect_eq "$(systemctl list-unit-files --no-legend "$LABEL.*" | wc -l)" 0 "no unit files left"
  expect_absent "/run/$LABEL.mach"
  expect_absent "$executable"
  expect_absent "/etc/systemd/system/sockets.target.wants/$LABEL.socket"
  local exe
  for exe in /proc/[0-9]*/exe; do
    # A removed executable that still runs reads as "PATH (deleted)".
    [[ $(readlink "$exe" 2>/dev/null) != "$executable"* ]] || fail "a daemon still runs: $exe"
  done
  ok "no daemon process is left"
}
