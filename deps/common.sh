# shellcheck shell=bash
# Shared functions for the dependency builds in deps/. Source it from a build
# script; it needs root and Debian's mirrors, and keeps everything it makes
# under a cache root outside the checkout.
#
# A build script calls deps_cached_build with a name, a build function and
# the words that decide the result (source versions, configure flags). The
# cache folder is keyed by a hash of those words, the recipes (the calling
# script's functions and the unpacking and relocation here) and the
# compiler, so an unchanged build returns at once without touching the
# network, and a change in how sources are fetched rebuilds nothing.

set -eEuo pipefail

# Read by the build scripts that source this file.
# shellcheck disable=SC2034
{
  DEPS_CACHE=$(realpath -m "${ZARUDODO_DEPS_CACHE:-/var/cache/zarudodo-deps}")
  DEPS_HOST=i686-w64-mingw32
  DEPS_CC=$DEPS_HOST-gcc-posix
  DEPS_JOBS=$(nproc)
  DEPS_SCRIPT=$(realpath "${BASH_SOURCE[1]:-$0}")
  DEPS_COMMON=$(realpath "${BASH_SOURCE[0]}")
  DEPS_SRC_LIST=/etc/apt/sources.list.d/zarudodo-deb-src.sources
}
# shellcheck source=scripts/packages.sh
. "$(dirname "$DEPS_COMMON")/../scripts/packages.sh"

# Temporary folders removed on any exit, also on Ctrl-C or kill.
DEPS_TEMPS=()
deps_cleanup() {
  local d
  for d in "${DEPS_TEMPS[@]+"${DEPS_TEMPS[@]}"}"; do rm -rf "$d"; done
}
# A build runs in its own process group, so that a signal to this script
# stops the compilers too instead of waiting for them.
DEPS_BUILD_GROUP=0
deps_on_signal() {
  if [ "$DEPS_BUILD_GROUP" -ne 0 ]; then
    kill -TERM -- "-$DEPS_BUILD_GROUP" 2>/dev/null || true
  fi
  exit "$1"
}
trap deps_cleanup EXIT
trap 'deps_on_signal 130' INT
trap 'deps_on_signal 143' TERM
# A command that fails where nothing expected it names itself and its place
# (in functions and subshells too, through set -E), so no log ends silent.
trap 'deps_say "error: exit code $? from: $BASH_COMMAND (${BASH_SOURCE[0]}:$LINENO)"' ERR

deps_say() { echo "deps: $*" >&2; }
deps_die() { echo "deps: error: $*" >&2; exit 1; }

deps_require_root() {
  [ "$(id -u)" -eq 0 ] || deps_die "must run as root (it installs packages and writes $DEPS_CACHE)"
}

deps_apt_update() {
  apt_update_once || deps_die "apt-get update failed (its errors are above)"
}

# Installs the named Debian packages that are missing; quiet when all are there.
deps_need_packages() {
  install_packages "$@" || deps_die "cannot install the packages $* (apt's errors are above)"
}

# Prints the deb-src stanza mirroring the deb822 stanza that serves
# bookworm main, or nothing when there is none.
deps_deb_src_stanza() {
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ "$f" = "$DEPS_SRC_LIST" ] && continue
    [ -f "$f" ] || continue
    awk '
      function flush() {
        if (types ~ /(^| )deb( |$)/ && suites ~ /(^| )bookworm( |$)/ &&
            comps ~ /(^| )main( |$)/ && enabled != "no" && !done) {
          print "Types: deb-src"; print "URIs: " uris; print "Suites: " suites
          print "Components: " comps
          if (signed != "") print "Signed-By: " signed
          done = 1
        }
        types = uris = suites = comps = signed = enabled = ""
      }
      /^[ \t]*#/ { next }
      /^[ \t]*$/ { flush(); next }
      {
        key = tolower($1); sub(/:$/, "", key)
        val = $0; sub(/^[^:]*:[ \t]*/, "", val)
        if (key == "types") types = val
        else if (key == "uris") uris = val
        else if (key == "suites") suites = val
        else if (key == "components") comps = val
        else if (key == "signed-by") signed = val
        else if (key == "enabled") enabled = tolower(val)
      }
      END { flush() }' "$f"
  done | awk '/^Types:/ { n++ } n == 1'
}

# Makes Debian's source packages for bookworm main known to apt. Idempotent:
# the list is rewritten and apt updated only when something is missing,
# also when the list is there but its index was never downloaded (an update
# that did not finish).
deps_enable_deb_src() {
  local stanza
  stanza=$(deps_deb_src_stanza)
  [ -n "$stanza" ] || deps_die "no deb822 'Types: deb' entry for bookworm main in /etc/apt/sources.list.d"
  if [ ! -f "$DEPS_SRC_LIST" ] || [ "$(cat "$DEPS_SRC_LIST")" != "$stanza" ]; then
    deps_say "adding $DEPS_SRC_LIST"
    printf '%s\n' "$stanza" > "$DEPS_SRC_LIST.tmp"
    mv "$DEPS_SRC_LIST.tmp" "$DEPS_SRC_LIST"
    packages_updated=0
    deps_apt_update
    return 0
  fi
  local indexes index
  # shellcheck disable=SC2016
  indexes=$(apt-get indextargets --no-release-info --format '$(FILENAME)' 'Created-By: Sources') \
    || deps_die "'apt-get indextargets' failed"
  for index in $indexes; do
    compgen -G "$index*" >/dev/null || { deps_say "the source index $index is missing"; deps_apt_update; return 0; }
  done
}

# The versions of a source package that apt's index offers, on one line.
deps_offered_versions() {
  local listing
  listing=$(apt-cache showsrc "$1") || deps_die "'apt-cache showsrc $1' failed (its errors are above)"
  sed -n 's/^Version: //p' <<<"$listing" | sort -u | tr '\n' ' '
}

# Fails unless the archive offers the source package NAME at VERSION. A
# stale index may lack a version the archive has since published: it is
# updated once before giving up.
deps_need_source_version() {
  local name=$1 version=$2 offered
  deps_enable_deb_src
  offered=$(deps_offered_versions "$name")
  [[ " $offered" == *" $version "* ]] && return 0
  deps_say "the index does not offer $name $version; updating it"
  deps_apt_update
  offered=$(deps_offered_versions "$name")
  [ -n "$offered" ] || deps_die "the archive has no source package '$name'"
  [[ " $offered" == *" $version "* ]] \
    || deps_die "source package $name $version is not offered by the archive (it offers: ${offered% }); update the pinned version in $DEPS_SCRIPT"
}

# Runs an apt download; one that fails (a stale index names files the mirror
# has dropped) runs again once after an update.
deps_apt_download() {
  "$@" && return 0
  deps_say "'$*' failed; updating apt's indexes and trying again"
  deps_apt_update
  "$@" || deps_die "'$*' failed (its errors are above)"
}

# Downloads the source package NAME at exactly VERSION (cached under
# $DEPS_CACHE/src) and unpacks it with Debian's patches into DEST.
# Sets DEPS_SRCDIR to the unpacked tree.
deps_unpack_source() {
  local name=$1 version=$2 dest=$3
  local plain=${version#*:}
  local store="$DEPS_CACHE/src/${name}_$plain"
  if [ ! -f "$store/${name}_$plain.dsc" ]; then
    deps_need_source_version "$name" "$version"
    deps_say "downloading source $name $version"
    mkdir -p "$DEPS_CACHE/src"
    local tmp
    tmp=$(mktemp -d "$DEPS_CACHE/src/.${name}_$plain.XXXXXX")
    DEPS_TEMPS+=("$tmp")
    chmod 755 "$tmp"
    chown _apt "$tmp" 2>/dev/null || true
    (cd "$tmp" && deps_apt_download apt-get source -qq --download-only "$name=$version" >&2)
    [ -f "$tmp/${name}_$plain.dsc" ] || deps_die "apt-get source $name=$version gave no ${name}_$plain.dsc"
    rm -rf "$store"
    mv -T "$tmp" "$store"
  fi
  deps_extract_source "$store/${name}_$plain.dsc" "$dest/$name-src"
}

# Unpacks a downloaded source package with Debian's patches into DIR, and
# sets DEPS_SRCDIR to it.
deps_extract_source() {
  local dsc=$1
  DEPS_SRCDIR=$2
  mkdir -p "$(dirname "$DEPS_SRCDIR")"
  rm -rf "$DEPS_SRCDIR"
  # Checks the files against the .dsc; the uploader's signature cannot be
  # checked without Debian's keyrings, which apt's signed index makes moot.
  if ! dpkg-source -x "$dsc" "$DEPS_SRCDIR" >/dev/null; then
    rm -rf "$(dirname "$dsc")"
    deps_die "dpkg-source could not unpack $dsc; its download was removed, run again to fetch it anew"
  fi
}

# Fetches the upstream tarball alone of the source package NAME at VERSION
# through apt, checked against the hash of the signed source index (for a
# package whose Debian diff the mirror may lack), and sets DEPS_ORIG to it.
deps_fetch_orig() {
  local name=$1 version=$2
  local store="$DEPS_CACHE/src/${name}_$version"
  DEPS_ORIG=
  [ -d "$store" ] && DEPS_ORIG=$(find "$store" -name "${name}_*.orig.tar.*" | head -n 1)
  [ -n "$DEPS_ORIG" ] && return 0
  deps_need_source_version "$name" "$version"
  local uris line uri file hash
  uris=$(apt-get source --print-uris -qq "$name=$version") || deps_die "'apt-get source --print-uris $name=$version' failed"
  line=$(grep "\.orig\.tar\." <<<"$uris") || deps_die "apt names no upstream tarball for $name $version"
  read -r uri file _ hash <<< "$line"
  uri=${uri//\'/}
  deps_say "downloading $file"
  mkdir -p "$store"
  deps_apt_download /usr/lib/apt/apt-helper download-file "$uri" "$store/$file.part" "$hash" >&2
  mv "$store/$file.part" "$store/$file"
  DEPS_ORIG=$store/$file
}

# Prints the hash that keys a cache folder: the given words, the recipes
# and the compiler's version.
deps_key() {
  {
    printf '%s\n' "$@"
    deps_recipes
    "$DEPS_CC" --version | head -n 1
  } | sha256sum | cut -c1-16
}

# What shapes a build's output, as bash prints it (without comments): the
# calling script's own functions, and the unpacking and relocation here.
deps_recipes() {
  local fn file
  for fn in $(compgen -A function); do
    file=$(shopt -s extdebug; declare -F "$fn" | cut -d' ' -f3-)
    if [ "$(realpath "$file")" = "$DEPS_SCRIPT" ]; then
      declare -f "$fn"
    fi
  done
  declare -f deps_extract_source deps_relocate_prefix
}

# Makes static libraries' metadata independent of where the prefix lies, so
# the folder stays usable after its rename into the cache.
deps_relocate_prefix() {
  local prefix=$1 pc
  find "$prefix" -name '*.la' -delete
  for pc in "$prefix"/lib/pkgconfig/*.pc; do
    [ -f "$pc" ] || continue
    sed -i -e "s|^prefix=.*|prefix=\${pcfiledir}/../..|" -e "s|$prefix|\${prefix}|g" "$pc"
  done
}

# deps_cached_build NAME FUNCTION WORD...
# Sets DEPS_RESULT to the cache folder "$DEPS_CACHE/NAME-<hash of WORDs>".
# When it does not exist yet, FUNCTION runs in an empty work folder with
# DEPS_PREFIX set to the folder to install into; its output goes to a log.
# Only a build that succeeded is renamed into place, so an interrupted one
# leaves no half folder; concurrent builds of one key wait for each other.
deps_cached_build() {
  local name=$1 fn=$2
  shift 2
  local key
  key=$(deps_key "$name" "$@")
  DEPS_RESULT="$DEPS_CACHE/$name-$key"
  [ -d "$DEPS_RESULT" ] && return 0

  deps_require_root
  mkdir -p "$DEPS_CACHE/.tmp"
  local lock="$DEPS_CACHE/.tmp/$name-$key.lock" lockfd
  exec {lockfd}>"$lock"
  if ! flock -n "$lockfd"; then
    deps_say "waiting for another build of $name…"
    flock "$lockfd"
  fi
  if [ -d "$DEPS_RESULT" ]; then
    exec {lockfd}>&-
    return 0
  fi
  rm -rf "$DEPS_CACHE/.tmp/$name-$key.build."*

  local tmp
  tmp=$(mktemp -d "$DEPS_CACHE/.tmp/$name-$key.build.XXXXXX")
  DEPS_TEMPS+=("$tmp")
  mkdir "$tmp/work" "$tmp/out"
  deps_say "building $name (log: $tmp/build.log)"
  local started=$SECONDS
  # Started in the background, not under "if": that would switch off set -e
  # inside the build function. Package installs say on our standard error,
  # too, that they wait.
  local console
  exec {console}>&2
  set -m
  (
    set -e +m
    DEPS_TEMPS=()
    DEPS_BUILD_GROUP=0
    PACKAGES_CONSOLE=$console
    trap deps_cleanup EXIT
    cd "$tmp/work"
    DEPS_PREFIX="$tmp/out" DEPS_WORK="$tmp/work" "$fn"
  ) > "$tmp/build.log" 2>&1 &
  DEPS_BUILD_GROUP=$!
  set +m
  local rc=0
  wait "$DEPS_BUILD_GROUP" || rc=$?
  DEPS_BUILD_GROUP=0
  exec {console}>&-
  if [ "$rc" -ne 0 ]; then
    cp "$tmp/build.log" "$DEPS_CACHE/$name-$key.failed.log"
    tail -n 40 "$tmp/build.log" >&2
    deps_die "building $name failed; full log: $DEPS_CACHE/$name-$key.failed.log"
  fi
  rm -rf "$tmp/work"
  deps_relocate_prefix "$tmp/out"
  mv "$tmp/build.log" "$tmp/out/build.log"
  find "$tmp/out" -type f -exec sync {} +
  mv -T "$tmp/out" "$DEPS_RESULT"
  rm -rf "$tmp" "$DEPS_CACHE/$name-$key.failed.log"
  exec {lockfd}>&-
  deps_say "built $name in $((SECONDS - started)) s: $DEPS_RESULT"
}
