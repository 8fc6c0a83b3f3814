#!/busybox/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# /init of Corvane's test VM: loads the modules, mounts the host's /usr and
# the shares over 9p, fills the udev database, runs /cv/ctl/cmd.sh and
# powers off. Results go back through the control share (9p tag cvctl):
# stdout, stderr, timing, init.log and, last, rc.
#
# Kernel command line:
#   cv.udev=all|storage|none  what "udevadm trigger" covers (default all)
#   cv.devices=sda,nvme0n1    device nodes to wait for
#   cv.verbose=1              progress on the console
export PATH=/busybox HOME=/root TERM=dumb LANG=C.UTF-8

mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mount -t tmpfs -o mode=1777 tmpfs /tmp
mount -t tmpfs -o mode=0755 tmpfs /run
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs tmpfs /dev/shm

udev=all devices='' verbose=''
for w in $(cat /proc/cmdline); do
    case $w in
        cv.udev=*) udev=${w#cv.udev=} ;;
        cv.devices=*) devices=$(echo "${w#cv.devices=}" | tr , ' ') ;;
        cv.verbose=*) verbose=${w#cv.verbose=} ;;
    esac
done

LOG=/run/init.log
ctl=''
now() { cut -d' ' -f1 /proc/uptime; }
log() {
    echo "init[$(now)]: $*" >>$LOG
    [ -z "$verbose" ] || echo "init[$(now)]: $*" >/dev/console
}
halt_vm() {
    sync
    /busybox/poweroff -f
    echo o >/proc/sysrq-trigger
    sleep 5
    exit 1 # PID 1 exits: panic, and with panic=-1 and -no-reboot QEMU ends
}
fatal() {
    log "FATAL: $*"
    echo "corvane-vm init: FATAL: $*" >/dev/console
    if [ -n "$ctl" ]; then
        echo "$*" >/cv/ctl/fatal
        cp $LOG /cv/ctl/init.log
    fi
    halt_vm
}

t_kernel=$(now)
while read -r mod args; do
    [ -n "$mod" ] || continue
    # Failures are logged, not fatal: some modules want a CPU feature TCG lacks.
    # shellcheck disable=SC2086
    insmod "/kmod/$mod.ko" $args >>$LOG 2>&1 || log "insmod $mod failed"
done </kmod/order
t_modules=$(now)

p9=trans=virtio,version=9p2000.L,msize=262144
mount -t 9p -o $p9,cache=none cvctl /cv/ctl || fatal "cannot mount the control share"
ctl=1
mount -t 9p -o $p9,ro,cache=loose cvusr /usr || fatal "cannot mount the host's /usr"
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/busybox
# Further shares: "TAG ro|rw PATH" per line; the path is the host's, so
# absolute paths in commands mean the same inside and outside.
if [ -f /cv/ctl/mounts ]; then
    while read -r tag mode path; do
        [ -n "$tag" ] || continue
        mkdir -p "$path" || fatal "cannot create $path"
        mount -t 9p -o "$p9,$mode,cache=none" "$tag" "$path" || fatal "cannot mount $tag at $path"
    done </cv/ctl/mounts
fi
t_mounts=$(now)

wait_devices() {
    for d in $devices; do
        i=0
        while [ ! -e "/dev/$d" ] && [ $i -lt 300 ]; do
            sleep 0.05
            i=$((i + 1))
        done
        [ -e "/dev/$d" ] || log "/dev/$d did not appear"
    done
}

if [ "$udev" != none ]; then
    mkdir -p /run/udev
    /usr/lib/systemd/systemd-udevd --daemon --resolve-names=never >>$LOG 2>&1 || log "udevd did not start"
    if [ "$udev" = storage ]; then
        match='--subsystem-match=block --subsystem-match=nvme --subsystem-match=scsi
               --subsystem-match=scsi_generic --subsystem-match=pci'
    else
        match=''
    fi
    # shellcheck disable=SC2086
    udevadm trigger --type=subsystems --action=add $match >>$LOG 2>&1
    # shellcheck disable=SC2086
    udevadm trigger --type=devices --action=add $match >>$LOG 2>&1
    wait_devices
    udevadm settle --timeout=60 >>$LOG 2>&1 || log "udevadm settle timed out"
else
    wait_devices
fi
t_ready=$(now)
log "ready (udev=$udev)"

workdir=/
[ -f /cv/ctl/workdir ] && workdir=$(cat /cv/ctl/workdir)
cd "$workdir" || fatal "cannot cd to $workdir"
export CORVANE_VM=1
/bin/sh /cv/ctl/cmd.sh >/cv/ctl/stdout 2>/cv/ctl/stderr </dev/null
rc=$?
t_end=$(now)
cd /
log "command exited with $rc"

echo "kernel=$t_kernel modules=$t_modules mounts=$t_mounts ready=$t_ready end=$t_end" >/cv/ctl/timing
dmesg >/cv/ctl/dmesg.txt 2>&1
cp $LOG /cv/ctl/init.log
# rc comes last: its presence tells the host that the run completed.
echo $rc >/cv/ctl/rc.tmp && mv /cv/ctl/rc.tmp /cv/ctl/rc
sync
halt_vm
