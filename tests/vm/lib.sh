# SPDX-License-Identifier: GPL-3.0-or-later
# Helpers shared by the VM scripts (sourced, not run).
# shellcheck shell=bash

vm_log() { printf '[corvane-vm] %s\n' "$*" >&2; }
vm_die() { printf '[corvane-vm] error: %s\n' "$*" >&2; exit "${2:-2}"; }

# Host packages the VM stage needs: QEMU, the guest's busybox, the kernel
# module tools, and the programs the guest borrows from the host's /usr
# (smartctl to compare against, udevd for the udev database, mkfs.ext4).
VM_HOST_PACKAGES=(qemu-system-x86 qemu-utils busybox-static cpio kmod xz-utils zstd
    udev smartmontools e2fsprogs python3)

vm_missing_packages() {
    # One dpkg-query for all: every process counts on a loaded machine.
    # dpkg-query exits non-zero when any package is unknown to it, which is
    # exactly the case this function exists for: its status must not end a
    # caller running under set -e / pipefail.
    local installed
    installed=$({ dpkg-query -W -f='${Package} ${Status}\n' "$@" 2>/dev/null || true; } |
        awk '/install ok installed$/ { print $1 }')
    local p
    for p in "$@"; do
        grep -qxF "$p" <<<"$installed" || printf '%s\n' "$p"
    done
}

# Programs the VM stage runs on the host; each must exist after the set-up.
VM_HOST_PROGRAMS=(qemu-system-x86_64 busybox depmod cpio xz zstd smartctl mkfs.ext4 python3)

# Prints the programs of VM_HOST_PROGRAMS that are not found in
# VM_PROGRAM_PATH (default: PATH plus the sbin folders a user's PATH may lack).
vm_missing_programs() {
    local p search=${VM_PROGRAM_PATH:-$PATH:/usr/sbin:/sbin:/bin}
    for p in "${VM_HOST_PROGRAMS[@]}"; do
        PATH=$search command -v "$p" >/dev/null 2>&1 || printf '%s\n' "$p"
    done
}

# le32 FILE OFFSET: the little-endian 32-bit number at OFFSET.
vm_le32() { od -An -tu4 -j "$2" -N4 "$1" | tr -d ' '; }

# vm_extract_vmlinux BZIMAGE OUT: the decompressed kernel ELF, which QEMU boots
# through the PVH entry point. Under TCG this skips seconds of XZ unpacking.
# The x86 boot header locates the payload (setup_sects 0x1f1, payload_offset
# 0x248, payload_length 0x24c); its last 4 bytes give the unpacked size.
vm_extract_vmlinux() {
    local bz=$1 out=$2 sects off len size magic
    [[ $(od -An -c -j $((0x202)) -N4 "$bz" | tr -d ' ') == HdrS ]] || return 1
    sects=$(od -An -tu1 -j $((0x1f1)) -N1 "$bz" | tr -d ' ')
    ((sects)) || sects=4
    off=$(((sects + 1) * 512 + $(vm_le32 "$bz" $((0x248)))))
    len=$(vm_le32 "$bz" $((0x24c)))
    ((len > 8 && off + len <= $(stat -c %s "$bz"))) || return 1
    size=$(vm_le32 "$bz" $((off + len - 4)))
    magic=$(od -An -tx1 -j "$off" -N4 "$bz" | tr -d ' ')
    local -a unpack
    case $magic in
        fd377a58) unpack=(xz -dcq) ;;
        1f8b*) unpack=(gzip -dcq) ;;
        28b52ffd) unpack=(zstd -dcq) ;;
        *) return 1 ;;
    esac
    # The decompressors complain about the padding after the stream; the size
    # and ELF magic checks decide.
    dd if="$bz" bs=1M iflag=skip_bytes,count_bytes skip="$off" count="$len" status=none |
        "${unpack[@]}" >"$out.tmp" 2>/dev/null || true
    if [[ $(stat -c %s "$out.tmp") != "$size" || $(head -c4 "$out.tmp" | od -An -tx1 | tr -d ' ') != 7f454c46 ]]; then
        rm -f "$out.tmp"
        return 1
    fi
    mv "$out.tmp" "$out"
}
