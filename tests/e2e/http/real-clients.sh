#!/usr/bin/env bash
# The web server under Wine against Linux clients on 127.0.0.1: curl for
# ordinary, hostile and concurrent requests, perl holding the port the server
# asks for first, and a stop while a request is still running.
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
  rm -f holder.out
  perl -MIO::Socket::INET -e '
    my $s = IO::Socket::INET->new(LocalAddr => "127.0.0.1", LocalPort => $ARGV[0], Listen => 5) or exit 1;
    $| = 1; print "held\n"; sleep 600;' "$held" > holder.out &
  holder=$!
  for i in $(seq 50); do
    [ -s holder.out ] && break
    kill -0 "$holder" 2>/dev/null || break
    sleep 0.1
  done
  [ -s holder.out ] && break
  holder=
done
[ -n "$holder" ] || fail "could not hold a port"
server_pid=
cleanup() {
  kill "$holder" 2>/dev/null || true
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
}
trap cleanup EXIT

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
status() { curl -s --max-time 20 --path-as-is -o /dev/null -w '%{http_code}' "$@" || true; }

# Ordinary requests.
expect "index for /" '<html>home</html>' "$(get "$base/")"
expect "a file below the root" 'body{}' "$(get "$base/sub/site.css")"
expect "css content type" 'Content-type: text/css' "$(get -D - -o /dev/null "$base/sub/site.css" | tr -d '\r' | grep -i '^content-type')"
expect "query and host" "GET|x=1&y=%20|0||127.0.0.1:$port" "$(get "$base/echo?x=1&y=%20")"
expect "given host" "GET||0||tv.local:1025" "$(get -H 'Host: tv.local:1025' "$base/echo")"
expect "no host header" "GET||0||127.0.0.1:$port" "$(get -H 'Host:' "$base/echo")"
expect "posted form" "POST||7|a=1&b=2|127.0.0.1:$port" "$(get --data 'a=1&b=2' "$base/echo")"
expect "missing file" 404 "$(status "$base/missing.html")"

# Nothing outside the web root, however the target is spelled.
for target in '/../secret.txt' '/%2e%2e/secret.txt' '/..%2fsecret.txt' '/.%2e/secret.txt' '//secret.txt' \
  '/%2f%2fsecret.txt' '/..\secret.txt' '/\..\secret.txt' '/sub/../../secret.txt' '/C:/windows/win.ini' \
  "/Z:$work/secret.txt" '/Z:/etc/passwd' '/\\?\Z:\etc\passwd' '/%c0%ae%c0%ae/secret.txt' '/NUL' '/sub/con.txt'; do
  code=$(status "$base$target")
  [ "$code" != 200 ] || fail "$target was served"
  checks=$((checks + 1))
done

# Hostile heads are refused at once, and the server goes on serving.
long=$(head -c 100000 /dev/zero | tr '\0' a)
expect "very long header line" 400 "$(status -H "X-Long: $long" "$base/echo")"
many=()
for i in $(seq 300); do many+=(-H "X-Header-$i: v"); done
expect "very many headers" 400 "$(status "${many[@]}" "$base/echo")"
expect "huge declared body" 400 "$(status -H 'Content-Length: 999999999' -X POST "$base/echo")"
expect "bad header syntax" 400 "$(status -H 'X-Bad:nospace' "$base/echo")"
expect "binary body" 200 "$(head -c 5000 /dev/urandom | status --data-binary @- "$base/echo")"

# A client that goes while a big answer is being written.
curl -s --max-time 20 "$base/big" | head -c 200000 > /dev/null || true
for i in $(seq 100); do
  grep -q '^big: client gone' server.log && break
  sleep 0.1
done
grep -q '^big: client gone' server.log || fail "the big answer did not stop when its client went"
checks=$((checks + 1))

# 200 clients at once.
ok=$(seq 200 | xargs -P 200 -I{} curl -s --max-time 60 -o /dev/null -w '%{http_code}\n' "$base/echo?{}" | grep -c '^200$' || true)
expect "200 concurrent requests" 200 "$ok"
expect "still serving" '<html>home</html>' "$(get "$base/")"

# Stop while a request runs: the server waits for it, then ends with no
# thread left over.
get "$base/slow?3000" > slow.out &
slow=$!
sleep 1
exec {SERVER[1]}>&-
read -r -t 60 line <&"$server_out" || fail "the server did not stop"
line=${line//$'\r'/}
wait "$slow" || true
expect "answer of the request running at the stop" slept "$(cat slow.out)"
read -r _ _ before _ after _ <<< "$line"
[ "$after" -le "$before" ] || fail "threads left over: $line"
checks=$((checks + 1))
expect "nothing listens after the stop" 000 "$(status "$base/")"

echo "$checks passed, 0 failed"
