#!/usr/bin/env bash
# Screenshots of the tray program's windows (start-up wait dialog, tray menu, version box,
# disconnecting dialog), one PNG each in <build dir>/screenshots/.
# Usage: bash tools/screenshots.sh [<windows build dir>]   (default build/windows)
# Uses the Wine prefix and display it is given (WINEPREFIX, DISPLAY, as under the Windows tests);
# otherwise makes a fresh prefix in the build dir and runs its own Xvfb.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$root/build/windows}" && pwd)
helper="$build/gui/app/CorvelShots.exe"
out="$build/screenshots"
[[ -f "$helper" ]] || { echo "no $helper: build the Windows tree first" >&2; exit 1; }
mkdir -p "$out"

own_prefix=0
xvfb_pid=
cleanup() {
    [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null || true
    ((own_prefix)) && corvel_end_prefix || true
}
trap cleanup EXIT

if [[ -z "${DISPLAY:-}" ]]; then
    display=:$((120 + RANDOM % 100))
    Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do
        [[ -e "/tmp/.X11-unix/X${display#:}" ]] && break
        sleep 0.1
    done
    export DISPLAY=$display
fi

# After the display: the prefix's desktop starts with its first program and keeps the display
# it found.
if [[ -z "${WINEPREFIX:-}" ]]; then
    source "$root/tools/wine-prefix.sh" "$build/screenshot-prefix"
    own_prefix=1
fi
export WINEDEBUG=-all

# Japanese glyphs: the CJK font stands in for the dialogs' faces (a prefix of our own has them).
if ! ((own_prefix)); then
    for face in 'MS UI Gothic' 'MS Shell Dlg'; do
        wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /d 'Noto Sans CJK JP' /f \
            </dev/null >/dev/null 2>&1
    done
fi

status=0
for window in wait menu version disconnecting; do
    ready="$out/.$window.ready"
    rm -f "$ready"
    wine "$helper" "$window" "$(winepath -w "$ready" 2>/dev/null)" </dev/null >/dev/null 2>&1 &
    pid=$!
    for _ in $(seq 300); do
        [[ -e "$ready" ]] && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if [[ ! -e "$ready" ]]; then
        echo "$window: the window did not come up" >&2
        status=1
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
        continue
    fi
    xwd -root -silent | convert xwd:- -trim +repage "$out/$window.png"
    rm -f "$ready"
    wait "$pid" || true
    echo "$out/$window.png"
done
exit "$status"
