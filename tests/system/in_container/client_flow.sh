#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The client's own install flow, inside the test container, as root:
#   client_flow.sh LABEL
# The built zelhelper from /srv/stage goes onto PATH; `zelhelper install` blesses the helper
# through the real systemctl; the ordinary user alice provisions a shared directory in her home
# and one in the common, root-owned sticky /srv/zel that bob joins; a refusal prints its rule
# (the rules themselves are the daemon tests'); `zelhelper remove` takes everything away again.
set -euo pipefail
here=$(dirname "$0")
source "$here/lib.sh"
source "$here/helper_checks.sh"
LABEL=$1
installed=/usr/local/libexec/$LABEL

install -m 0755 /srv/stage/zelhelper /usr/local/bin/zelhelper
useradd --create-home alice
useradd --create-home bob

echo "install"
expect_status 4 "alice may not install the helper" as_user alice zelhelper install
zelhelper install
check_installed "$installed"
expect_eq "$(stat -c '%U:%G %a' "$installed")" "root:root 755" "the installed executable"

echo "provisioning"
check_provisioning zelhelper alice zelshare zel-zelshare /home/alice/Zel/shared
expect_eq "$(as_user alice zelhelper create-file /home/alice/Zel/shared/notes -g zelshare)" \
  YES "alice provisions a file"
expect_eq "$(mode_and_group /home/alice/Zel/shared/notes)" "770 zel-zelshare" "the file is shared"
expect_status 0 "alice narrows her directory" \
  as_user alice zelhelper set-privileges 750 /home/alice/Zel/shared
expect_eq "$(mode_and_group /home/alice/Zel/shared)" "2750 zel-zelshare" \
  "the directory keeps its set-group-ID bit"

echo "a shared directory in a common place"
install -d -m 1777 -o root -g root /srv/zel
notes=$(mktemp)
expect_eq "$(as_user alice zelhelper create-dir /srv/zel/team -g 'Zel Team' 2>"$notes")" YES \
  "alice provisions /srv/zel/team"
grep -q "newgrp zel-team" "$notes" || fail "alice is not told how to use her new group: $(cat "$notes")"
ok "alice is told how to use her new group in this session"
expect_eq "$(stat -c '%U %a %G' /srv/zel/team)" "root 2770 zel-team" \
  "/srv/zel/team is 02770 in zel-team under the real unit"
expect_eq "$(as_user bob zelhelper permit /srv/zel/team -g zel-team 2>/dev/null)" YES \
  "bob joins, naming the group by its POSIX name"
as_user bob touch /srv/zel/team/from-bob
expect_eq "$(stat -c '%U %G' /srv/zel/team/from-bob)" "bob zel-team" \
  "a file bob creates inside belongs to the shared group"
expect_eq "$(as_user bob zelhelper groups | grep -c '  another user  yes$')" 2 \
  "bob sees alice's two groups, not that she asked for them"

echo "a refusal says why"
status=0
reason=$(as_user alice zelhelper create-dir /home/alice/for-bob -u bob -g zelshare 2>&1 \
  >/dev/null) || status=$?
expect_eq "$status" 1 "alice cannot name bob"
[[ $reason == "zelhelper: refused (rule:own-user): "* ]] ||
  fail "the refusal does not say why: '$reason'"
ok "the command line prints the reason: $reason"
expect_absent /home/alice/for-bob
id -nG bob | tr ' ' '\n' | grep -qx zel-zelshare && fail "bob was added to the group"
ok "bob was not added to the group"

echo "remove"
zelhelper remove
check_gone "$installed"
expect_status 3 "with no helper the client says so" as_user alice zelhelper version
expect_status 1 "removing a helper that is not installed fails" zelhelper remove
# The package's flow comes next and must find its own zelhelper on PATH.
rm /usr/local/bin/zelhelper
