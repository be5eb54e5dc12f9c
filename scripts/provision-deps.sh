#!/usr/bin/env bash
# Installs the Debian packages that building and testing need. Packages already
# installed are skipped; the package lists are refreshed only when something
# is missing, so a re-run on a provisioned machine takes a fraction of a second
# and needs no root.
set -euo pipefail

log() { printf 'provision-deps: %s\n' "$*" >&2; }

# Root only for what has to be installed.
# shellcheck source=scripts/as-root.sh
. "$(dirname "$0")/as-root.sh"

# Compilers, build tools and libraries of the engine and its tests; the XML
# schema checker and unzip for the tests; patchelf for the Python provisioning;
# ccache, since CI compiles the engine in several build trees; clang-format for
# the formatting check; a presentation program without a display and the PDF
# tools, with which the tests open every edited deck the way a user would.
PACKAGES=(
    g++ make cmake ninja-build pkg-config git
    libzip-dev zlib1g-dev libssl-dev
    libgtest-dev googletest
    libxml2-utils patchelf unzip binutils xz-utils ca-certificates
    ccache clang-format
    libreoffice-impress-nogui poppler-utils fonts-dejavu
)

# The fuzz targets need a clang whose C++23 library support covers
# std::expected with this machine's libstdc++ (clang 16 or newer), plus its
# fuzzer and sanitizer runtimes. Use the newest packaged one.
CLANG_VERSIONS=(21 20 19 18 17 16)

is_installed() {
    [ "$(dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null)" = "installed" ]
}

missing_of() {
    local pkg
    for pkg in "$@"; do
        is_installed "$pkg" || printf '%s\n' "$pkg"
    done
}

updated=0
apt_update() {
    require_root "installing Debian packages"
    if [ "$updated" -eq 0 ]; then
        log "apt-get update"
        as_root apt-get update -q >/dev/null
        updated=1
    fi
}

apt_install() {
    log "installing: $*"
    apt_update
    as_root env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -q --no-install-recommends "$@" >/dev/null
}

start=$(date +%s)
mapfile -t missing < <(missing_of "${PACKAGES[@]}")
if [ ${#missing[@]} -gt 0 ]; then
    apt_install "${missing[@]}"
fi

# clang: keep an installed suitable version, else install the newest candidate.
clang_pkgs=()
for v in "${CLANG_VERSIONS[@]}"; do
    if is_installed "clang-$v" && is_installed "libclang-rt-$v-dev"; then
        clang_pkgs=(done)
        break
    fi
done
if [ ${#clang_pkgs[@]} -eq 0 ]; then
    candidate() { apt-cache policy "$1" 2>/dev/null | sed -n 's/^ *Candidate: //p'; }
    pick=""
    for pass in 1 2; do
        for v in "${CLANG_VERSIONS[@]}"; do
            c=$(candidate "clang-$v")
            r=$(candidate "libclang-rt-$v-dev")
            if [ -n "$c" ] && [ "$c" != "(none)" ] && [ -n "$r" ] && [ "$r" != "(none)" ]; then
                pick=$v
                break 2
            fi
        done
        if [ "$pass" -eq 1 ]; then
            log "no clang 16 or newer is installed"
            apt_update
        fi
    done
    if [ -n "$pick" ]; then
        apt_install "clang-$pick" "libclang-rt-$pick-dev"
    else
        log "warning: no clang 16 or newer is packaged here; fuzz targets cannot be built"
    fi
fi

elapsed=$(( $(date +%s) - start ))
[ "$elapsed" -lt 2 ] || log "done in ${elapsed} s"
