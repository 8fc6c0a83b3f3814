#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the kernel and initramfs that run-vm.sh boots, into a cache folder
# (normally BUILD_DIR/vm-cache). Rebuilds only when an input changed.
#
# The kernel is Debian's (the package behind linux-image-amd64, fetched with
# apt-get download; the host's own kernel and boot setup are not touched).
# The initramfs is tiny: busybox, the modules for AHCI, SCSI disks and
# generic, NVMe, 9p over virtio and ext4, the host's /etc/passwd and group,
# and /init. Everything else the guest runs -- Qt, libudev,
# udevd and its rules, smartctl, mkfs -- comes from the host's /usr, which the
# guest mounts read-only over 9p, so nothing has to be copied when the
# libraries Corvane links change.
#
#   build-image.sh [--cache DIR] [--kernel-pkg PKG] [--force]
set -euo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=lib.sh
source "$HERE/lib.sh"

CACHE=${CORVANE_VM_CACHE:-${BUILD_DIR:-build}/vm-cache}
KERNEL_PKG=''
FORCE=0
MODULES=(ahci sd_mod sg nvme 9p 9pnet_virtio virtio_pci ext4 crc32c_generic)

while (($#)); do
    case $1 in
        --cache) CACHE=${2:?}; shift 2 ;;
        --kernel-pkg) KERNEL_PKG=${2:?}; shift 2 ;;
        --force) FORCE=1; shift ;;
        -h | --help) awk 'NR > 2 && /^#/ { sub(/^# ?/, ""); print; next } NR > 2 { exit }' "$0"; exit 0 ;;
        *) vm_die "unknown argument: $1" ;;
    esac
done

mapfile -t missing < <(vm_missing_packages busybox-static cpio kmod xz-utils zstd)
((${#missing[@]} == 0)) || vm_die "missing packages: ${missing[*]} (run tests/vm/setup.sh)"

mkdir -p "$CACHE"
CACHE=$(cd "$CACHE" && pwd)
exec 9>"$CACHE/.lock"
flock 9 # parallel test runs share one cache

# The kernel package is resolved once and remembered; --kernel-pkg or
# deleting the cache picks up a newer one.
if [[ -z $KERNEL_PKG && -s $CACHE/kernel-pkg ]]; then
    KERNEL_PKG=$(<"$CACHE/kernel-pkg")
fi
if [[ -z $KERNEL_PKG ]]; then
    resolve() { apt-cache depends linux-image-amd64 2>/dev/null | awk '$1 == "Depends:" && $2 ~ /^linux-image-/ { print $2; exit }'; }
    KERNEL_PKG=$(resolve)
    if [[ -z $KERNEL_PKG ]]; then
        apt-get update -q >&2 || true
        KERNEL_PKG=$(resolve)
    fi
    [[ -n $KERNEL_PKG ]] || vm_die "cannot resolve the kernel package behind linux-image-amd64"
fi

DEB=$(find "$CACHE/debs" -maxdepth 1 -name "${KERNEL_PKG}_*.deb" 2>/dev/null | sort -V | tail -n1 || true)
if [[ -z $DEB ]]; then
    mkdir -p "$CACHE/debs"
    vm_log "downloading $KERNEL_PKG"
    (cd "$CACHE/debs" && apt-get -q -o APT::Sandbox::User=root download "$KERNEL_PKG" >&2) ||
        vm_die "apt-get download $KERNEL_PKG failed"
    DEB=$(find "$CACHE/debs" -maxdepth 1 -name "${KERNEL_PKG}_*.deb" | sort -V | tail -n1)
    [[ -n $DEB ]] || vm_die "no .deb for $KERNEL_PKG"
fi
echo "$KERNEL_PKG" >"$CACHE/kernel-pkg"

KROOT=$CACHE/kernel
if [[ ! -f $KROOT/.deb || $(<"$KROOT/.deb") != "$(basename "$DEB")" ]]; then
    vm_log "extracting $(basename "$DEB")"
    rm -rf "$KROOT"
    mkdir -p "$KROOT"
    dpkg-deb -x "$DEB" "$KROOT"
    basename "$DEB" >"$KROOT/.deb"
fi
KVER=$(basename "$(find "$KROOT/lib/modules" -mindepth 1 -maxdepth 1 -type d | head -n1)")
[[ -f $KROOT/boot/vmlinuz-$KVER ]] || vm_die "no vmlinuz-$KVER in $DEB"

inputs() {
    echo "deb $(basename "$DEB")"
    sha256sum "$HERE/build-image.sh" "$HERE/lib.sh" "$HERE/init.sh" /bin/busybox \
        /etc/passwd /etc/group
    echo "modules ${MODULES[*]}"
}
STAMP=$(inputs | sha256sum | cut -d' ' -f1)
if ((!FORCE)) && [[ -f $CACHE/vmlinuz && -f $CACHE/initramfs.cpio && -f $CACHE/stamp &&
    $(<"$CACHE/stamp") == "$STAMP" ]]; then
    exit 0
fi
vm_log "building the initramfs for $KVER"

[[ -f $KROOT/lib/modules/$KVER/modules.dep ]] || depmod -b "$KROOT" "$KVER"
ST=$CACHE/staging
rm -rf "$ST"
mkdir -p "$ST"/{busybox,kmod,etc,proc,sys,dev,tmp,run,root,usr,var/tmp,var/lib,mnt,cv/ctl}
# The guest's /usr is the host's, so the usual merged-/usr links make the
# host's programs and their hard-coded paths work unchanged.
ln -s usr/bin "$ST/bin"
ln -s usr/sbin "$ST/sbin"
ln -s usr/lib "$ST/lib"
ln -s usr/lib64 "$ST/lib64"
ln -s ../run "$ST/var/run"
ln -s /proc/self/mounts "$ST/etc/mtab"

# busybox runs /init until /usr is there and fills in poweroff -f.
install -m 0755 /bin/busybox "$ST/busybox/busybox"
for applet in $(/bin/busybox --list); do
    [[ -e $ST/busybox/$applet ]] || ln -s busybox "$ST/busybox/$applet"
done

# Modules in load order, dependencies first.
declare -A seen=()
: >"$ST/kmod/order"
for m in "${MODULES[@]}"; do
    deps=$(modprobe -d "$KROOT" -S "$KVER" --show-depends "$m" 2>&1) || vm_die "module $m: $deps"
    while read -r verb path args; do
        [[ $verb == insmod ]] || continue # "builtin X" needs nothing
        name=$(basename "$path")
        name=${name%%.ko*}
        [[ -z ${seen[$name]:-} ]] || continue
        seen[$name]=1
        case $path in
            *.ko) cp "$path" "$ST/kmod/$name.ko" ;;
            *.ko.xz) xz -dc "$path" >"$ST/kmod/$name.ko" ;;
            *.ko.zst) zstd -qdc "$path" >"$ST/kmod/$name.ko" ;;
            *.ko.gz) gzip -dc "$path" >"$ST/kmod/$name.ko" ;;
            *) vm_die "unexpected module file $path" ;;
        esac
        printf '%s %s\n' "$name" "$args" >>"$ST/kmod/order"
    done <<<"$deps"
done

# No ld.so.cache: the loader's default search finds the host's libraries,
# and a copy would go stale with every package the host installs.
cp /etc/passwd /etc/group "$ST/etc/"
echo 'corvane-vm' >"$ST/etc/hostname"
install -m 0755 "$HERE/init.sh" "$ST/init"
{
    echo "kernel_pkg=$KERNEL_PKG"
    echo "kernel_deb=$(basename "$DEB")"
    echo "kernel_version=$KVER"
    echo "modules=$(cut -d' ' -f1 "$ST/kmod/order" | tr '\n' ' ')"
} >"$ST/etc/corvane-vm-build"

(cd "$ST" && find . -mindepth 1 | LC_ALL=C sort |
    cpio --quiet -o -H newc -R 0:0 --reproducible) >"$CACHE/initramfs.cpio.tmp"
cp "$KROOT/boot/vmlinuz-$KVER" "$CACHE/vmlinuz.tmp"
rm -f "$CACHE/vmlinux"
if grep -q '^CONFIG_PVH=y' "$KROOT/boot/config-$KVER" 2>/dev/null; then
    vm_extract_vmlinux "$CACHE/vmlinuz.tmp" "$CACHE/vmlinux" || vm_log "no vmlinux (booting the bzImage)"
fi
cp "$ST/etc/corvane-vm-build" "$CACHE/build-info.txt"
mv "$CACHE/initramfs.cpio.tmp" "$CACHE/initramfs.cpio"
mv "$CACHE/vmlinuz.tmp" "$CACHE/vmlinuz"
echo "$STAMP" >"$CACHE/stamp"
rm -rf "$ST"
vm_log "built $CACHE/initramfs.cpio ($(du -h "$CACHE/initramfs.cpio" | cut -f1)) for $KVER"
