#!/usr/bin/env bash
# Requests per second of the web server under Wine on 127.0.0.1, for a small
# static file and for a JSON reply, with many concurrent wrk clients.
# Usage: bench/http-bench.sh [SECONDS]
set -euo pipefail
source "$(dirname "$0")/../scripts/lib.sh"
seconds=${1:-10}

command -v wrk >/dev/null || {
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends wrk >/dev/null
}
"$ROOT/scripts/build" >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/web"
head -c 1024 /dev/zero | tr '\0' x > "$work/web/small.html"

cd "$work"
coproc SERVER { exec "$ROOT/scripts/wine-run" "$BUILD/bench/http-bench-server.exe" $((20000 + RANDOM % 12000)) web 2>/dev/null; }
read -r -t 60 line <&"${SERVER[0]}"
port=${line//$'\r'/}
port=${port#port }
[ "$port" -gt 0 ] || { echo "the server did not start: $line"; exit 1; }

echo "web server under Wine, $(nproc) cores (load average $(cut -d' ' -f1-3 /proc/loadavg)), ${seconds}s per run, one connection per request"
printf '%-28s %12s %14s %12s\n' "reply" "connections" "requests/s" "p99 latency"
for target in /small.html /db; do
  for connections in 16 64 200; do
    out=$(wrk -t 4 -c "$connections" -d "${seconds}s" --latency "http://127.0.0.1:$port$target")
    rps=$(awk '/^Requests\/sec:/ {print $2}' <<< "$out")
    p99=$(awk '$1 == "99%" {print $2}' <<< "$out")
    errors=$(grep -o 'Socket errors:.*\|Non-2xx.*' <<< "$out" | tr '\n' ' ' || true)
    name=$([ "$target" = /db ] && echo "JSON reply (/db)" || echo "1 KiB static file")
    printf '%-28s %12s %14s %12s  %s\n' "$name" "$connections" "$rps" "$p99" "$errors"
  done
done
exec {SERVER[1]}>&-
wait "$SERVER_PID" || true
