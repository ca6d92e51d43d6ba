#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Debian package, inside the test container, as root:
#   package_flow.sh LABEL
# Installs /srv/stage/zelhelper.deb with dpkg, uses the helper it installed as the ordinary user
# carol, removes and installs it with zelhelper (which only disables and enables the package's
# socket), installs the package again over itself (the upgrade path), then purges it and checks
# that nothing of it is left.
set -euo pipefail
here=$(dirname "$0")
source "$here/lib.sh"
source "$here/helper_checks.sh"
LABEL=$1
installed=/usr/bin/zelhelper

useradd --create-home carol

echo "dpkg --install"
dpkg --install /srv/stage/zelhelper.deb >/dev/null
check_installed "$installed"
expect_eq "$(command -v zelhelper)" "$installed" "zelhelper is on PATH"
man -w zelhelper.8 >/dev/null || fail "man finds no zelhelper(8)"
ok "man finds zelhelper(8)"
# systemd quotes each entry of the list.
expect_eq "$(unit_property "$LABEL.service" Documentation)" '"man:zelhelper(8)"' \
  "the service names its manual page"
expect_eq "$(unit_property "$LABEL.service" Type)" notify "the service says when it is ready"
expect_eq "$(systemctl is-active "$LABEL.service")" inactive "the daemon waits for a request"
check_provisioning "$installed" carol zelpkg zel-zelpkg /home/carol/Zel/shared
status_line=$(unit_property "$LABEL.service" StatusText)
[[ $status_line == "Waiting for requests" || $status_line == Serving* ]] ||
  fail "the running daemon's status line is '$status_line'"
ok "the running daemon reports its status to systemd"

echo "zelhelper status, remove and install on the package's helper"
status_text=$("$installed" status) || fail "status exits $? although the helper answers"
[[ $status_text == *"owner:     package (/"*"lib/systemd/system/$LABEL.socket)"* ]] ||
  fail "status does not name the package as the owner: $status_text"
ok "status names the package as the owner"
"$installed" remove >/dev/null || fail "zelhelper remove exits $?"
expect_eq "$(systemctl is-enabled "$LABEL.socket" || true)" disabled "remove disables the socket"
expect_eq "$(systemctl is-active "$LABEL.socket" || true)" inactive "remove stops the socket"
# json_facts ACTIVE_STATE ANSWERS UNIT_FILE_STATE VERSION: what status --json prints.
json_facts() {
  printf '{"active_state":"%s","answers":%s,"label":"%s","owner":"package",' "$1" "$2" "$LABEL"
  printf '"socket":"/run/%s.mach","unit_file_state":"%s","version":%s}' "$LABEL" "$3" "$4"
}
expect_eq "$("$installed" status --json || true)" "$(json_facts inactive false disabled null)" \
  "status --json of the removed helper"
systemctl mask "$LABEL.socket" 2>/dev/null
refusal=$("$installed" install 2>&1) && fail "install went ahead over a mask"
[[ $refusal == *"$LABEL.socket is masked"* ]] || fail "install over a mask says: $refusal"
ok "install leaves an administrator's mask alone and says so"
expect_eq "$("$installed" status --json || true)" "$(json_facts inactive false masked null)" \
  "status --json of the masked helper"
systemctl unmask "$LABEL.socket" 2>/dev/null
"$installed" install >/dev/null || fail "zelhelper install exits $?"
check_installed "$installed"
expect_absent "/etc/systemd/system/$LABEL.socket"
expect_absent "/etc/systemd/system/$LABEL.service"
expect_absent "/usr/local/libexec/$LABEL"

echo "dpkg --install over itself"
dpkg --install /srv/stage/zelhelper.deb >/dev/null
expect_eq "$(systemctl is-active "$LABEL.socket")" active "the socket listens again"
expect_eq "$(systemctl is-active "$LABEL.service")" inactive \
  "the old daemon was stopped, the next request starts the new one"
expect_eq "$(as_user carol "$installed" version)" 3 "carol reaches the new daemon"

# --- The journal: a refusal's entry and its catalog text ---------------------------------------
echo "the journal"
refusal_id=385de3b29d24475e934888362407b780  # message_id::kRefusal
expect_status 1 "carol may not set the mode of a root-owned file" \
  as_user carol "$installed" set-privileges 750 /etc/passwd
journalctl --sync
entry=$(journalctl -o json --no-pager MESSAGE_ID=$refusal_id ZELHELPER_CALLER_UID="$(id -u carol)" |
  tr -d ' ')
[[ $entry == *'"PRIORITY":"4"'* && $entry == *'"ZELHELPER_RULE":"rule:set-permissions"'* &&
  $entry == *'"ZELHELPER_OPERATION":"setPrivileges"'* ]] ||
  fail "no refusal entry of carol at priority 4: $entry"
ok "the refusal is in the journal with its fields"
explained=$(journalctl -x --no-pager MESSAGE_ID=$refusal_id)
[[ $explained == *"The helper refused a request (rule:set-permissions)"* &&
  $explained == *"rule:set-id - "* ]] || fail "journalctl -x shows no catalog text: $explained"
ok "journalctl -x explains the refusal from the catalog"
audits=$(journalctl -o cat --no-pager MESSAGE_ID=775a2c877f6247f4af846290ede0d7bd \
  ZELHELPER_CALLER_UID="$(id -u carol)")  # message_id::kAudit
[[ $audits == *"created group zel-zelpkg "* && $audits == *"added user carol to group zel-zelpkg "* &&
  $audits == *"created directory /home/carol/Zel/shared and its missing parents from"* ]] ||
  fail "carol's changes have no audit lines: $audits"
ok "each change carol made has its audit line"
# --- end of the journal ------------------------------------------------------------------------

echo "dpkg --purge"
mapfile -t files < <(dpkg --listfiles zelhelper)
dpkg --purge zelhelper >/dev/null
check_gone "$installed"
for file in "${files[@]}"; do
  [[ -d $file || ! -e $file ]] || fail "$file was left behind"
done
ok "no file of the package is left"
expect_absent "/etc/systemd/system/$LABEL.socket"
expect_absent "/var/lib/$LABEL"
leftover=$(find /var/lib/systemd/deb-systemd-helper-enabled /var/lib/systemd/deb-systemd-helper-masked \
  -name "*$LABEL*" 2>/dev/null || true)
[[ -z $leftover ]] || fail "deb-systemd-helper still keeps state: $leftover"
ok "no enablement state is left"
expect_eq "$(stat -c %G /home/carol/Zel/shared)" zel-zelpkg "the user's shared directory stays"
