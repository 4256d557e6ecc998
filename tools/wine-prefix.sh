# Sourced: makes a fresh Wine prefix for one test run and keeps its wineserver alive
# (services die when the last ordinary process of a prefix ends otherwise).
# The prefix's own processes (its services among them) keep the LC_ALL they start with: a caller
# that wants a Japanese system (ANSI code page 932) exports LC_ALL=ja_JP.UTF-8 first.
# Usage: source tools/wine-prefix.sh <prefix-dir>
corvel_prefix=$(realpath -m "$1")
export WINEPREFIX=$corvel_prefix
export WINEDEBUG=-all
export WINEARCH=win64
rm -rf "$WINEPREFIX"
# No Mono or Gecko: nothing here needs them and their installers would ask.
WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1
wineserver -w
corvel_reg() { wine reg add "$@" /f </dev/null >/dev/null 2>&1; }
source "$(dirname "${BASH_SOURCE[0]}")/wine-fonts.sh"
corvel_prefix_fonts
# One virtual desktop: without a window manager every top-level window shown would wait about
# two seconds for one, and the shell's tray lives in the desktop from its start.
corvel_reg 'HKCU\Software\Wine\Explorer' /v Desktop /d Default
corvel_reg 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768
# The desktop settings take effect from the next start of the prefix's processes.
wineserver -w
wineserver -p
# Brings up the prefix's own services with their output sent nowhere: a service started later
# by a test would inherit the test's output pipe and keep CTest waiting for its end.
wine reg query 'HKCU\Software\Wine\Explorer' </dev/null >/dev/null 2>&1
corvel_end_prefix() { WINEPREFIX=$corvel_prefix wineserver -k 2>/dev/null || true; }
