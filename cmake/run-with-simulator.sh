#!/usr/bin/env bash
# `make run`: the workstation against a simulated device on 127.0.0.1 (RFB 5900, HTTP 80).
# The workstation runs from BUILD_DIR/run with a conf.ini of its own, so a conf.ini the
# operator keeps elsewhere is never touched, and edits made in the run folder persist.
set -eu
build=$(cd "${1:-build/default}" && pwd)
arm="$build/bin/solmir3-arm"
sim="$build/bin/solmir3-sim"
run="$build/run"
for exe in "$arm" "$sim"; do
    [ -x "$exe" ] || { echo "run-with-simulator: $exe is missing; build first (make build)." >&2; exit 1; }
done

mkdir -p "$run"
ln -f "$arm" "$run/solmir3-arm" 2>/dev/null || cp -f "$arm" "$run/solmir3-arm"
rm -rf "$run/icons"
cp -r "$build/bin/icons" "$run/icons"
if [ ! -e "$run/conf.ini" ]; then
    # Written by the workstation's own settings store, so any folder name survives.
    mkdir -p "$run/protocols"
    "$sim" --listen 127.0.0.1 --write-conf "$run/conf.ini"
fi

# Runs the simulator and the workstation; the simulator goes when the workstation exits.
# Called directly as root, or inside a private user+network namespace otherwise.
inner() {
    if [ "${SOLMIR_RUN_NETNS:-0}" = 1 ]; then
        ip link set lo up
    fi
    "$sim" --listen 127.0.0.1 --rfb-port 5900 --http-port 80 &
    local simpid=$!
    local ready=0
    for _ in $(seq 50); do
        if ! kill -0 "$simpid" 2>/dev/null; then break; fi
        if (exec 3<>/dev/tcp/127.0.0.1/5900) 2>/dev/null; then ready=1; break; fi
        sleep 0.1
    done
    if [ "$ready" != 1 ]; then
        echo "run-with-simulator: the simulator did not start (ports 5900/80 on 127.0.0.1 busy?)." >&2
        kill "$simpid" 2>/dev/null || true
        return 1
    fi
    local rc=0
    (cd "$run" && ./solmir3-arm) || rc=$?
    kill "$simpid" 2>/dev/null || true
    wait "$simpid" 2>/dev/null || true
    return "$rc"
}

xvfbpid=""
cleanup() { [ -n "$xvfbpid" ] && kill "$xvfbpid" 2>/dev/null || true; }
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    if ! command -v Xvfb >/dev/null; then
        echo "run-with-simulator: no DISPLAY and no Xvfb; install the Debian package xvfb or run under X." >&2
        exit 1
    fi
    n=99
    while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1280x900x24 -nolisten tcp >/dev/null 2>&1 &
    xvfbpid=$!
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    export DISPLAY=":$n"
    echo "run-with-simulator: no display, started Xvfb on $DISPLAY (screenshot: DISPLAY=$DISPLAY import -window root shot.png)"
fi

if [ "$(id -u)" = 0 ]; then
    inner
    exit $?
fi

# Port 80 needs privileges: a private network namespace gives them without root. Only the
# X server's filesystem socket is reachable from there, so force it in DISPLAY.
if ! command -v unshare >/dev/null || ! unshare -rn true 2>/dev/null; then
    echo "run-with-simulator: port 80 needs root or 'unshare -rn' (util-linux, unprivileged user" >&2
    echo "namespaces enabled: sysctl kernel.unprivileged_userns_clone=1). Run 'sudo make run'." >&2
    exit 1
fi
if [ -n "${DISPLAY:-}" ]; then
    case "$DISPLAY" in
        :*) DISPLAY="unix$DISPLAY" ;;
        localhost:* | 127.0.0.1:*)
            echo "run-with-simulator: DISPLAY=$DISPLAY is a TCP display, unreachable from the private network; using it may fail." >&2 ;;
    esac
    export DISPLAY
fi
export -f inner
export sim run SOLMIR_RUN_NETNS=1
unshare -rn bash -c inner
