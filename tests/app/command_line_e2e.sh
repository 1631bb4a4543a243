#!/usr/bin/env bash
# The program's command line as a person meets it: --help and --version answer in a network
# namespace with nothing in it (not even loopback), a mistake is refused with its reason, the
# usage and status 2, and a player started with overrides serves its web remote on the port
# given and its media from the folder given, while the stored settings keep what they had; a
# password set with --set-password goes to the store --config-dir names.
#   command_line_e2e.sh PATH/TO/orvelo OUTPUT_FOLDER
# Exits 77 (skipped) without a private network namespace, curl or gst-launch-1.0.
set -u
[ $# -eq 2 ] || { echo "usage: $0 ORVELO_BINARY OUTPUT_FOLDER" >&2; exit 2; }
player=$1 out=$2
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../support/machines.sh"
for tool in curl gst-launch-1.0 unshare nsenter timeout; do
  command -v "$tool" >/dev/null || skip "$tool is missing"
done
rm -rf "$out" && mkdir -p "$out" || exit 1

bare() { timeout 10 unshare --net env -u DISPLAY -u WAYLAND_DISPLAY XDG_CONFIG_HOME="$out/none" "$player" "$@"; }
help=$(bare --help) && grep -q -- "--web-port N" <<<"$help" || fail "--help did not print the usage"
version=$(bare --version) && [[ $version == "orvelo "[0-9]* ]] || fail "--version printed '$version'"
[ ! -e "$out/none" ] || fail "--help or --version made a store"
refused() { # reason, arguments...
  local reason=$1 err rc
  shift
  err=$(bare "$@" 2>&1 >/dev/null)
  rc=$?
  [ $rc -eq 2 ] && grep -qF -- "$reason" <<<"$err" && grep -q "usage: orvelo" <<<"$err" ||
    fail "'$*' gave status $rc and '$err'"
}
# Which mistakes the parser refuses is its own test; an absent interface is found only here.
refused "Unknown option 'bogus'" --bogus
refused "--lighting-interface: no network interface named 'nosuch0'" --lighting-interface nosuch0

# A player of its own, started with overrides, in a machine of its own.
machine ns
in_ns "$ns" ip link set lo up
mkdir -p "$out/store/Orvelo" "$out/media" "$out/stored-media" "$out/runtime" && chmod 700 "$out/runtime"
printf '[General]\nmediaFolder=%s\n' "$out/stored-media" >"$out/store/Orvelo/Orvelo.conf"
gst-launch-1.0 -q videotestsrc num-buffers=10 ! x264enc ! mp4mux ! filesink location="$out/media/given.mp4" >/dev/null ||
  { echo "cannot make the clip"; exit 1; }
in_ns "$ns" env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR="$out/runtime" GST_AUDIO_SINK=fakesink \
  "$player" --headless --config-dir "$out/store" --media-folder "$out/media" --web-port 18181 >"$out/player.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do grep -q "WebServer: Listening on port 18181" "$out/player.log" && break; sleep 0.1; done
listed=0
for _ in $(seq 50); do
  in_ns "$ns" curl -s -m 5 http://127.0.0.1:18181/api/media >"$out/media.json" 2>/dev/null
  grep -q "given.mp4" "$out/media.json" && { listed=1; break; }
  sleep 0.1
done
[ $listed = 1 ] || fail "the web remote on port 18181 does not list the given folder's media: $(cat "$out/media.json")"
cleanup
trap - EXIT
grep -qF "mediaFolder=$out/stored-media" "$out/store/Orvelo/Orvelo.conf" ||
  fail "the stored media folder changed: $(cat "$out/store/Orvelo/Orvelo.conf")"
# A service's store is secured from a shell before the player starts.
printf 'show-secret\n' | bare --config-dir "$out/store" --set-password 2>/dev/null || fail "--set-password failed"
grep -q '^webPasswordHash=' "$out/store/Orvelo/Orvelo.conf" || fail "--set-password did not write to the --config-dir store"
exit $failed
