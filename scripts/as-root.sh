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
