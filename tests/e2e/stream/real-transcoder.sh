#!/usr/bin/env bash
# The duration probe and a stream context under Wine with the real
# ffmpeg.exe, on videos made here with Linux ffmpeg. The probe must read a
# known length through a path with blanks and non-ASCII letters. A stream
# started at 20 s must give segments that continue one another without a
# gap, stamped with the video's own time and each exactly 10 s from one
# boundary to the next, playable alone, with the transcoder paused while
# nobody reads it and ended with its context. Wide, tall and rotated videos
# keep their shape inside the 320x240 picture.
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
# The container's length: the audio runs a little past the 12.5 s of video.
duration=$(sed -n 's/^duration //p' probe.txt)
((duration >= 12500 && duration <= 12600)) || fail "expected a duration of 12.5 s, got $duration ms"

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

# Stamped as a transcoder started at 0 stamps them: the video's time plus
# the muxer's 1.4 s. Each segment starts on its boundary's keyframe.
origin=$(((20000 + 1400) * 90))
for i in 0 1 2; do
  check_segment "segment-$((i + 1)).ts" "$i" 2 "$origin"
  IFS=, read -r pts _ < <(video_packets "segment-$((i + 1)).ts" | head -1)
  ((pts == origin + i * TARGET)) || fail "segment-$((i + 1)).ts starts at PTS $pts, not $((origin + i * TARGET))"
done
cat segment-1.ts segment-2.ts segment-3.ts >all.ts
check_unbroken all.ts
frames=$(video_packets all.ts | wc -l)
((frames >= 630 && frames <= 645)) || fail "expected the 637 frames after 20 s, got $frames"
# shape_check VIDEO BLACK COLOURED: in the first picture, every pixel of the
# rows or columns named by BLACK is a bar, and some of COLOURED's are not.
shape_check() {
  run shape stream "$1" 0 1 >/dev/null
  ffmpeg -v error -y -i segment-1.ts -frames:v 1 -f rawvideo -pix_fmt gray picture.gray
  python3 - "$1" "$2" "$3" <<'CHECK' || fail "$1 lost its shape (see $work/picture.gray)"
import sys
picture = open('picture.gray', 'rb').read()
assert len(picture) == 320 * 240, len(picture)
def line(name):
    kind, at = name[0], int(name[1:])
    return picture[at * 320:(at + 1) * 320] if kind == 'r' else picture[at::320]
bars, inside = line(sys.argv[2]), line(sys.argv[3])
sys.exit(0 if max(bars) < 30 and max(inside) > 100 else 1)
CHECK
}
"$root/scripts/make-test-video" --size 640x360 2 wide.mp4
"$root/scripts/make-test-video" --size 360x640 2 tall.mp4
ffmpeg -v error -i wide.mp4 -c copy -metadata:s:v:0 rotate=90 turned.mp4
# 16:9 gives 320x180 with 30 rows of bar above and below; 9:16 (also when
# turned upright from a rotated landscape) 134x240 with 93 columns each side.
shape_check wide.mp4 r10 r120
shape_check tall.mp4 c20 c160
shape_check turned.mp4 c300 c160
echo "probe and stream check out"
