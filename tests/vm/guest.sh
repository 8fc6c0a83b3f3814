#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Guest side of the VM tests: runs corvanectl and smartctl 7.3 on the same
# emulated drives and leaves their outputs in $OUT (a 9p share) for check.py.
# Every step writes NAME.out, NAME.err and NAME.rc, so a failing step is
# visible on the host instead of stopping the script.
#   CORVANECTL=... OUT=... guest.sh CASE
set -u
: "${CORVANECTL:?}" "${OUT:?}"
case_name=${1:?case}

# A private home, with the same drivedb.h that smartctl reads, so attribute
# names and raw formats come from one database.
export XDG_DATA_HOME=/tmp/xdg/data XDG_CONFIG_HOME=/tmp/xdg/config XDG_STATE_HOME=/tmp/xdg/state
container=$XDG_DATA_HOME/K7QX2W9R4D.com.tarnholm.corvane
mkdir -p "$container" "$XDG_CONFIG_HOME" "$XDG_STATE_HOME"
cp /usr/share/smartmontools/drivedb.h "$container/"

run() {
    name=$1
    shift
    "$@" >"$OUT/$name.out" 2>"$OUT/$name.err"
    echo $? >"$OUT/$name.rc"
}
# show NAME DEV: DEV is a /dev path or a kernel name; show takes both.
show() { run "$1" "$CORVANECTL" show --json "$2"; }

case $case_name in
    boot)
        run version "$CORVANECTL" --version
        run smartctl-sda smartctl -j -a /dev/sda
        run smartctl-nvme smartctl -j -a /dev/nvme0
        run udev-sda udevadm info --query=property /dev/sda
        run udev-nvme udevadm info --query=property /dev/nvme0n1
        # The mount test of the agent relies on this working in the guest.
        run mount sh -c 'mkfs.ext4 -q -F /dev/sda && mkdir -p /mnt/cv && mount /dev/sda /mnt/cv &&
            grep " /mnt/cv " /proc/self/mountinfo && umount /mnt/cv && ! grep -q " /mnt/cv " /proc/self/mountinfo'
        ;;
    list)
        run list "$CORVANECTL" list --json
        run smartctl-sda smartctl -j -i /dev/sda
        run smartctl-nvme smartctl -j -i /dev/nvme0
        ;;
    show)
        # smartctl first, then Corvane, then smartctl once more: a reader
        # that leaves SMART disabled on the drive shows up in the last step.
        run smartctl-sda smartctl -j -a /dev/sda
        show show-sda /dev/sda
        run smartctl-sda-after smartctl -j -A /dev/sda
        run smartctl-nvme smartctl -j -a /dev/nvme0
        run smartctl-nvme-c smartctl -c /dev/nvme0
        show show-nvme nvme0n1
        ;;
    critical)
        show show-nvme /dev/nvme0n1
        run smartctl-nvme smartctl -j -a /dev/nvme0
        ;;
    selftest)
        run selftest-before smartctl -j -l selftest /dev/sda
        run test "$CORVANECTL" test short /dev/sda
        run selftest-after smartctl -j -l selftest /dev/sda
        # The log itself, whatever state the test left SMART in.
        run smart-on smartctl -s on /dev/sda
        run selftest-log smartctl -j -l selftest /dev/sda
        show show-sda /dev/sda
        ;;
    record)
        run record "$CORVANECTL" record "$OUT/recorded"
        show show-sda /dev/sda
        show show-nvme /dev/nvme0n1
        ;;
    helper)
        # root reads directly; then a system bus like the real one (default
        # deny, the helper's bus policy, activation of the helper as root)
        # and an unprivileged user whose reads go through the helper.
        : "${CORVANE_HELPER:?}" "${CORVANE_FAKE_POLKIT:?}" "${CORVANE_HELPER_CONF:?}" "${CORVANE_BUS_CONF:?}"
        show root-sda sda
        show root-nvme nvme0n1
        bus=/tmp/cvbus
        mkdir -p $bus/services /run/dbus
        printf '[D-BUS Service]\nName=com.tarnholm.Corvane.Helper\nExec=%s\n' "$CORVANE_HELPER" \
            >$bus/services/com.tarnholm.Corvane.Helper.service
        # The helper tests' system bus, with root running polkit and the helper.
        sed -e "s|@LISTEN@|unix:path=/run/dbus/system_bus_socket|" -e "s|@SERVICES@|$bus/services|" \
            -e "s|@USER@|root|" -e "s|@HELPER_CONF@|$CORVANE_HELPER_CONF|" "$CORVANE_BUS_CONF" >$bus/bus.conf
        export DBUS_SYSTEM_BUS_ADDRESS=unix:path=/run/dbus/system_bus_socket
        # The helper's journal is the bus's stderr here.
        dbus-daemon --nofork --config-file=$bus/bus.conf 2>"$OUT/helper-log.txt" &
        daemon=$!
        n=0
        while [ ! -S /run/dbus/system_bus_socket ] && [ $n -lt 100 ]; do sleep 0.1; n=$((n + 1)); done
        # polkitd's stand-in (no logind here): reads allowed, as for the active
        # local session; self-tests challenged, as polkitd answers them
        # without an authentication agent.
        printf 'com.tarnholm.corvane.read-smart allow\n* challenge\n' >$bus/rules
        "$CORVANE_FAKE_POLKIT" $bus/rules "$OUT/polkit-calls.txt" >$bus/polkit.out 2>"$OUT/polkit.err" &
        polkit=$!
        n=0
        while ! grep -q ready $bus/polkit.out 2>/dev/null && [ $n -lt 100 ]; do sleep 0.1; n=$((n + 1)); done
        chmod -R a+rwX /tmp/xdg
        user() { setpriv --reuid=65534 --regid=65534 --clear-groups "$@"; }
        run user-caps user grep CapEff /proc/self/status
        run user-sda user "$CORVANECTL" show --json sda
        run user-nvme user "$CORVANECTL" show --json nvme0n1
        run user-test user "$CORVANECTL" test short sda
        # The agent as that user: its first gather goes through the helper too.
        if [ -n "${CORVANE_AGENT:-}" ]; then
            data=$container/data.json
            rm -f "$data"
            setpriv --reuid=65534 --regid=65534 --clear-groups dbus-run-session -- "$CORVANE_AGENT" \
                >"$OUT/agent.out" 2>"$OUT/agent.err" &
            agent=$!
            n=0
            while [ ! -s "$data" ] && [ $n -lt 600 ]; do sleep 0.1; n=$((n + 1)); done
            cp "$data" "$OUT/agent-data.json" 2>/dev/null
            kill $agent 2>/dev/null
        fi
        kill $polkit $daemon 2>/dev/null
        wait
        ;;
    bench)
        # Side by side, interleaved so that load changes hit both alike:
        # "PROGRAM DEVICE NANOSECONDS" per run.
        runs=${CORVANE_BENCH_RUNS:-20}
        : >"$OUT/bench.txt"
        i=0
        while [ $i -lt "$runs" ]; do
            for pair in "/dev/sda /dev/sda" "/dev/nvme0n1 /dev/nvme0"; do
                set -- $pair
                t0=$(date +%s%N)
                "$CORVANECTL" show "$1" >/dev/null 2>&1
                t1=$(date +%s%N)
                smartctl -x "$2" >/dev/null 2>&1
                t2=$(date +%s%N)
                echo "corvanectl $1 $((t1 - t0))" >>"$OUT/bench.txt"
                echo "smartctl $2 $((t2 - t1))" >>"$OUT/bench.txt"
            done
            i=$((i + 1))
        done
        ;;
    mount)
        # The probe (VolumeProbe.cpp) prints one line per volume event and
        # ends after an unmount; each step waits for the probe to see the last.
        : "${CORVANE_VOLUME_PROBE:?}"
        run mkfs mkfs.ext4 -q -F /dev/sda
        mkdir -p /mnt/cv
        "$CORVANE_VOLUME_PROBE" >"$OUT/events.out" 2>"$OUT/events.err" &
        probe=$!
        wait_for() { # FILE TEXT: up to 30 s
            n=0
            while ! grep -q "$2" "$1" 2>/dev/null && [ $n -lt 300 ]; do sleep 0.1; n=$((n + 1)); done
        }
        wait_for "$OUT/events.err" watching
        run mount mount /dev/sda /mnt/cv
        wait_for "$OUT/events.out" "^mount /mnt/cv"
        run umount umount /mnt/cv
        wait $probe
        echo $? >"$OUT/events.rc"
        ;;
    *)
        echo "guest.sh: unknown case $case_name" >&2
        exit 2
        ;;
esac
