#!/usr/bin/env bash
# Cross-builds a static zlib for 32-bit Windows from Debian's source package.
# Prints the installed prefix (include/, lib/, lib/pkgconfig/) on its last
# stdout line.
# shellcheck source=deps/common.sh
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ZLIB_VERSION=1:1.2.13.dfsg-1

build_zlib() {
  deps_need_packages make dpkg-dev
  deps_unpack_source zlib "$ZLIB_VERSION" "$DEPS_WORK"
  cd "$DEPS_SRCDIR" || exit
  CHOST="$DEPS_HOST" CC="$DEPS_CC" CFLAGS=-O2 ./configure --static --prefix="$DEPS_PREFIX"
  make -j"$DEPS_JOBS" libz.a
  make install
}

deps_cached_build zlib build_zlib "$ZLIB_VERSION" "CFLAGS=-O2 --static"
echo "$DEPS_RESULT"
