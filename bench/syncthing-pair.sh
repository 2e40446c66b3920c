#!/usr/bin/env bash
# Two machines on one host: two VellSSH daemons, each with its own data, configuration and
# session bus, and two Syncthing instances keeping their sync folders in step over loopback.
# Each round adds a profile on the first machine and times it to the second one's store:
#   journaled  the first daemon wrote the journal line into its folder
#   crossed    Syncthing put the line into the second folder
#   applied    the second daemon's store holds the profile
#
#   bench/syncthing-pair.sh [BIN-DIR] [ROUNDS]     (BIN-DIR: build-release/bin by default)
#
# Needs python3 and curl; installs syncthing when it is missing.
set -euo pipefail

bin=$(realpath "${1:-build-release/bin}")
rounds=${2:-5}
for program in vellssh vellssh-cli; do
  [[ -x "$bin/$program" ]] || { echo "no $bin/$program: build first" >&2; exit 2; }
done
if ! command -v syncthing >/dev/null; then
  sudo=()
  [[ $(id -u) -eq 0 ]] || sudo=(sudo)
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq syncthing >/dev/null
fi

root=$(mktemp -d /tmp/vell-syncthing.XXXXXX)
pids=()
# Every background program leads a process group of its own, ended whole.
finish() {
  for pid in "${pids[@]}"; do kill -- "-$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$root"
}
trap finish EXIT

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}
now_ms() { date +%s%3N; }

# Waits up to 60 s for a command to succeed.
wait_for() {
  local deadline=$(($(now_ms) + 60000))
  until "$@" >/dev/null 2>&1; do
    (($(now_ms) < deadline)) || return 1
    sleep 0.02
  done
}

# Syncthing homes, ids and ports.
declare -A id gui listen
for side in 1 2; do
  syncthing generate --home="$root/st$side" --no-default-folder --skip-port-probing \
    >"$root/st$side.generate" 2>&1
  id[$side]=$(sed -n 's/^Device ID: *//p' "$root/st$side.generate" | head -1)
  [[ -n "${id[$side]}" ]] || id[$side]=$(grep -o '<device id="[^"]*"' "$root/st$side/config.xml" \
    | head -1 | cut -d'"' -f2)
  gui[$side]=$(free_port)
  listen[$side]=$(free_port)
  mkdir -p "$root/folder$side/.stfolder"
done

# Loopback only: no discovery, relays, NAT or reporting; the folder shared with the other side,
# watched with the shortest delay Syncthing allows.
configure() {
  local side=$1 other=$2
  python3 - "$root/st$side/config.xml" "${id[$side]}" "${id[$other]}" "${gui[$side]}" \
    "${listen[$side]}" "${listen[$other]}" "$root/folder$side" <<'EOF'
import sys, xml.etree.ElementTree as ET
path, me, peer, gui, listen, peer_listen, folder = sys.argv[1:]
tree = ET.parse(path)
conf = tree.getroot()
conf.find('gui/address').text = f'127.0.0.1:{gui}'
options = conf.find('options')
for name, value in {'listenAddress': f'tcp://127.0.0.1:{listen}',
                    'globalAnnounceEnabled': 'false', 'localAnnounceEnabled': 'false',
                    'relaysEnabled': 'false', 'natEnabled': 'false', 'startBrowser': 'false',
                    'urAccepted': '-1', 'crashReportingEnabled': 'false',
                    'autoUpgradeIntervalH': '0'}.items():
    element = options.find(name)
    if element is None:
        element = ET.SubElement(options, name)
    element.text = value
device = ET.SubElement(conf, 'device', id=peer, name='peer', compression='metadata')
ET.SubElement(device, 'address').text = f'tcp://127.0.0.1:{peer_listen}'
shared = ET.Element('folder', id='vellssh', label='vellssh', path=folder, type='sendreceive',
                    rescanIntervalS='60', fsWatcherEnabled='true', fsWatcherDelayS='1')
for member in (me, peer):
    ET.SubElement(shared, 'device', id=member)
conf.insert(0, shared)
tree.write(path)
EOF
}
configure 1 2
configure 2 1

for side in 1 2; do
  STNOUPGRADE=1 setsid syncthing serve --home="$root/st$side" --no-browser --no-restart \
    >"$root/st$side.log" 2>&1 &
  pids+=($!)
done

# Each VellSSH machine: its own home and folders, a daemon on a bus of its own, sync on.
machine() {
  local side=$1
  shift
  env HOME="$root/home$side" XDG_DATA_HOME="$root/home$side/data" \
    XDG_CONFIG_HOME="$root/home$side/config" XDG_RUNTIME_DIR="$root/home$side/run" \
    VELLSSH_TEST_REAL_HOME="$root/home$side" "$@"
}
for side in 1 2; do
  mkdir -p "$root/home$side/run" && chmod 700 "$root/home$side/run"
  machine $side "$bin/vellssh-cli" sync folder "$root/folder$side"
  setsid bash -c "$(declare -f machine); root='$root' machine $side dbus-run-session -- \
    '$bin/vellssh' --headless" >"$root/vellssh$side.log" 2>&1 &
  pids+=($!)
done

connected() {
  curl -fs -H "X-API-Key: $(grep -o '<apikey>[^<]*' "$root/st1/config.xml" | cut -d'>' -f2)" \
    "http://127.0.0.1:${gui[1]}/rest/system/connections" | grep -q '"connected": *true'
}
wait_for connected || { echo "the two Syncthing instances did not connect" >&2; exit 1; }

journal_has() { grep -rqs --exclude='.*' "$2" "$root/folder$1/devices"; }
stored_on_second() { machine 2 "$bin/vellssh-cli" show "$1"; }

echo "round  journaled_ms  crossed_ms  applied_ms  total_ms"
totals=()
for round in $(seq "$rounds"); do
  name="crossing $round $RANDOM"
  start=$(now_ms)
  machine 1 "$bin/vellssh-cli" add --name "$name" --host "h$round" --user u >/dev/null
  wait_for journal_has 1 "$name" || { echo "round $round: never journaled" >&2; exit 1; }
  journaled=$(now_ms)
  wait_for journal_has 2 "$name" || { echo "round $round: never crossed" >&2; exit 1; }
  crossed=$(now_ms)
  wait_for stored_on_second "$name" || { echo "round $round: never applied" >&2; exit 1; }
  applied=$(now_ms)
  totals+=($((applied - start)))
  printf '%5d  %12d  %10d  %10d  %8d\n' "$round" $((journaled - start)) \
    $((crossed - journaled)) $((applied - crossed)) $((applied - start))
done
median=$(printf '%s\n' "${totals[@]}" | sort -n | sed -n "$(((rounds + 1) / 2))p")
echo "median total: $median ms"
