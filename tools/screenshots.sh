#!/usr/bin/env bash
# Screenshots of the tray program's windows (start-up wait dialog, tray menu, version box,
# disconnecting dialog, settings dialog on its connection page, on a setting page in host mode and
# on a setting page that the user reached from another one, credentials dialog, connecting dialog
# mid-progress, RAS-error box with the shipped text of 691) and of the console client's dialogs
# (credentials, connecting), one PNG each in <build dir>/screenshots/. The programs that open the
# windows are built from tools/screenshots/.
# Usage: bash tools/screenshots.sh [<windows build dir>]   (default build/windows)
# Uses the Wine prefix and display it is given (WINEPREFIX, DISPLAY, as under the Windows tests);
# otherwise makes a fresh prefix in the build dir and runs its own Xvfb. The windows' program runs
# with LC_ALL=ja_JP.UTF-8 (code page 932), as on a Japanese system.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$root/build/windows}" && pwd)
tray_helper="$build/tools/screenshots/CorvelShots.exe"
cli_helper="$build/tools/screenshots/CorvelcShots.exe"
out="$build/screenshots"
for helper in "$tray_helper" "$cli_helper"; do
    [[ -f "$helper" ]] || { echo "no $helper: build the Windows tree first" >&2; exit 1; }
done
mkdir -p "$out"

own_prefix=0
corvel_xvfb_pid=
cleanup() {
    [[ -n "$corvel_xvfb_pid" ]] && kill "$corvel_xvfb_pid" 2>/dev/null || true
    ((own_prefix)) && corvel_end_prefix || true
}
trap cleanup EXIT

if [[ -z "${DISPLAY:-}" ]]; then
    source "$root/tools/xvfb.sh"
    corvel_start_xvfb 120 1024x768x24
fi

# The windows as a Japanese system shows them: code page 932 for the windows' program (and for a
# prefix of our own). The host needs no such locale (bash's warning that it has none is dropped).
export LC_ALL=ja_JP.UTF-8 2>/dev/null

# After the display: the prefix's desktop starts with its first program and keeps the display
# it found.
if [[ -z "${WINEPREFIX:-}" ]]; then
    source "$root/tools/wine-prefix.sh" "$build/screenshot-prefix"
    own_prefix=1
fi
export WINEDEBUG=-all

# The fonts of a Japanese system (a prefix of our own has them already).
if ! ((own_prefix)); then
    source "$root/tools/wine-fonts.sh"
    corvel_prefix_fonts
fi

status=0
# Each shot: the helper that opens the window, the window, the PNG's name.
shots=(
    "$tray_helper|wait|wait"
    "$tray_helper|menu|menu"
    "$tray_helper|version|version"
    "$tray_helper|disconnecting|disconnecting"
    "$tray_helper|settings|settings"
    "$tray_helper|settings-host|settings-host"
    "$tray_helper|settings-from-page|settings-from-page"
    "$tray_helper|credentials|credentials"
    "$tray_helper|connecting|connecting"
    "$tray_helper|raserror|raserror"
    "$cli_helper|credentials|corvelc-credentials"
    "$cli_helper|connecting|corvelc-connecting"
)
for shot in "${shots[@]}"; do
    IFS="|" read -r helper window name <<<"$shot"
    ready="$out/.$name.ready"
    rm -f "$ready"
    extra=()
    [[ "$window" == raserror ]] && extra=("$(winepath -w "$root/gui/app/language.csv" 2>/dev/null)")
    wine "$helper" "$window" "$(winepath -w "$ready" 2>/dev/null)" "${extra[@]}" </dev/null >/dev/null 2>&1 &
    pid=$!
    for _ in $(seq 300); do
        [[ -e "$ready" ]] && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if [[ ! -e "$ready" ]]; then
        echo "$name: the window did not come up" >&2
        status=1
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
        continue
    fi
    xwd -root -silent | convert xwd:- -trim +repage "$out/$name.png"
    rm -f "$ready"
    wait "$pid" || true
    echo "$out/$name.png"
done
exit "$status"
