#!/usr/bin/env bash
# Checks a Windows ffmpeg.exe under Wine with the media server's two command
# lines (the duration probe and the MPEG-TS stream) against small videos in
# the common formats, one of them at a path with blanks and non-ASCII
# characters. Uses Debian's Linux ffmpeg to make the videos and to read the
# stream back. Wine runs in a throwaway prefix under /tmp.
#
#   bash deps/verify-ffmpeg.sh [FFMPEG_EXE]
#
# Without an argument it takes the ffmpeg.exe that deps/ffmpeg.sh builds
# (or finds in its cache).
# shellcheck source=deps/common.sh
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"

VIDEO_SECONDS=12
START_SECONDS=3

FFEXE=${1:-$(bash "$(dirname "$DEPS_SCRIPT")/ffmpeg.sh" | tail -n 1)}
[ -f "$FFEXE" ] || deps_die "no ffmpeg.exe at '$FFEXE'"
command -v wine >/dev/null || deps_die "wine is missing (scripts/setup installs it)"
command -v "$DEPS_CC" >/dev/null || deps_die "$DEPS_CC is missing (scripts/setup installs it)"
deps_need_packages ffmpeg

WORK=$(mktemp -d /tmp/verify-ffmpeg.XXXXXX)
# shellcheck disable=SC2031
DEPS_TEMPS+=("$WORK")
export WINEPREFIX="$WORK/prefix" WINEDEBUG=-all
stop_wine() { wineserver -k 2>/dev/null || true; deps_cleanup; }
trap stop_wine EXIT

# The server passes the 8.3 form of a video's path; this prints it.
make_short_path_tool() {
  cat > "$WORK/shortpath.c" <<'C'
#include <windows.h>
#include <stdio.h>
int wmain(int argc, wchar_t **argv)
{
    static wchar_t shortPath[32768];
    static char utf8[32768 * 3];
    if (argc != 2 || !GetShortPathNameW(argv[1], shortPath, 32768))
        return 1;
    WideCharToMultiByte(CP_UTF8, 0, shortPath, -1, utf8, sizeof utf8, NULL, NULL);
    fputs(utf8, stdout);
    return 0;
}
C
  "$DEPS_CC" -municode -static -O2 -o "$WORK/bin/shortpath.exe" "$WORK/shortpath.c"
}

# name | file | Linux ffmpeg output options. Transport streams have no index:
# a seek lands on the next keyframe, so they get a broadcast-like GOP.
FORMATS=(
  "mp4 h264/aac|mp4-h264-aac.mp4|-c:v libx264 -pix_fmt yuv420p -c:a aac"
  "mp4 hevc/aac|mp4-hevc-aac.mp4|-c:v libx265 -preset ultrafast -x265-params log-level=error -pix_fmt yuv420p -tag:v hvc1 -c:a aac"
  "mov mjpeg/pcm|mov-mjpeg-pcm.mov|-c:v mjpeg -q:v 5 -pix_fmt yuvj420p -c:a pcm_s16le"
  "mkv h264/vorbis|mkv-h264-vorbis.mkv|-c:v libx264 -pix_fmt yuv420p -c:a libvorbis"
  "webm vp9/opus|webm-vp9-opus.webm|-c:v libvpx-vp9 -deadline realtime -cpu-used 8 -b:v 300k -c:a libopus"
  "avi mpeg4(xvid)/mp3|avi-mpeg4-mp3.avi|-c:v mpeg4 -vtag XVID -q:v 5 -c:a libmp3lame"
  "avi msmpeg4v3(divx3)/mp3|avi-divx3-mp3.avi|-c:v msmpeg4 -vtag DIV3 -q:v 5 -c:a libmp3lame"
  "wmv wmv2/wmav2|wmv-wmv2-wmav2.wmv|-c:v wmv2 -q:v 5 -c:a wmav2"
  "mpg mpeg2/ac3|mpg-mpeg2-ac3.mpg|-f dvd -c:v mpeg2video -b:v 1500k -c:a ac3 -ar 48000"
  "mpg mpeg1/mp2|mpg-mpeg1-mp2.mpg|-f mpeg -c:v mpeg1video -b:v 1000k -c:a mp2"
  "flv flv1/mp3|flv-flv1-mp3.flv|-c:v flv -q:v 5 -c:a libmp3lame -ar 44100"
  "flv h264/aac|flv-h264-aac.flv|-c:v libx264 -pix_fmt yuv420p -c:a aac"
  "ts h264/ac3|ts-h264-ac3.ts|-c:v libx264 -g 25 -pix_fmt yuv420p -c:a ac3"
  "ts mpeg2/mp2|ts-mpeg2-mp2.ts|-c:v mpeg2video -g 12 -b:v 1500k -c:a mp2"
)
ODD_DIR="$WORK/videos/dir with blanks"
ODD_NAME="Vidéo – äöü 日本 ½.mp4"

make_videos() {
  local entry name file opts
  mkdir -p "$ODD_DIR"
  for entry in "${FORMATS[@]}"; do
    IFS='|' read -r name file opts <<< "$entry"
    # shellcheck disable=SC2086
    ffmpeg -nostdin -hide_banner -loglevel error -y \
      -f lavfi -i "testsrc2=size=640x360:rate=25:duration=$VIDEO_SECONDS" \
      -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=$VIDEO_SECONDS" \
      -ac 2 $opts "$WORK/videos/$file" || deps_die "could not make $file"
  done
  cp "$WORK/videos/mp4-h264-aac.mp4" "$ODD_DIR/$ODD_NAME"
}

start_wine() {
  mkdir -p "$WINEPREFIX"
  wineserver -p
  wine wineboot </dev/null >/dev/null 2>&1
}

PASSED=0
FAILED=0
fail() { echo "FAIL  $1: $2"; FAILED=$((FAILED + 1)); }

# Both command lines run as the server runs them: "ffmpeg.exe" resolved in
# the working directory, stdin giving nothing.
run_probe() {
  (cd "$WORK/bin" && timeout 60 wine ffmpeg.exe -i "$1" </dev/null >"$WORK/probe.out" 2>"$WORK/probe.err") || true
}

FIT_PICTURE="scale=w='if(gt(dar,4/3),320,trunc(240*dar/2)*2)':h='if(gt(dar,4/3),trunc(320/dar/2)*2,240)',"
FIT_PICTURE+="pad=320:240:(ow-iw)/2:(oh-ih)/2,setsar=1"

run_stream() {
  local args=(ffmpeg.exe -ss "$START_SECONDS" -i "$1" -f mpegts
    -output_ts_offset "$START_SECONDS" -avoid_negative_ts disabled -muxdelay 0.7
    -acodec libmp3lame -ar 48000 -ab 64k
    -vf "$FIT_PICTURE" -vcodec libx264 -b 192k
    -flags +loop -cmp +chroma -partitions +parti4x4+partp8x8+partb8x8
    -subq 5 -trellis 1 -refs 1 -coder 0 -me_range 16
    -keyint_min 25 -sc_threshold 40 -i_qfactor 0.71
    -bt 200k -maxrate 96k -bufsize 96k
    -rc_eq 'blurCplx^(1-qComp)' -qcomp 0.6 -qmin 10 -qmax 51 -qdiff 4
    -level 30 -aspect 320:240 -g 30 -force_key_frames 'expr:gte(t,n_forced*10)' -async 2
    -flush_packets 0 -threads 1 -pes_payload_size 1000 -nostats
    -)
  [ ${#args[@]} -eq 81 ] || deps_die "stream command line has ${#args[@]} arguments, not 81"
  (cd "$WORK/bin" && timeout 120 wine "${args[@]}" </dev/null >"$WORK/stream.ts" 2>"$WORK/stream.err")
}

# Prints the probe's "HH:MM:SS.hh", or what is wrong and returns 1.
check_probe() {
  local code hours minutes seconds whole
  code=$(grep -o 'Duration: [0-9][0-9]*:[0-9][0-9]:[0-9][0-9]\.[0-9][0-9]' "$WORK/probe.err" | head -n 1 | cut -c11-)
  if [ -z "$code" ]; then
    echo "probe printed no Duration: $(tail -n 3 "$WORK/probe.err" | tr '\r\n' '  ')"
    return 1
  fi
  if [ -s "$WORK/probe.out" ]; then
    echo "probe wrote to stdout"
    return 1
  fi
  IFS=':.' read -r hours minutes seconds _ <<< "$code"
  whole=$((10#$hours * 3600 + 10#$minutes * 60 + 10#$seconds))
  if [ "$whole" -lt $((VIDEO_SECONDS - 1)) ] || [ "$whole" -gt "$VIDEO_SECONDS" ]; then
    echo "probe gave $code for a ${VIDEO_SECONDS}s video"
    return 1
  fi
  echo "$code"
}

# Checks the transport stream: whole 188-byte packets each starting with
# 0x47, H.264 320x240 and MP3 48 kHz, a keyframe first and at least one in
# every 10 seconds, time stamps at the video's own time (the start, plus
# the muxer's delay), length about video less start.
# Prints a summary, or what is wrong and returns 1.
check_stream() {
  local ts="$WORK/stream.ts" size bad video audio count summary
  size=$(stat -c %s "$ts")
  if [ "$size" -eq 0 ] || [ $((size % 188)) -ne 0 ]; then
    echo "stream is $size bytes, not whole 188-byte packets: $(tail -n 3 "$WORK/stream.err" | tr '\r\n' '  ')"
    return 1
  fi
  bad=$(od -An -v -tx1 -w188 "$ts" | awk '$1 != "47"' | wc -l)
  if [ "$bad" -ne 0 ]; then
    echo "$bad packets without the 0x47 sync byte"
    return 1
  fi
  # ffprobe lists a transport stream's streams again under its program.
  count=$(ffprobe -v error -show_entries format=nb_streams -of csv=p=0 "$ts")
  video=$(ffprobe -v error -select_streams v -show_entries stream=codec_name,width,height -of csv=p=0 "$ts" | grep . | sort -u)
  audio=$(ffprobe -v error -select_streams a -show_entries stream=codec_name,sample_rate -of csv=p=0 "$ts" | grep . | sort -u)
  if [ "$count" -ne 2 ] || [ "$video" != "h264,320,240" ] || [ "$audio" != "mp3,48000" ]; then
    echo "stream has $count streams: video '$video', audio '$audio'"
    return 1
  fi
  summary=$(ffprobe -v error -select_streams v -show_entries packet=pts_time,flags -of csv=p=0 "$ts" |
    awk -F, -v expect=$((VIDEO_SECONDS - START_SECONDS)) -v start="$START_SECONDS" '
      NR == 1 { first = $1; firstkey = ($2 ~ /K/); lastkey = $1 }
      $2 ~ /K/ { if ($1 - lastkey > gap) gap = $1 - lastkey; lastkey = $1; keys++ }
      { last = $1 }
      END {
        length_s = last - first
        ok = firstkey && gap <= 10 && first - start < 3 && first >= start && length_s > expect - 2 && length_s < expect + 1
        printf "%s first pts %.2f s, %.1f s of video, %d keyframes, max gap %.1f s\n",
          ok ? "ok" : "bad", first, length_s, keys, gap
      }')
  if [ "${summary%% *}" != ok ]; then
    echo "${summary#* }"
    return 1
  fi
  echo "$((size / 188)) packets, ${summary#* }"
}

verify() {
  local what=$1 path=$2 duration started elapsed streamed
  run_probe "$path"
  if ! duration=$(check_probe); then
    fail "$what" "$duration"
    return 0
  fi
  started=$(date +%s.%N)
  if ! run_stream "$path"; then
    fail "$what" "stream command failed: $(tail -n 3 "$WORK/stream.err" | tr '\r\n' '  ')"
    return 0
  fi
  elapsed=$(echo "$(date +%s.%N) - $started" | bc)
  if ! streamed=$(check_stream); then
    fail "$what" "$streamed"
    return 0
  fi
  printf 'ok    %-26s Duration: %s; stream %.1f s: %s\n' "$what" "$duration" "$elapsed" "$streamed"
  PASSED=$((PASSED + 1))
}

windows_path() { winepath -w "$1" 2>/dev/null; }
short_path() { (cd "$WORK/bin" && wine shortpath.exe "$(windows_path "$1")" </dev/null 2>/dev/null); }

main() {
  mkdir -p "$WORK/bin"
  cp "$FFEXE" "$WORK/bin/ffmpeg.exe"
  make_short_path_tool
  deps_say "making test videos"
  make_videos
  deps_say "starting wine in $WINEPREFIX"
  start_wine
  echo "ffmpeg.exe: $FFEXE"
  if ! grep -q -- '--enable-zlib' <(cd "$WORK/bin" && wine ffmpeg.exe -hide_banner -buildconf </dev/null 2>&1); then
    fail "build" "ffmpeg.exe was configured without zlib"
  fi
  local entry name file opts odd
  for entry in "${FORMATS[@]}"; do
    IFS='|' read -r name file opts <<< "$entry"
    verify "$name" "$(short_path "$WORK/videos/$file")"
  done
  odd="$ODD_DIR/$ODD_NAME"
  verify "odd name, short path" "$(short_path "$odd")"
  verify "odd name, long path" "$(windows_path "$odd")"
  echo "$PASSED passed, $FAILED failed"
  [ "$FAILED" -eq 0 ]
}

main
