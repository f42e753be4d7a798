# shellcheck shell=bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Starting the stand-in messenger for a script: sourced by scripts/demo-session and bench/run.

# Starts BINARY (the stand-in, tilecast-messenger) in the background with ARGS, its output to
# LOG, and waits up to ten seconds for its "ready" line, which it prints once it owns its name
# on the session bus. Sets standin_pid; on failure says so with the stand-in's output, and
# returns 1.
start_standin() { # BINARY LOG ARGS...
    local binary=$1 log=$2 i
    shift 2
    "$binary" "$@" >"$log" 2>&1 &
    standin_pid=$!
    for ((i = 0; i < 100; i++)); do
        grep -qx ready "$log" && return 0
        kill -0 "$standin_pid" 2>/dev/null || break
        sleep 0.1
    done
    grep -qx ready "$log" && return 0
    echo "the stand-in messenger did not start:" >&2
    cat "$log" >&2
    return 1
}
