#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the corvane package on this machine as a user would, checks that
# everything is in its place, runs each program from the installed files, then
# purges the package and checks that nothing of it is left.
#   packaging/check-deb.sh [DEB]     without DEB, ./corvane.sh deb builds one first
# It installs and purges "corvane": meant for CI and throw-away machines, and
# refuses to run where corvane is already installed (outside CI).
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

deb=${1:-}
if [ -z "$deb" ]; then
    ./corvane.sh deb
    deb=${DEB_DIR:-build-deb}/corvane_$(dpkg-parsechangelog -S Version)_amd64.deb
fi
deb=$(realpath "$deb")
if dpkg-query -W -f='${Status}' corvane 2>/dev/null | grep -q 'ok installed' && [ "${CI:-}" != true ]; then
    echo "check-deb: corvane is installed here; this check would purge it. Remove it first." >&2
    exit 2
fi

scratch=$(mktemp -d)
# The programs run as this user but must leave no trace in its home.
export HOME=$scratch/home XDG_CONFIG_HOME=$scratch/home/.config XDG_DATA_HOME=$scratch/home/.local/share
export XDG_STATE_HOME=$scratch/home/.local/state XDG_CACHE_HOME=$scratch/home/.cache
export XDG_RUNTIME_DIR=$scratch/runtime QT_QPA_PLATFORM=offscreen
mkdir -p "$HOME" && mkdir -m 700 "$XDG_RUNTIME_DIR"

installed=0
purge() {
    [ "$installed" = 1 ] || return 0
    installed=0
    as_root env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq corvane >/dev/null
}
trap 'purge; rm -rf "$scratch"' EXIT

failures=()
step() {
    local name=$1; shift
    echo "--- $name"
    if "$@"; then echo "ok: $name"; else echo "FAILED: $name"; failures+=("$name"); fi
}

as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb"
installed=1
dpkg -L corvane | sort >"$scratch/files"
echo "check-deb: installed $(basename "$deb"), $(dpkg-query -W -f='${Installed-Size}' corvane) KiB"

# A path of the package matching an extended regular expression, whose file
# contains TEXT when given.
has_file() {
    local pattern=$1 text=${2:-} path
    while read -r path; do
        [ -f "$path" ] || continue
        if [ -z "$text" ] || grep -q -- "$text" "$path"; then return 0; fi
    done < <(grep -E "^${pattern}\$" "$scratch/files")
    echo "missing: a file matching $pattern${text:+ containing \"$text\"}" >&2
    return 1
}

files_in_place() {
    local ok=0 p
    for p in corvane corvanectl corvane-agent corvane-widget; do
        [ -x "/usr/bin/$p" ] || { echo "missing: /usr/bin/$p" >&2; ok=1; }
    done
    has_file '/usr/(lib|libexec)/.*corvane-helper' || ok=1
    has_file /usr/share/applications/com.tarnholm.Corvane.desktop 'Exec=corvane' || ok=1
    has_file '/usr/share/applications/.*\.desktop' 'Exec=corvane-widget' || ok=1
    has_file '/etc/xdg/autostart/.*\.desktop' 'corvane-agent' || ok=1
    has_file /usr/share/metainfo/com.tarnholm.Corvane.metainfo.xml || ok=1
    has_file /usr/share/icons/hicolor/scalable/apps/com.tarnholm.Corvane.svg || ok=1
    has_file /usr/lib/systemd/user/corvane-agent.service || ok=1
    has_file '/usr/lib/systemd/user-preset/.*\.preset' 'enable corvane-agent.service' || ok=1
    has_file '/usr/share/dbus-1/services/.*\.service' 'corvane-agent' || ok=1
    has_file '/usr/share/dbus-1/system-services/.*\.service' 'corvane-helper' || ok=1
    has_file '/usr/share/dbus-1/system\.d/.*\.conf' || ok=1
    has_file '/usr/lib/systemd/system/.*\.service' 'corvane-helper' || ok=1
    has_file '/usr/share/polkit-1/actions/.*\.policy' || ok=1
    has_file '/usr/share/.*[Mm]anual.*\.pdf' || ok=1
    has_file '/usr/share/corvane/drive-logos/.*\.png' || ok=1
    has_file '/usr/share/corvane/logo-catalogue/.*' || ok=1
    has_file /usr/share/corvane/demo/registry.json || ok=1
    # The preset was applied on installation: the agent starts at every login.
    local state
    state=$(systemctl --global is-enabled corvane-agent.service 2>&1) || true
    [ "$state" = enabled ] || { echo "corvane-agent.service is \"$state\" for all users, not enabled" >&2; ok=1; }
    return $ok
}

ctl_version() {
    local out
    out=$(corvanectl --version) || return 1
    echo "$out"
    grep -q "$(dpkg-query -W -f='${Version}' corvane)" <<<"$out" \
        || { echo "corvanectl --version does not name the package's version" >&2; return 1; }
}

ctl_list() {
    local out
    out=$(corvanectl list --recorded /usr/share/corvane/demo) || return 1
    echo "$out"
    local drive
    for drive in sda sdb nvme1n1; do
        grep -qw "$drive" <<<"$out" || { echo "the demo drive $drive is not listed" >&2; return 1; }
    done
}

export_pdf() {
    mkdir -p "$scratch/report" && cd "$scratch/report"
    local rc=0
    corvane --recorded /usr/share/corvane/demo --export-pdf sdb report.pdf || rc=$?
    cd "$ROOT"
    [ "$rc" = 0 ] || return 1
    [ "$(head -c 5 "$scratch/report/report.pdf")" = "%PDF-" ] \
        || { echo "report.pdf is not a PDF" >&2; return 1; }
    echo "report.pdf: $(stat -c %s "$scratch/report/report.pdf") bytes"
}

widget_render() {
    local png=$scratch/widget.png
    corvane-widget --render medium "$png" --data "$ROOT/data/widget/demo-data.json" || return 1
    # PNG signature, then the IHDR chunk's width and height (medium: 364 x 170).
    [ "$(od -An -tx1 -N8 "$png" | tr -d ' \n')" = 89504e470d0a1a0a ] \
        || { echo "widget.png is not a PNG" >&2; return 1; }
    local size
    size=$(od -An -tu1 -j16 -N8 "$png" | awk '{print $3*256+$4 "x" $7*256+$8}')
    [ "$size" = 364x170 ] || { echo "widget.png is $size, not 364x170" >&2; return 1; }
}

nothing_left() {
    purge
    local left=0 path owner
    while read -r path; do
        [ "$path" = /. ] && continue
        if [ -L "$path" ] || { [ -e "$path" ] && [ ! -d "$path" ]; }; then
            echo "left after purge: $path" >&2; left=1
        elif [ -d "$path" ] && ! owner=$(dpkg-query -S "$path" 2>/dev/null); then
            echo "left after purge: the folder $path" >&2; left=1
        fi
    done <"$scratch/files"
    # What the maintainer scripts made: the unit's enablement and its state file.
    local extra
    for extra in /etc/systemd/user/*/corvane-agent.service \
                 /var/lib/systemd/deb-systemd-user-helper-enabled/corvane-agent.service.dsh-also; do
        [ -e "$extra" ] || [ -L "$extra" ] || continue
        echo "left after purge: $extra" >&2; left=1
    done
    return $left
}

step "files in place" files_in_place
step "corvanectl --version" ctl_version
step "corvanectl list --recorded" ctl_list
step "corvane --export-pdf" export_pdf
step "corvane-widget --render" widget_render
step "purge leaves nothing" nothing_left

if [ ${#failures[@]} -gt 0 ]; then
    printf 'check-deb: %d step(s) failed:' ${#failures[@]}; printf ' "%s"' "${failures[@]}"; echo
    exit 1
fi
echo "check-deb: all steps passed"
