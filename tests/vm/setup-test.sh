#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The VM set-up on a machine that has nothing: fake dpkg-query and apt-get
# report no package installed and log what they are asked to install.
set -euo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
FAKE=$(mktemp -d)
trap 'rm -rf "$FAKE"' EXIT
mkdir -p "$FAKE/bin"
cat >"$FAKE/bin/dpkg-query" <<'FAKE_EOF'
#!/bin/sh
# dpkg-query -W for packages it doesn't know: one line each on stderr, exit 1.
for a in "$@"; do case $a in -*) ;; *) echo "dpkg-query: no packages found matching $a" >&2 ;; esac; done
exit 1
FAKE_EOF
cat >"$FAKE/bin/apt-get" <<FAKE_EOF
#!/bin/sh
echo "\$*" >>"$FAKE/apt.log"
FAKE_EOF
# A user without root goes through sudo: the fake keeps that in the sandbox.
printf '#!/bin/sh\nexec "$@"\n' >"$FAKE/bin/sudo"
chmod +x "$FAKE/bin/"*
fail() { echo "FAIL: $*"; exit 1; }

# Nothing installed, apt-get installs nothing: the set-up must ask for the
# packages and then refuse to go on.
set +e
out=$(PATH="$FAKE/bin:$PATH" VM_PROGRAM_PATH="$FAKE/empty" "$HERE/setup.sh" 2>&1)
rc=$?
set -e
for p in qemu-system-x86 busybox-static kmod cpio; do
    grep -q "install .*\b$p\b" "$FAKE/apt.log" || fail "apt-get was not asked for $p: $(cat "$FAKE/apt.log")"
done
[[ $rc != 0 ]] || fail "set-up succeeded although programs are missing"
grep -q "still missing after the set-up" <<<"$out" || fail "no clear message: $out"
echo "1 passed, 0 failed"
