#!/usr/bin/env bash
# Starts the real program on a virtual X display with a window manager,
# waits for its window, opens the first image of its start folder (Tab to
# the file list, Home selects, Enter opens; the next-file key needs a
# selected entry to step from), takes a screenshot, closes the window as a user
# does (Alt+F4, which the window manager turns into a close request) and
# checks that the settings file was written at exit.
# Usage: smoke_test.sh <kelvandor executable> <plug-in folder> <screenshot.png>
set -euo pipefail
executable=$1
plugins=$2
screenshot=$3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A program folder of its own, so the settings file lands there.
mkdir -p "$work/bin" "$work/home/写真" "$work/home/書類"
cp "$executable" "$work/bin/kelvandor"
cp "$plugins"/*.spi "$work/bin/"
convert -size 320x240 gradient:skyblue-navy "$work/home/写真/空.jpg"
convert -size 200x150 xc:orange -fill white -draw "circle 100,75 100,20" "$work/home/写真/夕日.jpg"
touch "$work/home/写真/メモ.txt"
# The last run left off in the photo folder.
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
xdotool windowactivate --sync "$window" key --clearmodifiers --delay 150 Tab Home Return 2>/dev/null || true
sleep 2
import -window root "$SHOT"
# Alt+F4 again while the window manager is still starting on a busy machine.
for attempt in 1 2 3 4 5 6; do
    xdotool windowactivate --sync "$window" key --clearmodifiers alt+F4 2>/dev/null || true
    timeout 10 tail --pid="$program" -f /dev/null && break
done
wait "$program"
SESSION
chmod +x "$work/session"

export QT_QPA_PLATFORM=xcb
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" BIN="$work/bin" WORK="$work" SHOT="$screenshot"
# A display number taken by a parallel test at the same moment makes
# xvfb-run fail before the program starts; a second try takes another.
if ! xvfb-run -a -s "-screen 0 1280x800x24" "$work/session" && ! xvfb-run -a -s "-screen 0 1280x800x24" "$work/session"; then
    echo "the program did not start and close cleanly:" >&2
    cat "$work/program.log" >&2 || true
    exit 1
fi
ini="$work/bin/kelvandor.ini"
test -s "$ini" || { echo "no settings file written at exit" >&2; exit 1; }
grep -qx "DefaultPath=$HOME/写真" "$ini" || { echo "the start folder was not written:" >&2; cat "$ini" >&2; exit 1; }
grep -qx "\[ShellListView\]" "$ini" || { echo "the file list's settings are missing" >&2; exit 1; }
echo "screenshot: $screenshot"
