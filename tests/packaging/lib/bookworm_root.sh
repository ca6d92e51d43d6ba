# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# A minimal Debian bookworm root that boots systemd, made once and cached.
# bookworm_root_prepare ROOT_DIR: leaves a pristine unpacked root in ROOT_DIR (ROOT_DIR.stamp
#   names its tarball). The tarball, keyed by the package list, is taken from
#   ZEL_SYSTEM_TEST_CACHE (default /var/cache/zelhelper-system-test), else made there with
#   debootstrap. Returns 77 when the archive cannot be reached.

BOOKWORM_INCLUDE="systemd,dbus,init-system-helpers,libicu72,libfmt9,libsystemd0,man-db,libpam-systemd,polkitd,pkexec"

bookworm_root_key() {
  printf 'minbase bookworm %s\n' "$BOOKWORM_INCLUDE" | sha256sum | cut -c1-12
}

# Makes DIR/bookworm-KEY.tar.zst with debootstrap; the tarball appears only when complete.
# (Called in a condition, so errexit is off here: every step is checked.)
bookworm_root_bootstrap() {
  local cache_dir=$1 tarball=$2 work status=0
  work=$(mktemp -d "$cache_dir/bootstrap.XXXXXX")
  echo "making the bookworm root with debootstrap (once per machine, about a minute)" >&2
  if nice debootstrap --variant=minbase --include="$BOOKWORM_INCLUDE" bookworm "$work/root" \
    >"$work/debootstrap.log" 2>&1; then
    # The downloaded packages and lists are not needed to boot; dropping them halves the tarball.
    rm -rf "$work"/root/var/cache/apt/archives/*.deb "$work"/root/var/lib/apt/lists/*
    tar -C "$work/root" --numeric-owner --xattrs --xattrs-include='*' -cf - . |
      zstd -q -T0 -3 -o "$work/root.tar.zst" && mv "$work/root.tar.zst" "$tarball" || status=1
  else
    tail -n 5 "$work/debootstrap.log" >&2
    status=1
    # Only an unreachable archive is a reason to skip; anything else is a real failure.
    grep -qiE "failed getting release file|couldn't download|could not resolve|unable to fetch" \
      "$work/debootstrap.log" && status=77
  fi
  rm -rf "$work"
  return $status
}

bookworm_root_prepare() {
  local root=$1 cache=${ZEL_SYSTEM_TEST_CACHE:-/var/cache/zelhelper-system-test} name
  name="bookworm-$(bookworm_root_key).tar.zst"
  mkdir -p "$cache"
  # One bootstrap at a time per machine; a second run waits and then finds the tarball.
  (
    flock 9
    [[ -f $cache/$name ]] || bookworm_root_bootstrap "$cache" "$cache/$name"
  ) 9>"$cache/.lock" || return $?

  # The container runs on an overlay and never writes the root, so an unpacked root of the
  # same tarball is still pristine; the stamp is written only once unpacking has finished.
  [[ $(cat "$root.stamp" 2>/dev/null) != "$name" ]] || return 0
  rm -rf "$root" "$root.stamp"
  mkdir -p "$root"
  zstd -q -dc "$cache/$name" |
    tar -C "$root" --numeric-owner --xattrs --xattrs-include='*' -xf - &&
    echo "$name" >"$root.stamp"
}
