#!/usr/bin/env bash
# Installs CPython 3.14 (interpreter, headers, venv) into a machine-wide prefix
# and puts python3.14 / python3.14-config wrappers into /usr/local/bin.
#
# The host's Debian release ships no 3.14, so the interpreter and its runtime
# libraries, C library included, come from the Debian archive's unstable/testing
# binary packages. They are unpacked into the prefix and patched to load that
# C library; the system's own packages and apt state are never touched.
#
# Idempotent: when the prefix already holds a working interpreter this only
# makes sure the wrappers exist, and returns within a fraction of a second;
# root is needed only for what is missing.
#
# Environment: PELVANE_PYTHON_PREFIX (default /opt/python3.14),
#              PELVANE_WRAPPER_DIR (default /usr/local/bin).
set -euo pipefail

PREFIX="${PELVANE_PYTHON_PREFIX:-/opt/python3.14}"
WRAPPER_DIR="${PELVANE_WRAPPER_DIR:-/usr/local/bin}"
PY="$PREFIX/usr/bin/python3.14"
SOURCES="/etc/apt/sources.list.d/debian.sources"

log() { printf 'provision-python: %s\n' "$*" >&2; }
die() { log "error: $*"; exit 1; }

# Root only for what has to be installed.
# shellcheck source=scripts/as-root.sh
. "$(dirname "$0")/as-root.sh"

# A working install: right version, the modules builds and venvs need, headers.
smoke_test() {
    [ -x "$PY" ] || return 1
    "$PY" - <<'EOF' >/dev/null 2>&1
import os, sys, ssl, zlib, venv, sysconfig
assert sys.version_info[:2] == (3, 14), sys.version
assert os.path.isfile(os.path.join(sysconfig.get_paths()["include"], "Python.h"))
EOF
}

write_wrappers() {
    local name target
    for name in python3.14 python3.14-config; do
        target="$PREFIX/usr/bin/$name"
        [ -e "$target" ] || continue
        local want
        # Wrappers, not symlinks: python3.14-config finds its prefix from its own
        # folder, and `venv --copies` resolves through a symlink.
        want=$(printf '#!/bin/sh\nexec %s "$@"\n' "$target")
        if [ ! -x "$WRAPPER_DIR/$name" ] || [ "$(cat "$WRAPPER_DIR/$name" 2>/dev/null)" != "$want" ]; then
            printf '%s\n' "$want" | as_root tee "$WRAPPER_DIR/$name" >/dev/null
            as_root chmod 0755 "$WRAPPER_DIR/$name"
        fi
    done
}

if smoke_test; then
    write_wrappers
    exit 0
fi

# Several builds may start at once on one machine: one installs, the others wait.
# The lock file may belong to another user: then it is opened for reading, which flock allows.
LOCK="/tmp/pelvane-provision-python.lock"
if [ -w "$LOCK" ] || [ ! -e "$LOCK" ]; then exec 9>>"$LOCK"; else exec 9<"$LOCK"; fi
flock 9
if smoke_test; then
    write_wrappers
    exit 0
fi

# Root is asked for before anything is fetched.
require_root "installing CPython 3.14 into $PREFIX"
start=$(date +%s)
log "installing CPython 3.14 into $PREFIX"

# Tools: patchelf from the machine's own suite; dpkg-deb and readelf are part of
# any Debian build machine.
missing=()
command -v patchelf >/dev/null 2>&1 || missing+=(patchelf)
command -v readelf >/dev/null 2>&1 || missing+=(binutils)
command -v dpkg-deb >/dev/null 2>&1 || die "dpkg-deb is required (a Debian-based machine)"
if [ ${#missing[@]} -gt 0 ]; then
    as_root apt-get update -q >/dev/null
    as_root env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null
fi

# The archive address and keyring come from the machine's own apt sources: the
# first deb stanza that names a plain suite (not -security or -updates).
read_archive_source() {
    awk '
        function flush() {
            if (types ~ /(^| )deb( |$)/ && plain && uri != "" && !found) {
                print uri "\t" key; found = 1
            }
            types = ""; uri = ""; key = ""; plain = 0
        }
        /^[ \t]*$/ { flush(); next }
        /^[ \t]*#/ { next }
        /^Types:/ { sub(/^Types:[ \t]*/, ""); types = $0; next }
        /^URIs:/ { sub(/^URIs:[ \t]*/, ""); split($0, u, /[ \t]+/); uri = u[1]; next }
        /^Signed-By:/ { sub(/^Signed-By:[ \t]*/, ""); key = $0; next }
        /^Suites:/ {
            sub(/^Suites:[ \t]*/, ""); n = split($0, s, /[ \t]+/)
            for (i = 1; i <= n; i++) if (s[i] != "" && s[i] !~ /-/) plain = 1
            next
        }
        END { flush() }
    ' "$SOURCES"
}
[ -r "$SOURCES" ] || die "$SOURCES not found: cannot tell which Debian archive to use"
source_line=$(read_archive_source)
ARCHIVE_URI=${source_line%%$'\t'*}
KEYRING=${source_line#*$'\t'}
[ -n "$ARCHIVE_URI" ] || die "no deb stanza with a plain suite in $SOURCES"
[ -n "$KEYRING" ] && [ -r "$KEYRING" ] || KEYRING=/usr/share/keyrings/debian-archive-keyring.gpg

# Private apt state in a temporary folder; /etc/apt and /var/lib/apt stay as they are.
WORK=$(mktemp -d /tmp/pelvane-python.XXXXXX)
STAGE="$PREFIX.new"
cleanup() {
    rm -rf "$WORK"
    if [ -e "$STAGE" ]; then as_root rm -rf "$STAGE"; fi
}
trap cleanup EXIT
mkdir -p "$WORK/sources" "$WORK/lists/partial" "$WORK/cache/archives/partial" "$WORK/debs"
cat >"$WORK/sources/unstable.sources" <<EOF
Types: deb
URIs: $ARCHIVE_URI
Suites: sid testing
Components: main
Signed-By: $KEYRING
EOF
APT_OPTS=(
    -o Dir::Etc::SourceList=/dev/null
    -o Dir::Etc::SourceParts="$WORK/sources"
    -o Dir::Etc::Preferences=/dev/null
    -o Dir::Etc::PreferencesParts=/dev/null
    -o Dir::State::Lists="$WORK/lists"
    -o Dir::State::status=/dev/null
    -o Dir::Cache="$WORK/cache"
    -o APT::Sandbox::User=root
    -o Acquire::Languages=none
)
log "reading the package lists of sid and testing"
apt-get "${APT_OPTS[@]}" -q update >"$WORK/update.log" 2>&1 || { cat "$WORK/update.log" >&2; die "apt-get update failed"; }

# The packages: the interpreter's own, then their runtime library dependencies
# (first alternative of each, versions dropped), transitively.
ROOTS=(python3.14-minimal libpython3.14-minimal libpython3.14-stdlib python3.14 libpython3.14
       libpython3.14-dev python3.14-dev python3.14-venv python3-pip-whl python3-setuptools-whl)
keep_dependency() {
    case "$1" in
        zlib1g) return 0 ;;
        *-dev | *-dbg | *-doc) return 1 ;;
        lib*-common) return 1 ;;
        lib*) return 0 ;;
        *) return 1 ;;
    esac
}
declare -A seen=()
queue=("${ROOTS[@]}")
packages=()
while [ ${#queue[@]} -gt 0 ]; do
    pkg=${queue[0]}
    queue=("${queue[@]:1}")
    [ -z "${seen[$pkg]:-}" ] || continue
    seen[$pkg]=1
    packages+=("$pkg")
    fields=$(apt-cache "${APT_OPTS[@]}" show --no-all-versions "$pkg" 2>/dev/null \
             | sed -n 's/^\(Pre-\)\{0,1\}Depends: //p') || die "package $pkg not found in the archive"
    [ -n "$fields" ] || apt-cache "${APT_OPTS[@]}" show --no-all-versions "$pkg" >/dev/null 2>&1 \
        || die "package $pkg not found in the archive"
    while IFS= read -r dep; do
        dep=${dep%%|*}
        dep=${dep%%(*}
        dep=${dep%%:*}
        dep=$(printf '%s' "$dep" | tr -d ' \t')
        [ -n "$dep" ] || continue
        if keep_dependency "$dep" && [ -z "${seen[$dep]:-}" ]; then
            queue+=("$dep")
        fi
    done < <(printf '%s\n' "$fields" | tr ',' '\n')
done
log "fetching ${#packages[@]} packages"
(cd "$WORK/debs" && apt-get "${APT_OPTS[@]}" -q download "${packages[@]}" >"$WORK/download.log" 2>&1) \
    || { cat "$WORK/download.log" >&2; die "apt-get download failed"; }

as_root rm -rf "$STAGE"
as_root mkdir -p "$STAGE"
for deb in "$WORK"/debs/*.deb; do
    as_root dpkg-deb -x "$deb" "$STAGE"
done
[ -x "$STAGE/usr/bin/python3.14" ] || die "the unpacked packages hold no usr/bin/python3.14"

# The multiarch library folder (e.g. x86_64-linux-gnu) is where libpython lives.
libpython=$(find "$STAGE/usr/lib" -maxdepth 2 -name 'libpython3.14.so.1.0' | head -n1)
[ -n "$libpython" ] || die "libpython3.14.so.1.0 not found in the unpacked packages"
LIBDIR_REL=${libpython#"$STAGE"/}
LIBDIR_REL=${LIBDIR_REL%/*}
MULTIARCH=${LIBDIR_REL##*/}

# Load the prefix's own C library. RPATH (not RUNPATH) so that the standard
# library's extension modules find the prefix's libraries too. Never
# LD_LIBRARY_PATH: programs started from Python would load the wrong C library.
loader=$(readelf -l "$STAGE/usr/bin/python3.14" | sed -n 's/.*Requesting program interpreter: \(.*\)]/\1/p')
loader_name=${loader##*/}
[ -e "$STAGE/$LIBDIR_REL/$loader_name" ] || die "loader $loader_name not found in $LIBDIR_REL"
as_root patchelf --set-interpreter "$PREFIX/$LIBDIR_REL/$loader_name" \
    --force-rpath --set-rpath "$PREFIX/$LIBDIR_REL" "$STAGE/usr/bin/python3.14"

# pyconfig.h: Debian's top-level one switches on the architecture only; point it
# at the multiarch one so that -I.../include/python3.14 alone works.
if [ -d "$STAGE/usr/include/$MULTIARCH/python3.14" ]; then
    printf '#include "../%s/python3.14/pyconfig.h"\n' "$MULTIARCH" \
        | as_root tee "$STAGE/usr/include/python3.14/pyconfig.h" >/dev/null
fi

# Build-time paths that start with /usr move into the prefix. WHEEL_PKG_DIR
# matters most: without it ensurepip picks the host's older pip wheel.
KEYS='INCLUDEPY|INCLUDEDIR|CONFINCLUDEPY|CONFINCLUDEDIR|LIBDIR|LIBPL|LIBPC|LIBDEST|BINDIR|BINLIBDEST|DESTLIB|DESTSHARED|MACHDESTLIB|SCRIPTDIR|WHEEL_PKG_DIR|datarootdir|MANDIR|EXENAME'
for f in "$STAGE"/usr/lib/python3.14/_sysconfigdata_*.py "$STAGE"/usr/lib/python3.14/_sysconfig_vars_*.json; do
    [ -e "$f" ] || continue
    as_root sed -i -E "s#(['\"]($KEYS)['\"]: *['\"])/usr#\1$PREFIX/usr#" "$f"
done

# Absolute symlinks point into the prefix.
while IFS= read -r -d '' link; do
    target=$(readlink "$link")
    case "$target" in
        /*) as_root ln -sfn "$PREFIX$target" "$link" ;;
    esac
done < <(find "$STAGE" -type l -print0)

# The static library cannot link against the host's C library.
as_root find "$STAGE" -name 'libpython3.14*.a' -delete

as_root rm -rf "$PREFIX"
as_root mv "$STAGE" "$PREFIX"
"$PY" -m compileall -q -j0 "$PREFIX/usr/lib/python3.14" >/dev/null 2>&1 || true

smoke_test || die "the installed interpreter failed its smoke test"
write_wrappers
log "done in $(( $(date +%s) - start )) s: $("$PY" --version) at $PREFIX"
