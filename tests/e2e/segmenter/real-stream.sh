#!/usr/bin/env bash
# Makes a 45-second video, transcodes it with the stream context's options,
# cuts the result into 10-second segments with the segmenter under Wine, and
# checks the segments with ffprobe: nothing lost or repeated, each cut right
# before the first keyframe at or past its target, each segment playable alone.
# Usage: real-stream.sh SEGMENT-FILE.EXE WORK-FOLDER
set -euo pipefail
tool=$1
work=$2
root=$(cd "$(dirname "$0")/../../.." && pwd)
TARGET=900000  # 10 s in 90 kHz units

fail() { echo "FAIL: $*"; exit 1; }

rm -rf "$work"
mkdir -p "$work/segments"
cd "$work"

"$root/scripts/make-test-stream" 45 stream.ts

"$root/scripts/wine-run" "$tool" stream.ts segments 10000 | tr -d '\r' > segments.txt
mapfile -t segments < <(cut -d' ' -f1 segments.txt)
count=${#segments[@]}
echo "$count segments of $(stat -c %s stream.ts) bytes:" $(cut -d' ' -f2 segments.txt)
[ "$count" -ge 5 ] || fail "expected at least 5 segments, got $count"

(cd segments && cat "${segments[@]}") | cmp - stream.ts || fail "segments do not concatenate to the stream"

# PTS, starting byte and flags of each video packet, one per line.
video_packets() {
  ffprobe -v error -select_streams v:0 -show_entries packet=pts,pos,flags -of csv=p=0 "$1" | grep -v '^$'
}

for ((i = 0; i < count; ++i)); do
  segment=segments/${segments[i]}
  if ((i > 0)); then
    IFS=, read -r pts pos flags _ < <(video_packets "$segment" | head -1)
    [ "$pos" = 0 ] || fail "$segment does not start with a video packet (first at byte $pos)"
    [[ $flags == K* ]] || fail "$segment does not start with a keyframe ($flags)"
    ((pts >= i * TARGET)) || fail "$segment starts at PTS $pts, before its target $((i * TARGET))"
  fi
  if ((i < count - 1)); then
    late=$(video_packets "$segment" | awk -F, -v t=$(((i + 1) * TARGET)) '$3 ~ /^K/ && $1 >= t' | head -1)
    [ -z "$late" ] || fail "$segment holds a keyframe at or past its target: $late"
  fi
  errors=$(ffprobe -v error -count_frames -show_entries stream=codec_type,nb_read_frames -of csv=p=0 "$segment" 2>&1 >frames.txt)
  [ -z "$errors" ] || fail "$segment does not decode cleanly: $errors"
  grep -q '^video,[1-9]' frames.txt || fail "$segment has no video frames: $(cat frames.txt)"
  grep -q '^audio,[1-9]' frames.txt || fail "$segment has no audio frames: $(cat frames.txt)"
done
echo "all $count segments check out"
