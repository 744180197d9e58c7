#!/usr/bin/env bash
# The duration probe and a stream context under Wine with the real
# ffmpeg.exe, on videos made here with Linux ffmpeg. The probe must read a
# known length through a path with blanks and non-ASCII letters. A stream
# started at 20 s must give segments that continue one another without a
# gap, each cut right before a keyframe and playable alone, with the
# transcoder paused while nobody reads it and ended with its context.
# Usage: real-transcoder.sh STREAM-CHECK.EXE FFMPEG.EXE WORK-FOLDER
set -euo pipefail
tool=$1
transcoder=$2
work=$3
root=$(cd "$(dirname "$0")/../../.." && pwd)

# shellcheck source=tests/e2e/ts-checks.sh
source "$root/tests/e2e/ts-checks.sh"

[ -f "$transcoder" ] || fail "no ffmpeg.exe at $transcoder (scripts/build puts it into dist/)"

rm -rf "$work"
mkdir -p "$work"
cd "$work"
# The program starts the transcoder from its own folder, the working directory.
ln -s "$transcoder" ffmpeg.exe

run() {
  local name=$1
  shift
  "$root/scripts/wine-run" "$tool" "$@" 2>"$name.log" | tr -d '\r' >"$name.txt" ||
    fail "$* failed: $(tail -5 "$name.log")"
  cat "$name.txt"
}

"$root/scripts/make-test-video" 12.5 short.mp4
run probe probe short.mp4
short=$(sed -n 's/^short-path //p' probe.txt)
LC_ALL=C
[[ $short =~ ^[!-~]+$ ]] || fail "the short path is not one plain token: $short"
grep -qx 'duration 12' probe.txt || fail "expected a duration of 12 seconds"

# 25.5 s from the start: two whole segments, and a last one that ends with the video.
"$root/scripts/make-test-video" 45.5 long.mp4
run stream stream long.mp4 20000 3
[ "$(grep -c '^segment-[12].ts [0-9]* complete$' stream.txt)" = 2 ] || fail "expected two complete segments"
grep -q '^segment-3.ts [0-9]* ended$' stream.txt || fail "expected the third segment to end with the video"
while read -r _ idle _ total; do
  ((total > 0)) || fail "the transcoder's CPU time cannot be seen"
  ((idle < 100)) || fail "the transcoder ran for $idle ms while nobody read it"
done < <(grep '^paused ' stream.txt)
grep -qx 'transcoder ended' stream.txt || fail "the transcoder outlived its context"

for i in 0 1 2; do
  check_segment "segment-$((i + 1)).ts" "$i" 2
done
cat segment-1.ts segment-2.ts segment-3.ts >all.ts
check_unbroken all.ts
frames=$(video_packets all.ts | wc -l)
((frames >= 630 && frames <= 645)) || fail "expected the 637 frames after 20 s, got $frames"
echo "probe and stream check out"
