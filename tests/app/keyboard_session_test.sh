#!/usr/bin/env bash
# The real program on a virtual X display with a window manager, driven by
# key presses as a user drives it: Tab goes to the file list, Home selects
# its first image (which has a side file with a marker), Ctrl+O opens it, the image menu's accelerator picks
# the zoom tool, a click on the picture zooms in, Home shows the whole
# image, the file menu closes it. Looking changes no annotation, so the
# side file must come out byte for byte as it went in. Every top-level menu
# is photographed open, and the window at each step.
# Usage: keyboard_session_test.sh <kelvandor executable> <plug-in folder> <screenshot folder>
set -euo pipefail
shots=$3
source "$(dirname "$0")/program_session.sh"
make_program_folder "$1" "$2"
mkdir -p "$shots"
convert -size 320x240 gradient:khaki-sienna -fill white -draw "rectangle 120,90 200,150" "$work/home/写真/砂丘.png"
# One marker "灯台" at the picture's centre on the active layer "層": a
# 620-byte record with the layer's name at 0, the marker's at 51 (code page
# 932), X and Y at 102 and 106 (little-endian), mode 0 (active) at 114.
grx="$work/home/写真/砂丘.grx"
put() { dd of="$grx" bs=1 seek="$1" conv=notrunc status=none; }
head -c 620 /dev/zero > "$grx"
printf '層' | iconv -f UTF-8 -t CP932 | put 0
printf '灯台' | iconv -f UTF-8 -t CP932 | put 51
printf '\xa0\x00\x00\x00\x78\x00\x00\x00' | put 102
cp "$grx" "$work/annotations.grx"

drive_from_the_keyboard() {
    keys() { xdotool windowactivate --sync "$window" key --clearmodifiers --delay 150 "$@"; sleep 1; }
    shot() { import -window root "$shots/$1.png"; }

    shot started
    keys Tab Home Return
    shot opened
    # The image menu's zoom entry, then a click on the lower right of the
    # window, where the picture is.
    keys alt+r i
    eval "$(xdotool getwindowgeometry --shell "$window")"
    xdotool mousemove --sync $((X + WIDTH * 3 / 4)) $((Y + HEIGHT * 3 / 4)) click 1
    sleep 1
    shot zoomed
    keys Home
    shot whole
    # Each menu as a user sees it when it drops down, with the image open.
    for menu in f e v g r t h; do
        keys "alt+$menu"
        shot "menu-$menu"
        keys Escape Escape
    done
    keys alt+f c
    shot closed
}
export shots
run_session drive_from_the_keyboard
cmp "$grx" "$work/annotations.grx" || { echo "viewing the image rewrote its side file" >&2; exit 1; }
# The steps showed in the picture's area: it opened, the zoom changed the
# view and Home changed it back.
differ() {
    convert "$shots/$1.png" -crop 600x380+500+320 "$work/a.png"
    convert "$shots/$2.png" -crop 600x380+500+320 "$work/b.png"
    local pixels
    pixels=$(compare -metric AE "$work/a.png" "$work/b.png" null: 2>&1 || true)
    [ "$pixels" != 0 ]
}
differ started opened || { echo "the next-file key opened nothing" >&2; exit 1; }
differ opened zoomed || { echo "the zoom tool did not zoom" >&2; exit 1; }
differ zoomed whole || { echo "Home did not show the whole image" >&2; exit 1; }
echo "screenshots: $shots"
