# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# One booted systemd-nspawn container at a time, with systemd as its PID 1.
#
# container_boot ROOT STAGE LOG
#   Boots ROOT with a throw-away overlay (ROOT itself is never written), STAGE bound read-only
#   at /srv/stage, no network, and waits until systemd reports the boot finished. The console
#   goes to LOG. Sets CONTAINER_PID (systemd-nspawn) and CONTAINER_LEADER (the container's
#   systemd, as seen from the host).
# container_exec CMD...
#   Runs CMD inside the container as root in all of its namespaces, with a clean environment;
#   returns CMD's status, or 124 when it ran longer than two minutes.
# container_shutdown
#   Powers the container off and waits; kills it when it does not go in time. Safe to
#   call twice and when nothing was booted: meant for an EXIT trap.
#
# If the calling shell dies without its trap, systemd-nspawn gets SIGTERM from the kernel
# (parent-death signal) and halts the container, so no container outlives the test.

CONTAINER_PID=
CONTAINER_LEADER=
CONTAINER_PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin

container_boot() {
  local root=$1 stage=$2 log=$3
  setpriv --pdeathsig TERM \
    systemd-nspawn -q -b --register=no --keep-unit --volatile=overlay --private-network \
    --machine="zelhelper-test-$$" --console=passive --bind-ro="$stage:/srv/stage" \
    -D "$root" >"$log" 2>&1 </dev/null &
  CONTAINER_PID=$!

  local tries
  for ((tries = 0; tries < 200; tries++)); do
    kill -0 "$CONTAINER_PID" 2>/dev/null || {
      echo "systemd-nspawn exited during boot:" >&2
      tail -n 20 "$log" >&2
      return 1
    }
    CONTAINER_LEADER=$(container_find_leader) && break
    sleep 0.05
  done
  [[ -n $CONTAINER_LEADER ]] || { echo "the container's systemd did not appear" >&2; return 1; }

  # Early in the boot systemctl answers nothing, or "offline" before /run/systemd/system exists;
  # after that it waits for the boot to finish.
  local state=
  for ((tries = 0; tries < 600; tries++)); do
    state=$(timeout 60 nsenter -t "$CONTAINER_LEADER" -a env -i PATH="$CONTAINER_PATH" \
      systemctl is-system-running --wait 2>/dev/null) || true
    [[ -z $state || $state == offline ]] || break
    sleep 0.1
  done
  case $state in
    running) ;;
    degraded) container_exec systemctl --failed --no-legend >&2 ;;
    *)
      echo "the container did not finish booting (state: ${state:-none})" >&2
      return 1
      ;;
  esac
}

# The child of systemd-nspawn that is PID 1 in its own PID namespace.
container_find_leader() {
  local child
  for child in $(cat "/proc/$CONTAINER_PID/task/$CONTAINER_PID/children" 2>/dev/null); do
    if grep -qE '^NSpid:\s+[0-9]+\s+1$' "/proc/$child/status" 2>/dev/null; then
      echo "$child"
      return 0
    fi
  done
  return 1
}

container_exec() {
  timeout --kill-after=5 120 nsenter -t "$CONTAINER_LEADER" -a \
    env -i PATH="$CONTAINER_PATH" HOME=/root LANG=C.UTF-8 TERM=dumb "$@"
}

container_wait_gone() {
  local seconds=$1 tries
  for ((tries = 0; tries < seconds * 20; tries++)); do
    kill -0 "$CONTAINER_PID" 2>/dev/null || return 0
    sleep 0.05
  done
  return 1
}

container_shutdown() {
  [[ -n $CONTAINER_PID ]] || return 0
  # systemd-nspawn turns SIGTERM into an orderly poweroff of the container, at any stage.
  kill -TERM "$CONTAINER_PID" 2>/dev/null || true
  if ! container_wait_gone 30; then
    echo "the container did not power off in time; stopping it by force" >&2
    # Killing the PID namespace's init ends every process in the container.
    [[ -z $CONTAINER_LEADER ]] || kill -KILL "$CONTAINER_LEADER" 2>/dev/null || true
    kill -KILL "$CONTAINER_PID" 2>/dev/null || true
  fi
  wait "$CONTAINER_PID" 2>/dev/null || true
  CONTAINER_PID=
  CONTAINER_LEADER=
  return 0
}
