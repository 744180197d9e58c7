# shellcheck shell=bash
# Checks with ffprobe on the segments that the segmenter cuts from a
# transcoder's stream, whose segment n (from 0) ends before the first
# keyframe at or past ORIGIN + (n + 1) x 10 s; ORIGIN is 0 unless given.
# Source it; a failed check ends the script.

TARGET=900000  # 10 s in 90 kHz units

fail() { echo "FAIL: $*"; exit 1; }

# PTS, starting byte and flags of each video packet, one per line.
video_packets() {
  ffprobe -v error -select_streams v:0 -show_entries packet=pts,pos,flags -of csv=p=0 "$1" | grep -v '^$'
}

# check_segment FILE N LAST [ORIGIN]: segment N starts with its keyframe
# (unless it is the first), holds no keyframe at or past its end (unless it
# is the last one, N = LAST), and decodes cleanly alone, with video and audio.
check_segment() {
  local segment=$1 i=$2 last=$3 origin=${4:-0} pts pos flags late errors
  if ((i > 0)); then
    IFS=, read -r pts pos flags _ < <(video_packets "$segment" | head -1)
    [ "$pos" = 0 ] || fail "$segment does not start with a video packet (first at byte $pos)"
    [[ $flags == K* ]] || fail "$segment does not start with a keyframe ($flags)"
    ((pts >= origin + i * TARGET)) || fail "$segment starts at PTS $pts, before its target $((origin + i * TARGET))"
  fi
  if ((i < last)); then
    late=$(video_packets "$segment" | awk -F, -v t=$((origin + (i + 1) * TARGET)) '$3 ~ /^K/ && $1 >= t' | head -1)
    [ -z "$late" ] || fail "$segment holds a keyframe at or past its target: $late"
  fi
  errors=$(ffprobe -v error -count_frames -show_entries stream=codec_type,nb_read_frames -of csv=p=0 "$segment" 2>&1 >frames.txt)
  [ -z "$errors" ] || fail "$segment does not decode cleanly: $errors"
  grep -q '^video,[1-9]' frames.txt || fail "$segment has no video frames: $(cat frames.txt)"
  grep -q '^audio,[1-9]' frames.txt || fail "$segment has no audio frames: $(cat frames.txt)"
}

# check_unbroken FILE: whole packets, no continuity gap on any PID, and video
# frames at one steady interval: nothing was lost or repeated at a cut.
check_unbroken() {
  local stream=$1 gaps intervals
  (($(stat -c %s "$stream") % 188 == 0)) || fail "$stream is not whole 188-byte packets"
  gaps=$(ffprobe -v debug -show_packets "$stream" 2>&1 >/dev/null | grep -m 3 'Continuity check failed' || true)
  [ -z "$gaps" ] || fail "$stream has continuity gaps: $gaps"
  intervals=$(video_packets "$stream" | cut -d, -f1 | sort -n | awk 'NR > 1 { print $1 - p } { p = $1 }' | sort -u)
  [ "$(wc -l <<<"$intervals")" = 1 ] || fail "$stream has video frames at uneven intervals:" $intervals
}
