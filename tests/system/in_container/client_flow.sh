#!/usr/bin/env bash
# The client's own install flow, inside the test container, as root:
#   client_flow.sh LABEL
# The built zelhelper from /srv/stage goes onto PATH; `zelhelper install` blesses the helper
# through the real systemctl; the ordinary user alice provisions a shared directory, and the
# attacks of an ordinary user are refused; `zelhelper remove` takes everything away again.
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
check_provisioning zelhelper alice zelshare /home/alice/Zel/shared
expect_eq "$(as_user alice zelhelper create-file /home/alice/Zel/shared/notes -g zelshare)" \
  YES "alice provisions a file"
expect_eq "$(mode_and_group /home/alice/Zel/shared/notes)" "770 zelshare" "the file is shared"
as_user alice zelhelper set-privileges 750 /home/alice/Zel/shared
expect_eq "$(mode_and_group /home/alice/Zel/shared)" "750 zelshare" "alice narrows her directory"

echo "attacks of an ordinary user"
shadow_before=$(stat -c '%U:%G %a' /etc/shadow)
expect_eq "$(as_user alice zelhelper permit /etc/shadow -g shadow)" NO \
  "alice cannot take /etc/shadow into the shadow group"
expect_eq "$(as_user alice zelhelper create-file /etc/shadow -g zelshare)" NO \
  "alice cannot take /etc/shadow into her group"
as_user alice zelhelper set-privileges 666 /etc/shadow || true
expect_eq "$(stat -c '%U:%G %a' /etc/shadow)" "$shadow_before" "/etc/shadow is unchanged"

expect_eq "$(as_user alice zelhelper create-dir /home/alice/for-bob -u bob -g zelshare)" NO \
  "alice cannot name bob"
expect_absent /home/alice/for-bob
id -nG bob | tr ' ' '\n' | grep -qx zelshare && fail "bob was added to the group"
ok "bob was not added to the group"

as_user alice ln -s /etc /home/alice/etc-link
expect_eq "$(as_user alice zelhelper create-file /home/alice/etc-link/zel-evil -g zelshare)" \
  NO "a symbolic link in the path is not followed"
expect_absent /etc/zel-evil
expect_eq "$(as_user alice zelhelper create-dir /srv/zel -g zelshare)" NO \
  "alice cannot create below a directory she cannot write to"
expect_absent /srv/zel

echo "remove"
zelhelper remove
check_gone "$installed"
expect_status 3 "with no helper the client says so" as_user alice zelhelper version
expect_status 1 "removing a helper that is not installed fails" zelhelper remove
