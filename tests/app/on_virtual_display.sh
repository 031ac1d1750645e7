#!/usr/bin/env bash
# Runs a command on a virtual X display of its own, with Qt drawing there.
# The server picks a free display number itself, so tests running side by
# side never race for one.
# Usage: on_virtual_display.sh <command> [arguments...]
set -euo pipefail
coproc server { exec Xvfb -displayfd 1 -nolisten tcp -screen 0 1280x800x24 2>/dev/null; }
trap 'kill "$server_PID" 2>/dev/null || true' EXIT
read -r display <&"${server[0]}"
DISPLAY=":$display" QT_QPA_PLATFORM=xcb "$@"
