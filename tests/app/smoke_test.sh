#!/usr/bin/env bash
# Starts the real program on a virtual X display with a window manager,
# waits for its window, opens the first image of its start folder (Tab to
# the file list, Home selects, Enter opens; the next-file key needs a
# selected entry to step from), takes a screenshot, closes the window as a user
# does (Alt+F4, which the window manager turns into a close request) and
# checks that the settings file was written at exit.
# Usage: smoke_test.sh <kelvandor executable> <plug-in folder> <screenshot.png>
set -euo pipefail
screenshot=$3
source "$(dirname "$0")/program_session.sh"
make_program_folder "$1" "$2"
mkdir -p "$work/home/書類"
convert -size 320x240 gradient:skyblue-navy "$work/home/写真/空.jpg"
convert -size 200x150 xc:orange -fill white -draw "circle 100,75 100,20" "$work/home/写真/夕日.jpg"
touch "$work/home/写真/メモ.txt"

open_and_photograph() {
    xdotool windowactivate --sync "$window" key --clearmodifiers --delay 150 Tab Home Return 2>/dev/null || true
    sleep 2
    import -window root "$screenshot"
}
export screenshot
run_session open_and_photograph
ini="$work/bin/kelvandor.ini"
test -s "$ini" || { echo "no settings file written at exit" >&2; exit 1; }
grep -qx "DefaultPath=$HOME/写真" "$ini" || { echo "the start folder was not written:" >&2; cat "$ini" >&2; exit 1; }
grep -qx "\[ShellListView\]" "$ini" || { echo "the file list's settings are missing" >&2; exit 1; }
echo "screenshot: $screenshot"
