#!/usr/bin/env bash
# Installs what building and testing the four presets needs on Debian 12:
# compilers (host and both ARM cross compilers), CMake, GoogleTest, Google
# Benchmark, CLI11 and toml++ (host tools), qemu-user, and the ARM iconv
# modules that qemu runs need.
# Idempotent: installs only what is missing, and needs root only then.
set -euo pipefail

REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export DEBIAN_FRONTEND=noninteractive

PACKAGES=(build-essential cmake libgtest-dev libbenchmark-dev libcli11-dev libtomlplusplus-dev
          g++-arm-linux-gnueabihf g++-arm-linux-gnueabi qemu-user binutils tshark)
# triplet:dpkg-architecture of the two ARM targets
ARM_TARGETS=(arm-linux-gnueabihf:armhf arm-linux-gnueabi:armel)
# The cross sysroots ship no gconv modules, so iconv_open fails under qemu.
# libc6 of each ARM architecture is downloaded and only its gconv folder is
# kept here; the toolchain files hand it to qemu as GCONV_PATH. Nothing is
# installed into the system for it.
GCONV_CACHE="$REPO/.cache/gconv"

say() { printf 'setup: %s\n' "$*"; }

installed() {
    [ "$(dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null)" = installed ]
}

gconv_ready() {  # $1 = triplet
    local dir="$GCONV_CACHE/$1"
    [ -f "$dir/gconv-modules" ] && [ -f "$dir/GB18030.so" ] && [ -f "$dir/UTF-16.so" ]
}

need_root() {
    if [ "$(id -u)" -ne 0 ]; then
        say "missing: $*; run this script as root to install it" >&2
        exit 1
    fi
}

APT_UPDATED=0
apt_update() {
    if [ "$APT_UPDATED" -eq 0 ]; then
        say "apt-get update"
        apt-get update -qq
        APT_UPDATED=1
    fi
}

install_packages() {
    local missing=()
    for p in "${PACKAGES[@]}"; do
        installed "$p" || missing+=("$p")
    done
    [ "${#missing[@]}" -eq 0 ] && return 0
    need_root "${missing[*]}"
    apt_update
    # tshark's wireshark-common would ask whether non-root users may capture.
    echo "wireshark-common wireshark-common/install-setuid boolean false" | debconf-set-selections
    say "installing ${missing[*]}"
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

fetch_gconv() {  # $1 = triplet, $2 = dpkg architecture
    local triplet=$1 arch=$2 tmp
    say "fetching libc6:$arch for its gconv modules"
    tmp=$(mktemp -d)
    # apt drops root for downloads; let its user write the folder.
    chown _apt "$tmp" 2>/dev/null || true
    (cd "$tmp" && apt-get download -qq "libc6:$arch" >/dev/null)
    dpkg -x "$tmp"/libc6_*.deb "$tmp/root"
    rm -rf "${GCONV_CACHE:?}/$triplet"
    mkdir -p "$GCONV_CACHE"
    mv "$tmp/root/usr/lib/$triplet/gconv" "$GCONV_CACHE/$triplet"
    rm -rf "$tmp"
    gconv_ready "$triplet" || { say "gconv modules for $triplet incomplete" >&2; exit 1; }
}

install_gconv() {
    local todo=() t arch
    for t in "${ARM_TARGETS[@]}"; do
        gconv_ready "${t%%:*}" || todo+=("$t")
    done
    [ "${#todo[@]}" -eq 0 ] && return 0
    need_root "gconv modules for ${todo[*]%%:*}"
    # apt only knows packages of architectures dpkg was told about.
    for t in "${todo[@]}"; do
        arch=${t##*:}
        if ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
            dpkg --add-architecture "$arch"
            APT_UPDATED=0
        fi
    done
    apt_update
    for t in "${todo[@]}"; do
        fetch_gconv "${t%%:*}" "${t##*:}"
    done
}

install_packages
install_gconv
say "ready (gconv modules in $GCONV_CACHE)"
