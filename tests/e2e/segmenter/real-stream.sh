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

# shellcheck source=tests/e2e/ts-checks.sh
source "$root/tests/e2e/ts-checks.sh"

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

for ((i = 0; i < count; ++i)); do
  check_segment "segments/${segments[i]}" "$i" $((count - 1))
done
echo "all $count segments check out"
