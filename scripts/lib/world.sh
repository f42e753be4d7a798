# shellcheck shell=bash
# SPDX-License-Identifier: GPL-3.0-or-later
# What scripts/pidgin-world and scripts/xmpp-world share: a loopback-only network namespace,
# a scratch folder, services that each lead a process group of their own and die with the
# script, a Prosody server's users, and the command run last. Sourced, after the script set:
#   prog     its name, for messages
#   self     its own absolute path, to run again inside the namespace
#   isolated 1 when this run is already inside the namespace (--in-namespace)
# A script may define world_show_logs, which cleanup calls when the world ends in failure.

# Functions below run from traps, which shellcheck cannot follow.
# shellcheck disable=SC2317

# The script that sourced this, to run again inside the namespace.
self="$(cd "$(dirname "${BASH_SOURCE[1]}")" && pwd)/$(basename "${BASH_SOURCE[1]}")"
readonly self

: "${prog:?set prog before sourcing world.sh}"
say() { printf '%s: %s\n' "$prog" "$*" >&2; }

# Reads the options every world takes, and the script's own through world_option OPTION
# (which returns 1 for one it does not know); the command is left in the array command.
world_parse() { # ARGS...
    isolated=0
    while [ $# -gt 0 ]; do
        case $1 in
        --in-namespace) isolated=1 ;; # hidden: this script, re-run by unshare
        -h | --help) usage 0 ;;
        --)
            shift
            break
            ;;
        *)
            if ! declare -F world_option >/dev/null || ! world_option "$1"; then
                say "unknown option: $1"
                usage
            fi
            ;;
        esac
        shift
    done
    [ $# -gt 0 ] || usage
    # shellcheck disable=SC2034 # read by the script that sourced this
    command=("$@")
}

# --- into a network namespace of our own -----------------------------------------------------
world_enter_namespace() { # OPTIONS_TO_PASS_ON... -- COMMAND...
    if ((!isolated)); then
        if command -v unshare >/dev/null && command -v ip >/dev/null && unshare --net true 2>/dev/null; then
            exec unshare --net -- "$self" --in-namespace "$@"
        fi
        say "cannot make a network namespace (needs root, unshare and ip): using the host's loopback"
    elif ! ip link set lo up; then
        say "cannot bring up the loopback interface"
        exit 1
    fi
}

world_need() { # TOOL...
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null || {
            say "missing $tool (run scripts/install-deps)"
            exit 127
        }
    done
}

readonly host=127.0.0.1
port_open() { (exec 3<>"/dev/tcp/$host/$1") 2>/dev/null; }

# Sets port: XMPP's own inside the namespace; beside whatever the host runs, the first port
# nobody answers on.
world_pick_port() {
    port=5222
    if ((!isolated)); then
        for ((port = 15222; port < 15322; port++)); do
            port_open "$port" || break
        done
    fi
    readonly port
}

# Sets dir, the world's scratch folder (readable by root alone), and the start-up deadline
# from TIMEOUT seconds.
world_begin() { # TIMEOUT
    timeout_s=$1
    dir=$(mktemp -d -t "$prog.XXXXXX") || exit 1
    chmod 700 "$dir"
    deadline=$((SECONDS + timeout_s))
    trap world_cleanup EXIT
    trap 'world_on_signal INT 2' INT
    trap 'world_on_signal TERM 15' TERM
    trap 'world_on_signal HUP 1' HUP
}

# --- stopping ------------------------------------------------------------------------------
groups=() # process group ids, newest first
started() { groups=("$1" "${groups[@]}"); }

alive() { # PGID
    ps -e -o pgid=,stat= | awk -v g="$1" '$1 == g && $2 !~ /^Z/ { found = 1 } END { exit !found }'
}

stop_group() { # PGID GRACE_TENTHS
    local i
    kill -TERM -- "-$1" 2>/dev/null || return 0
    for ((i = 0; i < $2 * 2; i++)); do
        alive "$1" || return 0
        sleep 0.05
    done
    kill -KILL -- "-$1" 2>/dev/null
    return 0
}

show_log() { # NAME
    [ -s "$dir/$1.log" ] || return 0
    say "last lines of $1's output:"
    tail -n 25 "$dir/$1.log" >&2
}

status=1
world_cleanup() {
    trap '' INT TERM HUP
    local g
    for g in "${groups[@]}"; do
        stop_group "$g" 20
    done
    if [ "$status" -ne 0 ] && declare -F world_show_logs >/dev/null; then
        world_show_logs
    fi
    rm -rf -- "$dir"
}
world_on_signal() { # NAME NUMBER
    say "got SIG$1, stopping the world"
    status=$((128 + $2))
    exit "$status"
}

# --- starting ------------------------------------------------------------------------------
# Each service leads a process group of its own and dies with this script, even on SIGKILL.
spawn() { # LOG COMMAND...
    local log=$1
    shift
    setsid setpriv --pdeathsig KILL -- "$@" </dev/null >"$dir/$log.log" 2>&1 &
    started $!
    last_pid=$!
}

wait_ready() { # NAME PID CHECK...
    local name=$1 pid=$2 delay=0.02
    shift 2
    until "$@" >/dev/null 2>&1; do
        if ! kill -0 "$pid" 2>/dev/null; then
            say "$name exited while starting up"
            exit 1
        fi
        if ((SECONDS >= deadline)); then
            say "$name did not come up within ${timeout_s}s"
            exit 1
        fi
        sleep "$delay"
        delay=0.1
    done
}

# --- Prosody -------------------------------------------------------------------------------
# Shared roster group: the users see each other's presence without asking first.
world_roster_group() { # BARE_JID...
    printf '[Friends]\n' >"$dir/prosody/groups.txt"
    printf '%s\n' "$@" >>"$dir/prosody/groups.txt"
}

world_register() { # CONFIG USER@DOMAIN PASSWORD
    if ! prosodyctl --config "$1" register "${2%@*}" "${2#*@}" "$3" >>"$dir/prosodyctl.log" 2>&1; then
        say "cannot register $2"
        cat "$dir/prosodyctl.log" >&2
        exit 1
    fi
}

world_start_prosody() { # CONFIG
    spawn prosody prosody -F --config "$1"
    prosody_pid=$last_pid
    wait_ready Prosody "$prosody_pid" port_open "$port"
}

# --- the command ---------------------------------------------------------------------------
# Runs it in a group of its own, so that stopping it takes what it started too, with our
# stdin (CI may have none), and exits with its status.
world_run() { # COMMAND...
    if { true <&0; } 2>/dev/null; then
        setsid setpriv --pdeathsig KILL -- "$@" <&0 &
    else
        setsid setpriv --pdeathsig KILL -- "$@" </dev/null &
    fi
    local command_pid=$!
    started "$command_pid"
    # wait returns early when a trapped signal arrives; the trap then exits through cleanup.
    wait "$command_pid"
    status=$?
    exit "$status"
}
