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
TARGET=900000  # 10 s in 90 kHz units

fail() { echo "FAIL: $*"; exit 1; }

# PTS, starting byte and flags of each video packet, one per line.
video_packets() {
  ffprobe -v error -select_streams v:0 -show_entries packet=pts,pos,flags -of csv=p=0 "$1" | grep -v '^$'
}

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
# the muxer's 1.4 s. Each later segment starts on its boundary's keyframe;
# none holds one at or past the next boundary; each decodes alone.
origin=$(((20000 + 1400) * 90))
for i in 0 1 2; do
  segment=segment-$((i + 1)).ts start=$((origin + i * TARGET))
  IFS=, read -r pts pos flags _ < <(video_packets "$segment" | head -1)
  [[ $pts == "$start" && ($i == 0 || $pos == 0 && $flags == K*) ]] ||
    fail "$segment starts with PTS $pts at byte $pos ($flags), not a keyframe at PTS $start at byte 0"
  late=$(video_packets "$segment" | awk -F, -v t=$((start + TARGET)) '$3 ~ /^K/ && $1 >= t' | head -1)
  [[ $i == 2 || -z $late ]] || fail "$segment holds a keyframe at or past its end: $late"
  errors=$(ffprobe -v error -count_frames -show_entries stream=codec_type,nb_read_frames -of csv=p=0 "$segment" 2>&1 >frames.txt)
  [[ -z $errors ]] && grep -q '^video,[1-9]' frames.txt && grep -q '^audio,[1-9]' frames.txt ||
    fail "$segment does not decode alone to video and audio: $errors $(cat frames.txt)"
done
# Whole packets, no continuity gap on any PID, video frames at one steady
# interval: nothing was lost or repeated at a cut.
cat segment-1.ts segment-2.ts segment-3.ts >all.ts
(($(stat -c %s all.ts) % 188 == 0)) || fail "the segments are not whole 188-byte packets"
gaps=$(ffprobe -v debug -show_packets all.ts 2>&1 >/dev/null | grep -m 3 'Continuity check failed' || true)
[ -z "$gaps" ] || fail "the segments have continuity gaps: $gaps"
intervals=$(video_packets all.ts | cut -d, -f1 | sort -n | awk 'NR > 1 { print $1 - p } { p = $1 }' | sort -u)
[ "$(wc -l <<<"$intervals")" = 1 ] || fail "the segments have video frames at uneven intervals:" $intervals
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
