#!/usr/bin/env bash
# Writes the seeds under fuzz/corpus/<harness>/: a few small, well-formed inputs of each kind
# for libFuzzer to mutate, and the inputs that once crashed a harness (crash-*), so every run
# checks them again. libFuzzer's own finds stay in build-fuzz/.
set -euo pipefail
mkdir -p "$(dirname "$0")/corpus" && cd "$(dirname "$0")/corpus"

# seed <harness>/<file> <pieces...>: a piece is hex (spaces ignored), or text after a ':'.
seed() {
  local file=$1; shift
  mkdir -p "$(dirname "$file")"
  : >"$file"
  for piece in "$@"; do
    if [[ $piece == :* ]]; then printf '%s' "${piece#:}" >>"$file"
    else printf '%s' "${piece// /}" | xxd -r -p >>"$file"; fi
  done
}
zeros() { printf '00%.0s' $(seq "$1"); }
hex() { printf '%s' "$1" | xxd -p | tr -d '\n'; } # text as hex, for fields that end in a zero byte

# Art-Net: header "Art-Net", then the OpCode (little-endian) and protocol version 14.
artnet='417274 2d4e6574 00'
seed artnet_packet/artdmx_0_0_0 "$artnet" '0050 000e 01 00 0000 0008' '00 ff 80 40 0a 0b 0c 0d'
seed artnet_packet/artdmx_0_1_2 "$artnet" '0050 000e 02 00 1200 0018' "$(printf '7f%.0s' $(seq 24))"
seed artnet_packet/artpoll "$artnet" '0020 000e 06 00'
seed artnet_packet/arttimecode "$artnet" '0097 000e 00 00 0c 1e 3b 01 01'

# RDM inside ArtRdm: the 24-byte header, then the message without its start code, then the
# checksum over start code and message.
rdm() { # file, message hex
  local message=${2// /} sum=$((0xCC)) i
  for ((i = 0; i < ${#message}; i += 2)); do sum=$((sum + 0x${message:i:2})); done
  seed "rdm_message/$1" "$artnet" '0083 000e 01 00' "$(zeros 5)" '00 00 00 00 00' "$message" \
    "$(printf '%04x' $((sum & 0xFFFF)))"
}
console='4c54 00000001'
rdm get_device_info "01 18 ffffffffffff $console 01 01 00 0000 20 0060 00"
rdm get_device_label "01 18 7ff000001234 $console 02 01 00 0000 20 0082 00"
rdm set_start_address "01 1a ffffffffffff $console 03 01 00 0000 30 00f0 02 0401"

# sACN (E1.31) data packets: root, framing and DMP layers, then the slots after start code 0.
sacn() { # file, universe (hex), slot count
  local slots=$3 total=$((126 + $3))
  seed "sacn_packet/$1" '0010 0000' "$(hex 'ASC-E1.17')" '000000' \
    "$(printf '%04x' $((0x7000 | (total - 16))))" '00000004' '0123456789abcdef0123456789abcdef' \
    "$(printf '%04x' $((0x7000 | (total - 38))))" '00000002' "$(hex Console)" "$(zeros 57)" \
    '64 0000 01 00' "$2" \
    "$(printf '%04x' $((0x7000 | (total - 115))))" '02 a1 0000 0001' "$(printf '%04x' $((slots + 1)))" '00' \
    "$(printf '%02x' $(seq 1 "$slots"))"
}
sacn universe_1 0001 8
sacn universe_16 0010 24

# CITP: compact header (cookie, version 1.0, reserved, content type, code) or full header (with
# its size, part count and part index before the content type).
compact='43495450 0100 0000'
full() { # content type, code, body hex: a full-form message of the size it states
  local body=${3:-}; body=${body// /}
  local size; size=$(printf '%08x' $((24 + ${#body} / 2)))
  printf '43495450 0100 0000 %s 0100 0000 %s%s%s' "${size:6:2}${size:4:2}${size:2:2}${size:0:2}" \
    "$(hex "$1")" "$(hex "$2")" "$body"
}
peer="$(hex LightingConsole)00$(hex 'Console 1')00$(hex Online)00"
seed citp_packet/ploc_compact "$compact" "$(hex PINF)$(hex PLoc)" 'c912' "$peer"
seed citp_packet/ploc_full "$(full PINF PLoc "0000$peer")"
seed citp_packet/msex_elin "$compact" "$(hex MSEX)$(hex ELin)" '0100 05'
seed citp_packet/fptc_ptch "$(full FPTC Ptch "0200 0c00 0300 6500 $(hex Wash)00 0d00 0300 7500 00")"

# The CITP TCP stream: first byte is the piece size less one, then the bytes.
seed citp_stream_framer/two_full_messages '07' "$(full MSEX CInf)" "$(full MSEX GELI)"
seed citp_stream_framer/compact_message 'ff' "$compact" "$(hex MSEX)$(hex GLIn)"

# Web requests: first byte is the piece size less one, then the bytes.
crlf=$'\r\n'
seed http_request_framer/get '0f' ":GET /api/status HTTP/1.1${crlf}Host: player:8080${crlf}Accept: */*${crlf}${crlf}"
body='{"dmx":{"universe":1,"startChannel":10}}'
seed http_request_framer/post '05' ":POST /api/config HTTP/1.1${crlf}Host: 10.0.0.5:8080${crlf}" \
  ":Content-Type: application/json${crlf}Content-Length: ${#body}${crlf}${crlf}${body}"

# Playlist documents.
seed track_list_codec/two_tracks \
  ':[{"id":"0F8FAD5B-D9CB-469F-A165-70867728950E","url":"file:///srv/show/Intro.mov","name":"Intro",' \
  ':"timecodeOffset":0,"repeatCount":1},' \
  ':{"id":"7C9E6679-7425-40DE-944B-E07FC1F90AE7","url":"file:///srv/show/Loop%20A.mp4","name":"Loop A",' \
  ':"timecodeOffset":3600,"repeatCount":0}]'
seed track_list_codec/empty ':[]'

# Settings documents as the web remote posts them.
seed settings_validator/all_pages \
  ':{"dmx":{"universe":15,"subnet":15,"net":127,"startChannel":512,"mode":"Extended (18 Ch)"},' \
  ':"playback":{"ignoreDMX":false,"autoPlayNext":true,"frameRate":30},"ndi":{"enabled":false,"fps":25,"scale":1},' \
  ':"protocol":{"input":"sACN","output":"Art-Net","citpEnabled":true},"theme":{"current":"daylight"},' \
  ':"network":{"interfaceIP":"","interfaceBroadcast":"10.0.0.255"},' \
  ':"library":{"mediaFolder":"/srv/orvelo/Show","uploadSizeLimit":5},' \
  ':"web":{"interface":"","hostNames":["Player.Local."],"sessionIdleHours":0.5,"transportMinInterval":0}}'
seed settings_validator/address ':{"universe":2,"subnet":0,"net":0,"channel":1}'
# Accepted once: a zero character (raw, as the JSON reader takes it, or escaped) cut short by
# the system, and a line break in the interface name.
seed settings_validator/crash-interface_zero ':{"web":{"interface":"eth0' '00' ':"}}'
seed settings_validator/crash-address_zero ':{"network":{"interfaceIP":"10.0.0.5\u0000junk"}}'
seed settings_validator/crash-interface_line_break ':{"web":{"interface":"eth0\nWebServer: forged"}}'

# The stored DMX settings record.
seed dmx_config/extended \
  ':{"universe":3,"subnet":1,"net":0,"startChannel":101,"mode":"Extended (18 Ch)","frameRate":25}'
seed dmx_config/standard ':{"universe":0,"subnet":0,"net":0,"startChannel":1,"mode":"Standard (1 Ch)","frameRate":30}'
