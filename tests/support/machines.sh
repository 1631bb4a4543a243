# Shared by the end-to-end scripts that build machines of their own inside the private network:
# sourced after `out` (the output folder) is set. Every process started here is ended on exit.
skip() { echo "SKIP: $*"; exit 77; }
fail() { echo "FAIL: $*"; failed=1; }
failed=0
pids=()
# Asked to end, then made to after two seconds: a daemon whose network went away can spin on.
# A job started through in_ns is a subshell whose child is the program: without the children,
# every player and capture of a run lived on in its machine, in step with nothing.
cleanup() {
  local pid all=("${pids[@]}")
  for pid in "${pids[@]}"; do all+=($(pgrep -P "$pid")); done
  for pid in "${all[@]}"; do kill "$pid" 2>/dev/null; done
  for _ in $(seq 20); do
    for pid in "${all[@]}"; do kill -0 "$pid" 2>/dev/null && break; done || break
    sleep 0.1
  done
  for pid in "${all[@]}"; do kill -9 "$pid" 2>/dev/null; done
  wait 2>/dev/null
}
trap cleanup EXIT
[ "${ORVELO_ISOLATED:-}" = 1 ] || skip "not in a private network namespace; run through ./orvelo test"

# machine NAME: a network namespace held open by a sleeping process (for as long as the script
# runs: cleanup ends it), whose pid goes in $NAME.
# Returns once the namespace is made: entered before that, it would be this script's own.
machine() {
  unshare --net sleep 86400 >/dev/null 2>&1 &
  local pid=$! own
  pids+=("$pid")
  printf -v "$1" '%s' "$pid"
  own=$(readlink /proc/self/ns/net)
  for _ in $(seq 100); do
    [ "$(readlink "/proc/$pid/ns/net" 2>/dev/null)" != "$own" ] && return 0
    sleep 0.02
  done
  echo "cannot make a machine"; exit 1
}
in_ns() { local pid=$1; shift; nsenter -t "$pid" -n "$@"; }

# start_player MACHINE PROGRAM: the player with a store of its own under $out, logging to
# $out/player.log.
start_player() {
  mkdir -p "$out/config/Orvelo" "$out/data" "$out/runtime" && chmod 700 "$out/runtime"
  in_ns "$1" env -u DISPLAY -u WAYLAND_DISPLAY XDG_CONFIG_HOME="$out/config" XDG_DATA_HOME="$out/data" \
    XDG_RUNTIME_DIR="$out/runtime" QT_QPA_PLATFORM=offscreen GST_AUDIO_SINK=fakesink \
    "$2" >"$out/player.log" 2>&1 & pids+=($!)
}
waitlog() { # line, seconds
  for _ in $(seq $(( $2 * 10 ))); do grep -qF "$1" "$out/player.log" && return 0; sleep 0.1; done
  fail "no log line: $1"; return 1
}
