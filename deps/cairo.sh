#!/usr/bin/env bash
# Cross-builds static 32-bit Windows libraries for the drawing layer from
# Debian's source packages: libpng, libjpeg-turbo (IJG API 62), pixman and
# cairo (Win32 surfaces and fonts, image, PDF, SVG and PNG; no fontconfig or
# FreeType), over the zlib build. Prints one prefix holding all of them
# (include/, lib/, lib/pkgconfig/) on its last stdout line.
# shellcheck source=deps/common.sh
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"

LIBPNG_VERSION=1.6.39-2+deb12u5
LIBJPEG_VERSION=1:2.1.5-2
PIXMAN_VERSION=0.42.2-1
CAIRO_VERSION=1.16.0-7

ZLIB=$(bash "$(dirname "$DEPS_SCRIPT")/zlib.sh" | tail -n 1)
[ -f "$ZLIB/lib/libz.a" ] || deps_die "zlib build gave no library"

LIBPNG_FLAGS=(-DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF)
LIBJPEG_FLAGS=(-DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF -DWITH_SIMD=ON)
PIXMAN_FLAGS=(--default-library=static -Dtests=disabled -Dgtk=disabled
  -Dlibpng=disabled -Dopenmp=disabled)
CAIRO_FLAGS=(--enable-static --disable-shared --enable-win32 --enable-win32-font
  --enable-png --enable-pdf --enable-svg --disable-ps --disable-script
  --disable-interpreter --disable-trace --disable-xlib --disable-xlib-xrender
  --disable-xcb --disable-ft --disable-fc --disable-gobject --disable-symbol-lookup
  --disable-valgrind --disable-pthread --disable-gtk-doc)

# A CMake toolchain for the libraries built with CMake; FIND_ROOT is where
# their own dependencies lie.
write_cmake_toolchain() {
  cat > "$DEPS_WORK/toolchain.cmake" <<EOF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER $DEPS_CC)
set(CMAKE_RC_COMPILER $DEPS_HOST-windres)
set(CMAKE_FIND_ROOT_PATH /usr/$DEPS_HOST $1)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
EOF
}

cmake_build() {
  cmake -S "$DEPS_SRCDIR" -B "$DEPS_WORK/build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$DEPS_WORK/toolchain.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$DEPS_PREFIX" "$@"
  cmake --build "$DEPS_WORK/build" -j "$DEPS_JOBS"
  cmake --install "$DEPS_WORK/build"
}

build_libpng() {
  deps_need_packages dpkg-dev cmake ninja-build
  deps_unpack_source libpng1.6 "$LIBPNG_VERSION" "$DEPS_WORK"
  write_cmake_toolchain "$ZLIB"
  cmake_build "${LIBPNG_FLAGS[@]}"
}

build_libjpeg() {
  deps_need_packages dpkg-dev cmake ninja-build nasm
  deps_unpack_source libjpeg-turbo "$LIBJPEG_VERSION" "$DEPS_WORK"
  write_cmake_toolchain ""
  cmake_build "${LIBJPEG_FLAGS[@]}" -DCMAKE_ASM_NASM_COMPILER=nasm
}

build_pixman() {
  deps_need_packages dpkg-dev meson ninja-build
  # The mirror may lack pixman's Debian diff, which changes nothing the
  # build uses: the upstream tarball alone is enough.
  deps_fetch_orig pixman "$PIXMAN_VERSION"
  DEPS_SRCDIR="$DEPS_WORK/pixman-src"
  mkdir -p "$DEPS_SRCDIR"
  tar -xf "$DEPS_ORIG" -C "$DEPS_SRCDIR" --strip-components=1
  cat > "$DEPS_WORK/cross.ini" <<EOF
[binaries]
c = '$DEPS_CC'
ar = '$DEPS_HOST-ar'
strip = '$DEPS_HOST-strip'
windres = '$DEPS_HOST-windres'
pkgconfig = 'false'

[host_machine]
system = 'windows'
cpu_family = 'x86'
cpu = 'i686'
endian = 'little'
EOF
  meson setup "$DEPS_WORK/build" "$DEPS_SRCDIR" --cross-file "$DEPS_WORK/cross.ini" \
    --prefix="$DEPS_PREFIX" --libdir=lib --buildtype=release "${PIXMAN_FLAGS[@]}"
  ninja -C "$DEPS_WORK/build" -j "$DEPS_JOBS"
  ninja -C "$DEPS_WORK/build" install
}

# cairo goes into a prefix that already holds copies of the libraries it is
# built on, so that users get one prefix with everything.
build_cairo() {
  deps_need_packages dpkg-dev make autoconf automake libtool pkg-config
  local lib
  for lib in "$ZLIB" "$LIBPNG" "$LIBJPEG" "$PIXMAN"; do
    cp -a "$lib/include" "$lib/lib" "$DEPS_PREFIX/"
  done
  deps_unpack_source cairo "$CAIRO_VERSION" "$DEPS_WORK"
  cd "$DEPS_SRCDIR" || exit
  # Debian's symbol export list clashes with the Win32 cairo.def.
  patch -R -p1 < debian/patches/03_export-symbols.patch
  GTKDOCIZE=true autoreconf -fi
  # cairo adds -Wp,-D_FORTIFY_SOURCE=2, whose __memcpy_chk mingw lacks; only
  # a -Wp undefine overrides it.
  PKG_CONFIG_LIBDIR="$DEPS_PREFIX/lib/pkgconfig" ./configure --host="$DEPS_HOST" \
    --prefix="$DEPS_PREFIX" "${CAIRO_FLAGS[@]}" CC="$DEPS_CC" CFLAGS=-O2 \
    CPPFLAGS="-I$DEPS_PREFIX/include -DCAIRO_WIN32_STATIC_BUILD=1 -Wp,-U_FORTIFY_SOURCE" \
    LDFLAGS="-L$DEPS_PREFIX/lib"
  make -j"$DEPS_JOBS" -C src
  make -C src install
}

deps_cached_build libpng build_libpng "$LIBPNG_VERSION" "$ZLIB" "${LIBPNG_FLAGS[@]}"
LIBPNG=$DEPS_RESULT
deps_cached_build libjpeg build_libjpeg "$LIBJPEG_VERSION" "${LIBJPEG_FLAGS[@]}"
LIBJPEG=$DEPS_RESULT
deps_cached_build pixman build_pixman "$PIXMAN_VERSION" "${PIXMAN_FLAGS[@]}"
PIXMAN=$DEPS_RESULT
deps_cached_build cairo build_cairo "$CAIRO_VERSION" "$ZLIB" "$LIBPNG" "$LIBJPEG" "$PIXMAN" \
  "${CAIRO_FLAGS[@]}"
[ -f "$DEPS_RESULT/lib/libcairo.a" ] || deps_die "cairo build gave no library"
echo "$DEPS_RESULT"
