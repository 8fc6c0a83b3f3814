#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# CTest driver of one VM test: boots the VM, runs guest.sh CASE inside, then
# checks the outputs on the host with check.py. Exit 77 (SKIP) while the
# corvanectl commands a case needs are not built yet.
#   vmtest.sh BUILD_DIR CASE
set -euo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
BUILD=$(cd "${1:?BUILD_DIR}" && pwd)
CASE=${2:?CASE}
CTL=$BUILD/cli/corvanectl
OUT=$BUILD/tests/vm/out/$CASE
SKIP=77

skip() { echo "SKIP: $*"; exit $SKIP; }
[[ -x $CTL ]] || { echo "no $CTL; build first" >&2; exit 1; }
HELP=$("$CTL" --help 2>&1 || true)
needs() {
    local c
    for c; do
        grep -qE "^  $c( |$)" <<<"$HELP" || skip "corvanectl has no '$c' command yet (corvanectl --help)"
    done
}

# Each boot ends well within CTest's TIMEOUT (two boots for "critical"), so
# run-vm.sh, not CTest, stops a hung QEMU.
vm() {
    "$HERE/run-vm.sh" --cache "$BUILD/vm-cache" --share "$BUILD:ro" --share "$HERE:ro" \
        --share "$OUT" --workdir "$OUT" --keep "$OUT/vm" --timeout 120 "$@"
}
# guest [run-vm options] -- CASE: runs guest.sh CASE in a fresh VM.
guest() {
    local opts=()
    while [[ $1 != -- ]]; do opts+=("$1"); shift; done
    shift
    local cmd
    # run-vm.sh joins words with blanks, so quote them for the guest's shell.
    printf -v cmd '%q ' env CORVANECTL="$CTL" OUT="$OUT" \
        ${CORVANE_VOLUME_PROBE:+CORVANE_VOLUME_PROBE="$CORVANE_VOLUME_PROBE"} \
        ${CORVANE_HELPER:+CORVANE_HELPER="$CORVANE_HELPER" CORVANE_HELPER_CONF="$CORVANE_HELPER_CONF" CORVANE_BUS_CONF="$CORVANE_BUS_CONF"} \
        ${CORVANE_FAKE_POLKIT:+CORVANE_FAKE_POLKIT="$CORVANE_FAKE_POLKIT"} \
        ${CORVANE_AGENT:+CORVANE_AGENT="$CORVANE_AGENT"} sh "$HERE/guest.sh" "$1"
    vm "${opts[@]}" "$cmd"
}
check() { python3 "$HERE/check.py" "$@"; }
fresh_out() { rm -rf "$OUT"; mkdir -p "$OUT"; }

case $CASE in
    boot)
        fresh_out
        guest -- boot
        check boot "$OUT"
        ;;
    list)
        needs list
        fresh_out
        guest -- list
        check list "$OUT"
        ;;
    show)
        needs show
        fresh_out
        guest -- show
        check show "$OUT"
        ;;
    critical)
        needs show
        for cw in 0x04 0x02; do
            OUT=$BUILD/tests/vm/out/critical-$cw
            fresh_out
            guest --nvme-opts "smart_critical_warning=$cw" -- critical
            check critical "$OUT" "$cw"
        done
        ;;
    selftest)
        needs test show
        fresh_out
        guest -- selftest
        check selftest "$OUT"
        ;;
    record)
        needs record show
        fresh_out
        guest -- record
        # Replay on the host, with the same drive database as in the guest.
        export XDG_DATA_HOME=$OUT/xdg/data XDG_CONFIG_HOME=$OUT/xdg/config XDG_STATE_HOME=$OUT/xdg/state
        mkdir -p "$XDG_DATA_HOME/K7QX2W9R4D.com.tarnholm.corvane" "$XDG_CONFIG_HOME" "$XDG_STATE_HOME"
        cp /usr/share/smartmontools/drivedb.h "$XDG_DATA_HOME/K7QX2W9R4D.com.tarnholm.corvane/"
        for pair in sda:sda nvme:nvme0n1; do
            n=${pair%%:*} d=${pair#*:}
            set +e
            "$CTL" show --recorded "$OUT/recorded" --json "/dev/$d" >"$OUT/replay-$n.out" 2>"$OUT/replay-$n.err"
            echo $? >"$OUT/replay-$n.rc"
            set -e
        done
        check record "$OUT"
        ;;
    helper)
        needs show test
        export CORVANE_HELPER=$BUILD/helper/corvane-helper CORVANE_HELPER_CONF=$BUILD/helper/com.tarnholm.Corvane.Helper.conf
        export CORVANE_FAKE_POLKIT=$BUILD/tests/helper/corvane-fake-polkit CORVANE_BUS_CONF=$BUILD/tests/helper/system-bus.conf.in
        [[ -x $CORVANE_HELPER && -x $CORVANE_FAKE_POLKIT ]] || skip "corvane-helper or corvane-fake-polkit is not built"
        # The agent, when built, gathers as that user too; a second boot
        # gives the NVMe drive critical warning 0x04.
        [[ -x $BUILD/agent/corvane-agent ]] && export CORVANE_AGENT=$BUILD/agent/corvane-agent
        fresh_out
        guest -- helper
        check helper "$OUT"
        if [[ -n ${CORVANE_AGENT:-} ]]; then
            OUT=$BUILD/tests/vm/out/helper-critical
            fresh_out
            guest --nvme-opts smart_critical_warning=0x04 -- helper
            check helper "$OUT" 0x04
        fi
        ;;
    mount)
        # The agent engine's volume watcher is checked through a probe program
        # that prints "mount PATH" / "unmount PATH" per event of its
        # VolumeEvents and ends after the unmount. Until one is built,
        # this case only states so.
        PROBE=${CORVANE_VOLUME_PROBE:-$BUILD/tests/vm/corvane-volume-probe}
        [[ -x $PROBE ]] || skip "no volume-events probe ($PROBE); the agent engine's mount watching is not testable here yet"
        export CORVANE_VOLUME_PROBE=$PROBE
        fresh_out
        guest -- mount
        check mount "$OUT"
        ;;
    *)
        echo "vmtest.sh: unknown case $CASE" >&2
        exit 2
        ;;
esac
