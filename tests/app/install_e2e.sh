#!/usr/bin/env bash
# The player as a package lays it out, twice: `cmake --install` into a temporary prefix, and the
# .deb that `./orvelo package` makes (its file list, its dependencies, lintian), unpacked into a
# temporary root. Each copy, started from where it lies in a machine of its own, serves its web
# remote; the installed one also serves its font, tells a stand-in for systemd that it is ready,
# feeds its watchdog and gives the journal each line's priority.
#   install_e2e.sh BUILD_DIR OUTPUT_FOLDER
# Exits 77 (skipped) without a private network namespace, curl or python3.
set -u
[ $# -eq 2 ] || { echo "usage: $0 BUILD_DIR OUTPUT_FOLDER" >&2; exit 2; }
build=$1 out=$2
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../support/machines.sh"
for tool in curl cmake cpack dpkg-deb unshare nsenter python3; do
  command -v "$tool" >/dev/null || skip "$tool is missing"
done
rm -rf "$out" && mkdir -p "$out" || exit 1
prefix=$out/prefix
cmake --install "$build" --prefix "$prefix" >"$out/install.log" 2>&1 || { cat "$out/install.log"; exit 1; }
installed=(bin/orvelo share/applications/org.orvelo.Orvelo.desktop share/metainfo/org.orvelo.Orvelo.metainfo.xml
  share/icons/hicolor/scalable/apps/org.orvelo.Orvelo.svg share/man/man1/orvelo.1.gz share/doc/orvelo/copyright
  share/doc/orvelo/changelog.gz lib/systemd/system/orvelo.service lib/sysusers.d/orvelo.conf)
command -v rsvg-convert >/dev/null && installed+=(share/icons/hicolor/48x48/apps/org.orvelo.Orvelo.png)
for file in "${installed[@]}"; do
  [ -f "$prefix/$file" ] || fail "not installed: $file"
done
grep -qx "ExecStart=$prefix/bin/orvelo .*" "$prefix/lib/systemd/system/orvelo.service" ||
  fail "the unit does not start the installed program"
if command -v systemd-analyze >/dev/null; then
  systemd-analyze verify --man=no "$prefix/lib/systemd/system/orvelo.service" >"$out/verify.log" 2>&1 ||
    fail "systemd-analyze verify: $(cat "$out/verify.log")"
fi
zgrep -qF 'web\-port' "$prefix/share/man/man1/orvelo.1.gz" || fail "the manual page lacks the options"
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$prefix/share/metainfo/org.orvelo.Orvelo.metainfo.xml" >"$out/appstream.log" 2>&1 ||
    fail "the AppStream metadata does not validate: $(cat "$out/appstream.log")"
fi

# The package, from the same build.
cpack --config "$build/CPackConfig.cmake" -B "$out/package" >"$out/cpack.log" 2>&1 || { cat "$out/cpack.log"; exit 1; }
deb=$(ls "$out"/package/orvelo_*_*.deb 2>/dev/null | head -1)
[ -n "$deb" ] || { fail "cpack made no .deb"; exit 1; }
dpkg-deb -c "$deb" | awk '{print $6}' >"$out/files.txt"
for file in "${installed[@]}" share/orvelo/resources/digital-7.ttf; do
  grep -qx "\./usr/$file" "$out/files.txt" || fail "not in the package: /usr/$file"
done
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6core6 libgstreamer1.0-0 libsodium23 libsystemd0 gstreamer1.0-libav gstreamer1.0-plugins-good \
  fonts-dseg qml6-module-qtquick-controls; do
  [[ $depends == *"$needed"* ]] || fail "the package does not depend on $needed: $depends"
done
if command -v lintian >/dev/null; then
  lintian --fail-on error "$deb" >"$out/lintian.log" 2>&1 || fail "lintian: $(grep -E '^E:' "$out/lintian.log")"
fi
root=$out/root
dpkg-deb -x "$deb" "$root" || exit 1
[ "$(readlink "$root/usr/share/orvelo/resources/digital-7.ttf")" = ../../fonts/truetype/dseg/DSEG7Classic-Regular.ttf ] ||
  fail "the package's font link does not lead to fonts-dseg's font"
grep -qx "ExecStart=/usr/bin/orvelo .*" "$root/usr/lib/systemd/system/orvelo.service" ||
  fail "the package's unit does not start /usr/bin/orvelo"

# One machine each: a second player on the same machine takes the lighting port from the first.
machine installed_ns
machine unpacked_ns
in_ns "$installed_ns" ip link set lo up
in_ns "$unpacked_ns" ip link set lo up
# Standing in for systemd: what the program tells its notification socket.
python3 - "$out/notify.sock" "$out/notified.txt" <<'PY' &
import socket, sys, time
s = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
s.bind(sys.argv[1])
s.settimeout(0.2)
with open(sys.argv[2], 'w') as heard:
    end = time.time() + 30
    while time.time() < end:
        try:
            heard.write(s.recv(256).decode() + '\n'); heard.flush()
        except socket.timeout:
            pass
PY
pids+=($!)
for _ in $(seq 50); do [ -S "$out/notify.sock" ] && break; sleep 0.1; done

# serve NAME MACHINE PROGRAM PORT [ENV...]: the program started in MACHINE with a store of its
# own; fails unless its remote answers with a page.
serve() {
  local name=$1 ns=$2 program=$3 port=$4 code
  shift 4
  mkdir -p "$out/$name/store" "$out/$name/media" "$out/$name/runtime" && chmod 700 "$out/$name/runtime"
  : >"$out/$name/player.log"
  in_ns "$ns" env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR="$out/$name/runtime" GST_AUDIO_SINK=fakesink "$@" \
    "$program" --headless --config-dir "$out/$name/store" --media-folder "$out/$name/media" --web-port "$port" \
    >>"$out/$name/player.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do grep -q "WebServer: Listening on port $port" "$out/$name/player.log" && break; sleep 0.1; done
  code=$(in_ns "$ns" curl -s -m 5 -o "$out/$name/page.html" -w '%{http_code}' "http://127.0.0.1:$port/")
  [ "$code" = 200 ] && grep -qi "<html" "$out/$name/page.html" || fail "the $name program's remote answered $code"
}

# The installed copy, as systemd would start it: its standard output is the journal's stream.
mkdir -p "$out/installed" && : >"$out/installed/player.log"
serve installed "$installed_ns" "$prefix/bin/orvelo" 18182 NOTIFY_SOCKET="$out/notify.sock" WATCHDOG_USEC=400000 \
  JOURNAL_STREAM="$(stat -c '%d:%i' "$out/installed/player.log")"
if [ -f "$build/resources/digital-7.ttf" ]; then
  in_ns "$installed_ns" curl -s -m 5 -o "$out/font.ttf" http://127.0.0.1:18182/font/digital-7.ttf
  cmp -s "$out/font.ttf" "$build/resources/digital-7.ttf" || fail "the installed program does not serve its font"
fi
grep -q "^<6>WebServer: Listening on port 18182" "$out/installed/player.log" ||
  fail "lines to the journal carry no priority"
serve unpacked "$unpacked_ns" "$root/usr/bin/orvelo" 18183
grep -q "^<" "$out/unpacked/player.log" && fail "lines not written to the journal carry a priority"
sleep 0.5
grep -qx "READY=1" "$out/notified.txt" || fail "the program did not tell systemd it was ready"
# Fed again and again, not once: a single ping would not keep a service alive.
[ "$(grep -cx "WATCHDOG=1" "$out/notified.txt")" -ge 2 ] || fail "the program did not keep feeding the watchdog"
exit $failed
