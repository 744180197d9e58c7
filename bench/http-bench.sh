#!/usr/bin/env bash
# Requests per second of the web server under Wine on 127.0.0.1, for a small
# static file and for a JSON reply, with many concurrent wrk clients; then
# how long a normal request waits while 2,000 idle connections are open.
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
python3 - "$port" <<'EOF'
import resource, socket, statistics, sys, time
port = int(sys.argv[1])
IDLE, REQUESTS = 2000, 10
soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
resource.setrlimit(resource.RLIMIT_NOFILE, (min(hard, 4 * IDLE), hard))
began = time.monotonic()
idle = [socket.create_connection(('127.0.0.1', port), timeout=10) for _ in range(IDLE)]
opened = time.monotonic() - began
time.sleep(1)  # the server has taken them all, well within their receive time-out
waits = []
for _ in range(REQUESTS):
    began = time.monotonic()
    try:
        with socket.create_connection(('127.0.0.1', port), timeout=10) as s:
            s.sendall(b'GET /small.html HTTP/1.0\r\n\r\n')
            answer = b''.join(iter(lambda: s.recv(65536), b''))
        waits.append((time.monotonic() - began) * 1000 if answer.startswith(b'HTTP/1.0 200') else None)
    except OSError:
        waits.append(None)
answered = [w for w in waits if w is not None]
print(f'{IDLE} idle connections opened in {opened:.1f} s; {len(answered)} of {REQUESTS} normal requests answered',
      end='')
print(f', median {statistics.median(answered):.0f} ms, slowest {max(answered):.0f} ms' if answered else '')
EOF
exec {SERVER[1]}>&-
wait "$SERVER_PID" || true
