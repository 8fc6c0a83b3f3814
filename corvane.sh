#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Set up, build, run and test Corvane on Debian 12.
#   ./corvane.sh demo    install what is missing, build, run Corvane on the shipped demo data
#   ./corvane.sh test    install what is missing, build, run the whole test suite
#   ./corvane.sh build   install what is missing and build
#   ./corvane.sh vm      also install QEMU, build, run the VM tests (ctest label vm)
#   ./corvane.sh fuzz    clang build of the libFuzzer targets, each run a fixed number of times
#   ./corvane.sh deb     build the Debian package into build-deb/ and check it with lintian
# Environment: BUILD_DIR (default build), CORVANE_SANITIZE=1 (ASan + UBSan build),
# CORVANE_SKIP_SETUP=1 (do not touch packages), JOBS; for fuzz also FUZZ_RUNS,
# FUZZ_TARGETS, FUZZ_SEED (docs/fuzzing.md); for deb DEB_DIR (default build-deb).
set -euo pipefail
cd "$(dirname "$0")"
ROOT=$PWD

BUILD_DIR=${BUILD_DIR:-build}
JOBS=${JOBS:-$(nproc)}

# Debian packages the project needs to build and test; one per line in this file.
read_list() { grep -v '^\s*#' "$1" | sed '/^\s*$/d'; }
mapfile -t PACKAGES < <(read_list packaging/debian-packages.txt)

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

# Executions per target in CI; FUZZ_RUNS overrides them all. Chosen so that the
# stage stays well under 10 minutes on 2 shared cores (docs/fuzzing.md).
declare -A FUZZ_BUDGET=(
    [identify]=40000 [attributes]=20000 [smartlogs]=50000 [nvme]=60000 [drivedb]=30000
    [pciids]=200000 [registry]=15000 [settings]=8000 [widgetdata]=200000 [udevcapture]=8000
    [mountinfo]=50000 [helperrequest]=100000
)
declare -A FUZZ_MAX_LEN=([udevcapture]=65536 [nvme]=22000 [drivedb]=16384 [registry]=32768 [attributes]=1025 [identify]=1024)

# Seeds made from the test data at run time rather than checked-in copies of it.
fuzz_seeds() {
    local name=$1 out=$2 d
    case $name in
        udevcapture)
            for d in "$ROOT"/tests/data/udev/*/; do
                { cat "$d/devices.json"; printf '\0'; cat "$d/mountinfo" 2>/dev/null || true; } >"$out/seed-$(basename "$d")"
            done ;;
    esac
}

fuzz_one() {
    local name=$1 dir=$2
    local work="$dir/work/$name" log="$dir/logs/$name.log"
    rm -rf "$work" && mkdir -p "$work/corpus" "$work/artifacts"
    fuzz_seeds "$name" "$work/corpus"
    local runs=${FUZZ_RUNS:-${FUZZ_BUDGET[$name]:-50000}}
    local start=$SECONDS
    # New inputs go to the scratch corpus, never into the checked-in one.
    if "$dir/fuzz/fuzz_$name" -runs="$runs" -seed="${FUZZ_SEED:-1}" -timeout=20 -rss_limit_mb=2048 \
        -max_len="${FUZZ_MAX_LEN[$name]:-8192}" -print_final_stats=1 \
        -artifact_prefix="$work/artifacts/" "$work/corpus" "$ROOT/tests/fuzz/corpus/$name" >"$log" 2>&1; then
        echo "fuzz $name: $(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$') runs in $((SECONDS - start)) s, no finding"
        return 0
    fi
    echo "fuzz $name: FAILED after $((SECONDS - start)) s"
    tail -n 60 "$log"
    local a
    for a in "$work/artifacts"/*; do
        [ -f "$a" ] || continue
        echo "reproducer $a ($(stat -c %s "$a") bytes), base64:"
        base64 -w 76 "$a" | head -n 200
        echo "rerun: $dir/fuzz/fuzz_$name $a"
    done
    return 1
}

fuzz() {
    setup
    local dir=${BUILD_DIR:-build}
    [ "$dir" = build ] && dir=build-fuzz
    BUILD_DIR=$dir
    configure -DCMAKE_CXX_COMPILER=clang++ -DCORVANE_FUZZ=ON -DCORVANE_BUILD_TESTS=OFF \
        -DCORVANE_BUILD_BENCH=OFF
    cmake --build "$dir" -j "$JOBS" --target fuzzers
    mkdir -p "$dir/logs"
    export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
    export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
    export QT_QPA_PLATFORM=offscreen
    local name failed=0
    rm -f "$dir"/logs/*.status
    mapfile -t targets < <(sed '/^$/d' "$dir/fuzzers.txt")
    [ -n "${FUZZ_TARGETS:-}" ] && read -r -a targets <<<"$FUZZ_TARGETS"
    # JOBS targets at a time; each leaves its verdict in a file, which unlike
    # a job's exit status can't get lost.
    for name in "${targets[@]}"; do
        while [ "$(jobs -rp | wc -l)" -ge "$JOBS" ]; do wait -n || true; done
        ( if fuzz_one "$name" "$dir"; then r=0; else r=1; fi; echo $r >"$dir/logs/$name.status" ) &
    done
    wait
    for name in "${targets[@]}"; do
        [ "$(cat "$dir/logs/$name.status" 2>/dev/null)" = 0 ] || failed=1
    done
    [ "$failed" = 0 ] || { echo "fuzz: a target found a problem (reproducer above)"; return 1; }
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
    # The main window on the same drives, where there is a display to show it.
    if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
        printf '\n$ corvane --recorded %s\n' "$set"
        "$BUILD_DIR/app/corvane" --recorded "$set"
    else
        printf '\nNo display: to see the main window, run %s --recorded %s in a desktop session\n' \
            "$BUILD_DIR/app/corvane" "$set"
        printf '(or: QT_QPA_PLATFORM=offscreen %s --recorded %s --screenshot window.png renders it to a file).\n' \
            "$BUILD_DIR/app/corvane" "$set"
    fi
}

# The package is built from a copy of the checkout's files (tracked and new,
# not ignored), so debhelper never writes into the work tree; the .deb, the
# debug symbols and lintian's report land in DEB_DIR.
deb() {
    mapfile -t -O "${#PACKAGES[@]}" PACKAGES < <(read_list packaging/deb-packages.txt)
    setup
    local out=${DEB_DIR:-build-deb} version changelog_version
    version=$(sed -n 's/^project(Corvane VERSION \([^ )]*\).*/\1/p' CMakeLists.txt)
    changelog_version=$(dpkg-parsechangelog -S Version)
    if [ "$version" != "$changelog_version" ]; then
        echo "deb: CMakeLists.txt says $version but debian/changelog $changelog_version;" \
             "add a changelog entry: dch -v $version" >&2
        return 1
    fi
    mkdir -p "$out"
    out=$(cd "$out" && pwd)
    rm -rf "$out/src" && mkdir "$out/src"
    rm -f "$out"/corvane[_-]*
    if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
        git ls-files -z --cached --others --exclude-standard \
            | tar --null -T - --ignore-failed-read -cf - | tar -C "$out/src" -xf -
    else
        tar --exclude='./build*' --exclude=./.git -cf - . | tar -C "$out/src" -xf -
    fi
    # ccache, where present, keeps rebuilds of an unchanged tree short; CMake
    # takes the launcher from the environment.
    if command -v ccache >/dev/null; then
        export CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR=$out/src
    fi
    local start=$SECONDS
    (cd "$out/src" && DEB_BUILD_OPTIONS="parallel=$JOBS ${DEB_BUILD_OPTIONS:-}" \
        dpkg-buildpackage -us -uc --build=full)
    echo "deb: built in $((SECONDS - start)) s"
    local deb=$out/corvane_${version}_amd64.deb
    [ -f "$deb" ] || { echo "deb: $deb was not built" >&2; return 1; }
    # Errors fail the build; every warning must be explained in
    # packaging/lintian-warnings.md (checked by validate-deb.sh).
    lintian --fail-on error --tag-display-limit 0 "$out/corvane_${version}_amd64.changes" \
        | tee "$out/lintian.txt"
    packaging/validate-deb.sh "$deb" "$out/lintian.txt"
    echo "deb: $deb ($(dpkg-deb -f "$deb" Installed-Size) KiB installed)"
}

case "${1:-}" in
    demo) demo ;;
    test) run_tests ;;
    build) build ;;
    vm) vm_tests ;;
    fuzz) fuzz ;;
    deb) deb ;;
    setup) setup ;;
    *) echo "usage: $0 demo|test|build|vm|fuzz|deb|setup" >&2; exit 2 ;;
esac
