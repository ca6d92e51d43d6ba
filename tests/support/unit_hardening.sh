# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# Reads a unit file the way the stand-ins apply it without systemd. Sourced by the stand-in
# systemctl; the daemon harness runs `unit_hardening.sh UNIT` for the same setpriv arguments.

# The values of every KEY= line of a unit file, one a line (settings that add up).
settings() { sed -n "s/^$2=//p" "$1"; }

# The value of KEY= in a unit file: the last one wins, as in systemd.
setting() { settings "$1" "$2" | tail -n 1; }

# The setpriv arguments, one a line, that apply a service unit's CapabilityBoundingSet and
# NoNewPrivileges: the parts of its hardening that hold without systemd.
setpriv_hardening() {
  local caps=-all cap
  if [[ -n $(setting "$1" CapabilityBoundingSet) ]]; then
    for cap in $(settings "$1" CapabilityBoundingSet); do caps+=",+${cap#CAP_}"; done
    printf '%s\n' --bounding-set "${caps,,}"
  fi
  [[ $(setting "$1" NoNewPrivileges) == yes ]] && echo --no-new-privs
  return 0
}

[[ ${BASH_SOURCE[0]} != "$0" ]] || setpriv_hardening "$1"
