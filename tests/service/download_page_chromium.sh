#!/usr/bin/env bash
# Loads the service's download page in headless Chromium, as the program's
# link does, and checks what the browser rendered: the version, the install
# command and the inline icon. Exit 77 (skipped) only when chromium is missing.
#   download_page_chromium.sh LUMO_SERVICE [SCREENSHOT.png]
set -euo pipefail
service=${1:?usage: download_page_chromium.sh LUMO_SERVICE [SCREENSHOT.png]}
shot=${2:-}
command -v chromium >/dev/null || { echo "chromium is not installed"; exit 77; }

work=$(mktemp -d)
service_pid=
cleanup() {
  [ -n "$service_pid" ] && kill "$service_pid" 2>/dev/null && wait "$service_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

version='9.8.7<i>'
"$service" --port 0 --db "$work/s.sqlite" --quiet --latest-version "$version" >"$work/out" 2>&1 &
service_pid=$!
port=
for _ in $(seq 400); do
  port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/out")
  [ -n "$port" ] && break
  sleep 0.05
done
[ -n "$port" ] || { echo "lumo-service did not start:"; cat "$work/out"; exit 1; }

browser=(chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run
         --disable-background-networking --disable-component-update --disable-sync
         --user-data-dir="$work/profile" --window-size=1100,1300)
url="http://127.0.0.1:$port/#/YuvLumo"
timeout 60 "${browser[@]}" --dump-dom "$url" >"$work/dom.html" 2>"$work/chromium.log" ||
  { echo "chromium failed:"; tail -20 "$work/chromium.log"; exit 1; }
if [ -n "$shot" ]; then
  timeout 60 "${browser[@]}" --screenshot="$shot" "$url" >/dev/null 2>&1
fi

fail=0
expect() {
  grep -qF -- "$1" "$work/dom.html" || { echo "the rendered page lacks: $1"; fail=1; }
}
expect '<span id="latest-version">9.8.7&lt;i&gt;</span>'
expect 'id="/YuvLumo"'
expect 'apt-get install ./build-deb/yuvlumo_*.deb'
expect 'cpack -G DEB'
expect '<svg'
if grep -qF '9.8.7<i>' "$work/dom.html"; then echo "the version reached the page unescaped"; fail=1; fi
exit "$fail"
