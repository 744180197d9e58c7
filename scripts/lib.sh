# Shared by the scripts: paths, and the private Wine session of the build tree.
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${ZARUDODO_BUILD:-$ROOT/build}
DIST=$ROOT/dist

# The tests' prefix unless another is named: the program that scripts/run
# starts has its own, so that a test run ending its session leaves it alone.
wine_env() {
  export WINEPREFIX=$BUILD/${1:-wineprefix}
  export WINEDEBUG=-all
  # No Mono or Gecko installer prompts when the prefix is made.
  export WINEDLLOVERRIDES="mscoree,mshtml="
}

# One setting of the prefix, tried again: a wine command can fail while the
# server that made the prefix is still shutting down.
wine_setting() {
  for _ in 1 2 3; do
    wine reg add "$@" /f >/dev/null 2>&1 && return 0
    wineserver -w
  done
  echo "Could not set $1 in the Wine prefix $WINEPREFIX" >&2
  return 1
}

# The prefix counts as made only once its settings are in: without them a
# crash waits on a dialog and windowed tests hang.
make_wine_prefix() {
  [ -f "$WINEPREFIX/.settings-made" ] && return 0
  mkdir -p "$WINEPREFIX"
  # With a display, making the prefix may wait on a window nobody closes.
  [ -f "$WINEPREFIX/system.reg" ] || DISPLAY= wineboot -i >/dev/null 2>&1
  # A crash must end the process at once instead of waiting on a dialog.
  wine_setting 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0
  # A virtual desktop: without a window manager, hiding windows blocks.
  wine_setting 'HKCU\Software\Wine\Explorer' /v Desktop /t REG_SZ /d Default
  wine_setting 'HKCU\Software\Wine\Explorer\Desktops' /v Default /t REG_SZ /d 1024x768
  wineserver -w
  touch "$WINEPREFIX/.settings-made"
}

# A persistent wineserver must be the first wine command of the session, and
# Wine's background processes are started once with their output discarded,
# or the first test can hang on their inherited stderr.
# The session of the prefix that wine_env chose.
wine_up() {
  make_wine_prefix
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w
  # Tests killed while they hung leave their scratch folders behind.
  rm -rf "$WINEPREFIX"/drive_c/users/*/Temp/*
  wineserver -p
  wine wineboot </dev/null >/dev/null 2>&1
}

wine_down() {
  wineserver -k >/dev/null 2>&1 || true
  end_lost_processes
}

# A test that hangs waiting on the server is killed by CTest, and the children
# it started can outlive the server: nothing would end them.
end_lost_processes() {
  local environ pid
  for environ in $(grep -lzx "WINEPREFIX=$WINEPREFIX" /proc/[0-9]*/environ 2>/dev/null); do
    pid=${environ//[^0-9]/}
    [[ $(readlink "/proc/$pid/exe") == /usr/lib/wine/* ]] && kill -9 "$pid" 2>/dev/null
  done
  return 0
}

# One X display for a whole run, on a free number that Xvfb picks itself
# (other checkouts run theirs at the same time), the size of Wine's virtual
# desktop. Wine's desktop process keeps the display of the first program
# that needed one, so this comes before the first wine command.
display_up() {
  local number_file
  number_file=$(mktemp)
  # A session of its own: a Ctrl-C meant for the caller must not end the display.
  setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$number_file" >/dev/null 2>&1 &
  XVFB_PID=$!
  for _ in $(seq 100); do
    [ -s "$number_file" ] && break
    sleep 0.1
  done
  [ -s "$number_file" ] || { echo "Xvfb did not start" >&2; rm -f "$number_file"; return 1; }
  export DISPLAY=:$(cat "$number_file")
  rm -f "$number_file"
  # Windowed tests save their screenshots here.
  export ZARUDODO_SCREENSHOTS=$BUILD/gui-screenshots
  mkdir -p "$ZARUDODO_SCREENSHOTS"
}

display_down() {
  [ -n "${XVFB_PID:-}" ] || return 0
  kill "$XVFB_PID" 2>/dev/null || true
  wait "$XVFB_PID" 2>/dev/null || true
}

# The tests that CTest's output lists as failed, one a line with its reason
# (Failed, Timeout, SEGFAULT...).
failed_tests() {
  sed -n '/^The following tests FAILED:/,$ s/^[[:space:]]*[0-9]* - \([^ ]*\) (\([^)]*\)).*/\1 \2/p' "$1"
}

# The tests that timed out in CTest's output yet did not fail: they passed
# when run again.
passed_after_timeout() {
  comm -23 <(sed -n 's/.*Test *#[0-9]*: \([^ ]*\) \.*\*\*\*Timeout.*/\1/p' "$1" | sort -u) \
    <(failed_tests "$1" | cut -d' ' -f1 | sort -u)
}

# CTest lists each program's tests as it starts, and one listing stuck inside
# Wine (docs/wine-hangs.md) would end the whole run after its time-out. So
# the listings come first, each program's once more after a failure; each
# program that needed it is printed, a second failure fails.
list_tests() {
  local log=$1 program retried=" "
  until ctest -N >"$log" 2>&1; do
    program=$(sed -n "s|^ *Path: '.* .*/\(.*\)\.exe'$|\1|p" "$log")
    if [ -z "$program" ] || [[ "$retried" == *" $program "* ]]; then
      cat "$log" >&2
      return 1
    fi
    retried+="$program "
    echo "$program failed listing its tests"
  done
}

# A test program stuck inside Wine cannot end itself at its deadline: its
# threads wait on the Wine server for good. Each program of this session's
# prefix that has run for 90 s (CTest ends it at 120 s) gets its threads'
# stacks as Linux sees them written once into the folder, several at a time.
# It runs in the background: a process that ends while it looks is no error.
# One process, so that the caller's kill (TERM) ends it, and with it its
# sleep and any stack dump still being written.
watch_stuck_tests() {
  set +e
  local folder=$1 pid age
  trap 'kill $(jobs -p) 2>/dev/null; exit 0' TERM
  mkdir -p "$folder"
  while true; do
    # In the background, so that the wait is cut short by the TERM.
    sleep 5 &
    wait $!
    for pid in $(pgrep -f -- '--gtest_filter='); do
      [ -e "$folder/$pid.txt" ] && continue
      grep -qzx "WINEPREFIX=$WINEPREFIX" "/proc/$pid/environ" 2>/dev/null || continue
      age=$(ps -o etimes= -p "$pid" | tr -d ' ')
      [ -n "$age" ] && [ "$age" -ge 90 ] || continue
      {
        echo "Stuck inside Wine for $age s: $(tr '\0' ' ' < "/proc/$pid/cmdline")"
        gdb -p "$pid" -batch -ex "thread apply all bt 12" 2>/dev/null | grep -E '^(Thread |#)'
      } > "$folder/$pid.txt" &
    done
  done
}
