#!/usr/bin/env bash
# A show machine with two cables: the player's namespace has a venue cable (default route) and a
# lighting cable, each to a namespace of its own where a capture runs. With the lighting
# interface chosen, the venue cable must carry none of the player's Art-Net, sACN or CITP, and
# the lighting cable all of it; a poll from the venue goes unanswered; unplugging the lighting
# cable falls back to automatic and plugging it in again takes it back.
#   lighting_network_e2e.sh PATH/TO/orvelo OUTPUT_FOLDER
# Exits 77 (skipped) without a private network namespace, tshark, gst-launch-1.0 or curl.
set -u
[ $# -eq 2 ] || { echo "usage: $0 ORVELO_BINARY OUTPUT_FOLDER" >&2; exit 2; }
player=$1 out=$2
source "$(dirname "$0")/../support/machines.sh"
for tool in tshark dumpcap gst-launch-1.0 curl nsenter unshare ip; do
  command -v "$tool" >/dev/null || skip "$tool is missing"
done
rm -rf "$out" && mkdir -p "$out/config/Orvelo" "$out/data" || exit 1

# Three machines.
machine show
machine venue
machine lighting
sleep 0.2
ip link add pv0 type veth peer name vv0 && ip link set pv0 netns "$show" && ip link set vv0 netns "$venue"
ip link add pl0 type veth peer name ll0 && ip link set pl0 netns "$show" && ip link set ll0 netns "$lighting"
in_ns "$show" sh -e -c 'ip link set lo up
  ip addr add 10.254.9.2/24 brd + dev pv0 && ip link set pv0 up
  ip addr add 10.77.0.2/24 brd + dev pl0 && ip link set pl0 up
  ip route add default via 10.254.9.1 dev pv0' || { echo "cannot build the show machine"; exit 1; }
in_ns "$venue" sh -e -c 'ip link set lo up; ip addr add 10.254.9.1/24 brd + dev vv0; ip link set vv0 up'
in_ns "$lighting" sh -e -c 'ip link set lo up; ip addr add 10.77.0.1/24 brd + dev ll0; ip link set ll0 up'

in_ns "$venue" dumpcap -q -i vv0 -w "$out/venue.pcapng" >"$out/venue-capture.log" 2>&1 & pids+=($!)
in_ns "$lighting" dumpcap -q -i ll0 -w "$out/lighting.pcapng" >"$out/lighting-capture.log" 2>&1 & pids+=($!)
sleep 2

# A clip for timecode, and the lighting interface chosen in the stored settings.
clip="$out/data/clip.mp4"
gst-launch-1.0 -q videotestsrc num-buffers=500 ! video/x-raw,width=160,height=90,framerate=25/1 ! x264enc ! \
  mp4mux ! filesink location="$clip" >/dev/null || { echo "cannot make the clip"; exit 1; }
id=6A1F0C2E-7D4B-4E8F-9C3A-1B2D3E4F5A6B
json="[{\"id\":\"$id\",\"url\":\"file://$clip\",\"name\":\"clip\",\"timecodeOffset\":0,\"repeatCount\":1}]"
value=$(printf '%s' "$json" | sed 's/\\/\\\\/g; s/"/\\"/g')
printf '[General]\nselectedInterfaceIP=10.77.0.2\nlastPlaylistData="@ByteArray(%s)"\n' "$value" \
  >"$out/config/Orvelo/Orvelo.conf"

start_player "$show" "$player"
api() { in_ns "$show" curl -s -m 5 -X POST -H 'Content-Type: application/json' -d "$2" "http://127.0.0.1:8080$1"; }
waitlog "LightingNetwork: Lighting protocols on pl0 (10.77.0.2)" 20
for _ in $(seq 100); do api /api/settings '{"protocol":{"citpEnabled":true}}' >/dev/null && break; sleep 0.2; done
api /api/playlist/play "{\"id\":\"$id\"}" >/dev/null

# An ArtPoll from each side: only the lighting console is answered.
artpoll='Art-Net\x00\x00\x20\x00\x0e\x00\x00'
in_ns "$lighting" bash -c "printf '$artpoll' >/dev/udp/10.77.0.2/6454"
in_ns "$venue" bash -c "printf '$artpoll' >/dev/udp/10.254.9.2/6454"
sleep 7

# Unplugged and plugged in again. Until the player notices (within two seconds) and from then
# on, what it sends takes the system's route, which is the venue cable's: judged before this.
unplugged=$(date +%s.%N)
in_ns "$show" ip link set pl0 down
waitlog "LightingNetwork: Interface 10.77.0.2 is gone - using the automatic interface" 10
in_ns "$show" ip link set pl0 up
waitlog "LightingNetwork: Interface 10.77.0.2 is back - lighting protocols on pl0 (10.77.0.2)" 10
sleep 1
cleanup
trap - EXIT

count() { tshark -r "$out/$1.pcapng" -Y "$2" 2>/dev/null | wc -l; }
from_player='(ip.src==10.254.9.2 || ip.src==10.77.0.2)'
lighting_protocols='(udp.port==6454 || udp.port==5568 || udp.port==4809 || tcp.port==4809 || igmp)'
gone=$(count venue "$from_player && $lighting_protocols && ip.dst==255.255.255.255")
before="frame.time_epoch < $unplugged"
leaked=$(count venue "$from_player && $lighting_protocols && $before")
[ "$leaked" -eq 0 ] || fail "$leaked packets of the lighting protocols on the venue cable while the lighting card was up"
[ "$gone" -gt 0 ] || fail "no fallback to automatic (limited broadcast) while the lighting cable was unplugged"
for check in \
  "announcement to the lighting broadcast|artnet.header.opcode==0x2100 && ip.dst==10.77.0.255 && artnet.poll_reply.ip_address==10.77.0.2 && artnet.poll_reply.bind_ip_address==10.77.0.2" \
  "poll answer to the lighting console|artnet.header.opcode==0x2100 && ip.dst==10.77.0.1" \
  "timecode to the lighting broadcast|artnet.header.opcode==0x9700 && ip.dst==10.77.0.255" \
  "sACN membership on the lighting cable|igmp && ip.src==10.77.0.2 && igmp.maddr==239.255.0.1" \
  "CITP announcement by multicast|udp.dstport==4809 && ip.dst==224.0.0.180 && ip.src==10.77.0.2" \
  "CITP announcement to the lighting broadcast|udp.dstport==4809 && ip.dst==10.77.0.255"; do
  n=$(count lighting "${check#*|}")
  echo "lighting cable: ${check%%|*}: $n"
  [ "$n" -gt 0 ] || fail "none on the lighting cable: ${check%%|*}"
done
timecode=$(count lighting "artnet.header.opcode==0x9700")
echo "lighting cable: timecode packets: $timecode; venue cable before the unplug: $leaked lighting packets"
grep -q "ArtNetService: Not answering 10.254.9.1 - not on the lighting network" "$out/player.log" ||
  fail "the venue's poll was not refused"
exit $failed
