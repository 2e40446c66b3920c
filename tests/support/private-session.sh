#!/bin/sh
# private-session.sh TEST [ARGS...]
# Runs a test on a D-Bus session bus of its own with an unlocked Secret Service (gnome-keyring,
# started before anything asks it for a secret: started by bus activation instead, it would
# have no collection to store into). The keyring lives in a throw-away folder. With
# VELL_KEYRING=empty it is started without unlocking, so it has no "login" collection.
# VELL_BUS_SERVICES names a folder of the bus's service files where a test may put its own
# (then asking the bus to ReloadConfig).
# The system bus is never the machine's: it points at nothing, so the application sees neither
# sleep nor network changes, unless VELL_SYSTEM_BUS=1 asks for a private one of its own, where
# the test itself plays the system's services.
set -u
if [ -z "${VELL_PRIVATE_SESSION:-}" ]; then
  dir=$(mktemp -d "${TMPDIR:-/tmp}/vell-session.XXXXXX") || exit 1
  # Exported before the bus starts, so that services it activates see them too.
  export HOME="$dir/home" XDG_DATA_HOME="$dir/home/.local/share" \
         XDG_CONFIG_HOME="$dir/home/.config" XDG_CACHE_HOME="$dir/home/.cache" \
         XDG_RUNTIME_DIR="$dir/run" VELL_PRIVATE_SESSION=1 \
         XDG_DATA_DIRS="$dir/share:${XDG_DATA_DIRS:-/usr/local/share:/usr/share}" \
         VELL_BUS_SERVICES="$dir/share/dbus-1/services" \
         DBUS_SYSTEM_BUS_ADDRESS="unix:path=$dir/no-system-bus"
  mkdir -p "$HOME" "$VELL_BUS_SERVICES" && mkdir -m 700 "$XDG_RUNTIME_DIR"
  system_bus=
  if [ "${VELL_SYSTEM_BUS:-}" = 1 ]; then
    # A second bus with the session bus's rules: anyone may own the system's service names.
    exec 3<>"$dir/system-bus"
    dbus-daemon --session --fork --nopidfile --address="unix:path=$dir/system_bus_socket" \
      --print-pid=3 || exit 1
    system_bus=$(head -n 1 "$dir/system-bus")
    exec 3>&-
    export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$dir/system_bus_socket"
  fi
  dbus-run-session -- "$0" "$@"
  rc=$?
  [ -n "$system_bus" ] && kill "$system_bus"
  rm -rf "$dir"
  exit $rc
fi

if [ "${VELL_KEYRING:-}" = empty ]; then
  gnome-keyring-daemon --foreground --components=secrets </dev/null \
    >"$XDG_RUNTIME_DIR/keyring.log" 2>&1 &
else
  printf %s test | gnome-keyring-daemon --foreground --unlock --components=secrets \
    >"$XDG_RUNTIME_DIR/keyring.log" 2>&1 &
fi
keyring=$!
trap 'kill $keyring 2>/dev/null; wait $keyring 2>/dev/null' EXIT
i=0
until dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
      org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null | grep -q true; do
  i=$((i + 1))
  if [ $i -gt 400 ]; then
    echo "private-session: the Secret Service did not start:" >&2
    cat "$XDG_RUNTIME_DIR/keyring.log" >&2
    exit 1
  fi
  sleep 0.05
done
"$@"
