#!/usr/bin/env bash
# A console's view of the node's RDM: OLA's daemon with only its Art-Net plugin on one machine,
# the player on another (two namespaces made inside the private network, so that both have UDP
# 6454). OLA finds the player through its table of devices and gets and sets every parameter
# the player has; a parameter it lacks is refused at once (a NACK OLA reads, not a timeout; which
# values are refused is the responder's test). A start address a console sets is where the
# player listens and is stored; one set in the web remote is what a console reads.
#   rdm_ola_e2e.sh PATH/TO/orvelo OUTPUT_FOLDER
# Exits 77 (skipped) without a private network namespace, olad, curl, nsenter or unshare, or
# when olad (which refuses to run as root) cannot be started as an unprivileged user.
set -u
[ $# -eq 2 ] || { echo "usage: $0 ORVELO_BINARY OUTPUT_FOLDER" >&2; exit 2; }
player=$1 out=$2
source "$(dirname "$0")/../support/machines.sh"
for tool in olad ola_patch ola_rdm_discover ola_rdm_get ola_rdm_set curl nsenter unshare ip setpriv; do
  command -v "$tool" >/dev/null || skip "$tool is missing (apt-get install ola)"
done
unprivileged=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
"${unprivileged[@]}" true 2>/dev/null || skip "cannot run olad as the user nobody"
rm -rf "$out" && mkdir -p "$out/config/Orvelo" "$out/ola" "$out/pids" && chmod 777 "$out/ola" || exit 1

# Two machines, each a network namespace held open by a sleeping process, joined by a cable.
machine console
machine node
sleep 0.2
ip link add rc0 type veth peer name rn0 && ip link set rc0 netns "$console" && ip link set rn0 netns "$node"
in_ns "$console" sh -e -c 'ip link set lo up; ip addr add 10.77.0.1/24 brd + dev rc0; ip link set rc0 up'
in_ns "$node" sh -e -c 'ip link set lo up; ip addr add 10.77.0.2/24 brd + dev rn0; ip link set rn0 up
  ip route add default via 10.77.0.1 dev rn0' || { echo "cannot build the two machines"; exit 1; }

start_player "$node" "$player"
web() { in_ns "$node" curl -s -m 5 "$@"; }
waitlog "ArtNetService: Listening on port 6454" 20 || exit 1
for _ in $(seq 100); do web http://127.0.0.1:8080/api/config/artnet >/dev/null && break; sleep 0.2; done

# OLA: only the Art-Net plugin, on the console's cable. Started after the player, which clears
# its port of other processes on its own machine.
for plugin in dummy e131 espnet ftdidmx gpio karate kinet milinst opendmx openpixelcontrol osc pathport renard \
  sandnet shownet spi stageprofi uartdmx usbdmx usbserial; do
  echo "enabled = false" >"$out/ola/ola-$plugin.conf"
done
printf 'enabled = true\nip = 10.77.0.1\nnet = 0\nsubnet = 0\noutput_ports = 4\nuse_limited_broadcast = false\n' \
  >"$out/ola/ola-artnet.conf"
chmod 666 "$out/ola"/*.conf
in_ns "$console" "${unprivileged[@]}" olad -c "$out/ola" --no-http -l 3 >"$out/olad.log" 2>&1 & pids+=($!)
ola() { in_ns "$console" "$@"; }
for _ in $(seq 50); do ola ola_dev_info 2>/dev/null | grep -q ArtNet && break; sleep 0.2; done
# The daemon is not the process started above (it ends up a child of init): end it by its own id.
pids+=($(pgrep -f -- "olad -c $out/ola"))
device=$(ola ola_dev_info | sed -n 's/^Device \([0-9]*\): ArtNet.*/\1/p' | head -1)
[ -n "$device" ] || { fail "OLA has no Art-Net device"; exit 1; }
ola ola_patch -d "$device" -p 0 -u 0 || fail "cannot patch OLA universe 0"

# OLA's own definitions keep a start address within one universe; the player takes the next ones.
for file in /usr/share/ola/pids/*.proto; do
  awk '/^pid \{/ { name = "" } /^  name: "/ { name = $2 } /set_request \{/ { set = 1 } /set_response/ { set = 0 }
    set && name == "\"DMX_START_ADDRESS\"" { sub(/max: 512$/, "max: 8192") } { print }' "$file" >"$out/pids/$(basename "$file")"
done

uid=$(ola ola_rdm_discover -u 0 --full | grep -i '^7ff0:' | head -1)
[ -n "$uid" ] || { fail "OLA did not discover the player"; exit 1; }
echo "discovered $uid"
# Each request must be answered well before OLA's own timeout.
rdm() { # get|set, arguments...
  local tool=ola_rdm_$1 start
  shift
  start=$(date +%s%N)
  reply=$(ola "$tool" -p "$out/pids" -u 0 --uid "$uid" "$@" 2>&1)
  elapsed=$(( ($(date +%s%N) - start) / 1000000 ))
  [ "$elapsed" -lt 1500 ] || fail "$tool $*: answered after $elapsed ms: $reply"
}
expect() { # what the reply must contain, then get|set and its arguments, or web and a URL
  local want=$1
  shift
  if [ "$1" = web ]; then
    shift
    reply=$(web "$@")
  else
    rdm "$@"
  fi
  # Nothing wanted: an acknowledged SET, which OLA does not print.
  case "$reply" in *"$want"*) [ -n "$want" ] || [ -z "$reply" ] ;; *) false ;; esac &&
    echo "ok: $* -> ${want:-acknowledged}" || fail "$*: expected '$want', got: $reply"
}
setting() { sed -n "s/^$1=//p" "$out/config/Orvelo/Orvelo.conf"; }

expect "Orvelo Media Server" get device_model_description
expect "Orvelo" get manufacturer_label
expect "ORVELONODE V." get software_version_label
expect "ORVELONODE V.2.0" get device_label
expect "0x0082 (device_label)" get supported_parameters
expect "DMX Start Address: 1" get device_info
expect "DMX Address: 1" get dmx_start_address
expect "Identify State: false" get identify_device
expect "Unknown PID" get product_detail_id_list
expect "Unknown PID" set dmx_personality 2

# The start address: where the player listens, and stored.
expect "" set dmx_start_address 10
expect "DMX Address: 10" get dmx_start_address
sleep 0.3
expect '"channel":10,"net":0,"subnet":0,"universe":0' web http://127.0.0.1:8080/api/config/artnet
case "$(setting dmxConfig)" in *'startChannel\":10,'*) ;; *) fail "start channel 10 not stored: $(setting dmxConfig)" ;; esac
# Acknowledged (not a timeout) although the player leaves OLA's universe with it.
expect "" set dmx_start_address 1025
sleep 0.3
expect '"channel":1,"net":0,"subnet":0,"universe":2' web http://127.0.0.1:8080/api/config/artnet
# The web remote moves it back to OLA's universe: a console reads the new channel.
web -X POST -H 'Content-Type: application/json' -d '{"universe":0,"subnet":0,"net":0,"channel":7}' \
  http://127.0.0.1:8080/api/config/artnet >/dev/null
sleep 0.3
expect "DMX Address: 7" get dmx_start_address

# The label: stored and read back.
expect "" set device_label "Stage Left"
expect "Stage Left" get device_label
sleep 0.3
[ "$(setting deviceLabel)" = "Stage Left" ] || fail "label not stored: $(setting deviceLabel)"

# Identify: on, then off.
expect "" set identify_device 1
expect "Identify State: true" get identify_device
expect "" set identify_device 0
expect "Identify State: false" get identify_device
grep -qF "ArtNetService: RDM IDENTIFY ON" "$out/player.log" || fail "identify on was not logged"
exit $failed
