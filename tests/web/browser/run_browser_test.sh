#!/usr/bin/env bash
# Runs one of the web remote's browser tests (a script in this folder) against a built player:
#   run_browser_test.sh SCRIPT.mjs PATH/TO/orvelo OUTPUT_FOLDER
# Exits 77 (skipped) when what it needs is missing: node, Debian's chromium, the npm packages
# (npm ci in this folder), gst-launch-1.0, or a private network namespace for the player.
set -u
here=$(cd "$(dirname "$0")" && pwd)
skip() { echo "SKIP: $*"; exit 77; }

[ $# -eq 3 ] || { echo "usage: $0 SCRIPT.mjs ORVELO_BINARY OUTPUT_FOLDER" >&2; exit 2; }
script=$1
shift
command -v node >/dev/null || skip "node is not installed"
[ -x /usr/bin/chromium ] || skip "chromium is not installed (apt-get install chromium)"
[ -d "$here/node_modules/playwright-core" ] || skip "playwright-core is missing (npm ci in $here)"
command -v gst-launch-1.0 >/dev/null || skip "gst-launch-1.0 is missing"
[ -x "$1" ] || { echo "no player at $1" >&2; exit 1; }
# The player announces itself to the whole network: it only ever runs in a private one.
[ "${ORVELO_ISOLATED:-}" = 1 ] || skip "not in a private network namespace; run through ./orvelo test"

exec node "$here/$script" "$1" "$2"
