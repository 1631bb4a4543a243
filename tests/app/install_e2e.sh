#!/usr/bin/env bash
# The program installed as a package would lay it out: `cmake --install` into a temporary prefix
# puts the program, its resources, desktop entry, icon, AppStream metadata, manual page, service
# unit and its user's sysusers entry in their places (the unit as systemd reads it), and the installed program, started from there in a machine of its own, serves
# its web remote and finds its font beside itself.
#   install_e2e.sh BUILD_DIR OUTPUT_FOLDER
# The program also tells a stand-in for systemd that it is ready, and feeds its watchdog.
# Exits 77 (skipped) without a private network namespace, curl or python3.
set -u
[ $# -eq 2 ] || { echo "usage: $0 BUILD_DIR OUTPUT_FOLDER" >&2; exit 2; }
build=$1 out=$2
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../support/machines.sh"
for tool in curl cmake unshare nsenter python3; do
  command -v "$tool" >/dev/null || skip "$tool is missing"
done
rm -rf "$out" && mkdir -p "$out" || exit 1
prefix=$out/prefix
cmake --install "$build" --prefix "$prefix" >"$out/install.log" 2>&1 || { cat "$out/install.log"; exit 1; }
for file in bin/orvelo share/applications/org.orvelo.Orvelo.desktop share/metainfo/org.orvelo.Orvelo.metainfo.xml \
  share/icons/hicolor/scalable/apps/org.orvelo.Orvelo.svg share/man/man1/orvelo.1 \
  lib/systemd/system/orvelo.service lib/sysusers.d/orvelo.conf; do
  [ -f "$prefix/$file" ] || fail "not installed: $file"
done
# The unit as systemd reads it, pointed at the program just installed.
if command -v systemd-analyze >/dev/null; then
  sed "s|^ExecStart=[^ ]*/orvelo |ExecStart=$prefix/bin/orvelo |" "$prefix/lib/systemd/system/orvelo.service" \
    >"$out/orvelo.service"
  systemd-analyze verify --man=no "$out/orvelo.service" >"$out/verify.log" 2>&1 ||
    fail "systemd-analyze verify: $(cat "$out/verify.log")"
fi
grep -qF 'web\-port' "$prefix/share/man/man1/orvelo.1" || fail "the manual page lacks the options"
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$prefix/share/metainfo/org.orvelo.Orvelo.metainfo.xml" >"$out/appstream.log" 2>&1 ||
    fail "the AppStream metadata does not validate: $(cat "$out/appstream.log")"
fi
font=0
if [ -f "$build/resources/digital-7.ttf" ]; then
  font=1
  [ -f "$prefix/share/orvelo/resources/digital-7.ttf" ] || fail "the font is not installed"
fi

machine ns
in_ns "$ns" ip link set lo up
mkdir -p "$out/store" "$out/media" "$out/runtime" && chmod 700 "$out/runtime"
# Standing in for systemd: what the program tells its notification socket.
python3 - "$out/notify.sock" "$out/notified.txt" <<'PY' &
import socket, sys, time
s = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
s.bind(sys.argv[1])
s.settimeout(0.2)
with open(sys.argv[2], 'w') as heard:
    end = time.time() + 15
    while time.time() < end:
        try:
            heard.write(s.recv(256).decode() + '\n'); heard.flush()
        except socket.timeout:
            pass
PY
pids+=($!)
for _ in $(seq 50); do [ -S "$out/notify.sock" ] && break; sleep 0.1; done
in_ns "$ns" env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR="$out/runtime" GST_AUDIO_SINK=fakesink \
  NOTIFY_SOCKET="$out/notify.sock" WATCHDOG_USEC=400000 \
  "$prefix/bin/orvelo" --headless --config-dir "$out/store" --media-folder "$out/media" --web-port 18182 \
  >"$out/player.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do grep -q "WebServer: Listening on port 18182" "$out/player.log" && break; sleep 0.1; done
code=$(in_ns "$ns" curl -s -m 5 -o "$out/page.html" -w '%{http_code}' http://127.0.0.1:18182/)
[ "$code" = 200 ] && grep -qi "<html" "$out/page.html" || fail "the installed program's remote answered $code"
if [ $font = 1 ]; then
  in_ns "$ns" curl -s -m 5 -o "$out/font.ttf" http://127.0.0.1:18182/font/digital-7.ttf
  cmp -s "$out/font.ttf" "$build/resources/digital-7.ttf" || fail "the installed program does not serve its font"
fi
sleep 0.5
grep -qx "READY=1" "$out/notified.txt" || fail "the program did not tell systemd it was ready"
grep -qx "WATCHDOG=1" "$out/notified.txt" || fail "the program did not feed the watchdog"
exit $failed
