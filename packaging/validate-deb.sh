#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks a built corvane .deb without installing it: every desktop entry passes
# desktop-file-validate, the AppStream data passes appstreamcli, and every
# lintian warning is explained in packaging/lintian-warnings.md.
#   packaging/validate-deb.sh DEB LINTIAN_OUTPUT
set -euo pipefail
cd "$(dirname "$0")/.."
deb=$1 lintian_out=$2
failed=0
fail() { echo "validate-deb: $*" >&2; failed=1; }

tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
dpkg-deb -x "$deb" "$tree"

shopt -s nullglob
entries=("$tree"/usr/share/applications/*.desktop "$tree"/etc/xdg/autostart/*.desktop)
[ ${#entries[@]} -gt 0 ] || fail "no desktop entry in $deb"
for f in "${entries[@]}"; do
    desktop-file-validate "$f" || fail "desktop-file-validate rejects ${f#"$tree"}"
done
metainfo=("$tree"/usr/share/metainfo/*.xml)
[ ${#metainfo[@]} -gt 0 ] || fail "no AppStream metainfo in $deb"
for f in "${metainfo[@]}"; do
    appstreamcli validate --no-net "$f" || fail "appstreamcli rejects ${f#"$tree"}"
done

# Lintian prints "W: package[ type]: tag [detail]".
while read -r tag; do
    grep -q "\`$tag\`" packaging/lintian-warnings.md \
        || fail "lintian warning $tag is not explained in packaging/lintian-warnings.md"
done < <(sed -n 's/^W: [^:]*: \([a-z0-9][a-z0-9+.-]*\).*/\1/p' "$lintian_out" | sort -u)

[ "$failed" = 0 ] && echo "validate-deb: desktop entries, AppStream data and lintian warnings are fine"
exit "$failed"
