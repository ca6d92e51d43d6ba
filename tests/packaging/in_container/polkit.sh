#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installing and removing as an ordinary user with an administrator's consent through polkit,
# inside the test container, as root, with the package installed: polkit.sh LABEL
set -euo pipefail
source "$(dirname "$0")/lib.sh"
LABEL=$1
action=net.zel.zelhelper.manage-helper
rules=/etc/polkit-1/rules.d/50-zelhelper.rules
for user in alice bob; do useradd "$user"; done
# alice_authorized yes|no: waits until polkitd, which reads rules.d again on its own time after a
# change, gives that answer for alice on the action.
alice_authorized() {
  local answer
  for _ in $(seq 100); do
    answer=no
    as_user alice sh -c "pkcheck --action-id $action --process \$\$" >/dev/null 2>&1 && answer=yes
    [[ $answer == "$1" ]] && return 0
    sleep 0.1
  done
  fail "polkit still answers '$answer' for alice after 10 s"
}
socket_state() { echo "$(systemctl is-enabled "$LABEL.socket") $(systemctl is-active "$LABEL.socket")"; }
refused() { # USER COMMAND: refused for want of consent (-60005 or -60007), changing nothing
  local before out status=0
  before=$(socket_state)
  out=$(as_user "$1" zelhelper "$2" 2>&1) || status=$?
  [[ $status == 4 && $out =~ "$2 needs root: "(polkit refused|no polkit authentication agent) ]] ||
    fail "$1's $2: exit status $status: $out"
  expect_eq "$(socket_state)" "$before" "$1 may not $2 the helper: ${out##*needs root: }"
}

echo "polkit"
details=$(pkaction --action-id "$action" --verbose)
for line in "any: *auth_admin" "inactive: *auth_admin" "active: *auth_admin_keep" \
  "exec.path -> /usr/bin/zelhelper" "exec.argv1 -> consent-steps"; do
  grep -q "$line\$" <<<"$details" || fail "pkaction does not show '$line': $details"
done
ok "pkaction shows $action, its defaults and the one command it runs"
refused bob remove
echo "polkit.addRule(function(action, subject) {
  if (action.id == '$action' && subject.user == 'alice') return polkit.Result.YES;
});" >"$rules"
alice_authorized yes
expect_status 0 "alice removes the helper" as_user alice zelhelper remove
expect_eq "$(socket_state)" "disabled inactive" "the package's socket is disabled and stopped"
expect_status 0 "alice installs the helper" as_user alice zelhelper install
expect_eq "$(socket_state)" "enabled active" "the package's socket is enabled and listening"
refused bob remove
mode=$(stat -c %a /etc/shadow)
expect_status 127 "pkexec runs set-privileges under polkit's own action, which refuses alice" \
  as_user alice pkexec --disable-internal-agent /usr/bin/zelhelper set-privileges 666 /etc/shadow
expect_eq "$(stat -c %a /etc/shadow)" "$mode" "/etc/shadow keeps its mode"
rm "$rules"
alice_authorized no
refused alice install

echo "the root side"
expect_eq "$(echo remove | PKEXEC_UID=1000 ZELHELPER_ROOT=/tmp PATH=/tmp /usr/bin/zelhelper \
  consent-steps | tr '\n' ' ')" "ready ok " "under pkexec it ignores ZELHELPER_ROOT and PATH"
expect_eq "$(socket_state)" "disabled inactive" "it removed the machine's own helper"
expect_status 0 "root installs the helper again" zelhelper install
