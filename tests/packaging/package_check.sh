#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Debian package of a build tree with CPack and checks it: lintian, the manual pages
# with man, and the journal catalog with journalctl:
#   package_check.sh BUILD_DIR
# Leaves BUILD_DIR/package/zelhelper.deb (a stable name for the system test) next to the
# versioned one. Prints lintian's tags; fails on any error or warning of lintian, on any warning
# of groff about a manual page, and on a MESSAGE_ID without a catalog entry.
# Exit status: 0 passed, 77 skipped (lintian, dpkg-shlibdeps, man or journalctl missing), 1 failed.
set -euo pipefail
build=$1

for tool in lintian dpkg-shlibdeps man journalctl; do
  command -v "$tool" >/dev/null ||
    { echo "SKIPPED: $tool is not installed (scripts/install-deps installs it)"; exit 77; }
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

status=0
lintian --fail-on error,warning "${debs[0]}" || status=$?
echo "lintian: $( ((status == 0)) && echo "no errors or warnings" || echo "errors or warnings, see above")"

unpacked=$build/package/unpacked
rm -rf "$unpacked"
dpkg-deb --extract "${debs[0]}" "$unpacked"

pages=("$unpacked"/usr/share/man/man*/*)
((${#pages[@]} > 0)) || { echo "the package has no manual page"; status=1; }
for page in "${pages[@]}"; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
  [[ -z $warnings ]] || { echo "${page##*/}: $warnings"; status=1; }
done
echo "manual pages: ${#pages[@]} checked"

# Every MESSAGE_ID has its entry in the packaged catalog, and journalctl reads it (into a
# database under the build tree, never the machine's).
journalctl --update-catalog --root="$unpacked"
listed=$(journalctl --root="$unpacked" --list-catalog)
for id in $(grep -o '"[0-9a-f]\{32\}"' "$(dirname "$0")/../../platform/message_ids.h" | tr -d '"'); do
  [[ $listed == *"$id zelhelper: "* ]] || { echo "no catalog entry for MESSAGE_ID $id"; status=1; }
done
echo "catalog: $(grep -c . <<<"$listed") entries"
exit $status
