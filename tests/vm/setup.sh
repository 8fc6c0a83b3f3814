#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages the VM tests need (QEMU is large, so they are
# not part of packaging/debian-packages.txt; only the VM stage pulls them in).
set -euo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=lib.sh
source "$HERE/lib.sh"

mapfile -t missing < <(vm_missing_packages "${VM_HOST_PACKAGES[@]}")
((${#missing[@]} == 0)) && exit 0
vm_log "installing: ${missing[*]}"
as_root() { if [[ $(id -u) == 0 ]]; then "$@"; else sudo "$@"; fi; }
export DEBIAN_FRONTEND=noninteractive
apt_install() { as_root apt-get -o DPkg::Lock::Timeout=600 install -y -q --no-install-recommends "${missing[@]}" >&2; }
if ! apt_install; then
    as_root apt-get -o DPkg::Lock::Timeout=600 update -q >&2
    apt_install
fi
