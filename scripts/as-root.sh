# Sourced by the provisioning scripts. `as_root command...` runs one command as root: directly
# when this process is root, through sudo otherwise. Only the steps that install something call
# it, so on a provisioned machine an ordinary user never needs root.
as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null 2>&1; then
        sudo "$@"
    else
        printf '%s: error: must run as root (or with sudo available) to run: %s\n' \
            "$(basename "$0" .sh)" "$*" >&2
        exit 1
    fi
}

# `require_root what` makes sure, before any work, that the steps to come can run as root:
# nothing when this process is root, else sudo asks for its password now, once. Without root
# the script stops here with one error, saying what needed it.
require_root() {
    [ "$(id -u)" -ne 0 ] || return 0
    if command -v sudo >/dev/null 2>&1 && sudo -v; then
        return 0
    fi
    printf '%s: error: %s needs root: run it as root or as a user who may use sudo (sudo make provision)\n' \
        "$(basename "$0" .sh)" "$1" >&2
    exit 1
}
