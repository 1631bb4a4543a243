#!/usr/bin/env bash
# A sync group of four machines on one switch: a leader and three followers, each with its own
# copy of the clip, every follower reaching the leader through a relay that adds 1 ms +- 0.5 ms
# of delay and 0.1 % loss each way. The leader is driven over its web remote: play, pause,
# play again, seek, a faster speed, stop. From every player's frame tap (the position of each frame shown and the
# group clock time it was shown at): the offset between each follower and the leader while
# they play, through a pause, a seek and a change of speed. One follower's own clock is five
# seconds off and 100 ppm fast; effects and a pattern set on the leader show on every follower.
# A follower that joins late locks on and plays in step; one pulled out of the switch and
# plugged back in rejoins by itself; a forged state (without the key) changes nothing.
#   sync_group_e2e.sh PATH/TO/orvelo OUTPUT_FOLDER
# SYNC_LOOSE=1 (the sanitizer builds) bounds the offsets by a frame rather than by 5 ms.
# Exits 77 (skipped) without a private network namespace, gst-launch-1.0, curl or python3.
set -u
[ $# -eq 2 ] || { echo "usage: $0 ORVELO_BINARY OUTPUT_FOLDER" >&2; exit 2; }
player=$1 out=$2
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../support/machines.sh"
for tool in gst-launch-1.0 curl nsenter unshare ip python3; do
  command -v "$tool" >/dev/null || skip "$tool is missing"
done
rm -rf "$out" && mkdir -p "$out" || exit 1

# The switch is a bridge here, in the private network; the relay sits on it as 10.88.0.254.
ip link add sw0 type bridge && ip link set sw0 up && ip addr add 10.88.0.254/24 dev sw0 ||
  { echo "cannot build the switch"; exit 1; }
names=(leader f1 f2 f3)
declare -A address=([leader]=10.88.0.1 [f1]=10.88.0.11 [f2]=10.88.0.12 [f3]=10.88.0.13)
# One follower's own clock is five seconds off and 100 ppm fast (all share this machine's clock).
declare -A skew=([f2]=5,100)
for name in "${names[@]}"; do
  machine "ns_$name"
  pid_var="ns_$name"
  ip link add "p$name" type veth peer name "s$name" && ip link set "p$name" netns "${!pid_var}" &&
    ip link set "s$name" master sw0 && ip link set "s$name" up
  in_ns "${!pid_var}" sh -e -c "ip link set lo up; ip addr add ${address[$name]}/24 dev p$name; ip link set p$name up" ||
    { echo "cannot build $name"; exit 1; }
done
python3 "$here/../support/udp_relay.py" 10.88.0.254 10.88.0.1 9650,9651 1 0.5 0.001 >"$out/relay.log" 2>&1 &
pids+=($!)
# What the group costs the network: every datagram on the switch.
if command -v dumpcap >/dev/null; then
  dumpcap -q -i sw0 -f udp -w "$out/switch.pcapng" >"$out/capture.log" 2>&1 &
  pids+=($!)
fi

clip="$out/clip.mp4"
# Long enough for the steady play asked for, at the speed 1.5 the test ends with.
frames=$(( (40 + ${SYNC_STEADY_SECONDS:-0} * 3 / 2) * 25 ))
gst-launch-1.0 -q videotestsrc num-buffers=$frames pattern=ball ! video/x-raw,width=160,height=120,framerate=25/1 ! \
  x264enc speed-preset=ultrafast key-int-max=25 ! mp4mux ! filesink location="$clip" >/dev/null ||
  { echo "cannot make the clip"; exit 1; }
id=5B0E7C1D-2A3F-4B5C-8D9E-0F1A2B3C4D5E

# player NAME ROLE: its own store, media and frame tap; leaders lead, followers follow the relay.
player_in() {
  local name=$1 role=$2 dir="$out/$1"
  mkdir -p "$dir/config/Orvelo" "$dir/data" "$dir/runtime" && chmod 700 "$dir/runtime"
  cp "$clip" "$dir/data/clip.mp4"
  local json="[{\"id\":\"$id\",\"url\":\"file://$dir/data/clip.mp4\",\"name\":\"clip\",\"timecodeOffset\":0,\"repeatCount\":1}]"
  local value
  value=$(printf '%s' "$json" | sed 's/\\/\\\\/g; s/"/\\"/g')
  printf '[General]\nlastPlaylistData="@ByteArray(%s)"\nsyncRole=%s\nsyncLeader=10.88.0.254:9651\nsyncGroup=stage\nsyncKey=%s\nsyncClockPort=9650\n' \
    "$value" "$role" "${3:-sesame}" >"$dir/config/Orvelo/Orvelo.conf"
  local pid_var="ns_$name"
  in_ns "${!pid_var}" env -u DISPLAY -u WAYLAND_DISPLAY XDG_CONFIG_HOME="$dir/config" XDG_DATA_HOME="$dir/data" \
    XDG_RUNTIME_DIR="$dir/runtime" QT_QPA_PLATFORM=offscreen GST_AUDIO_SINK=fakesink ORVELO_FRAME_TAP="$dir/frames.tap" \
    ORVELO_TEST_CLOCK_SKEW="${skew[$name]:-}" \
    "$player" >"$dir/player.log" 2>&1 &
  pids+=($!)
}
waitfor() { # file, line, seconds
  for _ in $(seq $(( $3 * 10 ))); do grep -qF "$2" "$1" 2>/dev/null && return 0; sleep 0.1; done
  fail "no line \"$2\" in $1"; return 1
}
api() { in_ns "$ns_leader" curl -s -m 5 -X POST -H 'Content-Type: application/json' -d "$2" "http://127.0.0.1:8080$1"; }
clock_now() { python3 -c 'import time; print(time.clock_gettime_ns(time.CLOCK_MONOTONIC))'; }

player_in leader leader
player_in f1 follower
player_in f2 follower
waitfor "$out/leader/player.log" "SyncLeader: Leading group" 20
waitfor "$out/leader/player.log" "joined from" 20
sleep 4 # the followers' clocks calibrate (the first estimates can be some milliseconds off)
api /api/playlist/play "{\"id\":\"$id\"}" >/dev/null
play_from=$(clock_now)
sleep 6
api /api/control '{"command":"pause"}' >/dev/null
sleep 1
api /api/control '{"command":"play"}' >/dev/null
sleep 3
sought=$(clock_now)
api /api/control '{"command":"seek","position":2.5}' >/dev/null
sleep 3
api /api/effects '{"video":{"playbackSpeed":1.5}}' >/dev/null
resumed=$(clock_now)
# The look follows the leader: effects and pattern.
api /api/effects '{"video":{"brightness":0.25,"inverted":true},"pattern":{"selected":"Pulsing Ring","speed":2}}' >/dev/null
sleep 1
for name in f1 f2; do
  pid_var="ns_$name"
  in_ns "${!pid_var}" curl -s -m 5 http://127.0.0.1:8080/api/effects | python3 -c '
import json, sys
fx = json.load(sys.stdin)
sys.exit(0 if abs(fx["video"]["brightness"] - 0.25) < 1e-6 and fx["video"]["inverted"] and
         fx["pattern"]["selected"] == "Pulsing Ring" and fx["pattern"]["speed"] == 2 else 1)' ||
    fail "$name did not take the leader's effects"
done
# Steady play as long as asked (the benchmark asks for minutes), at the speed just set.
sleep "${SYNC_STEADY_SECONDS:-0}"
steady_until=$(clock_now)
# A late follower; and a forged state ("stop", tagged without the key) sent to the first
# follower from the leader's own address.
late_from=$(clock_now)
player_in f3 follower
sleep 3
port=$(sed -n 's/.*listening on port \([0-9]*\).*/\1/p' "$out/f1/player.log" | head -1)
python3 - "$port" <<'PY'
import os, socket, struct, sys
group = b'stage'
body = struct.pack('<IQB', 999999, 0, 0) + struct.pack('<H', 4) + b'clip' + struct.pack('<dd', 0.0, 1.0) + b'\0\0'
datagram = b'OVSG' + bytes([1, 2, 0, 0]) + bytes([len(group)]) + group + body + os.urandom(32)
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(('10.88.0.254', 0))
s.sendto(datagram, ('10.88.0.11', int(sys.argv[1])))
PY
sleep 3
late_until=$(clock_now)
# A follower pulled out of the switch for longer than the leader waits for it, then plugged
# back in: it plays on by its own clock, is left out, rejoins by itself and is still in step.
ip link set sf1 down
sleep 7
ip link set sf1 up
replugged=$(clock_now)
sleep 5
api /api/control '{"command":"stop"}' >/dev/null
sleep 1
cleanup
trap - EXIT

for name in f1 f2 f3; do
  grep -q "SyncFollower: Following group" "$out/$name/player.log" || fail "$name did not follow"
done
grep -q "GroupClock: A local clock 5000 ms off and 100 ppm fast" "$out/f2/player.log" || fail "f2's clock was not skewed"

grep -q "SyncFollower: Dropped a message: not authenticated with the group key" "$out/f1/player.log" ||
  fail "the forged state was not refused"
offsets() { python3 "$here/../support/frame_offsets.py" "$out/leader/frames.tap" "$@"; }
offsets "$out/f1/frames.tap" "$out/f2/frames.tap" --from "$play_from" --to "$late_until" >"$out/offsets.json"
offsets "$out/f3/frames.tap" --from "$(( late_from + 2000000000 ))" --to "$late_until" >>"$out/offsets.json"
offsets "$out/f1/frames.tap" --from "$(( replugged + 1000000000 ))" --to "$(( replugged + 5000000000 ))" >>"$out/offsets.json"
grep -q "SyncLeader: .* left" "$out/leader/player.log" || fail "the follower pulled out was not left out"
[ "$(grep -c "SyncLeader: .* joined from" "$out/leader/player.log")" -ge 4 ] || fail "the follower plugged back in did not rejoin"
cat "$out/offsets.json"
# Phases for the benchmark: the start, the second after the seek, steady play, the late join.
{
  echo "{\"phase\": \"start\"}"; offsets "$out/f1/frames.tap" "$out/f2/frames.tap" --from "$play_from" --to "$(( play_from + 3000000000 ))"
  echo "{\"phase\": \"seek\"}"; offsets "$out/f1/frames.tap" "$out/f2/frames.tap" --from "$sought" --to "$(( sought + 2000000000 ))"
  echo "{\"phase\": \"steady\"}"; offsets "$out/f1/frames.tap" "$out/f2/frames.tap" --from "$(( resumed + 1000000000 ))" --to "$steady_until"
  echo "{\"phase\": \"late\"}"; offsets "$out/f3/frames.tap" --from "$late_from" --to "$late_until" --lock-since "$late_from"
} >"$out/phases.json"
if [ -f "$out/switch.pcapng" ]; then
  seconds=$(( (late_until - play_from) / 1000000000 ))
  for name in f1 f2; do
    n=$(tshark -r "$out/switch.pcapng" -Y "udp && ip.addr==${address[$name]}" 2>/dev/null | wc -l)
    echo "{\"follower\": \"$name\", \"packets\": $n, \"seconds\": $seconds}"
  done >"$out/traffic.json"
fi
python3 - "$out/offsets.json" "${SYNC_LOOSE:-}" <<'PY' || fail "players out of step"
import json, sys
# Two cores run four players and the relay here, so a player is sometimes held up for a
# moment: the bound is on the many, how far the worst go is the benchmark's to tell. Under the
# sanitizers every player runs several times slower and a new one's first clock estimates stay
# noisy for longer: there in step means within a frame.
p50, share = (5, 'within_20ms') if sys.argv[2] else (2, 'within_5ms')
bad = False
for line in open(sys.argv[1]):
    r = json.loads(line)
    if r['frames'] < 100 or r['p50_ms'] > p50 or r[share] < 0.9:
        print('out of step:', r); bad = True
sys.exit(1 if bad else 0)
PY
exit $failed
