# shellcheck shell=bash
# Debian packages for scripts/setup and the dependency builds in deps/: one
# install at a time across checkouts, waiting for any other apt or dpkg run
# (a fresh machine's unattended upgrades, say) instead of failing on its lock.

PACKAGES_LOCK=/var/lock/zarudodo-setup
packages_updated=0

# Also to PACKAGES_CONSOLE when a caller whose standard error goes to a log
# names the terminal's descriptor there: a wait should not look like a hang.
packages_say() {
  echo "packages: $*" >&2
  [ -z "${PACKAGES_CONSOLE:-}" ] || echo "packages: $*" >&"$PACKAGES_CONSOLE"
}

# Runs apt-get with the arguments. While another run holds apt's or dpkg's
# lock it waits, saying so once; any other failure shows apt's own errors.
apt_get() {
  local errors status waiting=0
  errors=$(mktemp)
  while true; do
    status=0
    apt-get "$@" 2>"$errors" || status=$?
    if [ "$status" -eq 0 ] || ! grep -q -E 'Could not get lock|Unable to (lock|acquire)' "$errors"; then
      cat "$errors" >&2
      rm -f "$errors"
      return "$status"
    fi
    if [ "$waiting" -eq 0 ]; then
      packages_say "waiting for another apt run ($(grep -o -m 1 'held by process [0-9]* ([^)]*)' "$errors" || echo "its lock is held"))…"
      waiting=1
    fi
    sleep 2
  done
}

# Updates apt's package indexes, once per run of the calling script.
apt_update_once() {
  [ "$packages_updated" -eq 1 ] && return 0
  packages_say "apt-get update"
  apt_get update -qq || { packages_say "error: 'apt-get update' failed"; return 1; }
  packages_updated=1
}

missing_packages() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
}

# Installs those of the named packages that are missing; quiet when all are
# there. apt's indexes are updated first: a fresh machine may have none yet,
# or stale ones.
install_packages() {
  local missing
  mapfile -t missing < <(missing_packages "$@")
  [ ${#missing[@]} -eq 0 ] && return 0
  local lock
  exec {lock}>"$PACKAGES_LOCK"
  if ! flock -n "$lock"; then
    packages_say "waiting for another checkout's package install…"
    flock "$lock"
  fi
  mapfile -t missing < <(missing_packages "${missing[@]}")
  if [ ${#missing[@]} -gt 0 ]; then
    packages_say "installing ${missing[*]}"
    # Packages of another architecture need it added before the update.
    if printf '%s\n' "${missing[@]}" | grep -q ':i386$' && ! dpkg --print-foreign-architectures | grep -qx i386; then
      dpkg --add-architecture i386
      packages_updated=0
    fi
    local install=(install -y -qq --no-install-recommends "${missing[@]}")
    export DEBIAN_FRONTEND=noninteractive
    if ! { apt_update_once && apt_get "${install[@]}" >/dev/null; }; then
      packages_say "error: 'apt-get ${install[*]}' failed"
      exec {lock}>&-
      return 1
    fi
  fi
  exec {lock}>&-
}
