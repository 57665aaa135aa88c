#!/bin/sh
# Runs test programs against gnome-keyring's Secret Service in a private D-Bus
# session with a throw-away home, then stops both. The programs read
# QM_KEYCHAIN_BACKEND=secret-service; if the daemon truly cannot be started they
# get QM_KEYCHAIN_UNAVAILABLE with the reason instead and skip.
# QM_KEYRING_SETUP=absent starts the daemon with no keyring at all (no default
# collection); QM_KEYRING_SETUP=lockedstart first runs the programs with
# QM_KEYRING_SETUP=prepare against an unlocked login keyring in a session of its own,
# then again in a new session whose daemon D-Bus activation starts, with that keyring
# locked from the start (as after a reboot); otherwise a login keyring is made and unlocked.
set -u

if [ "${1:-}" != "--inside" ]; then
    work=$(mktemp -d "${TMPDIR:-/tmp}/qm-keyring.XXXXXX") || exit 1
    trap 'rm -rf "$work"' EXIT INT TERM
    mkdir -p "$work/data" "$work/config" "$work/cache" "$work/run"
    chmod 700 "$work/run"
    export HOME="$work" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config"
    export XDG_CACHE_HOME="$work/cache" XDG_RUNTIME_DIR="$work/run"
    unset DBUS_SESSION_BUS_ADDRESS DISPLAY WAYLAND_DISPLAY GNOME_KEYRING_CONTROL
    if ! command -v dbus-run-session >/dev/null 2>&1; then
        export QM_KEYCHAIN_UNAVAILABLE="dbus-run-session is not installed"
        status=0
        for program in "$@"; do "$program" || status=1; done
        exit $status
    fi
    # The bus lives as long as the inner shell; the daemon leaves with the bus.
    if [ "${QM_KEYRING_SETUP:-}" = lockedstart ]; then
        QM_KEYRING_SETUP=prepare dbus-run-session -- sh "$0" --inside "$@" 2>"$work/prepare.log" ||
            { cat "$work/prepare.log" >&2; exit 1; }
    fi
    dbus-run-session -- sh "$0" --inside "$@" 2>"$work/session.log"
    status=$?
    grep -v "Failed to set fd limit" "$work/session.log" >&2
    exit $status
fi
shift

reason=""
if ! command -v gnome-keyring-daemon >/dev/null 2>&1; then
    reason="gnome-keyring-daemon is not installed"
elif [ "${QM_KEYRING_SETUP:-}" = absent ] || [ "${QM_KEYRING_SETUP:-}" = lockedstart ]; then
    # Started on the first call by D-Bus activation; any store here would create a keyring
    # (absent), and the keyring an earlier session made stays locked (lockedstart).
    :
elif ! printf 'quillmark-test' | gnome-keyring-daemon --unlock --components=secrets >/dev/null; then
    reason="gnome-keyring-daemon did not start"
elif command -v secret-tool >/dev/null 2>&1; then
    # An independent client checks that the service answers before our code is judged.
    if ! printf 'ready' | timeout 20 secret-tool store --label=check qm-check ready ||
        [ "$(timeout 20 secret-tool lookup qm-check ready)" != "ready" ]; then
        reason="the Secret Service does not answer"
    fi
    timeout 20 secret-tool clear qm-check ready >/dev/null 2>&1
fi

if [ -n "$reason" ]; then
    echo "gnome-keyring unavailable: $reason" >&2
    export QM_KEYCHAIN_UNAVAILABLE="$reason"
else
    export QM_KEYCHAIN_BACKEND=secret-service
fi

status=0
for program in "$@"; do
    "$program" || status=1
done
exit $status
