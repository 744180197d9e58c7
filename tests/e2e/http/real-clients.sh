#!/usr/bin/env bash
# The web server under Wine against Linux clients on 127.0.0.1: perl holds
# the port the server asks for first, and curl sends ordinary requests.
# Hostile requests and many clients at once are the unit tests' part.
# Usage: real-clients.sh HTTP-TEST-SERVER.EXE WORK-FOLDER
set -euo pipefail
server_exe=$1
work=$2
root=$(cd "$(dirname "$0")/../../.." && pwd)

fail() {
  echo "FAIL: $*"
  [ -f server.log ] && tail -20 server.log
  exit 1
}
checks=0
expect() {  # what expected actual
  [ "$2" == "$3" ] || fail "$1: expected [$2], got [$3]"
  checks=$((checks + 1))
}

rm -rf "$work"
mkdir -p "$work/web/sub"
cd "$work"
printf '<html>home</html>' > web/index.html
printf 'body{}' > web/sub/site.css
printf 'secret' > secret.txt  # beside the web root: never to be served

# A Linux process holds a random high port, as another program would.
holder=
for attempt in $(seq 20); do
  held=$((20000 + RANDOM % 12000))
  perl -MIO::Socket::INET -e '
    my $s = IO::Socket::INET->new(LocalAddr => "127.0.0.1", LocalPort => $ARGV[0], Listen => 5) or exit 1;
    $| = 1; print "held\n"; sleep 600;' "$held" > holder.out &
  holder=$!
  for i in $(seq 50); do
    [ -s holder.out ] || ! kill -0 "$holder" 2>/dev/null && break
    sleep 0.1
  done
  [ -s holder.out ] && break
  holder=
done
[ -n "$holder" ] || fail "could not hold a port"
server_pid=
trap 'kill $holder $server_pid 2>/dev/null || true' EXIT

coproc SERVER { exec "$root/scripts/wine-run" "$server_exe" "$held" web 2> server.log; }
server_pid=$SERVER_PID
server_out=${SERVER[0]}
read -r -t 60 line <&"$server_out" || fail "the server did not start"
port=${line//$'\r'/}
port=${port#port }
[ "$port" -gt "$held" ] || fail "expected a port above the held $held, got [$line]"
grep -q "Bind to port $held failed; trying another one" server.log || fail "no line for the held port"
echo "port $held held by perl; the server bound $port"
base="http://127.0.0.1:$port"

get() { curl -s --max-time 20 --path-as-is "$@"; }
status() { get -o /dev/null -w '%{http_code}' "$@" || true; }

expect "index for /" '<html>home</html>' "$(get "$base/")"
expect "a file below the root" 'body{}' "$(get "$base/sub/site.css")"
expect "css content type" 'Content-type: text/css' "$(get -D - -o /dev/null "$base/sub/site.css" | tr -d '\r' | grep -i '^content-type')"
expect "query and host" "GET|x=1&y=%20|0||127.0.0.1:$port" "$(get "$base/echo?x=1&y=%20")"
expect "given host" "GET||0||tv.local:1025" "$(get -H 'Host: tv.local:1025' "$base/echo")"
expect "no host header" "GET||0||127.0.0.1:$port" "$(get -H 'Host:' "$base/echo")"
expect "posted form" "POST||7|a=1&b=2|127.0.0.1:$port" "$(get --data 'a=1&b=2' "$base/echo")"
expect "missing file" 404 "$(status "$base/missing.html")"
expect "parent of the root" 404 "$(status "$base/../secret.txt")"

exec {SERVER[1]}>&-
wait "$server_pid" || fail "the server did not stop cleanly"
expect "nothing listens after the stop" 000 "$(status "$base/")"
echo "$checks passed, 0 failed"
