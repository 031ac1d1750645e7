#!/usr/bin/env bash
# Installs the build into a fresh prefix and checks the installed layout;
# then starts the installed program on a virtual X display with an image
# on its command line, waits until the image is on the screen (decoded by
# a plug-in from the installed plug-in folder: none lies beside the
# program), closes the window as a user does and checks that the settings
# went to the configuration folder and name that plug-in folder.
# Usage: install_test.sh <build folder> <version>
set -euo pipefail
build=$1
version=$2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"
fail() { echo "$*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null

# --- The layout ---------------------------------------------------------------
test "$(ls "$prefix/bin")" = kelvandor || fail "bin/ should hold the program alone: $(ls "$prefix/bin")"
for plugin in ifbmp ifgif ifjpeg ifpng iftiff ifwebp; do
    test -f "$prefix/lib/kelvandor/plugins/$plugin.spi" || fail "plug-in $plugin.spi is not installed"
done
test -f "$prefix/share/kelvandor/kelvandor.html" || fail "the manual is not installed"
zgrep -q '^\.TH KELVANDOR 1' "$prefix/share/man/man1/kelvandor.1.gz" || fail "the manual page is not installed"
test -f "$prefix/share/applications/org.kelvandor.Kelvandor.desktop" || fail "the desktop entry is not installed"
test -f "$prefix/share/metainfo/org.kelvandor.Kelvandor.metainfo.xml" || fail "the AppStream data is not installed"
test -f "$prefix/share/icons/hicolor/scalable/apps/kelvandor.svg" || fail "the scalable icon is not installed"
for size in 16 24 32 48 64 128 256; do
    icon="$prefix/share/icons/hicolor/${size}x${size}/apps/kelvandor.png"
    test "$(identify -format '%wx%h' "$icon")" = "${size}x${size}" || fail "the ${size}px icon is missing or of another size"
done

# --- Version, without a display -----------------------------------------------
test "$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb "$prefix/bin/kelvandor" --version)" = "Kelvandor $version" ||
    fail "--version did not print the version"

# --- A start with an image ----------------------------------------------------
mkdir -p "$work/home/写真"
image="$work/home/写真/紫.bmp"
convert -size 160x120 xc:'#ff00ff' "BMP3:$image"

cat > "$work/session" <<'SESSION'
#!/usr/bin/env bash
set -euo pipefail
openbox >/dev/null 2>&1 &
"$PREFIX/bin/kelvandor" "$IMAGE" >"$WORK/program.log" 2>&1 &
program=$!
window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Kelvandor$' | head -n 1)
# The image shows once the splash has gone; look until it is on the screen.
shown=0
for attempt in $(seq 1 60); do
    import -window root "$WORK/screen.png"
    purple=$(convert "$WORK/screen.png" -fill black +opaque '#ff00ff' -fill white -opaque '#ff00ff' -format '%[fx:mean]' info:)
    if [ "$purple" != 0 ]; then shown=1; break; fi
    sleep 0.5
done
for attempt in 1 2 3 4 5 6; do
    xdotool windowactivate --sync "$window" key --clearmodifiers alt+F4 2>/dev/null || true
    timeout 10 tail --pid="$program" -f /dev/null && break
done
wait "$program"
test "$shown" = 1
SESSION
chmod +x "$work/session"

export QT_QPA_PLATFORM=xcb
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" PREFIX="$prefix" IMAGE="$image" WORK="$work"
# A display number taken by a parallel test at the same moment makes
# xvfb-run fail before the program starts; a second try takes another.
if ! xvfb-run -a -s "-screen 0 1024x768x24" "$work/session" && ! xvfb-run -a -s "-screen 0 1024x768x24" "$work/session"; then
    cat "$work/program.log" >&2 || true
    fail "the installed program did not show the image and close cleanly"
fi
ini="$XDG_CONFIG_HOME/kelvandor/kelvandor.ini"
test -s "$ini" || fail "no settings file in the configuration folder"
test ! -e "$prefix/bin/kelvandor.ini" || fail "the installed program wrote into its bin folder"
grep -qx "SusiePath=$prefix/lib/kelvandor/plugins" "$ini" || { cat "$ini" >&2; fail "the plug-in folder is not the installed one"; }
echo "installed into $prefix, started, image shown, closed"
