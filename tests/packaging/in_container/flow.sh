#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Install, use and remove, inside the test container, as root:
#   flow.sh LABEL
# Installs /srv/stage/zelhelper.deb with dpkg; the ordinary user carol provisions a shared
# directory and is refused the attacks of an ordinary user, each with its reason; the package is
# purged, leaving nothing behind. (What install, remove and status do to the package's units is
# the ownership table of tests/cli.)
set -euo pipefail
source "$(dirname "$0")/lib.sh"
LABEL=$1
zelhelper=/usr/bin/zelhelper
useradd --create-home carol
useradd dave

echo "dpkg --install"
dpkg --install /srv/stage/zelhelper.deb >/dev/null
expect_eq "$(systemctl is-enabled "$LABEL.socket") $(systemctl is-active "$LABEL.socket")" \
  "enabled active" "$LABEL.socket is enabled and listening"
[[ $(unit_property "$LABEL.service" ExecStart) == *"path=/usr/bin/zelhelper ;"* ]] ||
  fail "$LABEL.service does not start /usr/bin/zelhelper"
ok "$LABEL.service starts /usr/bin/zelhelper"
expect_eq "$(unit_property "$LABEL.service" Type)" notify "the service says when it is ready"
expect_eq "$(systemctl is-active "$LABEL.service")" inactive "the daemon waits for a request"

echo "provisioning"
expect_eq "$(as_user carol zelhelper version)" 3 "carol asks the helper's version"
pid=$(unit_property "$LABEL.service" MainPID)
expect_eq "$(awk '/^CapBnd:|^NoNewPrivs:/ {print $2}' "/proc/$pid/status" | tr '\n' ' ')" \
  "000000000000001f 1 " "the daemon runs with the unit's capability bounding set and NoNewPrivs"
dir=/home/carol/Zel/shared
expect_eq "$(as_user carol zelhelper create-dir "$dir" --group zelpkg 2>/dev/null)" YES \
  "carol provisions $dir"
expect_eq "$(stat -c '%a %G' "$dir" "${dir%/*}" | tr '\n' ' ')" "2770 zel-zelpkg 2770 zel-zelpkg " \
  "$dir and its missing parent are 02770 in zel-zelpkg under the real unit"
id -nG carol | tr ' ' '\n' | grep -qx zel-zelpkg || fail "carol is not in zel-zelpkg"
ok "carol is a member of zel-zelpkg"

echo "attacks of an ordinary user"
expect_status 4 "carol may not install the helper" as_user carol zelhelper install
shadow_before=$(stat -c '%U:%G %a' /etc/shadow)
expect_eq "$(as_user carol zelhelper permit /etc/shadow -g shadow)" NO \
  "carol cannot take /etc/shadow into the shadow group"
expect_status 1 "carol cannot set the mode of /etc/shadow" \
  as_user carol zelhelper set-privileges 666 /etc/shadow
expect_eq "$(stat -c '%U:%G %a' /etc/shadow)" "$shadow_before" "/etc/shadow is unchanged"
status=0
reason=$(as_user carol zelhelper create-dir /home/carol/for-dave -u dave -g zelpkg 2>&1 >/dev/null) ||
  status=$?
expect_eq "$status" 1 "carol cannot name dave"
[[ $reason == "zelhelper: refused (rule:own-user): "* ]] || fail "no reason given: '$reason'"
ok "the command line prints the reason: $reason"
expect_absent /home/carol/for-dave
as_user carol ln -s /etc /home/carol/etc-link
expect_eq "$(as_user carol zelhelper create-file /home/carol/etc-link/zel-evil -g zelpkg)" NO \
  "a symbolic link in the path is not followed"
expect_absent /etc/zel-evil
expect_eq "$(as_user carol zelhelper create-dir /opt/zel-evil -g zelpkg)" NO \
  "carol cannot create below a directory she cannot write to"
expect_absent /opt/zel-evil

echo "the journal"
refusal_id=385de3b29d24475e934888362407b780 # message_id::kRefusal
expect_status 1 "carol may not set the mode of a root-owned file" \
  as_user carol zelhelper set-privileges 750 /etc/passwd
journalctl --sync
entry=$(journalctl -o json --no-pager MESSAGE_ID=$refusal_id ZELHELPER_CALLER_UID="$(id -u carol)" |
  tr -d ' ')
[[ $entry == *'"PRIORITY":"4"'* && $entry == *'"ZELHELPER_RULE":"rule:set-permissions"'* &&
  $entry == *'"ZELHELPER_OPERATION":"setPrivileges"'* ]] ||
  fail "no refusal entry of carol at priority 4: $entry"
ok "the refusal is in the journal with its fields"
explained=$(journalctl -x --no-pager MESSAGE_ID=$refusal_id)
[[ $explained == *"The helper refused a request (rule:set-permissions)"* &&
  $explained == *"rule:set-id - "* ]] ||
  fail "journalctl -x shows no catalog text: $explained"
ok "journalctl -x explains the refusal from the catalog"

bash "$(dirname "$0")/polkit.sh" "$LABEL"
echo "dpkg --purge"
mapfile -t files < <(dpkg --listfiles zelhelper)
dpkg --purge zelhelper >/dev/null
expect_eq "$(systemctl is-active "$LABEL.service" "$LABEL.socket" | tr '\n' ' ')" \
  "inactive inactive " "the job is stopped"
expect_eq "$(systemctl list-unit-files --no-legend "$LABEL.*" | wc -l)" 0 "no unit files left"
expect_absent "/run/$LABEL.mach"
for file in "${files[@]}"; do [[ -d $file || ! -e $file ]] || fail "$file was left behind"; done
ok "no file of the package is left"
for exe in /proc/[0-9]*/exe; do
  # A removed executable that still runs reads as "PATH (deleted)".
  [[ $(readlink "$exe" 2>/dev/null) != "$zelhelper"* ]] || fail "a daemon still runs: $exe"
done
ok "no daemon process is left"
leftover=$(find /var/lib/systemd/deb-systemd-helper-enabled /var/lib/systemd/deb-systemd-helper-masked \
  "/var/lib/$LABEL" -name "*$LABEL*" 2>/dev/null || true)
[[ -z $leftover ]] || fail "state is left: $leftover"
ok "no enablement state is left"
expect_eq "$(stat -c %G "$dir")" zel-zelpkg "the user's shared directory stays"
