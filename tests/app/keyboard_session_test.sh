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
executable=$1
plugins=$2
shots=$3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/home/写真" "$shots"
cp "$executable" "$work/bin/kelvandor"
cp "$plugins"/*.spi "$work/bin/"
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
printf '[Kelvandor]\nDefaultPath=%s\n' "$work/home/写真" > "$work/bin/kelvandor.ini"

cat > "$work/session" <<'SESSION'
#!/usr/bin/env bash
set -euo pipefail
openbox >/dev/null 2>&1 &
"$BIN/kelvandor" >"$WORK/program.log" 2>&1 &
program=$!
window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Kelvandor$' | head -n 1)
# The splash stays a second; the first refresh follows.
sleep 3
keys() { xdotool windowactivate --sync "$window" key --clearmodifiers --delay 150 "$@"; sleep 1; }
shot() { import -window root "$SHOTS/$1.png"; }

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

# Alt+F4 again while the window manager is still starting on a busy machine.
for attempt in 1 2 3 4 5 6; do
    xdotool windowactivate --sync "$window" key --clearmodifiers alt+F4 2>/dev/null || true
    timeout 10 tail --pid="$program" -f /dev/null && break
done
wait "$program"
SESSION
chmod +x "$work/session"

export QT_QPA_PLATFORM=xcb
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
export BIN="$work/bin" WORK="$work" SHOTS="$shots"
# A display number taken by a parallel test at the same moment makes
# xvfb-run fail before the program starts; a second try takes another.
if ! xvfb-run -a -s "-screen 0 1280x800x24" "$work/session" && ! xvfb-run -a -s "-screen 0 1280x800x24" "$work/session"; then
    echo "the program did not run the session and close cleanly:" >&2
    cat "$work/program.log" >&2 || true
    exit 1
fi
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
