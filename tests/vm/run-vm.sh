#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Boots Corvane's test VM (QEMU with TCG; no KVM needed) with an AHCI SATA
# disk (ide-hd on q35: /dev/sda, /dev/sg0) and an NVMe disk (/dev/nvme0,
# /dev/nvme0n1), runs COMMAND inside and hands back its stdout, stderr and
# exit status. The guest's /usr is the host's (read-only 9p), so programs
# from the build tree run as they are, and smartctl, udevadm and mkfs.ext4
# are the host's. Exit status: the command's; 124 timeout, 125 VM failure,
# 2 usage error.
#
#   run-vm.sh [options] COMMAND [ARG...]
#
# COMMAND and ARGs are joined with blanks and run by the guest's /bin/sh.
# Options:
#   --share PATH[:ro]   mount the host folder PATH at the same path in the
#                       guest (read-write unless :ro); repeatable
#   --workdir PATH      the command's working directory (default /)
#   --ata-opts OPTS     more ide-hd properties, e.g. rotation_rate=1
#   --nvme-opts OPTS    more nvme properties, e.g. smart_critical_warning=0x04
#   --no-ata, --no-nvme leave that disk out
#   --udev storage|all|none  what the guest's udevadm trigger covers: the
#                       storage subsystems (default, or $CORVANE_VM_UDEV), all, none
#   --cache DIR         kernel/initramfs cache (default $BUILD_DIR/vm-cache)
#   --timeout SECS      kill the VM after SECS (default 300)
#   --mem MIB, --smp N  guest memory (512) and CPUs (1)
#   --keep DIR          keep console.log, dmesg.txt, init.log, timing in DIR
#   --append ARGS       more kernel command line
#   --qemu-arg ARG      one more QEMU argument; repeatable
#   --console           show the guest console on stderr
#   --quiet             no timing line on stderr
# The drives' identity comes from devices.env next to this script.
set -euo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=lib.sh
source "$HERE/lib.sh"

usage() { awk 'NR > 2 && /^#/ { sub(/^# ?/, ""); print; next } NR > 2 { exit }' "$0"; }

CACHE=${CORVANE_VM_CACHE:-${BUILD_DIR:-build}/vm-cache}
TIMEOUT=300 MEM=512 SMP=1 UDEV=${CORVANE_VM_UDEV:-storage} WORKDIR=/ KEEP='' CONSOLE=0 QUIET=0
ATA_OPTS='' NVME_OPTS='' WITH_ATA=1 WITH_NVME=1 EXTRA_APPEND=''
KERNEL_ARGS=${CORVANE_VM_KERNEL_ARGS- cryptomgr.notests mitigations=off nowatchdog tsc=reliable no_timer_check}
SHARES=()
QEMU_EXTRA=()
need() { (($# >= 2)) && [[ -n $2 ]] || vm_die "$1 needs a value"; }
while (($#)); do
    case $1 in
        --share) need "$@"; SHARES+=("$2"); shift 2 ;;
        --workdir) need "$@"; WORKDIR=$2; shift 2 ;;
        --ata-opts) need "$@"; ATA_OPTS=$2; shift 2 ;;
        --nvme-opts) need "$@"; NVME_OPTS=$2; shift 2 ;;
        --no-ata) WITH_ATA=0; shift ;;
        --no-nvme) WITH_NVME=0; shift ;;
        --udev) need "$@"; UDEV=$2; shift 2 ;;
        --cache) need "$@"; CACHE=$2; shift 2 ;;
        --timeout) need "$@"; TIMEOUT=$2; shift 2 ;;
        --mem) need "$@"; MEM=$2; shift 2 ;;
        --smp) need "$@"; SMP=$2; shift 2 ;;
        --keep) need "$@"; KEEP=$2; shift 2 ;;
        --qemu-arg) need "$@"; QEMU_EXTRA+=("$2"); shift 2 ;;
        --append) need "$@"; EXTRA_APPEND+=" $2"; shift 2 ;;
        --console) CONSOLE=1; shift ;;
        --quiet) QUIET=1; shift ;;
        -h | --help) usage; exit 0 ;;
        --) shift; break ;;
        -?*) usage >&2; vm_die "unknown option: $1" ;;
        *) break ;;
    esac
done
(($# >= 1)) || { usage >&2; vm_die "no COMMAND"; }
CMD="$*"
[[ $UDEV =~ ^(all|storage|none)$ ]] || vm_die "--udev: all, storage or none"
for v in TIMEOUT MEM SMP; do
    [[ ${!v} =~ ^[1-9][0-9]*$ ]] || vm_die "--${v,,} wants a positive integer"
done

declare -A DEV=()
while IFS='=' read -r k v; do
    [[ $k =~ ^[A-Z_]+$ ]] && DEV[$k]=$v
done <"$HERE/devices.env"

mapfile -t missing < <(vm_missing_packages qemu-system-x86 qemu-utils udev)
((${#missing[@]} == 0)) || vm_die "missing packages: ${missing[*]} (run tests/vm/setup.sh)"
"$HERE/build-image.sh" --cache "$CACHE" || vm_die "build-image.sh failed" 125
KERNEL=$CACHE/vmlinuz
[[ ! -f $CACHE/vmlinux ]] || KERNEL=$CACHE/vmlinux

WORK=$(mktemp -d "${TMPDIR:-/tmp}/corvane-vm.XXXXXX")
QEMU_PID=''
cleanup() {
    if [[ -n $QEMU_PID ]] && kill -0 "$QEMU_PID" 2>/dev/null; then
        kill "$QEMU_PID" 2>/dev/null || true
        sleep 0.5
        kill -0 "$QEMU_PID" 2>/dev/null && kill -9 "$QEMU_PID" 2>/dev/null || true
    fi
    if [[ -n $KEEP ]]; then
        mkdir -p "$KEEP"
        cp "$WORK"/ctl/{timing,dmesg.txt,init.log,stdout,stderr} "$WORK"/{console.log,qemu.log} "$KEEP"/ 2>/dev/null || true
    fi
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

qesc() { printf '%s' "${1//,/,,}"; } # QEMU option values double their commas
CTL=$WORK/ctl
mkdir -p "$CTL"
printf '%s\n' "$CMD" >"$CTL/cmd.sh"
printf '%s\n' "$WORKDIR" >"$CTL/workdir"

QEMU=(qemu-system-x86_64 -machine q35,accel=tcg -cpu max -m "$MEM" -smp "$SMP"
    -nodefaults -no-user-config -display none -no-reboot
    -kernel "$KERNEL" -initrd "$CACHE/initramfs.cpio"
    -virtfs "local,path=$(qesc "$CTL"),mount_tag=cvctl,security_model=none,id=cvctl"
    -virtfs "local,path=/usr,mount_tag=cvusr,security_model=none,readonly=on,multidevs=remap,id=cvusr")
: >"$CTL/mounts"
i=0
for s in "${SHARES[@]}"; do
    mode=rw path=$s
    if [[ $s == *:ro ]]; then mode=ro path=${s%:ro}; fi
    [[ -d $path ]] || vm_die "--share: not a folder: $path"
    path=$(cd "$path" && pwd)
    ro=''
    [[ $mode == ro ]] && ro=,readonly=on
    QEMU+=(-virtfs "local,path=$(qesc "$path"),mount_tag=cvs$i,security_model=none,multidevs=remap,id=cvs$i$ro")
    printf 'cvs%d %s %s\n' "$i" "$mode" "$path" >>"$CTL/mounts"
    i=$((i + 1))
done
DEVICES=()
if ((WITH_ATA)); then
    truncate -s "${DEV[ATA_SIZE_MIB]}M" "$WORK/ata.img"
    QEMU+=(-drive "file=$(qesc "$WORK/ata.img"),if=none,id=ata0,format=raw"
        -device "ide-hd,drive=ata0,bus=ide.0,model=$(qesc "${DEV[ATA_MODEL]}"),serial=$(qesc "${DEV[ATA_SERIAL]}"),ver=$(qesc "${DEV[ATA_FIRMWARE]}"),wwn=${DEV[ATA_WWN]},rotation_rate=${DEV[ATA_ROTATION_RATE]}${ATA_OPTS:+,$ATA_OPTS}")
    DEVICES+=(sda)
fi
if ((WITH_NVME)); then
    truncate -s "${DEV[NVME_SIZE_MIB]}M" "$WORK/nvme.img"
    QEMU+=(-drive "file=$(qesc "$WORK/nvme.img"),if=none,id=nvm0,format=raw"
        -device "nvme,drive=nvm0,serial=$(qesc "${DEV[NVME_SERIAL]}")${NVME_OPTS:+,$NVME_OPTS}")
    DEVICES+=(nvme0 nvme0n1)
fi
APPEND="console=ttyS0 panic=-1 cv.udev=$UDEV cv.devices=$(IFS=,; echo "${DEVICES[*]}")"
((CONSOLE)) && APPEND+=" cv.verbose=1" || APPEND+=" quiet"
APPEND+="$KERNEL_ARGS$EXTRA_APPEND"
QEMU+=(-append "$APPEND")
if ((CONSOLE)); then
    QEMU+=(-chardev "stdio,id=ser0,signal=off,logfile=$(qesc "$WORK/console.log")" -serial chardev:ser0)
else
    QEMU+=(-serial "file:$WORK/console.log")
fi

QEMU+=("${QEMU_EXTRA[@]}")

T0=$(date +%s.%N)
if ((CONSOLE)); then
    "${QEMU[@]}" </dev/null >&2 2>"$WORK/qemu.log" &
else
    "${QEMU[@]}" </dev/null >"$WORK/qemu.log" 2>&1 &
fi
QEMU_PID=$!
TIMED_OUT=0
deadline=$(($(date +%s) + TIMEOUT))
while kill -0 "$QEMU_PID" 2>/dev/null; do
    if (($(date +%s) >= deadline)); then
        TIMED_OUT=1
        vm_log "timeout after ${TIMEOUT} s; stopping QEMU"
        kill "$QEMU_PID" 2>/dev/null || true
        break
    fi
    sleep 0.1
done
QEMU_RC=0
wait "$QEMU_PID" || QEMU_RC=$?
QEMU_PID=''
WALL=$(awk -v a="$T0" -v b="$(date +%s.%N)" 'BEGIN { printf "%.2f", b - a }')

if [[ ! -f $CTL/rc ]]; then
    if ((TIMED_OUT)); then vm_log "the VM did not finish in ${TIMEOUT} s"; else vm_log "the VM ended (QEMU status $QEMU_RC) without a result"; fi
    [[ ! -f $CTL/fatal ]] || vm_log "guest: $(<"$CTL/fatal")"
    vm_log "--- qemu.log"; tail -n 20 "$WORK/qemu.log" >&2 || true
    vm_log "--- console.log"; tail -n 30 "$WORK/console.log" >&2 || true
    ((TIMED_OUT)) && exit 124
    exit 125
fi
RC=$(<"$CTL/rc")
cat "$CTL/stdout"
cat "$CTL/stderr" >&2
TIMING="wall=$WALL $(cat "$CTL/timing" 2>/dev/null || true)"
echo "$TIMING" >"$CTL/timing"
if ((!QUIET)); then
    # guest times are uptime seconds at each step
    vm_log "$(awk -v rc="$RC" '{ for (i = 1; i <= NF; i++) { split($i, kv, "="); t[kv[1]] = kv[2] }
        printf "rc=%s wall=%.2fs guest: kernel %.2fs, modules %.2fs, 9p %.2fs, udev+devices %.2fs, ready at %.2fs, command %.2fs",
            rc, t["wall"], t["kernel"], t["modules"] - t["kernel"], t["mounts"] - t["modules"],
            t["ready"] - t["mounts"], t["ready"], t["end"] - t["ready"] }' <<<"$TIMING")"
fi
exit "$RC"
