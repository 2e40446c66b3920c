#!/bin/sh
# installcheck.sh BUILD_DIR VERSION PREFIX BINDIR LIBEXECDIR DATADIR MANDIR UNITDIR
# Installs the build into a throw-away DESTDIR, as the Debian package does, and checks what
# the desktop, the service manager and the bus will read there. The folders after PREFIX are
# relative to it.
set -eu
build=$1 version=$2 prefix=$3 bindir=$4 libexecdir=$5 datadir=$6 mandir=$7 unitdir=$8
root=$(mktemp -d "${TMPDIR:-/tmp}/vell-install.XXXXXX")
trap 'rm -rf "$root"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
# The line of FILE that starts with KEY=, exactly as installed.
line() {
  grep -x "$2=.*" "$1" || true
}

DESTDIR=$root cmake --install "$build" >"$root/install.log" 2>&1 ||
  { cat "$root/install.log" >&2; exit 1; }
tree=$root$prefix
share=$tree/$datadir

for program in "$bindir/vellssh" "$bindir/vellssh-cli" "$libexecdir/vellssh/vellssh-service" \
               "$libexecdir/vellssh/vellssh-askpass"; do
  [ -x "$tree/$program" ] || fail "$program is not installed as a program"
done
for file in "$datadir/applications/io.vellssh.VellSSH.desktop" \
            "$datadir/metainfo/io.vellssh.VellSSH.metainfo.xml" \
            "$datadir/icons/hicolor/scalable/apps/io.vellssh.VellSSH.svg" \
            "$datadir/mime/packages/io.vellssh.VellSSH.xml" \
            "$datadir/dbus-1/services/io.vellssh.Tunnel.service" \
            "$unitdir/vellssh.service" \
            "$mandir/man1/vellssh.1"; do
  [ -f "$tree/$file" ] || fail "$file is not installed"
done

desktop=$share/applications/io.vellssh.VellSSH.desktop
desktop-file-validate "$desktop" || fail "the desktop entry does not validate"
[ "$(line "$desktop" Exec | head -n 1)" = "Exec=vellssh %F" ] || fail "the desktop entry's Exec"
for type in $(xmllint --xpath '//*[local-name()="mime-type"]/@type' \
                "$share/mime/packages/io.vellssh.VellSSH.xml" | sed 's/ *type="\([^"]*\)"/\1 /g'); do
  grep -q "^MimeType=.*$type;" "$desktop" || fail "the desktop entry does not open $type"
done
grep -qx 'Exec=vellssh-cli connect --pinned --no-wait' "$desktop" ||
  fail "the action that connects the pinned tunnels"
grep -qx 'Exec=vellssh-cli disconnect --all --no-wait' "$desktop" ||
  fail "the action that disconnects all tunnels"

metainfo=$share/metainfo/io.vellssh.VellSSH.metainfo.xml
appstreamcli validate --no-net "$metainfo" >/dev/null || fail "the metainfo does not validate"
grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo's release is not $version"
xmllint --noout "$share/icons/hicolor/scalable/apps/io.vellssh.VellSSH.svg" ||
  fail "the icon is no well-formed SVG"

unit=$tree/$unitdir/vellssh.service
[ "$(line "$unit" ExecStart)" = "ExecStart=$prefix/$bindir/vellssh --headless" ] ||
  fail "the unit starts $(line "$unit" ExecStart)"
[ "$(line "$unit" Type)" = "Type=notify" ] || fail "the unit is not a notify unit"
[ "$(line "$unit" Restart)" = "Restart=on-failure" ] || fail "the unit's restart"
bus=$share/dbus-1/services/io.vellssh.Tunnel.service
[ "$(line "$bus" Exec)" = "Exec=$prefix/$bindir/vellssh --background" ] || fail "the bus starts $(line "$bus" Exec)"
[ "$(line "$bus" Name)" = "Name=io.vellssh.Tunnel" ] || fail "the bus service's name"
# The bus starts the desktop application where there is a display, not the unit.
[ -z "$(line "$bus" SystemdService)" ] || fail "the bus service starts the unit"

man --warnings -l "$tree/$mandir/man1/vellssh.1" 2>&1 >/dev/null | grep . >&2 &&
  fail "the man page has formatting problems"

for program in "$bindir/vellssh" "$libexecdir/vellssh/vellssh-service" \
               "$libexecdir/vellssh/vellssh-askpass"; do
  name=${program##*/}
  [ "$("$tree/$program" --version </dev/null)" = "$name $version" ] ||
    fail "$program --version"
done

[ "$failures" -eq 0 ]
