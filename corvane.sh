#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Set up, build, run and test Corvane on Debian 12.
#   ./corvane.sh demo    install what is missing, build, run Corvane on the shipped demo data
#   ./corvane.sh test    install what is missing, build, run the whole test suite
#   ./corvane.sh build   install what is missing and build
#   ./corvane.sh vm      also install QEMU, build, run the VM tests (ctest label vm)
# Environment: BUILD_DIR (default build), CORVANE_SANITIZE=1 (ASan + UBSan build),
# CORVANE_SKIP_SETUP=1 (do not touch packages), JOBS.
set -euo pipefail
cd "$(dirname "$0")"
ROOT=$PWD

BUILD_DIR=${BUILD_DIR:-build}
JOBS=${JOBS:-$(nproc)}

# Debian packages the project needs to build and test; one per line in this file.
mapfile -t PACKAGES < <(grep -v '^\s*#' packaging/debian-packages.txt | sed '/^\s*$/d')

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

setup() {
    [ "${CORVANE_SKIP_SETUP:-0}" = 1 ] && return 0
    local missing=()
    for p in "${PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing Debian packages: ${missing[*]}"
        as_root apt-get update -qq
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
    fi
}

configure() {
    local sanitize=OFF
    [ "${CORVANE_SANITIZE:-0}" = 1 ] && sanitize=ON
    cmake -S "$ROOT" -B "$BUILD_DIR" -G Ninja \
        -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" \
        -DCORVANE_SANITIZE=$sanitize "$@" >/dev/null
}

build() {
    setup
    configure "$@"
    cmake --build "$BUILD_DIR" -j "$JOBS"
}

run_tests() {
    build
    export QT_QPA_PLATFORM=offscreen
    # Sanitizer builds: leaks are real faults, and a report must fail the run.
    export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
    export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
    # The VM tests are opt-in (./corvane.sh vm), also in a build folder configured for them.
    ctest --test-dir "$BUILD_DIR" --output-on-failure -j "$JOBS" -LE '^vm$' ${CTEST_ARGS:-}
}

vm_tests() {
    [ "${CORVANE_SKIP_SETUP:-0}" = 1 ] || tests/vm/setup.sh
    build -DCORVANE_VM_TESTS=ON
    ctest --test-dir "$BUILD_DIR" --output-on-failure -j "$JOBS" -L '^vm$' ${CTEST_ARGS:-}
}

demo() {
    build
    local ctl="$BUILD_DIR/cli/corvanectl" set=data/recorded/demo
    run_shown() { printf '\n$ corvanectl %s\n' "$*"; "$ctl" "$@" || true; }
    # The demo set: healthy, failing, unreadable, ATA and NVMe drives.
    run_shown list --recorded "$set"
    run_shown show --recorded "$set" sdb      # a failing attribute
    run_shown show --recorded "$set" nvme1n1  # NVMe with a critical warning
    run_shown show --recorded "$set" sdf      # SMART data that can't be read
    # Raw pages of one drive, decoded without a device tree.
    run_shown decode data/samples/Maxtor_96147H8--BAC51KJ0--2
}

case "${1:-}" in
    demo) demo ;;
    test) run_tests ;;
    build) build ;;
    vm) vm_tests ;;
    setup) setup ;;
    *) echo "usage: $0 demo|test|build|vm|setup" >&2; exit 2 ;;
esac
