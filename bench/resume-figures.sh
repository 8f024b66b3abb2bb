#!/usr/bin/env bash
# Two figures of downloads on real networks, taken from the real updater under a private Xvfb
# against the local version service (by hand, not part of scripts/bench or the tests):
#
#   recovery  the service resets the first installer connection after half of a 16 MiB
#             installer; strace timestamps give the time from the drop (the socket's last read)
#             to the first byte of the resumed response written to "<name>_tmp", and how much
#             of it is the back-off wait before the new connection (the file stays open and its
#             digest goes on, so nothing is read again in between).
#   resend    the updater is SIGKILLed once "<name>_tmp" holds 40% of a 64 MiB installer and
#             started again; what the service writes to its sockets (/proc/PID/io, TLS included)
#             during the second run, against 64 MiB.
#
# Usage: bench/resume-figures.sh [BUILD_DIR]   (default build/; needs Xvfb, xdotool, strace)
# KEEP=1 keeps the run's folder (traces, logs) below $TMPDIR.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
updater=$build/GlimmerpaneUpdater
service=$build/fixtures/versionservice/glimmerpane-version-service
run=$(mktemp -d "${TMPDIR:-/tmp}/glimmerpane-resume-XXXXXX")
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill -9 "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    [ -n "${KEEP:-}" ] && echo "kept $run" || rm -rf "$run"
}
trap cleanup EXIT

wait_for() { # seconds, command...
    local tenths=$(($1 * 10))
    shift
    for _ in $(seq "$tenths"); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}

Xvfb -displayfd 3 -noreset -screen 0 800x600x24 -nolisten tcp 3>"$run/display" >/dev/null 2>&1 &
pids+=($!)
wait_for 10 test -s "$run/display"
export DISPLAY=:$(tr -d '[:space:]' <"$run/display")
unset QT_QPA_PLATFORM GLIMMERPANE_TIME_LIMIT_MS # the real back-off waits

# A fresh user and service for one figure: $1 = installer size, the rest = service options.
start_service() {
    local size=$1
    shift
    rm -rf "$run/user" && mkdir -p "$run/user"/{home,data,config,cache,tmp,runtime}
    chmod 700 "$run/user/runtime"
    # The stand-in installer, padded: it still runs and records that it ran.
    cp "$build/fixtures/demoinstaller/glimmerpane-demo-installer" "$run/Glimmerpane109.exe"
    truncate -s "$size" "$run/Glimmerpane109.exe"
    : >"$run/requests.log"
    "$service" --port 0 --installer "$run/Glimmerpane109.exe" --request-log "$run/requests.log" \
        --certificate "$root/tests/data/server.pem" --key "$root/tests/data/server.key" "$@" \
        >"$run/service.out" 2>&1 &
    service_pid=$!
    pids+=("$service_pid")
    wait_for 10 grep -q '^listening on ' "$run/service.out"
    export HOME=$run/user/home XDG_DATA_HOME=$run/user/data XDG_CONFIG_HOME=$run/user/config \
        XDG_CACHE_HOME=$run/user/cache XDG_RUNTIME_DIR=$run/user/runtime TMPDIR=$run/user/tmp
    export GLIMMERPANE_VERSION_SERVICE=$(sed -n 's/^listening on //p' "$run/service.out")
    export GLIMMERPANE_UPDATE_PUBLIC_KEY=$(sed -n 's/^public key //p' "$run/service.out")
    export GLIMMERPANE_EXTRA_CA_CERTS=$root/tests/data/ca.pem
    export GLIMMERPANE_INSTALLER_RECORD=$run/user/installer-ran.txt
    temporary=$XDG_DATA_HOME/Glimmerpane/update/Glimmerpane109.exe_tmp
}

installer_requests() { grep -c 'GET /Glimmerpane109.exe' "$run/requests.log" || true; }
more_requests_than() { [ "$(installer_requests)" -gt "$1" ]; }
holds_at_least() { [ "$(stat -c %s "$temporary" 2>/dev/null || echo 0)" -ge "$1" ]; }

# Starts the updater (under the leading command given, if any) and clicks "Download Update"
# until the installer request shows in the service's log.
start_download() {
    local before
    before=$(installer_requests)
    "$@" "$updater" version=1.0.8 >>"$run/updater.out" 2>&1 &
    updater_pid=$!
    pids+=("$updater_pid")
    wait_for 15 xdotool search --onlyvisible --name '^Glimmerpane'
    local window
    for _ in 1 2 3 4 5; do
        # Found anew each time: the window's first native window may be replaced at start.
        window=$(xdotool search --onlyvisible --name '^Glimmerpane' | head -n 1)
        xdotool mousemove --window "$window" 445 274 click 1 || true
        wait_for 3 more_requests_than "$before" && return 0
    done
    echo "the download did not start" >&2
    return 1
}

echo "== recovery: reset after 8 MiB of 16 MiB"
start_service $((16 << 20)) --drop-after $((8 << 20))
start_download strace -ff -tt -e trace=openat,connect,read,write,close -o "$run/trace"
wait_for 60 test -s "$GLIMMERPANE_INSTALLER_RECORD"
wait_for 10 bash -c "! kill -0 $updater_pid"
grep -E 'download retry|install start' "$XDG_DATA_HOME/Glimmerpane/log/update.log"
grep 'GET /Glimmerpane109.exe' "$run/requests.log"
# One file per thread (-ff), so that no call is split; merged in time order.
sort -s -k1,1 "$run"/trace.* >"$run/trace"
python3 - "$run/trace" "${GLIMMERPANE_VERSION_SERVICE##*:}" $((8 << 20)) <<'PY'
import re, sys
from datetime import datetime
trace, port, dropAfter = sys.argv[1], sys.argv[2], int(sys.argv[3])
files, sockets, written = set(), set(), 0
drop = reconnect = first = None
for line in open(trace, errors="replace"):
    stamp, _, call = line.partition(" ")
    at = datetime.strptime(stamp, "%H:%M:%S.%f")
    m = re.match(r'(openat|connect|read|write|close)\((?:AT_FDCWD, )?"?([^,"]*)"?[,)].*= (-?\d+)', call)
    if not m:
        continue
    name, arg, result = m.group(1), m.group(2), int(m.group(3))
    if name == "openat" and arg.endswith("_tmp") and result >= 0:
        files.add(str(result)); sockets.discard(str(result))
    elif name == "connect" and "htons(%s)" % port in call:
        sockets.add(arg); files.discard(arg)
        if drop and not reconnect:
            reconnect = at
    elif name == "close":
        files.discard(arg); sockets.discard(arg)
    elif name == "read" and arg in sockets and result <= 0 and "EAGAIN" not in call:
        # the installer's connection ending after half the bytes, not an idle one closing
        if not drop and written >= dropAfter // 2:
            drop = at
    elif name == "write" and arg in files and result > 0:
        written += result
        if reconnect and not first:
            first = at
if not (drop and reconnect and first):
    sys.exit("trace incomplete: drop %s, reconnect %s, first write %s" % (drop, reconnect, first))
ms = lambda a, b: (b - a).total_seconds() * 1000
print("drop -> first resumed byte written: %.0f ms" % ms(drop, first))
print("  drop -> new connection (the back-off wait): %.0f ms" % ms(drop, reconnect))
print("  new connection -> first byte written (TLS, Range request, 206): %.0f ms"
      % ms(reconnect, first))
PY

echo "== resend: SIGKILL at 40% of 64 MiB, then a second run"
size=$((64 << 20))
start_service "$size" --throttle $((16 << 20))
start_download
wait_for 30 holds_at_least $((size * 4 / 10))
kill -9 "$updater_pid"
wait "$updater_pid" 2>/dev/null || true
kept=$(stat -c %s "$temporary")
sent_before=$(awk '/^wchar/ {print $2}' "/proc/$service_pid/io")
start_download
wait_for 60 test -s "$GLIMMERPANE_INSTALLER_RECORD"
wait_for 10 bash -c "! kill -0 $updater_pid"
sent=$(($(awk '/^wchar/ {print $2}' "/proc/$service_pid/io") - sent_before))
grep 'GET /Glimmerpane109.exe' "$run/requests.log"
cmp "$run/Glimmerpane109.exe" "$XDG_DATA_HOME/Glimmerpane/update/Glimmerpane109.exe"
echo "kept at the kill: $kept bytes ($((kept * 100 / size))%); the service had written" \
    "$sent_before bytes by then (TLS, the version reply and the bytes in flight included)"
echo "service wrote on the second run: $sent bytes, $((sent * 1000 / size))/1000 of 64 MiB;" \
    "the rest of the file is $((size - kept)) bytes"
