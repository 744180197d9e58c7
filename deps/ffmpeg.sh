#!/usr/bin/env bash
# Builds a static, stripped 32-bit Windows ffmpeg.exe with libx264 and
# libmp3lame from Debian's source packages. It reads the common video
# containers and writes the MPEG-TS stream the media server asks for.
# Prints the path of the cached ffmpeg.exe on its last stdout line.
# shellcheck source=deps/common.sh
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"

X264_VERSION=2:0.164.3095+gitbaee400-3
LAME_VERSION=3.100-6
FFMPEG_VERSION=7:5.1.9-0+deb12u1

ZLIB=$(bash "$(dirname "$DEPS_SCRIPT")/zlib.sh" | tail -n 1)
[ -f "$ZLIB/lib/libz.a" ] || deps_die "zlib build gave no library"

X264_FLAGS=(--enable-static --disable-cli --disable-opencl --bit-depth=8)

LAME_FLAGS=(--enable-static --disable-shared --disable-frontend --disable-decoder
  --disable-analyzer-hooks --disable-gtktest --disable-dependency-tracking)

# --disable-autodetect also drops threading, hence --enable-w32threads.
# pad and setsar keep a picture's shape inside the fixed 320x240 frame;
# the rotation filters for phone videos come with the ffmpeg program itself.
# The mpeg4 encoder stays in: it brings the "-rc_eq" option, without which
# ffmpeg rejects the stream command line as a whole.
# shellcheck disable=SC2054
FFMPEG_FLAGS=(--arch=x86 --target-os=mingw32 --enable-cross-compile
  --enable-gpl --enable-static --disable-shared --disable-debug --disable-doc
  --disable-autodetect --enable-w32threads --enable-zlib
  --enable-libx264 --enable-libmp3lame
  --disable-ffplay --disable-ffprobe --disable-avdevice --disable-postproc
  --disable-network --disable-everything
  --enable-protocol=file,pipe
  --enable-muxer=mpegts
  --enable-encoder=libx264,libmp3lame,mpeg4
  --enable-filter=scale,aresample,pad,setsar
  --enable-demuxer=mov,matroska,avi,mpegts,mpegps,mpegvideo,flv,asf,ogg,wav,mp3,aac,ac3,eac3,h264,hevc,m4v,flac,dv
  --enable-decoder=h264,hevc,mpeg4,msmpeg4v1,msmpeg4v2,msmpeg4v3,h263,flv,vp6,vp6a,vp6f,mpeg1video,mpeg2video,vp8,vp9,wmv1,wmv2,wmv3,vc1,mjpeg,theora,dvvideo
  --enable-decoder=aac,aac_latm,mp1,mp1float,mp2,mp2float,mp3,mp3float,ac3,eac3,dca,vorbis,opus,flac,wmav1,wmav2,wmapro,dvaudio,adpcm_ms,adpcm_ima_wav,adpcm_swf
  --enable-decoder=pcm_s16le,pcm_s16be,pcm_s24le,pcm_s24be,pcm_s32le,pcm_u8,pcm_f32le,pcm_alaw,pcm_mulaw,pcm_dvd,pcm_bluray
  --enable-parser=h264,hevc,mpeg4video,mpegvideo,h263,vp8,vp9,vc1,mjpeg,aac,aac_latm,ac3,dca,mpegaudio,vorbis,opus,flac)

build_x264() {
  deps_need_packages make dpkg-dev nasm
  deps_unpack_source x264 "$X264_VERSION" "$DEPS_WORK"
  cd "$DEPS_SRCDIR" || exit
  CC="$DEPS_CC" ./configure --host="$DEPS_HOST" --cross-prefix="$DEPS_HOST-" \
    --prefix="$DEPS_PREFIX" "${X264_FLAGS[@]}"
  make -j"$DEPS_JOBS"
  make install
}

build_lame() {
  deps_need_packages make dpkg-dev
  deps_unpack_source lame "$LAME_VERSION" "$DEPS_WORK"
  cd "$DEPS_SRCDIR" || exit
  # Without CFLAGS lame builds unoptimised.
  ./configure --host="$DEPS_HOST" --prefix="$DEPS_PREFIX" "${LAME_FLAGS[@]}" \
    CC="$DEPS_CC" CFLAGS=-O2
  make -j"$DEPS_JOBS"
  make install
}

build_ffmpeg() {
  deps_need_packages make dpkg-dev nasm pkg-config
  deps_unpack_source ffmpeg "$FFMPEG_VERSION" "$DEPS_WORK"
  cd "$DEPS_SRCDIR" || exit
  local lib
  local cflags=() ldflags=(-static)
  for lib in "$X264" "$LAME" "$ZLIB"; do
    cflags+=("-I$lib/include")
    ldflags+=("-L$lib/lib")
  done
  PKG_CONFIG_LIBDIR="$X264/lib/pkgconfig:$ZLIB/lib/pkgconfig" ./configure \
    --cross-prefix="$DEPS_HOST-" --cc="$DEPS_CC" --pkg-config=pkg-config \
    --pkg-config-flags=--static \
    --extra-cflags="${cflags[*]}" --extra-ldflags="${ldflags[*]}" \
    "${FFMPEG_FLAGS[@]}"
  make -j"$DEPS_JOBS" ffmpeg.exe
  mkdir -p "$DEPS_PREFIX/bin" "$DEPS_PREFIX/share/doc/ffmpeg"
  "$DEPS_HOST-strip" -o "$DEPS_PREFIX/bin/ffmpeg.exe" ffmpeg.exe
  cp COPYING.GPLv2 "$DEPS_PREFIX/share/doc/ffmpeg/"
  {
    echo "ffmpeg $FFMPEG_VERSION, x264 $X264_VERSION, lame $LAME_VERSION (Debian source packages)"
    echo "configure ${FFMPEG_FLAGS[*]}"
  } > "$DEPS_PREFIX/share/doc/ffmpeg/BUILDINFO"
}

deps_cached_build x264 build_x264 "$X264_VERSION" "${X264_FLAGS[@]}"
X264=$DEPS_RESULT
deps_cached_build lame build_lame "$LAME_VERSION" "${LAME_FLAGS[@]}"
LAME=$DEPS_RESULT
deps_cached_build ffmpeg build_ffmpeg "$FFMPEG_VERSION" "$X264" "$LAME" "$ZLIB" "${FFMPEG_FLAGS[@]}"
[ -f "$DEPS_RESULT/bin/ffmpeg.exe" ] || deps_die "ffmpeg build gave no ffmpeg.exe"
echo "$DEPS_RESULT/bin/ffmpeg.exe"
