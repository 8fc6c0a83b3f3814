#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages the VM tests need (QEMU is large, so they are
# not part of packaging/debian-packages.txt; only the VM stage pulls them in),
# then checks that every program the stage runs is really there.
set -euo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=lib.sh
source "$HERE/lib.sh"

missing_list=$(vm_missing_packages "${VM_HOST_PACKAGES[@]}")
mapfile -t missing < <(printf '%s' "$missing_list" | sed '/^$/d')
if ((${#missing[@]} > 0)); then
    vm_log "installing: ${missing[*]}"
    as_root() { if [[ $(id -u) == 0 ]]; then "$@"; else sudo "$@"; fi; }
    export DEBIAN_FRONTEND=noninteractive
    apt_install() { as_root apt-get -o DPkg::Lock::Timeout=600 install -y -q --no-install-recommends "${missing[@]}" >&2; }
    if ! apt_install; then
        as_root apt-get -o DPkg::Lock::Timeout=600 update -q >&2
        apt_install || vm_die "apt-get could not install: ${missing[*]}"
    fi
fi

# A package list can be right and a program still absent (a diverted or
# removed file); every later step would then fail with a puzzling message.
absent=$(vm_missing_programs)
[[ -z $absent ]] || vm_die "still missing after the set-up: $(echo $absent) (packages: ${VM_HOST_PACKAGES[*]})"
exit 0
