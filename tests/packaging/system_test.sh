#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The system test: the built package against real systemd as PID 1, in a booted container.
#   system_test.sh DEB LABEL WORK_DIR
# LABEL is the helper label; WORK_DIR keeps the cached bookworm root and the container's console
# log. The container runs in_container/flow.sh and is always shut down.
# Exit status: 0 passed, 77 skipped (the reason is printed), anything else failed.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib/bookworm_root.sh"
source "$here/lib/container.sh"
deb=$1 label=$2 work=$3

skip() { echo "SKIPPED: $*"; exit 77; }

((EUID == 0)) || skip "booting a container needs root"
for tool in systemd-nspawn debootstrap nsenter setpriv zstd; do
  command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/install-deps installs it)"
done
[[ -d /sys/fs/cgroup ]] || skip "no cgroup file system to boot a container in"
[[ -f $deb ]] || { echo "no package at $deb: build it first (the package test does)" >&2; exit 1; }

status=0
bookworm_root_prepare "$work/root" || status=$?
((status != 77)) || skip "debootstrap could not reach the archive"
((status == 0)) || exit $status
echo "bookworm root ready after ${SECONDS} s"

stage=$work/stage
rm -rf "$stage"
mkdir -p "$stage"
cp "$deb" "$stage/zelhelper.deb"
cp -r "$here/in_container" "$stage/"

on_exit() {
  local status=$?
  if ((status != 0)) && [[ -n $CONTAINER_LEADER ]]; then
    echo "--- the helper's journal in the container:" >&2
    container_exec journalctl --no-pager -n 40 -u "$label.socket" -u "$label.service" >&2 || true
  fi
  container_shutdown
  echo "container shut down after ${SECONDS} s"
}
trap on_exit EXIT
trap 'exit 143' TERM INT

container_boot "$work/root" "$stage" "$work/console.log"
echo "container booted after ${SECONDS} s"
container_exec bash /srv/stage/in_container/flow.sh "$label"
echo "system test passed after ${SECONDS} s"
