#!/usr/bin/env bash
# Runs the system on a fresh Debian 12 machine (as root): installs what it needs, builds the
# Windows programs, makes a Wine prefix, installs CORVELSVC there as an automatic service with
# the console client corvelc.exe beside it, starts it, shows that it answers by printing the 20
# connection names (corvel-probe) and corvelc's exit code for "disconnect", and starts the tray
# program Corvel.exe on a virtual display when it has been built.
# Afterwards the service is stopped and the prefix's wineserver ended, unless --keep is given.
#
# Usage: bash tools/run-system.sh [--keep]
# Environment: CORVEL_BUILD_DIR (default build/windows), CORVEL_RUN_PREFIX (default
# <build dir>/runprefix).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

keep=0
for arg in "$@"; do
    case "$arg" in
        --keep) keep=1 ;;
        *) echo "usage: bash tools/run-system.sh [--keep]" >&2; exit 2 ;;
    esac
done

build=${CORVEL_BUILD_DIR:-build/windows}
prefix=${CORVEL_RUN_PREFIX:-$build/runprefix}
jobs=$(nproc)

bash tools/install-deps.sh

echo "== building the Windows programs in $build"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" >/dev/null
cmake --build "$build" -j "$jobs" --target CORVELSVC corvel_probe corvelc
gui_exe=
if [[ -f gui/app/CMakeLists.txt ]]; then
    # The tray program is optional here: the service runs without it.
    if cmake --build "$build" -j "$jobs" --target gui/app/all; then
        gui_exe=$(find "$build/gui/app" -maxdepth 2 -name Corvel.exe -print -quit 2>/dev/null || true)
    else
        echo "(the tray program did not build; going on without it)"
    fi
fi
service_exe=$(find "$build/service/host" -maxdepth 2 -name CORVELSVC.exe -print -quit)
probe_exe=$(find "$build/tools/probe" -maxdepth 2 -name corvel-probe.exe -print -quit)
corvelc_exe=$(find "$build/cli" -maxdepth 2 -name corvelc.exe -print -quit)

# The display comes first: the prefix's desktop starts with the first of its programs and
# keeps the display it found.
corvel_xvfb_pid=
if [[ -z "${DISPLAY:-}" ]]; then
    source tools/xvfb.sh
    corvel_start_xvfb 90 1280x1024x24
    echo "== a virtual display $DISPLAY"
fi
display=$DISPLAY

# A Japanese system: the prefix's services, the service and every program it starts read
# "language.csv" and other texts in code page 932. The host needs no such locale (bash's warning
# that it has none is dropped).
export LC_ALL=ja_JP.UTF-8 2>/dev/null
echo "== making the Wine prefix $prefix (LC_ALL=$LC_ALL)"
source tools/wine-prefix.sh "$prefix"
gui_pid=
finish() {
    local status=$?
    if ((keep == 0)); then
        wine net stop CORVELSVC </dev/null >/dev/null 2>&1 || true
        [[ -n "$gui_pid" ]] && kill "$gui_pid" 2>/dev/null || true
        corvel_end_prefix
        [[ -n "$corvel_xvfb_pid" ]] && kill "$corvel_xvfb_pid" 2>/dev/null || true
    fi
    exit "$status"
}
trap finish EXIT

install_dir="$WINEPREFIX/drive_c/Program Files/Corvel"
mkdir -p "$install_dir"
cp "$service_exe" "$install_dir/CORVELSVC.exe"
cp "$corvelc_exe" "$install_dir/corvelc.exe"
if [[ -n "$gui_exe" ]]; then
    cp "$gui_exe" "$install_dir/Corvel.exe"
    # The shipped texts: the RAS-error messages, which exist nowhere else.
    cp gui/app/language.csv "$install_dir/language.csv"
fi

echo "== installing and starting CORVELSVC"
# The service inherits the output of whoever started the service manager (the prefix script
# sent that nowhere); net's own output goes to a file so that it can be read.
wine sc create CORVELSVC binPath= '"C:\Program Files\Corvel\CORVELSVC.exe"' start= auto </dev/null >/dev/null 2>&1
# Its exit code says whether the service started (its texts are Japanese here).
net_log="$build/run-system-net.log"
started=0
for attempt in 1 2 3 4 5 6 7 8 9 10; do
    if wine net start CORVELSVC </dev/null >"$net_log" 2>&1; then
        started=1
        break
    fi
    sleep 1 # a start right after the install may not find the service yet
done
# net writes in the console code page, 932 here.
iconv -f CP932 -t UTF-8 "$net_log" 2>/dev/null || cat "$net_log"
if ((started == 0)); then
    echo "CORVELSVC could not be started" >&2
    exit 1
fi

echo "== the 20 connection names, loaded from the running service"
wine "$probe_exe" --wait 30 </dev/null

# corvelc writes nothing; its result is its exit code, which a Linux shell would cut to 8 bits:
# cmd reads it whole.
echo "== corvelc.exe disconnect (nothing is connected: 0)"
(cd "$install_dir" && wine cmd /v:on /c 'corvelc.exe disconnect & echo exit code !ERRORLEVEL!' </dev/null 2>/dev/null |
    tr -d '\r') || true

if [[ -n "$gui_exe" ]]; then
    echo "== starting the tray program on display $display"
    wine "C:\\Program Files\\Corvel\\Corvel.exe" </dev/null >/dev/null 2>&1 &
    gui_pid=$!
    # The tray program has a hidden main window: that it is still running after its start-up
    # is what there is to see here.
    sleep 5
    if kill -0 "$gui_pid" 2>/dev/null; then
        echo "Corvel.exe runs in the tray on display $display"
    else
        echo "Corvel.exe ended during its start-up" >&2
    fi
fi

if ((keep == 1)); then
    echo "== left running (WINEPREFIX=$WINEPREFIX); end it with: WINEPREFIX=$WINEPREFIX wineserver -k"
else
    echo "== stopping CORVELSVC and the prefix"
fi
