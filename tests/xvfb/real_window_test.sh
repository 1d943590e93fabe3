#!/usr/bin/env bash
# The built desktop application in a real X server: deleted-data recovery
# of an attached NTFS image is driven through the pages with the keyboard,
# the way a user without a mouse would, until the results page shows.
#   real_window_test.sh DRAVIK IMAGE PICTURE_DIR SHOT_DIR
# Runs itself under xvfb-run. Fails when the application exits before the
# end, when a page does not come within its time, or when choosing the
# partition leaves the drive information unchanged. Screenshots of every
# step are left in SHOT_DIR as xvfb-*.png.
set -euo pipefail

if [[ ${1:-} != --inside ]]; then
  if [[ $# -ne 4 ]]; then
    echo "usage: $0 DRAVIK IMAGE PICTURE_DIR SHOT_DIR" >&2
    exit 2
  fi
  # A display number of our own, away from other X servers started at the
  # same time; -a still moves on if it is taken.
  exec xvfb-run -a -n $((200 + RANDOM % 600)) -s "-screen 0 1280x800x24 -nolisten tcp" \
    bash "$0" --inside "$@"
fi
shift
app=$1 image=$2 pictures=$3 shots=$4

title="Dravik Ntfs Data Recovery"
page_timeout=20      # seconds for a page to come up
results_timeout=60   # seconds from Next to the results page

mkdir -p "$shots"
rm -f "$shots"/xvfb-*.png
work=$(mktemp -d)
app_pid=

finish() {
  local status=$?
  if [[ -n $app_pid ]] && kill -0 "$app_pid" 2>/dev/null; then
    kill "$app_pid" 2>/dev/null || true
    wait "$app_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
  exit "$status"
}
trap finish EXIT

shot() { import -window root "$shots/xvfb-$1.png"; }

fail() {
  echo "FAIL: $*" >&2
  shot failure || true
  if [[ -s $work/app.log ]]; then
    echo "--- application output" >&2
    cat "$work/app.log" >&2
  fi
  exit 1
}

alive() {
  if ! kill -0 "$app_pid" 2>/dev/null; then
    local status=0
    wait "$app_pid" || status=$?
    app_pid=
    fail "the application exited with status $status"
  fi
}

# Every page has the application's title; its window role is its object name.
visible_page() {
  local w
  for w in $(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null); do
    if xprop -id "$w" WM_WINDOW_ROLE 2>/dev/null | grep -q "= \"$1\"\$"; then
      echo "$w"
      return 0
    fi
  done
  return 1
}

# Waits for the page named $1 for at most $2 seconds; its window goes
# into $page.
page=
wait_page() {
  local deadline=$((SECONDS + $2))
  while ((SECONDS < deadline)); do
    alive
    if page=$(visible_page "$1"); then
      return 0
    fi
    sleep 0.2
  done
  fail "the page $1 did not appear within $2 s"
}

wait_gone() {
  local deadline=$((SECONDS + $2))
  while ((SECONDS < deadline)); do
    alive
    visible_page "$1" >/dev/null || return 0
    sleep 0.2
  done
  fail "the page $1 was still shown after $2 s"
}

# There is no window manager: the page gets the input focus directly and
# the pointer rests in its middle, from its real geometry.
focus() {
  local WIDTH HEIGHT X Y SCREEN WINDOW
  eval "$(xdotool getwindowgeometry --shell "$1")"
  xdotool mousemove --window "$1" $((WIDTH / 2)) $((HEIGHT / 2))
  xdotool windowfocus --sync "$1"
  sleep 0.3
}

window_shot() { import -window "$1" "$2"; }

env -u QT_QPA_PLATFORM QT_QPA_PLATFORM=xcb DRAVIK_IMAGE_DIR="$pictures" \
  DBUS_SESSION_BUS_ADDRESS=disabled: ASAN_OPTIONS=detect_leaks=0 \
  "$app" --no-system-disks --no-splash --image "$image" >"$work/app.log" 2>&1 &
app_pid=$!

# 1. The recovery-mode choice, over the source page: Alt+D is "&Deleted
#    Data Recovery".
wait_page CRecoveryMode "$page_timeout"
mode=$page
sleep 0.5
shot 1-recovery-mode
focus "$mode"
xdotool key alt+d
wait_gone CRecoveryMode "$page_timeout"

# 2. The source page. Typing selects the first item starting with the text
#    (the partition of Disk0 comes before the logical drives), Space chooses
#    it as a click does.
wait_page DeletedFilesRecovery "$page_timeout"
source_page=$page
focus "$source_page"
shot 2-source
xdotool type --delay 60 "Partition"
sleep 1
window_shot "$source_page" "$work/before.png"
xdotool key space
sleep 1
window_shot "$source_page" "$work/after.png"
shot 3-partition-chosen
changed=$(compare -metric AE "$work/before.png" "$work/after.png" null: 2>&1 || true)
if [[ ! $changed =~ ^[0-9]+$ ]] || ((changed == 0)); then
  fail "choosing the partition changed nothing on the source page (compare: $changed)"
fi

# 3. Next acts only when it has the focus: it is the last control in the
#    page's focus chain, one Shift+Tab back from the tree.
xdotool key shift+Tab
sleep 0.3
shot 4-next-focused
xdotool key space
start=$SECONDS
wait_gone DeletedFilesRecovery "$page_timeout"
if analysis=$(visible_page RecoveryAnalysis); then
  shot 5-analysis
  echo "analysis page: window $analysis"
fi

# 4. The results page.
wait_page ViewDataInControls "$results_timeout"
results=$page
sleep 1.5
alive
shot 6-results
echo "results page: window $results after $((SECONDS - start)) s"
eval "$(xdotool getwindowgeometry --shell "$results" | sed 's/^/R_/')"
echo "results page geometry: ${R_WIDTH}x${R_HEIGHT}"
((R_WIDTH > 0 && R_HEIGHT > 0)) || fail "the results page has no size"

# A message the results page opens over itself is answered with Enter.
for w in $(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null); do
  [[ $w == "$results" ]] && continue
  focus "$w"
  xdotool key Return
  sleep 1
  alive
  shot 7-results-answered
  visible_page ViewDataInControls >/dev/null || fail "answering the message closed the results page"
  break
done
echo "PASS"
