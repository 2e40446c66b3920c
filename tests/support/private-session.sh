#!/bin/sh
# private-session.sh TEST [ARGS...]
# Runs a test on a D-Bus session bus of its own with an unlocked Secret Service (gnome-keyring,
# started before anything asks it for a secret: started by bus activation instead, it would
# have no collection to store into). The keyring lives in a throw-away folder. With
# VELL_KEYRING=empty it is started without unlocking, so it has no "login" collection.
# VELL_BUS_SERVICES names a folder of the bus's service files where a test may put its own
# (then asking the bus to ReloadConfig).
set -u
if [ -z "${VELL_PRIVATE_SESSION:-}" ]; then
  dir=$(mktemp -d "${TMPDIR:-/tmp}/vell-session.XXXXXX") || exit 1
  # Exported before the bus starts, so that services it activates see them too.
  export HOME="$dir/home" XDG_DATA_HOME="$dir/home/.local/share" \
         XDG_CONFIG_HOME="$dir/home/.config" XDG_CACHE_HOME="$dir/home/.cache" \
         XDG_RUNTIME_DIR="$dir/run" VELL_PRIVATE_SESSION=1 \
         XDG_DATA_DIRS="$dir/share:${XDG_DATA_DIRS:-/usr/local/share:/usr/share}" \
         VELL_BUS_SERVICES="$dir/share/dbus-1/services"
  mkdir -p "$HOME" "$VELL_BUS_SERVICES" && mkdir -m 700 "$XDG_RUNTIME_DIR"
  dbus-run-session -- "$0" "$@"
  rc=$?
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
