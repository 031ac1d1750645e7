# Sourced by the build and test scripts: phase <name> <command...> runs the
# command and prints its wall and CPU time, so a slow run shows where the
# time went.
phase() {
    local name=$1
    shift
    local TIMEFORMAT="phase $name: %0R s wall, %0U s user, %0S s system"
    time "$@"
}
