# Shared by the scripts: paths, and the private Wine session of the build tree.
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${ZARUDODO_BUILD:-$ROOT/build}
DIST=$ROOT/dist

wine_env() {
  export WINEPREFIX=$BUILD/wineprefix
  export WINEDEBUG=-all
  # No Mono or Gecko installer prompts when the prefix is made.
  export WINEDLLOVERRIDES="mscoree,mshtml="
}

make_wine_prefix() {
  [ -f "$WINEPREFIX/system.reg" ] && return 0
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1
  # A crash must end the process at once instead of waiting on a dialog.
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  # A virtual desktop: without a window manager, hiding windows blocks.
  wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /t REG_SZ /d Default /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /t REG_SZ /d 1024x768 /f >/dev/null 2>&1
  wineserver -w
}

# A persistent wineserver must be the first wine command of the session, and
# Wine's background processes are started once with their output discarded,
# or the first test can hang on their inherited stderr.
wine_up() {
  wine_env
  make_wine_prefix
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w
  wineserver -p
  wine wineboot </dev/null >/dev/null 2>&1
}

wine_down() {
  wine_env
  wineserver -k >/dev/null 2>&1 || true
}
