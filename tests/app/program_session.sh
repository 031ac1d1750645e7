# What the tests of the real program share; sourced by them. A work folder
# (removed at exit) holds a program folder of its own, so that the settings
# file lands there, and a home folder. The session runs on a virtual X
# display with a window manager: the program starts, the test's steps
# drive it as a user does, and it is closed as a user closes it.

program_session_dir=$(dirname "${BASH_SOURCE[0]}")

# Makes $work with bin/ (the program, the plug-ins, settings whose last
# folder is home/写真) and that folder.
# Usage: make_program_folder <kelvandor executable> <plug-in folder>
make_program_folder() {
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    mkdir -p "$work/bin" "$work/home/写真"
    cp "$1" "$work/bin/kelvandor"
    cp "$2"/*.spi "$work/bin/"
    # The last run left off in the photo folder.
    printf '[Kelvandor]\nDefaultPath=%s\n' "$work/home/写真" > "$work/bin/kelvandor.ini"
}

# Starts a window manager and the program; $program is its process,
# $window its main window once shown.
start_program() {
    openbox >/dev/null 2>&1 &
    "$work/bin/kelvandor" >"$work/program.log" 2>&1 &
    program=$!
    window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Kelvandor$' | head -n 1)
    # The splash stays a second; the first refresh follows.
    sleep 3
}

# Alt+F4, which the window manager turns into a close request; again while
# the window manager is still starting on a busy machine.
close_program() {
    for attempt in 1 2 3 4 5 6; do
        xdotool windowactivate --sync "$window" key --clearmodifiers alt+F4 2>/dev/null || true
        timeout 10 tail --pid="$program" -f /dev/null && break
    done
    wait "$program"
}

# Runs the start, the function named steps and the close on a virtual
# display of its own, with the home folder and the configuration in the
# work folder. The steps run in a shell of their own: export the variables
# they read besides $work, $program and $window. Shows the program's output
# when the session fails.
# Usage: run_session <steps>
run_session() {
    export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
    export work
    export -f start_program close_program "$1"
    if ! "$program_session_dir/on_virtual_display.sh" \
        bash -c 'set -euo pipefail; start_program; "$1"; close_program' session "$1"; then
        echo "the program did not run the session and close cleanly:" >&2
        cat "$work/program.log" >&2 || true
        exit 1
    fi
}
