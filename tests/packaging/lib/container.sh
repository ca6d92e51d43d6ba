# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# One booted systemd-nspawn container at a time, with systemd as its PID 1. A shell that dies
# without its trap takes the container with it (parent-death signal).
# container_boot ROOT STAGE LOG: boots ROOT on a throw-away overlay with STAGE read-only at
#   /srv/stage and no network, and waits for the boot to finish; the console goes to LOG.
# container_exec CMD...: runs CMD inside as root with a clean environment; 124 after two minutes.
# container_shutdown: powers the container off (by force when late); safe in an EXIT trap.

CONTAINER_PID=
CONTAINER_LEADER=
CONTAINER_PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin

container_boot() {
  local root=$1 stage=$2 log=$3 tries state=
  setpriv --pdeathsig TERM \
    systemd-nspawn -q -b --register=no --keep-unit --volatile=overlay --private-network \
    --machine="zelhelper-test-$$" --console=passive --bind-ro="$stage:/srv/stage" \
    -D "$root" >"$log" 2>&1 </dev/null &
  CONTAINER_PID=$!

  # Early in the boot there is no leader yet, then systemctl answers nothing, or "offline" before
  # /run/systemd/system exists; after that it waits for the boot to finish.
  for ((tries = 0; tries < 600; tries++)); do
    kill -0 "$CONTAINER_PID" 2>/dev/null ||
      { echo "systemd-nspawn exited during boot:" >&2; tail -n 20 "$log" >&2; return 1; }
    CONTAINER_LEADER=$(container_find_leader) &&
      state=$(container_exec systemctl is-system-running --wait 2>/dev/null) || true
    [[ -z $state || $state == offline ]] || break
    sleep 0.1
  done
  [[ $state != degraded ]] || container_exec systemctl --failed --no-legend >&2
  [[ $state == running || $state == degraded ]] ||
    { echo "the container did not finish booting (state: ${state:-none})" >&2; return 1; }
}

# The child of systemd-nspawn that is PID 1 in its own PID namespace.
container_find_leader() {
  local child
  for child in $(cat "/proc/$CONTAINER_PID/task/$CONTAINER_PID/children" 2>/dev/null); do
    grep -qE '^NSpid:\s+[0-9]+\s+1$' "/proc/$child/status" 2>/dev/null && echo "$child" && return 0
  done
  return 1
}

container_exec() {
  timeout --kill-after=5 120 nsenter -t "$CONTAINER_LEADER" -a \
    env -i PATH="$CONTAINER_PATH" HOME=/root LANG=C.UTF-8 TERM=dumb "$@"
}

container_shutdown() {
  [[ -n $CONTAINER_PID ]] || return 0
  # systemd-nspawn turns SIGTERM into an orderly poweroff of the container, at any stage.
  kill -TERM "$CONTAINER_PID" 2>/dev/null || true
  if ! timeout 30 tail --pid="$CONTAINER_PID" -s 0.05 -f /dev/null; then
    echo "the container did not power off in time; stopping it by force" >&2
    # Killing the PID namespace's init ends every process in the container.
    [[ -z $CONTAINER_LEADER ]] || kill -KILL "$CONTAINER_LEADER" 2>/dev/null || true
    kill -KILL "$CONTAINER_PID" 2>/dev/null || true
  fi
  wait "$CONTAINER_PID" 2>/dev/null || true
  CONTAINER_PID='' CONTAINER_LEADER=''
}
