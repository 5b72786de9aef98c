#!/usr/bin/env bash
# Renders an HTML page of the field-book check to a PNG with a headless chromium, a reader that
# has nothing to do with ferrule: the page must open and draw. The page fetches nothing, and the
# browser's own background traffic is switched off as far as its switches allow.
#   tools/render_report.sh page.html page.png
set -euo pipefail

if [ "$#" -ne 2 ]; then
  echo "usage: $0 PAGE.html OUT.png" >&2
  exit 2
fi
[ -f "$1" ] || { echo "no page: $1" >&2; exit 1; }
page="$(realpath "$1")"
png="$(realpath -m "$2")"

profile="$(mktemp -d)"
trap 'rm -rf "$profile"' EXIT
rm -f "$png"
status=0
chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
  --disable-background-networking --disable-component-update --disable-sync \
  --user-data-dir="$profile" --window-size=1600,1100 --screenshot="$png" "file://$page" \
  >"$profile/log" 2>&1 || status=$?

if [ ! -s "$png" ]; then
  echo "chromium drew no picture of $page (exit status $status):" >&2
  cat "$profile/log" >&2
  exit 1
fi
echo "$png"
