#!/usr/bin/env bash
# The Debian package, inside the test container, as root:
#   package_flow.sh LABEL
# Installs /srv/stage/zelhelper.deb with dpkg, uses the helper it installed as the ordinary user
# carol, installs it again over itself (the upgrade path), then purges it and checks that
# nothing of it is left.
set -euo pipefail
here=$(dirname "$0")
source "$here/lib.sh"
source "$here/helper_checks.sh"
LABEL=$1
installed=/usr/libexec/zelhelper

useradd --create-home carol

echo "dpkg --install"
dpkg --install /srv/stage/zelhelper.deb >/dev/null
check_installed "$installed"
expect_eq "$(systemctl is-active "$LABEL.service")" inactive "the daemon waits for a request"
check_provisioning "$installed" carol zelpkg zel-zelpkg /home/carol/Zel/shared

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
