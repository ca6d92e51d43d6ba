#!/usr/bin/env bash
# Builds the Debian package of a build tree with CPack and checks it with lintian:
#   package_check.sh BUILD_DIR
# Leaves BUILD_DIR/package/zelhelper.deb (a stable name for the system test) next to the
# versioned one. Prints lintian's tags; fails on any error, warnings pass.
# Exit status: 0 passed, 77 skipped (lintian, dpkg-shlibdeps or journalctl missing), 1 failed.
set -euo pipefail
build=$1

for tool in lintian dpkg-shlibdeps journalctl; do
  command -v "$tool" >/dev/null || {
    echo "SKIPPED: $tool is not installed (scripts/install-deps installs it)"
    exit 77
  }
done

mkdir -p "$build/package"
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$build/package" >"$build/package/cpack.log" 2>&1 ||
  { cat "$build/package/cpack.log"; exit 1; }
shopt -s nullglob
debs=("$build"/package/zelhelper_*.deb)
((${#debs[@]} == 1)) || { echo "expected one versioned package, found: ${debs[*]}"; exit 1; }
cp "${debs[0]}" "$build/package/zelhelper.deb"
echo "built ${debs[0]##*/} ($(du -h "${debs[0]}" | cut -f1))"
dpkg-deb --field "${debs[0]}" Depends

# Every MESSAGE_ID has its entry in the packaged catalog, and journalctl reads it (into a
# database under the build tree, never the machine's).
unpacked=$build/package/unpacked
rm -rf "$unpacked"
dpkg-deb --extract "${debs[0]}" "$unpacked"
journalctl --update-catalog --root="$unpacked"
listed=$(journalctl --root="$unpacked" --list-catalog)
for id in $(grep -o '"[0-9a-f]\{32\}"' "$(dirname "$0")/../../platform/message_ids.h" | tr -d '"'); do
  [[ $listed == *"$id zelhelper: "* ]] || { echo "no catalog entry for MESSAGE_ID $id"; exit 1; }
done
echo "catalog: $(grep -c . <<<"$listed") entries"

status=0
lintian --fail-on error "${debs[0]}" || status=$?
echo "lintian: $( ((status == 0)) && echo "no errors" || echo "errors, see above")"
exit $status
