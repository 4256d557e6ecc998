# Sourced: makes a fresh Wine prefix for one test run and keeps its wineserver alive
# (services die when the last ordinary process of a prefix ends otherwise).
# Usage: source tools/wine-prefix.sh <prefix-dir>
corvel_prefix=$(realpath -m "$1")
export WINEPREFIX=$corvel_prefix
export WINEDEBUG=-all
export WINEARCH=win64
rm -rf "$WINEPREFIX"
# No Mono or Gecko: nothing here needs them and their installers would ask.
WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1
wineserver -w
wineserver -p
# Japanese glyphs instead of boxes in screenshots. These first commands also bring up the
# prefix's own services with their output sent nowhere: a service started later by a test
# would inherit the test's output pipe and keep CTest waiting for its end.
for face in 'MS UI Gothic' 'MS Shell Dlg'; do
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /d 'Noto Sans CJK JP' /f </dev/null >/dev/null 2>&1
done
corvel_end_prefix() { WINEPREFIX=$corvel_prefix wineserver -k 2>/dev/null || true; }
