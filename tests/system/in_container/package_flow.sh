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
expect_eq "$(systemctl is-active "$LABEL.service")" inactive "the daemon waits for a request"
check_provisioning "$installed" carol zelpkg zel-zelpkg /home/carol/Zel/shared

echo "dpkg --install over itself"
dpkg --install /srv/stage/zelhelper.deb >/dev/null
expect_eq "$(systemctl is-active "$LABEL.socket")" active "the socket listens again"
expect_eq "$(systemctl is-active "$LABEL.service")" inactive \
  "the old daemon was stopped, the next request starts the new one"
expect_eq "$(as_user carol "$installed" version)" 3 "carol reaches the new daemon"

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
